// Pages rendered as soon as the next page opens, when the caller announces
// the document's page count: the outputs must equal those of a document
// rendered at EndDoc, byte for byte, and a failure must end the document as
// one at EndDoc does.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "EngineTestSupport.h"
#include "PdfTestSupport.h"
#include "common/Strings.h"
#include "export/gtExPDFEng.h"
#include "export/gtJPEGEng.h"
#include "export/gtRTFEng.h"
#include "support/TestSupport.h"

using namespace nx;
using namespace enginetest;
using Log = std::vector<std::string>;
namespace fs = std::filesystem;

namespace {

// A page's drawing: lines of text, and optionally a small picture in one of
// a few colours (equal colours make equal pictures, which engines reuse).
struct TPagePlan {
  std::vector<std::u16string> Lines;
  int Picture = -1;
  int Top = 200;  // of the first line
};

HENHMETAFILE RecordPage(const TPagePlan &plan) {
  HDC screen = GetDC(nullptr);
  RECT frame{0, 0, 21000, 29700};
  HDC dc = CreateEnhMetaFileW(screen, nullptr, &frame, nullptr);
  ReleaseDC(nullptr, screen);
  LOGFONTW lf{};
  lf.lfHeight = -16;
  const std::u16string face = u"Arial";
  face.copy(lf.lfFaceName, face.size());
  HFONT font = CreateFontIndirectW(&lf);
  HGDIOBJ old = SelectObject(dc, font);
  int y = plan.Top;
  for (const auto &line : plan.Lines) {
    ExtTextOutW(dc, 60, y, 0, nullptr, line.c_str(), UINT(line.size()), nullptr);
    y += 24;
  }
  MoveToEx(dc, 60, y + 10, nullptr);
  LineTo(dc, 500, y + 10);
  if (plan.Picture >= 0) {
    static const BYTE kColours[][3] = {{0, 0, 255}, {0, 160, 0}, {255, 0, 0}};
    BITMAPINFO bi{};
    bi.bmiHeader.biSize = sizeof bi.bmiHeader;
    bi.bmiHeader.biWidth = 8;
    bi.bmiHeader.biHeight = 8;
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 24;
    bi.bmiHeader.biCompression = BI_RGB;
    std::vector<BYTE> bits(8 * 8 * 3);
    for (size_t i = 0; i < bits.size(); i += 3) {
      for (int c = 0; c < 3; ++c) bits[i + size_t(c)] = kColours[plan.Picture % 3][c];
      if (i % 9 == 0) bits[i] = BYTE(40 * (plan.Picture + 1));  // not a flat colour
    }
    StretchDIBits(dc, 300, y + 30, 96, 96, 0, 0, 8, 8, bits.data(), &bi, DIB_RGB_COLORS, SRCCOPY);
  }
  SelectObject(dc, old);
  DeleteObject(font);
  return CloseEnhMetaFile(dc);
}

// An engine of class E whose bands can be filled from a recorded metafile.
template <typename E>
class TBanded : public E {
 public:
  TBanded() {
    this->Preferences().FShowSetupDialog = false;
    this->Preferences().FOpenAfterCreate = false;
  }
  void FillBand(TgtBandItem &band, HENHMETAFILE mf) {
    TgtItemList *docs = this->FCurrentDocumentItemList, *texts = this->FCurrentTextItemList;
    this->FCurrentDocumentItemList = &band.FDocumentItems;
    this->FCurrentTextItemList = &band.FTextItems;
    this->ProcessMetafile(mf, 0, 0);
    this->FCurrentDocumentItemList = docs;
    this->FCurrentTextItemList = texts;
  }
  void FillHeaderAndFooter(HENHMETAFILE header, HENHMETAFILE footer) {
    FillBand(*this->HeaderItem(), header);
    FillBand(*this->FooterItem(), footer);
  }
};

// How a document is made, apart from its pages.
struct TDocOptions {
  bool Announce = false;        // tells the engine the page count after BeginDoc
  bool Bands = false;           // a header and a footer with page variables
  std::string PagesToRender;    // a page range
  bool PageEvents = false;      // a page event is set
  bool EachPage = false;        // FProcessAfterEachPage
};

TDocOptions Options(bool bands, const std::string &range = "", bool events = false, bool eachPage = false) {
  TDocOptions o;
  o.Bands = bands;
  o.PagesToRender = range;
  o.PageEvents = events;
  o.EachPage = eachPage;
  return o;
}

class DocumentPages {
 public:
  explicit DocumentPages(const std::vector<TPagePlan> &plans) {
    for (const auto &s : plans) Pages.push_back(RecordPage(s));
    Header = RecordPage({{u"Header <%Pg#%> of <%PgCnt%>"}, -1, 20});
    Footer = RecordPage({{u"Footer <%PgCnt%>"}, -1, 80});
  }
  ~DocumentPages() {
    for (HENHMETAFILE p : Pages) DeleteEnhMetaFile(p);
    DeleteEnhMetaFile(Header);
    DeleteEnhMetaFile(Footer);
  }
  template <typename E>
  void Write(TBanded<E> &e, const std::string &pathWithoutExt, const TDocOptions &o) const {
    e.SetFileName(AsciiToWide(pathWithoutExt));
    e.SetPagesToRender(o.PagesToRender);
    e.Preferences().FProcessAfterEachPage = o.EachPage;
    int events = 0;
    if (o.PageEvents) e.FOnAfterEndPage = [&events](TgtCustomDocumentEngine &) { ++events; };
    e.BeginDoc();
    if (o.Announce) e.SetExpectedPageCount(int32_t(Pages.size()));
    if (o.Bands) e.FillHeaderAndFooter(Header, Footer);
    const TgtRect sheet{0, 0, e.Page().Width(), e.Page().Height()};
    for (size_t i = 0; i < Pages.size(); ++i) {
      e.PlayMetafileAt(sheet, Pages[i]);
      if (i + 1 < Pages.size()) e.NewPage();
    }
    e.EndDoc();
    e.FOnAfterEndPage = nullptr;
  }
  std::vector<HENHMETAFILE> Pages;
  HENHMETAFILE Header, Footer;
};

std::string Slurp(const fs::path &path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

// The PDF as qpdf rewrites it, without its dates and file identifier.
std::string ComparablePdf(const std::string &path) {
  std::string s = pdftest::QdfText(path);
  s = std::regex_replace(s, std::regex(R"(D:\d{14}[^)]*)"), "D:date");
  return std::regex_replace(s, std::regex(R"(/ID \[<[0-9a-fA-F]*><[0-9a-fA-F]*>\])"), "/ID []");
}

std::string ComparableRtf(const std::string &path) {
  return std::regex_replace(Slurp(path), std::regex(R"(\\creatim[^}]*)"), "\\creatim");
}

// Every file of a folder, by name, with its bytes.
std::vector<std::pair<std::string, std::string>> FolderFiles(const fs::path &dir) {
  std::vector<std::pair<std::string, std::string>> files;
  for (const auto &f : fs::directory_iterator(dir)) files.emplace_back(f.path().filename().string(), Slurp(f.path()));
  std::sort(files.begin(), files.end());
  return files;
}

class EarlyRender : public ::testing::Test {
 protected:
  // The same document written with and without the announced page count,
  // into two folders; each folder's path.
  template <typename E>
  std::pair<fs::path, fs::path> WriteBoth(const DocumentPages &doc, TDocOptions o) {
    const std::string n = std::to_string(++runs_);
    const fs::path atEnd = dir_.path() / ("atend" + n), early = dir_.path() / ("early" + n);
    fs::create_directories(atEnd);
    fs::create_directories(early);
    TBanded<E> e;
    o.Announce = false;
    doc.Write(e, (atEnd / "doc").string(), o);
    o.Announce = true;
    doc.Write(e, (early / "doc").string(), o);
    return {atEnd, early};
  }
  void ExpectSamePdf(const DocumentPages &doc, const TDocOptions &o) {
    auto [atEnd, early] = WriteBoth<TgtPDFEngine>(doc, o);
    ASSERT_TRUE(fs::exists(atEnd / "doc.pdf"));
    ASSERT_TRUE(fs::exists(early / "doc.pdf"));
    EXPECT_EQ(pdftest::QpdfCheck((early / "doc.pdf").string()).exitCode, 0);
    EXPECT_EQ(ComparablePdf((atEnd / "doc.pdf").string()), ComparablePdf((early / "doc.pdf").string()));
    last_ = early / "doc.pdf";
  }
  void ExpectSameRtf(const DocumentPages &doc, const TDocOptions &o) {
    auto [atEnd, early] = WriteBoth<TgtRTFEngine>(doc, o);
    ASSERT_TRUE(fs::exists(early / "doc.rtf"));
    EXPECT_EQ(ComparableRtf((atEnd / "doc.rtf").string()), ComparableRtf((early / "doc.rtf").string()));
  }
  void ExpectSameJpegs(const DocumentPages &doc, const TDocOptions &o, size_t files) {
    auto [atEnd, early] = WriteBoth<TgtJPEGEngine>(doc, o);
    const auto a = FolderFiles(atEnd), b = FolderFiles(early);
    EXPECT_EQ(b.size(), files);
    EXPECT_TRUE(a == b) << "the JPEG pages differ";
  }
  std::string Text(int page) {
    return nxtest::RunCommand("pdftotext -f " + std::to_string(page) + " -l " + std::to_string(page) + " " +
                              nxtest::ShellQuote(last_.string()) + " -")
        .output;
  }
  nxtest::TempDir dir_;
  fs::path last_;
  int runs_ = 0;
};

// Four pages: page count variables on the first, a middle and the last page,
// pictures repeated across pages, a font on page 3 only.
std::vector<TPagePlan> VariablePages() {
  return {{{u"Page <%Pg#%> of <%PgCnt%>", u"Invoice 4711"}, 0},
          {{u"No variables here"}, 1},
          {{u"Total pages: <%PGCNT%>", u"\u00c4rger \u20ac"}, 0},
          {{u"<%pg#%>/<%PgCnt%> <%Title%>"}, 1}};
}

std::vector<TPagePlan> PlainPages() {
  return {{{u"First page", u"Line two"}, 2}, {{u"Second page"}, -1}, {{u"Third page"}, 2}};
}

}  // namespace

TEST_F(EarlyRender, PdfIsTheSameWithAndWithoutVariables) {
  DocumentPages plain(PlainPages());
  ExpectSamePdf(plain, {});
  EXPECT_NE(Text(3).find("Third page"), std::string::npos);
  // The picture of pages 1 and 3 is one image in the file.
  const std::string qdf = ComparablePdf(last_.string());
  const std::regex image(R"(/Subtype\s*/Image)");
  EXPECT_EQ(std::distance(std::sregex_iterator(qdf.begin(), qdf.end(), image), std::sregex_iterator()), 1);

  DocumentPages vars(VariablePages());
  ExpectSamePdf(vars, {});
  // Early pages know the whole document's page count.
  EXPECT_NE(Text(1).find("Page 1 of 4"), std::string::npos) << Text(1);
  EXPECT_NE(Text(3).find("Total pages: 4"), std::string::npos) << Text(3);
  EXPECT_NE(Text(4).find("4/4"), std::string::npos) << Text(4);
}

TEST_F(EarlyRender, PdfIsTheSameWithBandsPageRangesAndEvents) {
  DocumentPages vars(VariablePages());
  ExpectSamePdf(vars, Options(true));
  EXPECT_NE(Text(2).find("Header 2 of 4"), std::string::npos) << Text(2);
  ExpectSamePdf(vars, Options(true, "1,3-4"));
  EXPECT_NE(Text(2).find("Total pages: 4"), std::string::npos) << Text(2);
  // Documents that are not rendered early keep their output too.
  ExpectSamePdf(vars, Options(false, "", true));
  ExpectSamePdf(vars, Options(false, "", false, true));
  // Pages rendered one by one count the pages made so far, as before.
  EXPECT_NE(Text(1).find("Page 1 of 1"), std::string::npos) << Text(1);
}

TEST_F(EarlyRender, RtfIsTheSame) {
  DocumentPages vars(VariablePages());
  ExpectSameRtf(vars, {});
  ExpectSameRtf(vars, Options(true, "2-3"));
  DocumentPages plain(PlainPages());
  ExpectSameRtf(plain, {});
}

TEST_F(EarlyRender, JpegPagesAreTheSame) {
  DocumentPages vars(VariablePages());
  ExpectSameJpegs(vars, Options(true), 4);
  ExpectSameJpegs(vars, Options(false, "2,4"), 2);
}

TEST(EarlyRenderOrder, AnnouncedPagesRenderWhenTheNextOpensAndOnlyOnce) {
  TLogEngine e;
  e.BeginDoc();
  e.SetExpectedPageCount(3);
  e.AddTag("one");
  e.NewPage();
  EXPECT_EQ(e.Log, Log({"StartDocument", "StartPage1", "one@content1", "eof@content1", "EndPage1"}));
  // The rendered page's items are gone.
  EXPECT_TRUE(e.Pages().at(0)->FDocumentItems.empty());
  e.AddTag("two");
  e.NewPage();
  e.AddTag("three");
  e.Log.clear();
  e.EndDoc();
  EXPECT_EQ(e.Log, Log({"StartPage3", "three@content3", "eof@content3", "EndPage3", "EndDocument"}));
  EXPECT_EQ(e.EngineStatus(), esFinished);

  // The next document, unannounced, renders at EndDoc again.
  e.Log.clear();
  e.BeginDoc();
  e.AddTag("a");
  e.NewPage();
  EXPECT_EQ(e.Log, Log({"StartDocument"}));
  e.EndDoc();
}

TEST(EarlyRenderOrder, AbortEndsTheDocumentWithoutRenderingPagesTwice) {
  TLogEngine e;
  e.BeginDoc();
  e.SetExpectedPageCount(3);
  e.AddTag("one");
  e.NewPage();
  e.AddTag("two");
  e.SetAbortCreation(true);
  e.Log.clear();
  e.NewPage();
  EXPECT_EQ(e.Log, Log({"StartPage2", "two@content2", "eof@content2", "EndPage2", "EndDocument"}));
  EXPECT_FALSE(e.IsDocumentStarted());
  EXPECT_FALSE(e.AbortCreation());
}

TEST(EarlyRenderOrder, PageEventsKeepRenderingAtEndDoc) {
  TLogEngine e;
  int begun = 0;
  e.FOnBeforeBeginPage = [&](TgtCustomDocumentEngine &eng) { begun = eng.PageCount(); };
  e.BeginDoc();
  e.SetExpectedPageCount(2);
  e.AddTag("one");
  e.NewPage();
  EXPECT_EQ(e.Log, Log({"StartDocument"}));
  e.EndDoc();
  EXPECT_EQ(begun, 2);  // the event saw the whole document
}

namespace {

// A PDF engine whose EndPage fails on one page.
class TFailingPdf : public TgtPDFEngine {
 public:
  TFailingPdf() {
    Preferences().FShowSetupDialog = false;
    Preferences().FOpenAfterCreate = false;
  }
  int FailOn = 0;

 protected:
  void EndPage() override {
    if (CurrentPage() == FailOn) throw ENxError(nxeData, "page failed");
    TgtPDFEngine::EndPage();
  }
};

void WriteLinePages(TgtCustomDocumentEngine &e, int pages, bool announce) {
  e.BeginDoc();
  if (announce) e.SetExpectedPageCount(pages);
  for (int p = 1; p <= pages; ++p) {
    e.Line(0.5, 0.5 * p, 3, 0.5 * p);
    if (p < pages) e.NewPage();
  }
  e.EndDoc();
}

}  // namespace

TEST(EarlyRenderFailure, FailedPageLeavesNoFileAndTheEngineReady) {
  nxtest::TempDir dir;
  const std::string name = dir.file("doc");
  TFailingPdf e;
  e.SetFileName(AsciiToWide(name));
  e.FailOn = 2;
  try {
    WriteLinePages(e, 4, true);
    ADD_FAILURE() << "the failed page was not reported";
  } catch (const ENxError &err) {
    EXPECT_EQ(err.code(), nxeData);
    EXPECT_STREQ(err.what(), "page failed");
  }
  // Page 2 failed when page 3 opened: the document is over, as after a
  // failure at EndDoc, and nothing is left in the folder.
  EXPECT_FALSE(e.IsDocumentStarted());
  EXPECT_EQ(e.EngineStatus(), esError);
  EXPECT_EQ(e.CurrentPage(), 0);
  EXPECT_TRUE(fs::is_empty(dir.path()));
  // The calls the caller still makes do nothing.
  e.NewPage();
  e.EndDoc();
  EXPECT_TRUE(fs::is_empty(dir.path()));

  e.FailOn = 0;
  WriteLinePages(e, 4, true);
  EXPECT_EQ(e.EngineStatus(), esFinished);
  ASSERT_TRUE(fs::exists(name + ".pdf"));
  EXPECT_EQ(pdftest::QpdfCheck(name + ".pdf").exitCode, 0);
  const std::string info = nxtest::RunCommand("pdfinfo " + nxtest::ShellQuote(name + ".pdf")).output;
  EXPECT_TRUE(std::regex_search(info, std::regex(R"(Pages:\s+4\n)"))) << info;
}

TEST(EarlyRenderFailure, FailedLastPageAtEndDocKeepsTheOldFile) {
  nxtest::TempDir dir;
  const std::string name = dir.file("doc");
  TFailingPdf e;
  e.SetFileName(AsciiToWide(name));
  WriteLinePages(e, 2, true);
  const std::string before = Slurp(name + ".pdf");
  ASSERT_FALSE(before.empty());
  e.FailOn = 1;
  EXPECT_THROW(WriteLinePages(e, 3, true), ENxError);
  EXPECT_EQ(Slurp(name + ".pdf"), before);
  EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 1);
}
