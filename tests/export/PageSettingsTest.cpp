// Page settings, units and the small settings objects of the export engines.
#include <gtest/gtest.h>

#include "export/gtCstDocEng.h"
#include "export/gtExPDFEng.h"
#include "export/gtPageSettings.h"

using namespace nx;

namespace {

constexpr double kInch = 96.0;  // engine pixels per inch on our screen

TgtPageSettings Paper(TgtPaperSize size, TgtOrientation o = poPortrait) {
  TgtPageSettings s;
  s.SetOrientation(o);
  s.SetPaperSize(size);
  return s;
}

}  // namespace

TEST(EngineUnits, FactorsAreEnginePixelsPerUnit) {
  gtReadScreenResolution();
  EXPECT_EQ(gtScreenResolution, 96);
  EXPECT_DOUBLE_EQ(gtUnitFactor(muPixels), 1.0);
  EXPECT_DOUBLE_EQ(gtUnitFactor(muInches), 96.0);
  EXPECT_DOUBLE_EQ(gtUnitFactor(muPoints), 96.0 / 72.0);
  EXPECT_DOUBLE_EQ(gtUnitFactor(muMM), 96.0 / 72.0 * 2.83464);
  EXPECT_DOUBLE_EQ(gtUnitFactor(muTwips), 96.0 / 72.0 * 0.05);
}

TEST(PageSettings, PaperTableGivesPortraitSizesInEnginePixels) {
  gtReadScreenResolution();
  struct Row {
    TgtPaperSize size;
    double w, h;
  } rows[] = {{Letter, 8.5, 11},        {A3, 11.6929, 16.5354},  {A4, 8.2677, 11.6929},
              {EnvB6, 6.9291, 4.9212},  {FanfoldUS, 14.875, 11}, {ISOB4, 9.8425, 13.8976},
              {EnvC65, 4.4881, 9.0157}, {Quarto, 8.4645, 10.8267}};
  for (const Row &r : rows) {
    TgtPageSettings s = Paper(r.size);
    EXPECT_DOUBLE_EQ(s.Width(), r.w * kInch) << int(r.size);
    EXPECT_DOUBLE_EQ(s.Height(), r.h * kInch) << int(r.size);
  }
  EXPECT_EQ(gtPaperTable[Custom].Width, 0.0);
  EXPECT_EQ(int(Custom), 40);
  EXPECT_EQ(int(A4), 8);
}

TEST(PageSettings, ElevenBySeventeenPapersAndLandscape) {
  TgtPageSettings tabloid = Paper(Tabloid), p11x17 = Paper(ps11X17);
  EXPECT_DOUBLE_EQ(p11x17.Width() * 72 / kInch, 792.0);
  EXPECT_DOUBLE_EQ(p11x17.Height() * 72 / kInch, 1224.0);
  EXPECT_EQ(tabloid.Width(), p11x17.Width());
  EXPECT_EQ(tabloid.Height(), p11x17.Height());
  TgtPageSettings landscape = Paper(ps11X17, poLandscape), ledger = Paper(Ledger);
  EXPECT_EQ(landscape.Width(), ledger.Width());
  EXPECT_EQ(landscape.Height(), ledger.Height());
}

TEST(PageSettings, OrientationSwapsOnceAndEitherOrderGivesLandscape) {
  TgtPageSettings s;
  s.SetPaperSize(A4);
  s.SetOrientation(poLandscape);
  s.SetOrientation(poLandscape);
  EXPECT_DOUBLE_EQ(s.Width(), 11.6929 * kInch);
  EXPECT_DOUBLE_EQ(s.Height(), 8.2677 * kInch);
  // The paper chosen while landscape: the table's height becomes the width.
  s.SetPaperSize(Legal);
  EXPECT_DOUBLE_EQ(s.Width(), 14 * kInch);
  EXPECT_DOUBLE_EQ(s.Height(), 8.5 * kInch);
  s.SetOrientation(poPortrait);
  EXPECT_DOUBLE_EQ(s.Width(), 8.5 * kInch);
}

TEST(PageSettings, WidthAndHeightTakeEffectOnlyForCustomPaper) {
  TgtPageSettings s;
  s.SetPaperSize(A5);
  s.SetWidth(100);
  s.SetHeight(200);
  EXPECT_DOUBLE_EQ(s.Width(), 5.8267 * kInch);
  s.SetPaperSize(Custom);  // keeps A5's size
  EXPECT_DOUBLE_EQ(s.Width(), 5.8267 * kInch);
  EXPECT_DOUBLE_EQ(s.Height(), 8.2677 * kInch);
  s.SetWidth(100);
  s.SetHeight(200);
  EXPECT_DOUBLE_EQ(s.Width(), 100);
  EXPECT_DOUBLE_EQ(s.Height(), 200);
  s.SetOrientation(poLandscape);
  EXPECT_DOUBLE_EQ(s.Width(), 200);
}

TEST(PageSettings, CopiesReportEnginePixelsWhateverTheOwnersUnit) {
  TgtPageSettings engine;
  engine.SetNativeFactor(gtUnitFactor(muInches));
  engine.SetPaperSize(Letter);
  engine.SetLeftMargin(0.5);
  EXPECT_DOUBLE_EQ(engine.Width(), 8.5);
  EXPECT_DOUBLE_EQ(engine.LeftMargin(), 0.5);
  TgtPageSettings copy(engine);
  EXPECT_DOUBLE_EQ(copy.NativeFactor(), 1.0);
  EXPECT_DOUBLE_EQ(copy.Width(), 8.5 * kInch);
  EXPECT_DOUBLE_EQ(copy.LeftMargin(), 48);
  // Assigning keeps the target's own factor.
  TgtPageSettings other;
  other.SetNativeFactor(gtUnitFactor(muPoints));
  other = engine;
  EXPECT_DOUBLE_EQ(other.Width(), 8.5 * 72);
}

TEST(PageSettings, EngineReadsPageInItsMeasurementUnit) {
  TgtPDFEngine engine;
  EXPECT_EQ(engine.MeasurementUnit(), muInches);
  EXPECT_EQ(engine.Page().PaperSize(), A4);
  EXPECT_DOUBLE_EQ(engine.Page().Width(), 8.2677);
  engine.SetMeasurementUnit(muPoints);
  EXPECT_DOUBLE_EQ(engine.Page().Width(), 8.2677 * 72);
  engine.SetMeasurementUnit(muInches);
  engine.Page().SetPaperSize(Letter);
  engine.Page().SetOrientation(poLandscape);
  EXPECT_DOUBLE_EQ(engine.Page().Width(), 11);
  EXPECT_DOUBLE_EQ(engine.Page().Height(), 8.5);
}

TEST(EngineSettings, DefaultsOfThePreferencesAndSettingsObjects) {
  TgtPreferences p;
  EXPECT_FALSE(p.FProcessAfterEachPage);
  EXPECT_TRUE(p.FOpenAfterCreate);
  EXPECT_TRUE(p.FShowSetupDialog);
  EXPECT_TRUE(p.FCalculateVariables);
  EXPECT_TRUE(p.FUseImagesAsResources);
  EXPECT_TRUE(TgtPlainSheetPreferences{}.FActiveHyperLinks);
  TgtImageSettings i;
  EXPECT_EQ(i.OutputImageFormat(), ifJPEG);
  EXPECT_EQ(i.FJPEGQuality, 100);
  EXPECT_EQ(i.FOpacity, 100);
  EXPECT_EQ(i.FImagePixelFormat, pf24bit);
  EXPECT_FALSE(i.FStretch);
  TgtFrame f;
  EXPECT_TRUE(f.FIsLeft && f.FIsRight && f.FIsTop && f.FIsBottom);
  TgtBorder b;
  EXPECT_FALSE(b.FDrawLeft || b.FDrawTop || b.FDrawRight || b.FDrawBottom);
  EXPECT_EQ(b.FWidth, 1);
}
