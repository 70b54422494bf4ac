// Text variables: markers such as <%Pg#%> in text items replaced by their
// values when the engines write them.
#include <ctime>
#include <iomanip>
#include <locale>
#include <sstream>
#include <string>
#include <typeinfo>

#include "common/Strings.h"
#include "export/gtCstDocEng.h"

namespace nx {
namespace {

WCHAR Fold(WCHAR c) { return c >= u'a' && c <= u'z' ? WCHAR(c - u'a' + u'A') : c; }

// Position of needle in text from 'from', ignoring the case of ASCII letters.
size_t FindNoCase(const WString &text, const WString &needle, size_t from) {
  if (needle.empty() || needle.size() > text.size()) return WString::npos;
  for (size_t i = from; i + needle.size() <= text.size(); ++i) {
    size_t k = 0;
    while (k < needle.size() && Fold(text[i + k]) == Fold(needle[k])) ++k;
    if (k == needle.size()) return i;
  }
  return WString::npos;
}

// Every occurrence, any letter case; the replacement is not searched again.
WString ReplaceAll(const WString &text, const WString &marker, const WString &value) {
  WString out;
  size_t from = 0;
  for (size_t at; (at = FindNoCase(text, marker, from)) != WString::npos; from = at + marker.size())
    out.append(text, from, at - from).append(value);
  return out.append(text, from, WString::npos);
}

// The current time in the system locale's form (the C locale where the
// environment names none that exists).
WString FormatNow(const char *format) {
  std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  std::ostringstream out;
  try {
    out.imbue(std::locale(""));
  } catch (const std::runtime_error &) {
  }
  out << std::put_time(&local, format);
  return AnsiToWide(out.str().c_str(), CP_UTF8);
}

WString Decimal(int32_t v) { return AsciiToWide(std::to_string(v)); }

}  // namespace

// A page of text keeps its items for the next one; more than this many,
// or lines longer than this, are freed.
constexpr size_t kMaxSpareTextItems = 1024;
constexpr size_t kMaxSpareLine = 256;

void TgtCustomDocumentEngine::KeepSpareTextItems(TgtItemList &List) {
  for (std::unique_ptr<TgtDocumentItem> &item : List) {
    if (FSpareTextItems.size() >= kMaxSpareTextItems) return;
    if (!item || typeid(*item) != typeid(TgtTextItem)) continue;
    auto &text = static_cast<TgtTextItem &>(*item);
    if (text.FLines.size() > 1 || text.FLines[0].capacity() > kMaxSpareLine ||
        text.FCharSpaceArray.size() > kMaxSpareLine)
      continue;
    FSpareTextItems.emplace_back(&text);
    item.release();
  }
}

std::unique_ptr<TgtTextItem> TgtCustomDocumentEngine::NewTextItem() {
  if (FSpareTextItems.empty()) return std::unique_ptr<TgtTextItem>(new TgtTextItem);
  std::unique_ptr<TgtTextItem> item = std::move(FSpareTextItems.back());
  FSpareTextItems.pop_back();
  item->Renew();
  return item;
}

WString TgtCustomDocumentEngine::ReplacePageVariables(const WString &Text) {
  WString s = ReplaceAll(Text, u"<%Pg#%>", Decimal(FCurrentPage));
  return ReplaceAll(s, u"<%PgCnt%>", Decimal(FRenderingEarly ? FExpectedPageCount : FPageCount));
}

WString TgtCustomDocumentEngine::ReplaceVariables(const WString &Text, bool WithPageNumbers) {
  // Every variable is a marker opening with "<%": text without one stays.
  if (!FPreferences->FCalculateVariables || Text.find(u"<%") == WString::npos) return Text;
  WString s = WithPageNumbers ? ReplacePageVariables(Text) : Text;
  if (FindNoCase(s, u"<%", 0) == WString::npos) return s;
  s = ReplaceAll(s, u"<%ShortDate%>", FormatNow("%x"));
  s = ReplaceAll(s, u"<%ShortTime%>", FormatNow("%H:%M"));
  s = ReplaceAll(s, u"<%LongDate%>", FormatNow("%A, %d %B %Y"));
  s = ReplaceAll(s, u"<%LongTime%>", FormatNow("%X"));
  s = ReplaceAll(s, u"<%Author%>", FDocInfo.FAuthor);
  s = ReplaceAll(s, u"<%Creator%>", FDocInfo.FCreator);
  s = ReplaceAll(s, u"<%Subject%>", FDocInfo.FSubject);
  s = ReplaceAll(s, u"<%Title%>", FDocInfo.FTitle);
  if (!FOnCalcVariables) return s;
  // Markers the engine does not know go to the event, left to right; an
  // answer is not searched for markers again.
  WString out;
  size_t from = 0;
  for (;;) {
    size_t open = s.find(u"<%", from);
    if (open == WString::npos) break;
    size_t close = s.find(u"%>", open + 2);
    if (close == WString::npos) break;
    size_t inner = s.find(u"<%", open + 2);
    if (inner != WString::npos && inner < close) {  // "<%a<%b%>": the later marker is the one
      out.append(s, from, inner - from);
      from = inner;
      continue;
    }
    WString name = s.substr(open + 2, close - open - 2);
    WString marker = s.substr(open, close + 2 - open);
    out.append(s, from, open - from);
    if (name.empty() || FindNoCase(marker, u"<%Pg#%>", 0) == 0 || FindNoCase(marker, u"<%PgCnt%>", 0) == 0)
      out.append(marker);
    else
      out.append(FOnCalcVariables(*this, name));
    from = close + 2;
  }
  return out.append(s, from, WString::npos);
}

}  // namespace nx
