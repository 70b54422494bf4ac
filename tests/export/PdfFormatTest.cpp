// Number, colour, string and date forms of the PDF writer, and its object
// layer: offsets, cross-reference entries, startxref, compression.
#include <gtest/gtest.h>
#include <zlib.h>

#include <charconv>
#include <clocale>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <regex>
#include <vector>

#include "common/Strings.h"
#include "export/gtCstPDFEngDoc.h"
#include "export/gtCstPDFEngFormat.h"
#include "export/gtCstPDFEngWriter.h"

using namespace nx;
using namespace nx::pdf;

TEST(PdfNumbers, FixedFourAndGeneralFormsIgnoreTheLocale) {
  // A locale with a decimal comma must not reach the output.
  const char *old = std::setlocale(LC_NUMERIC, nullptr);
  const std::string saved = old ? old : "C";
  std::setlocale(LC_NUMERIC, "de_DE.UTF-8");
  EXPECT_EQ(Fixed4(12), "12.0000");
  EXPECT_EQ(Fixed4(0.5), "0.5000");
  EXPECT_EQ(Fixed4(-3.25), "-3.2500");
  EXPECT_EQ(Fixed4(-0.00001), "0.0000");
  EXPECT_EQ(Fixed4(123456789.123456), "123456789.1235");
  EXPECT_EQ(General(12), "12");
  EXPECT_EQ(General(0.35), "0.35");
  EXPECT_EQ(General(-200), "-200");
  EXPECT_EQ(General(0.5), "0.5");
  EXPECT_EQ(General(1.0 / 3), "0.333333333333333");
  EXPECT_EQ(General(1e20), "100000000000000000000");
  EXPECT_EQ(General(0.0000123), "0.0000123");
  std::setlocale(LC_NUMERIC, saved.c_str());
}

// The fixed form is written without the general conversion in the common
// case; it must give the correctly rounded digits of the exact binary value
// everywhere, ties (exact halves of the fourth decimal) included.
TEST(PdfNumbers, FixedFourIsTheCorrectlyRoundedValue) {
  auto reference = [](double v) {
    char buf[400];
    auto r = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::fixed, 4);
    std::string s(buf, r.ptr);
    return s == "-0.0000" ? std::string("0.0000") : s;
  };
  std::vector<double> values = {0.03125, -0.03125, 0.09375, 2.00005, 1.00015, 0.00005, -0.00005, 0.00015,
                                99999.99995, 99999.99994, 100000.00005, 123456.78125, 1e-300, -1e-300,
                                4503599627370496.5, 9.9999e14, 0.99995, 0.49995, 1234.56785};
  // Every multiple of 1/2^k near the fourth decimal's ties, and values
  // spread over the magnitudes a page uses.
  for (int k = 1; k <= 20; ++k)
    for (int i = -50; i <= 50; ++i) values.push_back(std::ldexp(double(i) + 0.5, -k));
  uint64_t seed = 0x9E3779B97F4A7C15u;
  for (int i = 0; i < 200000; ++i) {
    seed = seed * 6364136223846793005u + 1442695040888963407u;
    const double unit = double(seed >> 11) / double(1ull << 53);
    const double magnitude = std::pow(10.0, double(i % 12) - 4);
    values.push_back((i & 1 ? -1 : 1) * unit * magnitude);
    // A value a hair's breadth from a tie of the fourth decimal.
    values.push_back((std::floor(unit * 1e6) + 0.5) / 1e4);
  }
  int wrong = 0;
  for (double v : values)
    // Twice: the second call may take the text the first one kept.
    if ((Fixed4(v) != reference(v) || Fixed4(v) != reference(v)) && ++wrong <= 5)
      ADD_FAILURE() << "value " << v << ": " << Fixed4(v);
  EXPECT_EQ(wrong, 0);
}

// Recent values keep their text: a value met again, after others that may
// share its place, must still read as its own, and digit counts either side
// of every power of ten must come out whole.
TEST(PdfNumbers, FixedFourRepeatedValuesKeepTheirOwnText) {
  auto reference = [](double v) {
    char buf[400];
    auto r = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::fixed, 4);
    std::string s(buf, r.ptr);
    return s == "-0.0000" ? std::string("0.0000") : s;
  };
  std::vector<double> values = {0.0, -0.0, 0.00004, -0.00004, 0.00006, -0.00006};
  for (double p = 1; p <= 1e5; p *= 10)
    for (double d : {-0.0001, -0.00004, 0.0, 0.00004, 0.0001}) {
      values.push_back(p + d);
      values.push_back(-(p + d));
    }
  // Spacing adjustments as a text run makes them: (font width - advance) /
  // size * 1000, for a few sizes and the widths and advances of a font.
  for (double size : {7.5, 10.0, 13.333333333333334})
    for (int width = 200; width <= 900; width += 37)
      for (int advance = 2; advance <= 12; ++advance)
        values.push_back((width * 96.0 / 72 * size / 1000 - advance) / size * 1000 * 0.75);
  int wrong = 0;
  for (int round = 0; round < 3; ++round)
    for (size_t i = 0; i < values.size(); ++i) {
      // Forwards and in a stride that brings values in another order.
      const double v = values[round == 1 ? (i * 7919) % values.size() : i];
      if (Fixed4(v) != reference(v) && ++wrong <= 5) ADD_FAILURE() << "value " << v << ": " << Fixed4(v);
    }
  EXPECT_EQ(wrong, 0);
  std::string s;
  for (double v : {1.5, -1.5, 1.5, 0.0, -0.0, 1.5}) {
    AppendFixed4(s, v);
    s += ' ';
  }
  EXPECT_EQ(s, "1.5000 -1.5000 1.5000 0.0000 0.0000 1.5000 ");
}

// Font sizes reach the writer through single-precision transforms: the
// text is the shortest that reads back to the same float, never with an
// exponent, and never longer than the general form.
TEST(PdfNumbers, SizesAreWrittenToSinglePrecision) {
  EXPECT_EQ(SizeText(9.95999977737665), "9.96");
  EXPECT_EQ(SizeText(12), "12");
  EXPECT_EQ(SizeText(11.9999997317791), "12");
  EXPECT_EQ(SizeText(11.5), "11.5");
  EXPECT_EQ(SizeText(0.0001), "0.0001");
  EXPECT_EQ(SizeText(2e7), "20000000");
  EXPECT_EQ(SizeText(0), "0");
  EXPECT_EQ(SizeText(1e300), General(1e300)) << "beyond single precision";
  int wrong = 0;
  for (int i = 1; i <= 20000; ++i) {
    // A size in hundredths of a point, scaled there and back as a player does.
    const double v = static_cast<double>(static_cast<float>(i / 100.0 * (96.0 / 72.0))) * (72.0 / 96.0);
    const std::string t = SizeText(v);
    const bool ok = t.find_first_of("eE") == std::string::npos && std::strtof(t.c_str(), nullptr) == float(v) &&
                    t.size() <= General(v).size();
    if (!ok && ++wrong <= 5) ADD_FAILURE() << "size " << General(v) << ": " << t;
  }
}

TEST(PdfNumbers, ColoursAreChannelsOver255) {
  std::string s;
  AppendRgb(s, RGB(0x80, 0, 255));
  EXPECT_EQ(s, "0.5020 0.0000 1.0000");
  // Every channel value in every place, against printf's rounding of the
  // exact quotient; appended after text already there.
  for (int i = 0; i < 256; ++i) {
    const int r = i, g = 255 - i, b = (i * 7 + 3) & 255;
    char want[64];
    std::snprintf(want, sizeof want, "x%.4f %.4f %.4f", r / 255.0, g / 255.0, b / 255.0);
    s = "x";
    AppendRgb(s, RGB(r, g, b));
    ASSERT_EQ(s, want) << i;
  }
}

TEST(PdfStrings, HexFormsAndEscapes) {
  EXPECT_EQ(HexBytes(std::string("\x00\xAB", 2)), "00AB");
  EXPECT_EQ(HexUtf16(u"A\u03A9"), "FEFF004103A9");
  std::string s;
  AppendEscapedLiteral(s, "a(b)c\\d\r\n\b\f");
  EXPECT_EQ(s, "a\\(b\\)c\\\\d\\r\\n\\b\\f");
  // Every byte value, alone and in runs (high bytes and NUL included): the
  // same as escaping byte by byte.
  std::string all, want;
  for (int i = 0; i < 256; ++i) {
    const char c = static_cast<char>(i);
    all.append(1 + i % 3, c);
    for (int k = 0; k < 1 + i % 3; ++k) AppendEscapedChar(want, c);
  }
  s = "x";
  AppendEscapedLiteral(s, all);
  EXPECT_EQ(s, "x" + want);
}

TEST(PdfDates, OffsetsInBothFormsAtTheGivenMoment) {
  TPdfMoment m;
  m.Local = SYSTEMTIME{2026, 7, 0, 4, 13, 5, 9, 0};
  m.OffsetMinutes = 120;
  EXPECT_EQ(PdfDate(m), "D:20260704130509+02'00'");
  EXPECT_EQ(XmpDate(m), "2026-07-04T13:05:09+02:00");
  EXPECT_EQ(LongTime(m), "13:05:09");
  m.OffsetMinutes = -300;
  EXPECT_EQ(PdfDate(m), "D:20260704130509-05'00'");
  m.OffsetMinutes = 330;
  EXPECT_EQ(XmpDate(m), "2026-07-04T13:05:09+05:30");
  m.OffsetMinutes = -570;  // UTC-9:30
  EXPECT_EQ(PdfDate(m), "D:20260704130509-09'30'");
  m.OffsetMinutes = 0;
  EXPECT_EQ(PdfDate(m), "D:20260704130509+00'00'");
}

TEST(PdfDates, SummerAndWinterOffsetsOfTheZoneInForce) {
  // The offset comes from the zone's rules at that moment, daylight saving
  // time included: Berlin is +1 in January and +2 in July.
  const char *oldTz = getenv("TZ");
  const std::string saved = oldTz ? oldTz : "";
  setenv("TZ", "Europe/Berlin", 1);
  tzset();
  SYSTEMTIME winter{2026, 1, 0, 15, 12, 0, 0, 0}, summer{2026, 7, 0, 15, 12, 0, 0, 0}, local{};
  ASSERT_TRUE(SystemTimeToTzSpecificLocalTime(nullptr, &winter, &local));
  EXPECT_EQ(local.wHour, 13);
  ASSERT_TRUE(SystemTimeToTzSpecificLocalTime(nullptr, &summer, &local));
  EXPECT_EQ(local.wHour, 14);
  const TPdfMoment now = CurrentMoment();
  EXPECT_TRUE(now.OffsetMinutes == 60 || now.OffsetMinutes == 120) << now.OffsetMinutes;
  setenv("TZ", "Asia/Kolkata", 1);
  tzset();
  EXPECT_EQ(CurrentMoment().OffsetMinutes, 330);
  if (oldTz)
    setenv("TZ", saved.c_str(), 1);
  else
    unsetenv("TZ");
  tzset();
}

TEST(PdfObjectWriter, ObjectsOffsetsAndTwentyByteCrossReferenceEntries) {
  TPdfObjectWriter w;
  w.WriteRaw("%PDF-1.4\r\n%\xE2\xE3\xCF\xD3\r\n");
  const uint64_t off1 = w.Size();
  w.WriteObject("/Type/Catalog\r\n", 1);
  EXPECT_EQ(w.NextObjectNumber(), 6);
  const uint64_t off6 = w.Size();
  w.WriteObject("42", 6);
  // Objects 2..5 were never written: they become free entries.
  const uint64_t xref = w.Size();
  w.WriteXRefAndTrailer("/Root 1 0 R/Size 7");
  const std::string &b = w.Buffer();
  EXPECT_EQ(b.substr(off1, 38), "1 0 obj\r\n<<\r\n/Type/Catalog\r\n>>\r\nendobj");
  EXPECT_EQ(b.substr(off6, 19), "6 0 obj\r\n42\r\nendobj");
  EXPECT_EQ(b.compare(xref, 4, "xref"), 0);
  const std::string table = b.substr(xref);
  std::smatch m;
  ASSERT_TRUE(std::regex_search(table, m, std::regex("xref\r\n0 7\r\n((?:\\d{10} \\d{5} [fn]\r\n){7})trailer")));
  EXPECT_EQ(m[1].length(), 7 * 20);
  char e1[32], e6[32];
  std::snprintf(e1, sizeof e1, "%010llu 00000 n\r\n", static_cast<unsigned long long>(off1));
  std::snprintf(e6, sizeof e6, "%010llu 00000 n\r\n", static_cast<unsigned long long>(off6));
  EXPECT_EQ(m[1].str().substr(0, 20), "0000000000 65535 f\r\n");
  EXPECT_EQ(m[1].str().substr(20, 20), e1);
  EXPECT_EQ(m[1].str().substr(120, 20), e6);
  EXPECT_TRUE(table.ends_with("startxref\r\n" + std::to_string(xref) + "\r\n%%EOF"));
  EXPECT_THROW(w.WriteObject("1", 6), std::exception);  // every number is written once
}

TEST(PdfObjectWriter, ANewWriterStartsEmptyAfterAnotherOnTheSameThread) {
  // The buffer passes from writer to writer: nothing of the last one's
  // bytes may show in the next one's offsets or output.
  std::string first;
  {
    TPdfObjectWriter w;
    w.WriteRaw(std::string(5000, 'x'));
    w.WriteObject("/Type/Catalog\r\n", 1);
    first = w.Buffer();
  }
  EXPECT_EQ(first.size(), 5000u + 38 + 2);
  TPdfObjectWriter w;
  EXPECT_EQ(w.Size(), 0u);
  EXPECT_TRUE(w.Buffer().empty());
  ASSERT_EQ(w.NextObjectNumber(), 6);
  w.WriteObject("42", 6);
  EXPECT_EQ(w.Buffer(), "6 0 obj\r\n42\r\nendobj\r\n");
  w.WriteXRefAndTrailer("/Size 7");
  EXPECT_NE(w.Buffer().find("0000000000 00000 n\r\ntrailer"), std::string::npos);  // object 6 at offset 0
  // Two writers at once each keep their own bytes.
  TPdfObjectWriter other;
  other.WriteObject("7", 1);
  EXPECT_EQ(other.Buffer(), "1 0 obj\r\n7\r\nendobj\r\n");
  EXPECT_EQ(w.Buffer().substr(0, 11), "6 0 obj\r\n42");
}

TEST(PdfCompression, DeflateIntoAReusedBufferGivesTheSameBytes) {
  std::string big, small = "q 1.0000 0 0 1.0000 0 0 cm\r\n";
  for (int i = 0; i < 3000; ++i) big += "BT /F0 12 Tf (" + std::to_string(i * 7919) + ") Tj ET\r\n";
  std::string out = "stale bytes";
  for (auto level : {clFastest, clNormal, clMaxCompress}) {
    // Larger then smaller then larger again through the one buffer.
    for (const std::string *data : {&big, &small, &big, &small}) {
      DeflateInto(*data, level, out);
      ASSERT_EQ(out, Deflate(*data, level));
      std::string back(data->size(), '\0');
      uLongf n = back.size();
      ASSERT_EQ(uncompress(reinterpret_cast<Bytef *>(back.data()), &n, reinterpret_cast<const Bytef *>(out.data()),
                           out.size()),
                Z_OK);
      EXPECT_EQ(back, *data);
    }
  }
}

TEST(PdfCompression, LevelsMapToZlibAndInflateBack) {
  std::string data;
  for (int i = 0; i < 2000; ++i) data += "0.0000 0.0000 m 12.0000 3.5000 l S\r\n";
  for (auto level : {clFastest, clNormal, clMaxCompress}) {
    const std::string z = Deflate(data, level);
    ASSERT_GE(z.size(), 2u);
    EXPECT_EQ(static_cast<unsigned char>(z[0]), 0x78);  // zlib format
    std::string back(data.size(), '\0');
    uLongf n = back.size();
    ASSERT_EQ(uncompress(reinterpret_cast<Bytef *>(back.data()), &n, reinterpret_cast<const Bytef *>(z.data()),
                         z.size()),
              Z_OK);
    EXPECT_EQ(back, data);
    if (level == clFastest) {
      EXPECT_GT(z.size(), data.size());  // stored
    }
    if (level == clMaxCompress) {
      EXPECT_LE(z.size(), Deflate(data, clNormal).size());
    }
  }
  // The header's level bits: 0 for level 1, 2 for level 6 (zlib's default).
  EXPECT_EQ((static_cast<unsigned char>(Deflate(data, clNormal)[1]) >> 6), 0);
  EXPECT_EQ((static_cast<unsigned char>(Deflate(data, clMaxCompress)[1]) >> 6), 2);
}

TEST(PdfDocumentObjects, CatalogPreferencesPatternsAndProfile) {
  TgtViewerPreferences vp;
  EXPECT_EQ(ViewerPreferenceEntries(vp), "/PageMode/UseNone/PageLayout/OneColumn/ViewerPreferences << >>");
  vp.FCenterWindow = vp.FHideToolBar = true;
  vp.FPageMode = pmFullScreen;
  EXPECT_EQ(ViewerPreferenceEntries(vp),
            "/PageMode/FullScreen/PageLayout/OneColumn/ViewerPreferences <</CenterWindow true/HideToolbar true"
            "/NonFullScreenPageMode/UseNone >>");
  EXPECT_EQ(PresentationEntries(TgtPresentationMode{}), "/Dur 1/Trans <</Type/Trans/D 1/S/R >>");
  EXPECT_EQ(PresentationEntries(TgtPresentationMode{3, teWipeTopToBottom}),
            "/Dur 3/Trans <</Type/Trans/D 3/S/Wipe/Di 270 >>");
  EXPECT_EQ(HatchPatternStream("PDC"), "2 J 2 j 0.3 w 2.5 0 m 5 2.5 l 2.5 5 l 0 2.5 l s");
  EXPECT_EQ(HatchPatternStream("PX"), "");
  const std::string_view icc = SrgbProfile();
  ASSERT_GT(icc.size(), 128u);
  EXPECT_EQ(icc.substr(12, 12), std::string_view("mntrRGB XYZ ", 12));  // monitor, RGB, XYZ
  const uint32_t declared = (uint8_t(icc[0]) << 24) | (uint8_t(icc[1]) << 16) | (uint8_t(icc[2]) << 8) | uint8_t(icc[3]);
  EXPECT_EQ(declared, icc.size());
}

TEST(PdfDocumentObjects, InformationDictionaryWithoutEncryption) {
  TPdfDocInfo info;
  info.Title = u"Caf\u00E9";
  info.Author = u"   ";  // blank: left out
  const std::string body = InfoDictionaryBody(info, "D:20260101000000+00'00'", false, nullptr);
  EXPECT_TRUE(body.starts_with("/CreationDate <" + HexBytes("D:20260101000000+00'00'") + ">/ModDate <"));
  EXPECT_NE(body.find("/Title <FEFF00430061006600E9>"), std::string::npos);
  EXPECT_NE(body.find("/Title <FEFF004300610066"), std::string::npos);
  EXPECT_EQ(body.find("/Author"), std::string::npos);
  EXPECT_TRUE(body.ends_with("\r\n"));
  const std::string a = InfoDictionaryBody(info, "D:x", true, nullptr);
  EXPECT_EQ(a.find("Date"), std::string::npos);
  EXPECT_EQ(a.find("/Producer"), std::string::npos);
}
