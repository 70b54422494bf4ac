#include "ScriptParser.h"

#include <cctype>

#include "platform/win32.h"

namespace nxrun {
namespace {

// Converts a run of UTF-8 text to the ANSI code page, refusing characters the
// code page does not have.
std::string Utf8ToAnsi(const std::string &text) {
  if (text.empty()) return {};
  int len = static_cast<int>(text.size());
  int n = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(), len, nullptr, 0);
  if (n <= 0) throw ScriptError("the string is not valid UTF-8");
  std::basic_string<WCHAR> wide(static_cast<size_t>(n), 0);
  MultiByteToWideChar(CP_UTF8, 0, text.data(), len, wide.data(), n);
  BOOL usedDefault = FALSE;
  int m = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide.data(), n, nullptr, 0, nullptr, &usedDefault);
  if (m <= 0 || usedDefault)
    throw ScriptError("the string has a character that the ANSI code page " + std::to_string(GetACP()) +
                      " cannot hold (write it as \\x bytes)");
  std::string out(static_cast<size_t>(m), '\0');
  WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide.data(), n, out.data(), m, nullptr, nullptr);
  return out;
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

class LineParser {
 public:
  explicit LineParser(const std::string &line) : s_(line) {}

  std::optional<Call> Parse() {
    SkipSpace();
    if (AtEnd()) return std::nullopt;
    Call call;
    call.name = Name();
    SkipSpace();
    if (Peek() == '(') {
      ++pos_;
      SkipSpace();
      if (Peek() != ')') {
        for (;;) {
          SkipSpace();
          call.args.push_back(Argument());
          SkipSpace();
          if (Peek() == ',') {
            ++pos_;
            continue;
          }
          break;
        }
      }
      if (Peek() != ')') Fail("expected ',' or ')'");
      ++pos_;
    }
    SkipSpace();
    if (Peek() == ';') ++pos_;
    SkipSpace();
    if (!AtEnd()) Fail("unexpected text after the call");
    return call;
  }

 private:
  bool AtEnd() const { return pos_ >= s_.size() || s_[pos_] == '#'; }
  char Peek() const { return pos_ < s_.size() ? s_[pos_] : '\0'; }
  void SkipSpace() {
    while (pos_ < s_.size() && std::isspace(static_cast<unsigned char>(s_[pos_]))) ++pos_;
  }
  [[noreturn]] void Fail(const std::string &what) const {
    throw ScriptError("column " + std::to_string(pos_ + 1) + ": " + what);
  }

  std::string Name() {
    size_t start = pos_;
    while (pos_ < s_.size() && (std::isalnum(static_cast<unsigned char>(s_[pos_])) || s_[pos_] == '_')) ++pos_;
    if (pos_ == start || std::isdigit(static_cast<unsigned char>(s_[start]))) Fail("expected the name of a call");
    return s_.substr(start, pos_ - start);
  }

  Arg Argument() {
    if (Peek() == '"') return StringLiteral();
    return NumberLiteral();
  }

  Arg NumberLiteral() {
    size_t start = pos_;
    bool negative = false;
    if (Peek() == '-' || Peek() == '+') negative = s_[pos_++] == '-';
    bool hex = Peek() == '0' && pos_ + 1 < s_.size() && (s_[pos_ + 1] == 'x' || s_[pos_ + 1] == 'X');
    if (hex) pos_ += 2;
    uint64_t value = 0;
    size_t digits = 0;
    for (;;) {
      int d = hex ? HexValue(Peek()) : (std::isdigit(static_cast<unsigned char>(Peek())) ? Peek() - '0' : -1);
      if (d < 0) break;
      value = value * (hex ? 16 : 10) + static_cast<uint64_t>(d);
      if (value > 0xFFFFFFFFull) {
        pos_ = start;
        Fail("the number does not fit in 32 bits");
      }
      ++pos_;
      ++digits;
    }
    if (digits == 0) {
      pos_ = start;
      Fail("expected a number or a string in double quotes");
    }
    // Decimal numbers are signed 32-bit values; hexadecimal ones may use all
    // 32 bits (0xFF00000F is a system colour).
    if (!hex && value > (negative ? 0x80000000ull : 0x7FFFFFFFull)) {
      pos_ = start;
      Fail("the number does not fit in a signed 32-bit integer");
    }
    Arg arg;
    uint32_t bits = static_cast<uint32_t>(value);
    if (negative) bits = 0u - bits;
    arg.number = static_cast<int32_t>(bits);
    return arg;
  }

  Arg StringLiteral() {
    ++pos_;  // opening quote
    Arg arg;
    arg.kind = Arg::String;
    std::string text;  // UTF-8 text not yet converted
    auto flush = [&] {
      arg.bytes += Utf8ToAnsi(text);
      text.clear();
    };
    for (;;) {
      if (pos_ >= s_.size()) Fail("the string has no closing quote");
      char c = s_[pos_++];
      if (c == '"') break;
      if (c != '\\') {
        text += c;
        continue;
      }
      if (pos_ >= s_.size()) Fail("the string has no closing quote");
      char e = s_[pos_++];
      switch (e) {
        case 'n': text += '\n'; break;
        case 't': text += '\t'; break;
        case 'r': text += '\r'; break;
        case 'a': text += '\a'; break;
        case 'b': text += '\b'; break;
        case 'f': text += '\f'; break;
        case 'v': text += '\v'; break;
        case '\\': text += '\\'; break;
        case '"': text += '"'; break;
        case '\'': text += '\''; break;
        case '?': text += '?'; break;
        case 'x': {
          int value = 0, digits = 0;
          while (digits < 2 && HexValue(Peek()) >= 0) value = value * 16 + HexValue(s_[pos_++]), ++digits;
          if (digits == 0) Fail("\\x needs one or two hexadecimal digits");
          flush();
          arg.bytes += static_cast<char>(value);
          break;
        }
        default:
          if (e >= '0' && e <= '7') {
            int value = e - '0', digits = 1;
            while (digits < 3 && Peek() >= '0' && Peek() <= '7') value = value * 8 + (s_[pos_++] - '0'), ++digits;
            if (value > 255) Fail("the octal escape is larger than a byte");
            flush();
            arg.bytes += static_cast<char>(value);
          } else {
            --pos_;
            Fail(std::string("unknown escape \\") + e);
          }
      }
    }
    flush();
    return arg;
  }

  const std::string &s_;
  size_t pos_ = 0;
};

}  // namespace

std::optional<Call> ParseLine(const std::string &line) { return LineParser(line).Parse(); }

std::string AnsiToUtf8(const std::string &ansi) {
  if (ansi.empty()) return {};
  int len = static_cast<int>(ansi.size());
  int n = MultiByteToWideChar(CP_ACP, 0, ansi.data(), len, nullptr, 0);
  if (n <= 0) return ansi;
  std::basic_string<WCHAR> wide(static_cast<size_t>(n), 0);
  MultiByteToWideChar(CP_ACP, 0, ansi.data(), len, wide.data(), n);
  int m = WideCharToMultiByte(CP_UTF8, 0, wide.data(), n, nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<size_t>(m > 0 ? m : 0), '\0');
  if (m > 0) WideCharToMultiByte(CP_UTF8, 0, wide.data(), n, out.data(), m, nullptr, nullptr);
  return out;
}

}  // namespace nxrun
