// The font table of the PDF writer: which font resource a run uses, and the
// font objects written at the end of the document, simple and composite.
#include "common/Strings.h"
#include "export/gtCstPDFEng.h"
#include "export/gtCstPDFEngFormat.h"

namespace nx {

using pdf::AppendInt;
using pdf::Ref;

namespace {

// Excluded families are compared without regard to case, as hosts spell
// family names both ways.
bool IsExcluded(const std::vector<WString> &excludeList, const WString &family) {
  auto lower = [](const WString &w) {
    WString l = w;
    for (WCHAR &c : l)
      if (c >= u'A' && c <= u'Z') c = static_cast<WCHAR>(c + 32);
    return l;
  };
  for (const WString &excluded : excludeList)
    if (lower(excluded) == lower(family)) return true;
  return false;
}

}  // namespace

TgtTTFontEmbedding TgtCustomPDFEngine::EmbeddingOf(const WString &family) {
  return IsExcluded(FFontEmbedExcludeList, family) ? etfNone : Preferences().FEmbedTrueTypeFonts;
}

TgtPDFFont &TgtCustomPDFEngine::FontResource(const TPdfFontSpec &wanted, bool isCID, bool isIdentityH,
                                             int32_t &index) {
  // A simple font has no orientation: it is always looked up as horizontal.
  const bool horizontal = isIdentityH || !isCID;
  for (size_t i = 0; i < FFontTable.size(); ++i)
    if (FFontTable[i]->IsEqual(wanted, isCID, horizontal)) {
      index = static_cast<int32_t>(i);
      return *FFontTable[i];
    }
  // A composite font's codes are glyph identifiers of this very font file:
  // a reader that substitutes another font draws the wrong glyphs. So when
  // embedding is merely switched off, composite fonts still carry a subset;
  // a family the host excluded by name stays out.
  TgtTTFontEmbedding embedding = EmbeddingOf(wanted.Family);
  if (isCID && embedding == etfNone && !IsExcluded(FFontEmbedExcludeList, wanted.Family)) embedding = etfSubset;
  auto font = std::make_unique<TgtPDFFont>(wanted, embedding, isCID, NextObjectNumber(), &FFontDataCache);
  font->SetIdentityH(horizontal);
  FFontTable.push_back(std::move(font));
  index = static_cast<int32_t>(FFontTable.size()) - 1;
  return *FFontTable.back();
}

void TgtCustomPDFEngine::WriteFonts() {
  for (size_t i = 0; i < FFontTable.size(); ++i) {
    TgtPDFFont &f = *FFontTable[i];
    f.PrepareEmbedding();
    if (f.IsCID())
      WriteCompositeFont(f, static_cast<int32_t>(i));
    else
      WriteSimpleFont(f, static_cast<int32_t>(i));
  }
}

void TgtCustomPDFEngine::WriteSimpleFont(TgtPDFFont &f, int32_t index) {
  const int32_t descriptor = NextObjectNumber();
  FWriter->WriteObject(f.SimpleFontDictionary(index, descriptor), f.Info().FfiFontObjRef);
  const int32_t fontFile = f.EmbeddedData().empty() ? 0 : NextObjectNumber();
  FWriter->WriteObject(f.SimpleFontDescriptor(fontFile), descriptor);
  if (fontFile)
    WriteStreamObject(fontFile, "/Length1 " + std::to_string(f.EmbeddedData().size()), f.EmbeddedData(), true);
}

void TgtCustomPDFEngine::WriteCompositeFont(TgtPDFFont &f, int32_t index) {
  const int32_t toUnicode = NextObjectNumber();
  const int32_t descendant = NextObjectNumber();
  FWriter->WriteObject(f.Type0FontDictionary(index, toUnicode, descendant), f.Info().FfiFontObjRef);
  const int32_t descriptor = NextObjectNumber();
  const std::string registry = pdf::HexBytes(EncryptText("Adobe", descendant, 0));
  const std::string ordering = pdf::HexBytes(EncryptText("Identity", descendant, 0));
  FWriter->WriteObject(f.CIDFontDictionary(descriptor, registry, ordering), descendant);
  const int32_t fontFile = f.EmbeddedData().empty() ? 0 : NextObjectNumber();
  FWriter->WriteObject(f.CompositeFontDescriptor(fontFile), descriptor);
  WriteToUnicode(f, toUnicode);
  if (fontFile)
    WriteStreamObject(fontFile, "/Length1 " + std::to_string(f.EmbeddedData().size()), f.EmbeddedData(), true);
}

// The ToUnicode map's stream; its length follows as an object of its own,
// with or without compression.
void TgtCustomPDFEngine::WriteToUnicode(const TgtPDFFont &f, int32_t objNo) {
  const int32_t lengthObj = NextObjectNumber();
  std::string dict = "/Length\r\n" + Ref(lengthObj);
  std::string data = f.ToUnicodeCMap();
  if (FCompression.Enabled) {
    dict += "/Filter/FlateDecode";
    data = pdf::Deflate(data, FCompression.Level);
  }
  EncryptStreamData(data, data.size(), 0, objNo);
  FWriter->WriteObject(dict, objNo, false);
  FWriter->WriteStreamData(data);
  std::string len;
  AppendInt(len, static_cast<int64_t>(data.size()));
  FWriter->WriteObject(len, lengthObj);
}

}  // namespace nx
