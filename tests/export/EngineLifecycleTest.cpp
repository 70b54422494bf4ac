// The engine's document life cycle and the order in which pages are
// rendered, through a test engine that logs its hooks.
#include <gtest/gtest.h>

#include <filesystem>
#include <stdexcept>

#include "EngineTestSupport.h"
#include "common/Strings.h"
#include "export/gtExPDFEng.h"
#include "export/gtJPEGEng.h"
#include "export/gtRTFEng.h"
#include "support/TestSupport.h"

using namespace nx;
using namespace enginetest;
using Log = std::vector<std::string>;

namespace {

// A page metafile with one line, recorded on the screen DC.
HENHMETAFILE LinePage() {
  HDC screen = GetDC(nullptr);
  RECT frame{0, 0, 21000, 29700};
  HDC dc = CreateEnhMetaFileW(screen, nullptr, &frame, nullptr);
  ReleaseDC(nullptr, screen);
  MoveToEx(dc, 10, 10, nullptr);
  LineTo(dc, 100, 100);
  return CloseEnhMetaFile(dc);
}

}  // namespace

TEST(EngineLifecycle, OnePageDocumentIsInterpretedAndRenderedAtEndDoc) {
  TLogEngine e;
  HENHMETAFILE page = LinePage();
  e.BeginDoc();
  EXPECT_EQ(e.EngineStatus(), esStarted);
  EXPECT_EQ(e.CurrentPage(), 1);
  EXPECT_EQ(e.Log, Log({"StartDocument"}));
  e.PlayMetafile(TgtRect{0, 0, e.Page().Width(), e.Page().Height()}, page);
  e.EndDoc();
  // The page canvas was interpreted once: its line (a shape, rendered before
  // the page's document items), the clip the player sets up around the page,
  // and its end-of-file item.
  EXPECT_EQ(e.Log, Log({"StartDocument", "StartPage1", "line", "clip@content1", "eof@content1", "EndPage1",
                        "EndDocument"}));
  EXPECT_EQ(e.EngineStatus(), esFinished);
  EXPECT_FALSE(e.IsDocumentStarted());
  EXPECT_EQ(e.CurrentPage(), 0);
  EXPECT_EQ(e.PageCount(), 0);
  DeleteEnhMetaFile(page);
}

TEST(EngineLifecycle, BandsRenderInTheirOrderDocumentItemsBeforeTextItems) {
  TLogEngine e;
  e.BeginDoc();
  e.HeaderItem()->FDocumentItems.push_back(std::make_unique<TTagItem>("h"));
  e.HeaderItem()->FTextItems.push_back(std::make_unique<TgtTextItem>());
  e.FooterItem()->FDocumentItems.push_back(std::make_unique<TTagItem>("f"));
  e.WatermarkItem()->FDocumentItems.push_back(std::make_unique<TTagItem>("w"));
  e.StampItem()->FDocumentItems.push_back(std::make_unique<TTagItem>("s"));
  e.CurrentTextItemList()->push_back(std::make_unique<TgtTextItem>());
  e.AddTag("a");
  e.NewPage();
  e.AddTag("b");
  e.Log.clear();
  e.EndDoc();
  Log expected;
  for (int p = 1; p <= 2; ++p) {
    std::string n = std::to_string(p);
    Log page = {"StartPage" + n, "h@header" + n, "text:@header" + n, "w@watermark" + n};
    page.push_back((p == 1 ? "a@content" : "b@content") + n);
    page.push_back("eof@content" + n);
    if (p == 1) page.push_back("text:@content1");
    page.insert(page.end(), {"f@footer" + n, "s@stamp" + n, "EndPage" + n});
    expected.insert(expected.end(), page.begin(), page.end());
  }
  expected.push_back("EndDocument");
  EXPECT_EQ(e.Log, expected);
}

TEST(EngineLifecycle, BandsAnEngineWritesNativelyRenderOnPageOneOnly) {
  TLogEngine e;
  e.SetCapabilities(ckText | ckImage | ckShape | ckHeader | ckStamp);
  e.BeginDoc();
  e.HeaderItem()->FDocumentItems.push_back(std::make_unique<TTagItem>("h"));
  e.FooterItem()->FDocumentItems.push_back(std::make_unique<TTagItem>("f"));
  e.StampItem()->FDocumentItems.push_back(std::make_unique<TTagItem>("s"));
  e.NewPage();
  e.Log.clear();
  e.EndDoc();
  EXPECT_EQ(e.Log, Log({"StartPage1", "h@header1", "eof@content1", "f@footer1", "s@stamp1", "EndPage1",
                        "StartPage2", "eof@content2", "f@footer2", "EndPage2", "EndDocument"}));
}

TEST(EngineLifecycle, PagesToRenderSelectsPagesAndIgnoresOddEntries) {
  EXPECT_TRUE(TgtCustomDocumentEngine::PageSelected("", 9));
  EXPECT_TRUE(TgtCustomDocumentEngine::PageSelected("2,4-5", 5));
  EXPECT_FALSE(TgtCustomDocumentEngine::PageSelected("2,4-5", 3));
  EXPECT_FALSE(TgtCustomDocumentEngine::PageSelected("x3,3a, 3", 3));
  EXPECT_TRUE(TgtCustomDocumentEngine::PageSelected("x3,3", 3));
  EXPECT_FALSE(TgtCustomDocumentEngine::PageSelected("5-4", 4));
  EXPECT_FALSE(TgtCustomDocumentEngine::PageSelected("99999999999999999999", 1));

  TLogEngine e;
  e.SetPagesToRender("2");
  e.BeginDoc();
  e.AddTag("one");
  e.NewPage();
  e.AddTag("two");
  e.Log.clear();
  e.EndDoc();
  EXPECT_EQ(e.Log, Log({"StartPage2", "two@content2", "eof@content2", "EndPage2", "EndDocument"}));
}

TEST(EngineLifecycle, ProcessAfterEachPageRendersEachPageWhenTheNextOpens) {
  TLogEngine e;
  e.Preferences().FProcessAfterEachPage = true;
  e.BeginDoc();
  e.AddTag("one");
  e.NewPage();
  EXPECT_EQ(e.Log, Log({"StartDocument", "StartPage1", "one@content1", "eof@content1", "EndPage1"}));
  e.AddTag("two");
  e.Log.clear();
  e.EndDoc();
  EXPECT_EQ(e.Log, Log({"StartPage2", "two@content2", "eof@content2", "EndPage2", "EndDocument"}));
}

TEST(EngineLifecycle, ItemsReachTheHookOfTheirClass) {
  TLogEngine e;
  e.BeginDoc();
  auto shape = [](TgtShapeType t, size_t n, bool filled) {
    auto s = std::make_unique<TgtShapeItem>();
    s->FShapeType = t;
    s->FPoints.assign(n, TgtPoint{1, 2});
    s->FNoPoints = int32_t(n);
    if (filled) s->FBrush = TgtBrush{};
    return s;
  };
  e.Add(std::make_unique<TgtTextBoxItem>());
  e.Add(std::make_unique<TgtImageStream>());
  e.Add(std::make_unique<TgtImageItem>());
  e.Add(shape(stLine, 2, false));
  e.Add(shape(stRectangle, 2, true));
  e.Add(shape(stRectangle, 2, false));
  e.Add(shape(stRoundRect, 3, true));
  e.Add(shape(stEllipse, 2, true));
  e.Add(shape(stPolygon, 3, true));
  e.Add(shape(stPolyLine, 3, false));
  e.Add(shape(stArc, 4, false));
  e.Add(shape(stChord, 4, true));
  e.Add(shape(stPie, 4, true));
  e.Add(shape(stPolyBezier, 4, false));
  e.Add(shape(stEllipse, 0, true));  // no points: skipped
  e.Add(shape(stArc, 2, false));     // too few points: skipped
  auto poly = std::make_unique<TgtPolyShapeItem>();
  poly->FShapes.push_back(shape(stPolyLine, 2, false));
  e.Add(std::move(poly));
  auto oddPoly = std::make_unique<TgtPolyShapeItem>();
  oddPoly->FShapes.push_back(shape(stEllipse, 2, false));  // neither polygon nor polyline: skipped
  e.Add(std::move(oddPoly));
  e.Add(std::make_unique<TgtPolyShapeItem>());  // empty: skipped
  e.Add(std::make_unique<TgtClipItem>());
  e.Add(std::make_unique<TgtPathItem>());
  e.Add(std::make_unique<TgtPolyPolygonItem>());
  e.Add(std::make_unique<TgtPolyDrawItem>());
  e.Add(std::make_unique<TgtTextItem>());
  e.Log.clear();
  e.EndDoc();
  EXPECT_EQ(e.Log, Log({"StartPage1", "textbox@content1", "imagestream@content1", "image@content1", "line",
                        "rectangle filled", "rectangle", "roundrect", "ellipse", "polygon", "polyline", "arc",
                        "chord", "pie", "bezier", "polyshape polyline", "clip@content1", "path@content1",
                        "polypolygon", "polydraw@content1", "text:@content1", "eof@content1", "EndPage1",
                        "EndDocument"}));
}

// Classes derived from the drawing classes reach the hook of the class
// they derive from, as the drawing classes themselves do.
TEST(EngineLifecycle, ItemsOfDerivedClassesReachTheHookOfTheirBase) {
  struct TMarkedText : TgtTextItem {};
  struct TMarkedShape : TgtShapeItem {};
  auto line = [](std::unique_ptr<TgtShapeItem> s) {
    s->FShapeType = stLine;
    s->FPoints.assign(2, TgtPoint{1, 2});
    s->FNoPoints = 2;
    return s;
  };
  TLogEngine e;
  e.BeginDoc();
  auto marked = std::make_unique<TMarkedText>();
  marked->FLines = {u"marked"};
  e.Add(std::move(marked));
  e.Add(line(std::make_unique<TMarkedShape>()));
  e.Add(std::make_unique<TgtTextItem>());
  e.Add(line(std::make_unique<TgtShapeItem>()));
  e.Add(std::make_unique<TgtTextBoxItem>());
  e.Log.clear();
  e.EndDoc();
  EXPECT_EQ(e.Log, Log({"StartPage1", "text:1@content1", "line", "text:@content1", "line", "textbox@content1",
                        "eof@content1", "EndPage1", "EndDocument"}));
}

TEST(EngineLifecycle, TextListsSortStablyTopToBottom) {
  TLogEngine e;
  e.BeginDoc();
  TgtItemList list;
  double ys[] = {30, 10, 20, 10, 5};
  for (int i = 0; i < 5; ++i) {
    auto t = std::make_unique<TgtTextItem>();
    t->FY = ys[i];
    t->FLines = {AsciiToWide(std::to_string(i))};
    list.push_back(std::move(t));
  }
  e.SortTextItems(list);
  std::string order;
  for (auto &item : list) order += char(static_cast<TgtTextItem &>(*item).FLines[0][0]);
  EXPECT_EQ(order, "41320");
  e.EndDoc();
}

TEST(EngineLifecycle, FileNameDropsOnlyTheEnginesOwnExtension) {
  TgtPDFEngine pdf;
  pdf.SetFileName(u"C:\\out\\report.PdF");
  EXPECT_EQ(pdf.FileName(), u"C:\\out\\report");
  pdf.SetFileName(u"/tmp/notes.txt");
  EXPECT_EQ(pdf.FileName(), u"/tmp/notes.txt");
  pdf.SetFileName(u"/tmp/a.pdf/b");  // a folder's dot is no extension
  EXPECT_EQ(pdf.FileName(), u"/tmp/a.pdf/b");
  TgtRTFEngine rtf;
  rtf.SetFileName(u"x.RTF");
  EXPECT_EQ(rtf.FileName(), u"x");
  TgtJPEGEngine jpg;
  EXPECT_EQ(jpg.FileExtension(), u"jpg");
  EXPECT_EQ(jpg.FileDescription(), u"JPEG File Interchange Format");
  EXPECT_EQ(rtf.FileDescription(), u"Rich Text Format");
  EXPECT_EQ(pdf.FileDescription(), u"Adobe PDF Files");

  TLogEngine e;
  e.SetFileName(u"before");
  e.BeginDoc();
  e.SetFileName(u"during");
  EXPECT_EQ(e.FileName(), u"before");
  e.EndDoc();
}

TEST(EngineLifecycle, ConstructionDefaultsAndCapabilities) {
  TLogEngine e;
  EXPECT_EQ(e.EngineStatus(), esNone);
  EXPECT_EQ(e.Capabilities(), ckText | ckImage | ckShape);
  EXPECT_EQ(e.ItemsToRender(), irText | irImage | irShape);
  EXPECT_EQ(e.ReferencePoint(), rpBand);
  EXPECT_EQ(e.InputXRes(), 96);
  EXPECT_EQ(e.InputYRes(), 96);
  EXPECT_EQ(e.BackgroundColor(), 0xFFFFFFu);
  TgtPDFEngine pdf;
  EXPECT_TRUE(pdf.HasCapability(ckImageReusable) && pdf.HasCapability(ckInputRes));
  EXPECT_FALSE(pdf.HasCapability(ckHeader));
  TgtRTFEngine rtf;
  EXPECT_TRUE(rtf.HasCapability(ckHeader) && rtf.HasCapability(ckWatermark) && !rtf.HasCapability(ckStamp));
  EXPECT_NE(dynamic_cast<TgtRTFPreferences *>(&rtf.Preferences()), nullptr);
  EXPECT_NE(dynamic_cast<TgtPlainSheetPreferences *>(&static_cast<TgtCustomDocumentEngine &>(pdf).Preferences()),
            nullptr);
}

TEST(EngineLifecycle, BandRectangleFollowsMarginsBandsAndReferencePoint) {
  TLogEngine e;
  e.SetMeasurementUnit(muPixels);
  e.Page().SetPaperSize(Custom);
  e.Page().SetWidth(800);
  e.Page().SetHeight(1000);
  e.Page().SetLeftMargin(10);
  e.Page().SetRightMargin(20);
  e.Page().SetTopMargin(30);
  e.Page().SetBottomMargin(40);
  e.Page().SetHeaderHeight(50);
  e.Page().SetFooterHeight(60);
  e.BeginDoc();
  EXPECT_EQ(e.BandRect(), (TgtRect{10, 80, 780, 900}));
  e.SetReferencePoint(rpMargin);
  EXPECT_EQ(e.BandRect(), (TgtRect{10, 30, 780, 960}));
  e.SetReferencePoint(rpPage);
  EXPECT_EQ(e.BandRect(), (TgtRect{0, 0, 800, 1000}));
  e.EndDoc();
}

TEST(EngineLifecycle, PageItemKeepsTheSettingsOfItsCreation) {
  TLogEngine e;
  e.Page().SetPaperSize(A4);
  e.Page().SetOrientation(poLandscape);
  e.BeginDoc();
  e.Page().SetOrientation(poPortrait);
  e.NewPage();
  ASSERT_EQ(e.Pages().size(), 2u);
  EXPECT_DOUBLE_EQ(e.Pages()[0]->FSettings.Width(), 11.6929 * 96);
  EXPECT_EQ(e.Pages()[0]->FSettings.Orientation(), poLandscape);
  EXPECT_DOUBLE_EQ(e.Pages()[1]->FSettings.Width(), 8.2677 * 96);
  e.EndDoc();
}

TEST(EngineLifecycle, TheDrawingStateSavedAtBeginDocReturnsAtEndDoc) {
  TLogEngine e;
  e.BeginDoc();
  e.Pen().Width = 7;
  int32_t saved = e.SaveEngineState();
  EXPECT_EQ(saved, 1);
  e.Pen().Width = 9;
  e.RestoreEngineState(-1);
  EXPECT_EQ(e.Pen().Width, 7);
  EXPECT_THROW(e.RestoreEngineState(2), EInvalidEngineState);
  EXPECT_THROW(e.RestoreEngineState(-2), EInvalidEngineState);
  std::string reported;
  e.FOnErrorMessage = [&](TgtCustomDocumentEngine &, const ENxError &err) { reported = err.what(); };
  EXPECT_NO_THROW(e.RestoreEngineState(5));
  EXPECT_EQ(reported, "Not a valid Engine State identifier");
  e.EndDoc();
  EXPECT_EQ(e.Pen().Width, 1);
  EXPECT_EQ(e.SaveEngineState(), -1);  // no document
}

TEST(EngineLifecycle, AFailureDuringThePagesLeavesTheEngineReusable) {
  TLogEngine e;
  e.BeginDoc();
  e.FOnBeforeEndPage = [](TgtCustomDocumentEngine &) { throw std::runtime_error("page failed"); };
  EXPECT_THROW(e.EndDoc(), std::runtime_error);
  EXPECT_FALSE(e.IsDocumentStarted());
  EXPECT_EQ(e.EngineStatus(), esError);
  e.FOnBeforeEndPage = nullptr;
  e.Log.clear();
  e.BeginDoc();
  e.EndDoc();
  EXPECT_EQ(e.Log, Log({"StartDocument", "StartPage1", "eof@content1", "EndPage1", "EndDocument"}));
}

TEST(EngineLifecycle, OperationsWithoutADocumentDoNothing) {
  TLogEngine e;
  HENHMETAFILE page = LinePage();
  e.NewPage();
  e.PlayMetafile(TgtRect{0, 0, 1, 1}, page);
  e.PlayMetafile(0, 0, page);
  e.Line(0, 0, 1, 1);
  e.EndDoc();
  EXPECT_TRUE(e.Log.empty());
  EXPECT_EQ(e.AddImage(TgtBitmap(2, 2), true), -1);
  EXPECT_EQ(e.EngineStatus(), esNone);
  DeleteEnhMetaFile(page);
}

TEST(EngineLifecycle, SetupDialogCancelledLeavesNoDocument) {
  struct TCancelEngine : TLogEngine {
    int32_t RunSetupDialog() override { return 2; }
  } e;
  e.Preferences().FShowSetupDialog = true;
  e.BeginDoc();
  EXPECT_EQ(e.EngineStatus(), esCancelled);
  EXPECT_FALSE(e.IsDocumentStarted());
}

TEST(EngineOperations, OwnShapesAndImagesBecomeItemsInEnginePixels) {
  TLogEngine e;  // inches
  e.BeginDoc();
  e.Brush() = {bsSolid, RGB(1, 2, 3), nullptr};
  e.Rectangle(1, 2, 0.5, 3, true);
  e.RoundRect(0, 0, 1, 1, 0.25, 0.5, false);
  int32_t index = e.AddImage(TgtBitmap(2, 2), true);
  e.DrawImage(TgtRect{2, 3, 1, 1}, index);
  e.DrawImage(TgtRect{0, 0, 1, 1}, 7);  // no such resource
  const TgtItemList &items = *e.CurrentDocumentItemList();
  ASSERT_EQ(items.size(), 3u);
  auto &rect = dynamic_cast<TgtShapeItem &>(*items[0]);
  EXPECT_EQ(rect.FShapeType, stRectangle);
  EXPECT_EQ(rect.FPoints, (TgtPoints{{96, 192}, {48, 288}}));
  ASSERT_TRUE(rect.FBrush.has_value());
  EXPECT_EQ(rect.FBrush->Color, RGB(1, 2, 3));
  auto &round = dynamic_cast<TgtShapeItem &>(*items[1]);
  EXPECT_FALSE(round.FBrush.has_value());
  EXPECT_EQ(round.FPoints.at(2), (TgtPoint{24, 48}));
  auto &image = dynamic_cast<TgtImageItem &>(*items[2]);
  EXPECT_EQ(image.FIndexNo, index);
  EXPECT_EQ((TgtRect{image.FX, image.FY, image.FWidth, image.FHeight}), (TgtRect{96, 96, 96, 192}));
  e.EndDoc();
}

TEST(EngineOperations, MetafilesPlayedAtAPointStartThereInEnginePixels) {
  struct TStartEngine : TLogEngine {
    std::vector<TgtPoint> Starts;
    void ProcessMetafile(HENHMETAFILE m, double x, double y) override {
      Starts.push_back({x, y});
      TLogEngine::ProcessMetafile(m, x, y);
    }
  } e;
  HENHMETAFILE page = LinePage();
  e.BeginDoc();
  e.PlayMetafile(0.5, 0.25, page);
  e.SetMeasurementUnit(muPixels);
  e.SetInputXRes(192);
  e.SetInputYRes(48);
  e.PlayMetafile(10, 10, page);
  e.EndDoc();
  ASSERT_GE(e.Starts.size(), 2u);
  EXPECT_EQ(e.Starts[0], (TgtPoint{48, 24}));
  EXPECT_EQ(e.Starts[1], (TgtPoint{5, 20}));
  DeleteEnhMetaFile(page);
}

TEST(EngineLifecycle, APageWhoseInterpretationFailedIsNotInterpretedAgain) {
  struct TFailingEngine : TLogEngine {
    int Calls = 0;
    void ProcessMetafile(HENHMETAFILE m, double x, double y) override {
      if (++Calls == 1) throw std::runtime_error("damaged page");
      TLogEngine::ProcessMetafile(m, x, y);
    }
  } e;
  e.BeginDoc();
  e.AddTag("one");
  EXPECT_THROW(e.NewPage(), std::runtime_error);
  e.Log.clear();
  e.EndDoc();  // as the library does after a failure
  EXPECT_EQ(e.Calls, 1);
  EXPECT_EQ(e.Log, Log({"StartPage1", "one@content1", "EndPage1", "EndDocument"}));
  EXPECT_FALSE(e.IsDocumentStarted());
}
