#include <gtest/gtest.h>

#include <iconv.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "platform/win32.h"
#include "support/TestSupport.h"

namespace {

std::u16string ToWide(UINT cp, const std::string &s) {
  int n = MultiByteToWideChar(cp, 0, s.data(), int(s.size()), nullptr, 0);
  std::u16string out(size_t(n), u'\0');
  EXPECT_EQ(n, MultiByteToWideChar(cp, 0, s.data(), int(s.size()), reinterpret_cast<WCHAR *>(out.data()), n));
  return out;
}

std::string ToBytes(UINT cp, const std::u16string &s, BOOL *usedDefault = nullptr) {
  auto *w = reinterpret_cast<const WCHAR *>(s.data());
  int n = WideCharToMultiByte(cp, 0, w, int(s.size()), nullptr, 0, nullptr, nullptr);
  std::string out(size_t(n), '\0');
  EXPECT_EQ(n, WideCharToMultiByte(cp, 0, w, int(s.size()), out.data(), n, nullptr, usedDefault));
  return out;
}

TEST(CodePage, DefaultsAreWindowsLatinAndDosUs) {
  // The test runs without NOXTREL_ACP / NOXTREL_OEMCP.
  EXPECT_EQ(1252u, GetACP());
  EXPECT_EQ(437u, GetOEMCP());
}

TEST(CodePage, AnsiAndOemRoundTrip) {
  EXPECT_EQ(u"\u20ACd\u00E9j\u00E0", ToWide(CP_ACP, "\x80" "d\xE9j\xE0"));  // euro and accents in 1252
  EXPECT_EQ(u"\u00C7\u2502\u00E9", ToWide(CP_OEMCP, "\x80\xB3\x82"));      // 437: C cedilla, box line, e acute
  EXPECT_EQ("\x80\xB3\x82", ToBytes(CP_OEMCP, u"\u00C7\u2502\u00E9"));
  EXPECT_EQ("caf\xC3\xA9", ToBytes(CP_UTF8, u"caf\u00E9"));
}

TEST(CodePage, NulTerminatedCountIncludesTheTerminator) {
  WCHAR buf[8];
  EXPECT_EQ(4, MultiByteToWideChar(CP_ACP, 0, "abc", -1, buf, 8));
  EXPECT_EQ(0, buf[3]);
  char out[8];
  EXPECT_EQ(4, WideCharToMultiByte(CP_ACP, 0, NXW("xyz"), -1, out, 8, nullptr, nullptr));
  EXPECT_STREQ("xyz", out);
}

TEST(CodePage, UnmappableAndUnpairedBecomeDefaultChar) {
  BOOL used = FALSE;
  EXPECT_EQ("a?b", ToBytes(CP_ACP, u"a\u4E2Db", &used));
  EXPECT_TRUE(used);
  std::u16string lone = u"x";
  lone += char16_t(0xD800);
  lone += u"y";
  EXPECT_EQ("x?y", ToBytes(CP_ACP, lone));
  EXPECT_EQ("x\xEF\xBF\xBDy", ToBytes(CP_UTF8, lone));
}

TEST(CodePage, InvalidUtf8IsReplacedOrRefused) {
  EXPECT_EQ(u"a\uFFFDb", ToWide(CP_UTF8, "a\xFF" "b"));
  WCHAR buf[8];
  SetLastError(0);
  EXPECT_EQ(0, MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, "a\xFF", 2, buf, 8));
  EXPECT_EQ(DWORD(ERROR_NO_UNICODE_TRANSLATION), GetLastError());
}

TEST(CodePage, BadArgumentsFailCleanly) {
  WCHAR w[2];
  char b[2];
  EXPECT_EQ(0, MultiByteToWideChar(CP_ACP, 0, nullptr, 5, w, 2));
  EXPECT_EQ(DWORD(ERROR_INVALID_PARAMETER), GetLastError());
  EXPECT_EQ(0, MultiByteToWideChar(CP_ACP, 0, "abc", 0, w, 2));
  EXPECT_EQ(0, MultiByteToWideChar(CP_ACP, 0, "abc", -7, w, 2));
  EXPECT_EQ(0, MultiByteToWideChar(CP_ACP, 0, "abc", 3, nullptr, 2));
  EXPECT_EQ(0, WideCharToMultiByte(CP_ACP, 0, nullptr, 3, b, 2, nullptr, nullptr));
  EXPECT_EQ(0, MultiByteToWideChar(CP_ACP, 0, "abcdef", 6, w, 2));
  EXPECT_EQ(DWORD(ERROR_INSUFFICIENT_BUFFER), GetLastError());
  EXPECT_EQ(0, MultiByteToWideChar(54321, 0, "abc", 3, w, 2));  // no such code page
  EXPECT_FALSE(OemToCharW(nullptr, w));
  EXPECT_FALSE(CharToOemA("a", nullptr));
}

TEST(CodePage, OemAndAnsiHelpers) {
  WCHAR w[8];
  ASSERT_TRUE(OemToCharW("\x9B\x82", w));  // 437: cent sign, e acute
  EXPECT_EQ(u'\u00A2', w[0]);
  EXPECT_EQ(u'\u00E9', w[1]);
  EXPECT_EQ(0, w[2]);
  char oem[8];
  ASSERT_TRUE(CharToOemA("\xE9t\xE9", oem));  // 1252 e acute -> 437 0x82
  EXPECT_STREQ("\x82t\x82", oem);
  char inPlace[] = "\xC7";
  ASSERT_TRUE(CharToOemA(inPlace, inPlace));
  EXPECT_STREQ("\x80", inPlace);
}

TEST(CodePage, UnassignedWindows1252BytesRoundTrip) {
  // 0x81, 0x8D, 0x8F, 0x90 and 0x9D are the C1 controls of the same value.
  EXPECT_EQ(u"a\u0081\u008D\u008F\u0090\u009Db", ToWide(1252, "a\x81\x8D\x8F\x90\x9D" "b"));
  WCHAR w[2];
  EXPECT_EQ(1, MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, "\x90", 1, w, 2));
  BOOL used = TRUE;
  EXPECT_EQ("\x81\x9D", ToBytes(CP_ACP, u"\u0081\u009D", &used));
  EXPECT_FALSE(used);
  EXPECT_EQ("?", ToBytes(CP_ACP, u"\u0085"));  // 0x85 is the ellipsis in 1252
}

// Decodes one byte at a time through iconv itself, as an independent
// reference: U+FFFD for a refused byte (the 1252 gaps give their C1
// control); false when a byte is refused and the caller wants strictness.
bool IconvByBytes(const char *name, const std::string &in, bool strict, std::u16string *out) {
  iconv_t cd = iconv_open("UTF-16LE", name);
  if (cd == reinterpret_cast<iconv_t>(-1)) return false;
  bool ok = true;
  for (char c : in) {
    char src[1] = {c}, dst[8];
    char *s = src, *d = dst;
    size_t left = 1, room = sizeof dst;
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
    if (iconv(cd, &s, &left, &d, &room) == static_cast<size_t>(-1)) {
      const uint8_t b = uint8_t(c);
      const bool gap = std::string(name) == "CP1252" && (b == 0x81 || b == 0x8D || b == 0x8F || b == 0x90 || b == 0x9D);
      if (!gap && strict) ok = false;
      out->push_back(gap ? char16_t(b) : u'\uFFFD');
    } else {
      out->push_back(char16_t(uint8_t(dst[0]) | (uint8_t(dst[1]) << 8)));
    }
  }
  iconv_close(cd);
  return ok;
}

TEST(CodePage, SingleByteCodePagesDecodeEveryByteAsIconvDoes) {
  std::string all;
  for (int b = 1; b < 256; ++b) all.push_back(char(b));
  all.push_back('\0');  // a NUL inside a counted string is converted too
  const std::string alpha = "\xC1\xE1 \xA2";  // 1253: Alpha, alpha, Alpha with tonos
  struct Case {
    UINT cp;
    const char *iconvName;
  } cases[] = {{1250, "CP1250"}, {1251, "CP1251"}, {1252, "CP1252"}, {1253, "CP1253"}, {1254, "CP1254"},
               {1256, "CP1256"}, {1257, "CP1257"}, {874, "CP874"},   {437, "CP437"},   {850, "CP850"},
               {866, "CP866"},   {28591, "ISO-8859-1"}, {28595, "ISO-8859-5"}, {20127, "ASCII"}};
  for (const Case &c : cases) {
    std::u16string want;
    const bool anyRefused = !IconvByBytes(c.iconvName, all, true, &want);
    EXPECT_EQ(want, ToWide(c.cp, all)) << c.cp;
    // Strict decoding fails exactly when some byte is refused.
    std::vector<WCHAR> buf(all.size());
    SetLastError(0);
    const int n = MultiByteToWideChar(c.cp, MB_ERR_INVALID_CHARS, all.data(), int(all.size()), buf.data(), int(buf.size()));
    EXPECT_EQ(anyRefused ? 0 : int(all.size()), n) << c.cp;
    if (anyRefused) {
      EXPECT_EQ(DWORD(ERROR_NO_UNICODE_TRANSLATION), GetLastError()) << c.cp;
    }
  }
  EXPECT_EQ(u"\u0391\u03B1 \u0386", ToWide(1253, alpha));
  WCHAR w[4];
  EXPECT_EQ(0, MultiByteToWideChar(1253, MB_ERR_INVALID_CHARS, "a\xAA", 2, w, 4));  // 0xAA is unassigned in 1253
  EXPECT_EQ(u"a\uFFFD", ToWide(1253, "a\xAA"));
}

TEST(CodePage, SingleByteBufferRulesAndTerminator) {
  WCHAR w[4] = {1, 1, 1, 1};
  EXPECT_EQ(3, MultiByteToWideChar(1253, 0, "\xC1\xE1", -1, nullptr, 0));  // counts the NUL
  EXPECT_EQ(3, MultiByteToWideChar(1253, 0, "\xC1\xE1", -1, w, 4));
  EXPECT_EQ(0, w[2]);
  SetLastError(0);
  EXPECT_EQ(0, MultiByteToWideChar(1253, 0, "\xC1\xE1\xE1", 3, w, 2));
  EXPECT_EQ(DWORD(ERROR_INSUFFICIENT_BUFFER), GetLastError());
  // A strict refusal is reported before a short buffer, as for any code page.
  SetLastError(0);
  EXPECT_EQ(0, MultiByteToWideChar(1253, MB_ERR_INVALID_CHARS, "\xAA\xAA\xAA", 3, w, 1));
  EXPECT_EQ(DWORD(ERROR_NO_UNICODE_TRANSLATION), GetLastError());
}

TEST(CodePage, ComposingCodePagesStillJoinMarks) {
  // 1255: shin followed by the shin dot is one precomposed character.
  EXPECT_EQ(u"\uFB2A", ToWide(1255, "\xF9\xD1"));
  // 1258: a followed by the combining grave is a with grave.
  EXPECT_EQ(u"\u00E0", ToWide(1258, "a\xCC"));
}

// The child of the next test: when this program runs with NX_WANT_ACP and
// NX_WANT_OEMCP set, it checks the code pages the environment chose instead
// of running the tests, says so, and exits 0 when they are the ones wanted.
int CheckChildCodePages() {
  const UINT acp = UINT(std::atoi(std::getenv("NX_WANT_ACP")));
  const UINT oem = UINT(std::atoi(std::getenv("NX_WANT_OEMCP")));
  int failures = 0;
  auto check = [&](bool ok, const char *what) {
    if (!ok) std::printf("child: wrong %s\n", what);
    failures += !ok;
  };
  check(acp == GetACP(), "GetACP");
  check(oem == GetOEMCP(), "GetOEMCP");
  if (GetACP() == 1251) check(ToWide(CP_ACP, "\xC6") == u"\u0416", "CP_ACP text");  // Cyrillic Zhe
  if (GetOEMCP() == 850) {
    WCHAR w[2] = {};
    check(OemToCharW("\x9D", w) && w[0] == u'\u00D8', "OEM text");  // O stroke (437 has the yen sign there)
  }
  std::printf("child checked the code pages: %d wrong\n", failures);
  return failures == 0 ? 0 : 1;
}

const bool kChildChecked = [] {
  if (std::getenv("NX_WANT_ACP") && std::getenv("NX_WANT_OEMCP")) std::exit(CheckChildCodePages());
  return false;
}();

TEST(CodePage, EnvironmentChoosesTheCodePagesAndBadValuesFallBack) {
  char self[4096];
  ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
  ASSERT_GT(n, 0);
  self[n] = 0;
  struct Case {
    const char *acp, *oem;
    int wantAcp, wantOem;
  } cases[] = {
      {"1251", "850", 1251, 850},
      {"99999", "abc", 1252, 437},  // out of range, not a number
      {"4242", "", 1252, 437},      // no such code page: every conversion would fail
  };
  for (const Case &c : cases) {
    std::string cmd = std::string("NOXTREL_ACP='") + c.acp + "' NOXTREL_OEMCP='" + c.oem +
                      "' NX_WANT_ACP=" + std::to_string(c.wantAcp) + " NX_WANT_OEMCP=" + std::to_string(c.wantOem) +
                      " '" + self + "'";
    auto r = nxtest::RunCommand(cmd);
    EXPECT_EQ(0, r.exitCode) << c.acp << "/" << c.oem << "\n" << r.output;
    EXPECT_NE(std::string::npos, r.output.find("child checked the code pages")) << r.output;
  }
}

}  // namespace
