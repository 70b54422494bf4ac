// The Windows paper table against libcups' own PWG media table.
#include <cups/cups.h>
#include <gtest/gtest.h>

#include <cmath>
#include <set>

#include "platform/spool/Papers.h"
#include "platform/win32.h"

namespace {

using namespace nx::spool;

TEST(Papers, EveryPwgNameHasTheSizeLibcupsGivesIt) {
  size_t n = 0;
  const PaperDef *all = AllPapers(&n);
  ASSERT_GT(n, 60u);
  for (size_t i = 0; i < n; ++i) {
    const PaperDef &p = all[i];
    pwg_media_t *m = pwgMediaForPWG(p.pwg);
    ASSERT_NE(m, nullptr) << p.pwg;
    // libcups: hundredths of a millimetre; ours: tenths, either orientation,
    // within a millimetre (Windows gives Quarto as 215 x 275 mm).
    int w = std::min(p.width, p.length) * 10, l = std::max(p.width, p.length) * 10;
    EXPECT_NEAR(w, std::min(m->width, m->length), 100) << p.number << " " << p.pwg;
    EXPECT_NEAR(l, std::max(m->width, m->length), 100) << p.number << " " << p.pwg;
  }
}

TEST(Papers, TheExportEnginesPapersMapBothWays) {
  // Letter .. Note, Envelope #10 .. German Std Fanfold, and ISO B4.
  std::set<int> engine;
  for (int i = 1; i <= 18; ++i) engine.insert(i);
  for (int i = 20; i <= 40; ++i) engine.insert(i);
  engine.insert(DMPAPER_ISO_B4);
  for (int number : engine) {
    const PaperDef *p = PaperByNumber(number);
    ASSERT_NE(p, nullptr) << number;
    const PaperDef *back = PaperByPwg(p->pwg);
    ASSERT_NE(back, nullptr) << p->pwg;
    // A paper that shares its size with another maps back to the main one.
    EXPECT_EQ(back->pwg, std::string(p->pwg));
  }
  EXPECT_EQ(PaperByPwg("iso_a4_210x297mm")->number, DMPAPER_A4);
  EXPECT_EQ(PaperByPwg("na_letter_8.5x11in")->number, DMPAPER_LETTER);
  EXPECT_EQ(PaperByPwg("na_ledger_11x17in")->number, DMPAPER_TABLOID);
  EXPECT_EQ(PaperByPwg("iso_b4_250x353mm")->number, DMPAPER_ISO_B4);
  EXPECT_EQ(PaperByPwg("na_number-10_4.125x9.5in")->number, DMPAPER_ENV_10);
  EXPECT_EQ(PaperByPwg("om_unknown_1x1mm"), nullptr);
  EXPECT_EQ(PaperByNumber(0), nullptr);
  EXPECT_EQ(PaperByNumber(DMPAPER_USER), nullptr);
}

TEST(Papers, CustomSizesGetNamesLibcupsReadsBack) {
  std::string name = CustomPwgName(1000, 505);
  pwg_media_t *m = pwgMediaForPWG(name.c_str());
  ASSERT_NE(m, nullptr) << name;
  EXPECT_EQ(m->width, 10000);
  EXPECT_EQ(m->length, 5050);
}

TEST(Papers, BinKeywords) {
  EXPECT_EQ(BinByPwg("top")->number, DMBIN_UPPER);
  EXPECT_EQ(BinByPwg("manual")->number, DMBIN_MANUAL);
  EXPECT_EQ(BinByPwg("auto")->number, DMBIN_AUTO);
  EXPECT_EQ(BinByPwg("tray-7"), nullptr);
  EXPECT_EQ(BinByNumber(DMBIN_LOWER)->pwg, std::string("bottom"));
}

}  // namespace
