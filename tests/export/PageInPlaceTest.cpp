// Recorded pages read in place (PlayPageAt) against the same pages played
// onto the page canvas: the PDF, RTF and JPEG outputs must be the same byte
// for byte (PDF dates and identifier aside), for pages the in-place route
// takes and pages it leaves to the canvas (clipping, transforms, restores),
// with bands and page variables, drawing on the canvas after the page,
// another input resolution and pages processed one by one.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "PdfTestSupport.h"
#include "common/Strings.h"
#include "export/gtExPDFEng.h"
#include "export/gtJPEGEng.h"
#include "export/gtRTFEng.h"
#include "support/TestSupport.h"

using namespace nx;
namespace fs = std::filesystem;

namespace {

// What a page holds besides its text, shapes and picture.
enum TPageKind { pkPlain, pkClip, pkTransform, pkRestore };

HFONT Font(const std::u16string &face, int height, int angle, int weight) {
  LOGFONTW lf{};
  lf.lfHeight = height;
  lf.lfEscapement = lf.lfOrientation = angle;
  lf.lfWeight = weight;
  face.copy(lf.lfFaceName, face.size());
  return CreateFontIndirectW(&lf);
}

void Text(HDC dc, int x, int y, const std::u16string &s, UINT options = 0, const RECT *box = nullptr) {
  ExtTextOutW(dc, x, y, options, box, s.c_str(), UINT(s.size()), nullptr);
}

void Picture(HDC dc, int x, int y, int colour) {
  BITMAPINFO bi{};
  bi.bmiHeader = {sizeof bi.bmiHeader, 8, 8, 1, 24, BI_RGB, 0, 0, 0, 0, 0};
  std::vector<BYTE> bits(8 * 8 * 3);
  for (size_t i = 0; i < bits.size(); ++i) bits[i] = BYTE((i * 37 + size_t(colour) * 80) % 256);
  StretchDIBits(dc, x, y, 96, 96, 0, 0, 8, 8, bits.data(), &bi, DIB_RGB_COLORS, SRCCOPY);
}

// A page as the session records one: fonts upright and turned, opaque and
// aligned text, page variables, pens, brushes, shapes and a picture;
// objects deleted on the way and others left in the page's table at its end.
HENHMETAFILE RecordPage(int n, TPageKind kind) {
  HDC screen = GetDC(nullptr);
  RECT frame{0, 0, 21000, 29700};
  HDC dc = CreateEnhMetaFileW(screen, nullptr, &frame, nullptr);
  ReleaseDC(nullptr, screen);
  HFONT upright = Font(u"Arial", -16, 0, FW_NORMAL), turned = Font(u"Times New Roman", -20, 300, FW_BOLD);
  HPEN thick = CreatePen(PS_SOLID, 3, RGB(200, 0, 0)), dashed = CreatePen(PS_DASH, 1, RGB(0, 0, 160));
  HBRUSH hatch = CreateHatchBrush(HS_DIAGCROSS, RGB(0, 128, 0)), solid = CreateSolidBrush(RGB(250, 200, 0));
  SaveDC(dc);  // left for the player to restore
  if (kind == pkClip) IntersectClipRect(dc, 40, 40, 420, 560);
  if (kind == pkTransform) {
    SetGraphicsMode(dc, GM_ADVANCED);
    const XFORM turn{0.96f, 0.28f, -0.28f, 0.96f, 30, 10};
    SetWorldTransform(dc, &turn);
  }
  SelectObject(dc, upright);
  SetTextColor(dc, RGB(0, 0, 128));
  Text(dc, 60, 60, u"Page <%Pg#%> of <%PgCnt%>, number " + AsciiToWide(std::to_string(n)));
  SetBkMode(dc, OPAQUE);
  SetBkColor(dc, RGB(255, 255, 160));
  const RECT box{60, 90, 320, 112};
  Text(dc, 62, 92, u"Opaque box \u00c4\u20ac", ETO_OPAQUE, &box);
  SetBkMode(dc, TRANSPARENT);
  SetTextAlign(dc, TA_RIGHT | TA_BASELINE);
  Text(dc, 520, 150, u"Right on the baseline");
  SetTextAlign(dc, TA_LEFT | TA_TOP);
  SelectObject(dc, turned);
  DeleteObject(upright);
  Text(dc, 100, 260, u"Turned thirty degrees");
  SelectObject(dc, thick);
  SelectObject(dc, hatch);
  Rectangle(dc, 60, 300, 200, 380);
  Ellipse(dc, 220, 300, 360, 380);
  SelectObject(dc, dashed);
  SelectObject(dc, GetStockObject(NULL_BRUSH));
  RoundRect(dc, 380, 300, 520, 380, 20, 20);
  MoveToEx(dc, 60, 400, nullptr);
  LineTo(dc, 520, 420);
  const POINT triangle[] = {{60, 440}, {160, 520}, {20, 520}};
  SelectObject(dc, solid);
  Polygon(dc, triangle, 3);
  Polyline(dc, triangle, 3);
  Picture(dc, 300, 440, n);
  if (kind == pkRestore) RestoreDC(dc, -1);
  SelectObject(dc, GetStockObject(BLACK_PEN));
  SelectObject(dc, GetStockObject(WHITE_BRUSH));
  HENHMETAFILE page = CloseEnhMetaFile(dc);
  for (HGDIOBJ o : {HGDIOBJ(turned), HGDIOBJ(thick), HGDIOBJ(dashed), HGDIOBJ(hatch), HGDIOBJ(solid)}) DeleteObject(o);
  return page;
}

struct TOptions {
  bool Bands = false;       // a header band with page variables
  bool DrawAfter = false;   // a rectangle drawn on the canvas after each page
  bool EachPage = false;    // FProcessAfterEachPage
  int32_t InputRes = 0;     // another input resolution when not 0
};

// An engine of class E that plays recorded pages as the session does, and
// tells how many records its last canvas held.
template <typename E>
class TPaged : public E {
 public:
  TPaged() {
    this->Preferences().FShowSetupDialog = false;
    this->Preferences().FOpenAfterCreate = false;
  }
  UINT CanvasRecords = 0;

  void Write(const std::vector<HENHMETAFILE> &pages, HENHMETAFILE header, const std::string &path, bool inPlace,
             const TOptions &o) {
    this->SetFileName(AsciiToWide(path));
    this->SetPagesInPlace(inPlace);
    this->Preferences().FProcessAfterEachPage = o.EachPage;
    if (o.InputRes) {
      this->SetInputXRes(o.InputRes);
      this->SetInputYRes(o.InputRes);
    }
    this->FOnBeforeEndDoc = [this](TgtCustomDocumentEngine &) {
      ENHMETAHEADER h{};
      const HENHMETAFILE canvas = this->TgtCustomDocumentEngine::FMetafile;
      CanvasRecords = canvas && GetEnhMetaFileHeader(canvas, sizeof h, &h) ? h.nRecords : 0;
    };
    this->BeginDoc();
    if (o.Bands) Band(header);
    const TgtRect sheet{0.1, 0.2, this->Page().Width() - 0.1, this->Page().Height() - 0.3};
    for (size_t i = 0; i < pages.size(); ++i) {
      this->PlayPageAt(sheet, pages[i]);
      if (o.DrawAfter) {
        HDC canvas = this->PageCanvas();
        SelectObject(canvas, GetStockObject(GRAY_BRUSH));
        Rectangle(canvas, 100, 700, 300, 760);
      }
      if (i + 1 < pages.size()) this->NewPage();
    }
    this->EndDoc();
    this->FOnBeforeEndDoc = nullptr;
  }

 private:
  void Band(HENHMETAFILE mf) {
    TgtItemList *docs = this->FCurrentDocumentItemList, *texts = this->FCurrentTextItemList;
    this->FCurrentDocumentItemList = &this->HeaderItem()->FDocumentItems;
    this->FCurrentTextItemList = &this->HeaderItem()->FTextItems;
    this->ProcessMetafile(mf, 0, 0);
    this->FCurrentDocumentItemList = docs;
    this->FCurrentTextItemList = texts;
  }
};

std::string Slurp(const fs::path &path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

// Every output file of a folder, by name, with its bytes: PDF files as qpdf
// rewrites them, without dates and identifier; RTF files without their time.
std::vector<std::pair<std::string, std::string>> Outputs(const fs::path &dir) {
  std::vector<std::pair<std::string, std::string>> files;
  for (const auto &f : fs::directory_iterator(dir)) {
    std::string bytes = f.path().extension() == ".pdf" ? pdftest::QdfText(f.path().string()) : Slurp(f.path());
    bytes = std::regex_replace(bytes, std::regex(R"(D:\d{14}[^)]*)"), "D:date");
    bytes = std::regex_replace(bytes, std::regex(R"(/ID \[<[0-9a-fA-F]*><[0-9a-fA-F]*>\])"), "/ID []");
    bytes = std::regex_replace(bytes, std::regex(R"(\\creatim[^}]*)"), "\\creatim");
    files.emplace_back(f.path().filename().string(), bytes);
  }
  std::sort(files.begin(), files.end());
  return files;
}

class PageInPlace : public ::testing::Test {
 protected:
  ~PageInPlace() override {
    for (HENHMETAFILE p : pages_) DeleteEnhMetaFile(p);
    if (header_) DeleteEnhMetaFile(header_);
  }
  void Pages(std::initializer_list<TPageKind> kinds) {
    for (TPageKind k : kinds) pages_.push_back(RecordPage(int(pages_.size()) + 1, k));
    HDC screen = GetDC(nullptr);
    HDC dc = CreateEnhMetaFileW(screen, nullptr, nullptr, nullptr);
    ReleaseDC(nullptr, screen);
    Text(dc, 60, 20, u"Header <%Pg#%>/<%PgCnt%>");
    header_ = CloseEnhMetaFile(dc);
  }
  // The document written both ways with an engine of class E; the number of
  // records of the last canvas in place and through the canvas.
  template <typename E>
  std::pair<UINT, UINT> ExpectSame(const TOptions &o = {}) {
    const std::string n = std::to_string(++runs_);
    const fs::path inPlace = dir_.path() / ("in" + n), canvas = dir_.path() / ("canvas" + n);
    fs::create_directories(inPlace);
    fs::create_directories(canvas);
    TPaged<E> a, b;
    a.Write(pages_, header_, (inPlace / "doc").string(), true, o);
    b.Write(pages_, header_, (canvas / "doc").string(), false, o);
    const auto x = Outputs(inPlace), y = Outputs(canvas);
    EXPECT_EQ(x.size(), y.size());
    EXPECT_FALSE(x.empty());
    for (size_t i = 0; i < std::min(x.size(), y.size()); ++i) {
      EXPECT_EQ(x[i].first, y[i].first);
      EXPECT_TRUE(x[i].second == y[i].second) << x[i].first << " differs";
    }
    return {a.CanvasRecords, b.CanvasRecords};
  }
  std::vector<HENHMETAFILE> pages_;
  HENHMETAFILE header_ = nullptr;
  nxtest::TempDir dir_;
  int runs_ = 0;
};

TEST_F(PageInPlace, PdfRtfAndJpegAreTheSameAndThePagesAreReadInPlace) {
  Pages({pkPlain, pkPlain, pkPlain});
  const auto [inPlace, canvas] = ExpectSame<TgtPDFEngine>();
  // In place the canvas holds only what the player writes around a page
  // (15 records), through it the page's 40 records besides.
  EXPECT_EQ(inPlace, 15u);
  EXPECT_EQ(canvas, inPlace + 40);
  ExpectSame<TgtRTFEngine>();
  ExpectSame<TgtJPEGEngine>();
  ExpectSame<TgtPDFEngine>({true});
}

TEST_F(PageInPlace, PagesWithClipsTransformsOrRestoresGoThroughTheCanvas) {
  Pages({pkClip, pkPlain, pkTransform, pkRestore});
  const auto [last, canvas] = ExpectSame<TgtPDFEngine>({true});
  EXPECT_EQ(last, canvas);  // the restoring last page was played
  ExpectSame<TgtRTFEngine>();
  ExpectSame<TgtJPEGEngine>();
}

TEST_F(PageInPlace, CanvasDrawingResolutionAndPagesOneByOneKeepTheOutput) {
  Pages({pkPlain, pkPlain});
  // Drawing on the canvas after the page plays the page there first.
  const auto [drawn, canvas] = ExpectSame<TgtPDFEngine>({false, true});
  EXPECT_EQ(drawn, canvas);
  ExpectSame<TgtJPEGEngine>({false, true});
  ExpectSame<TgtPDFEngine>({true, false, true});
  ExpectSame<TgtRTFEngine>({false, false, false, 300});
  ExpectSame<TgtPDFEngine>({false, false, false, 300});
}

}  // namespace
