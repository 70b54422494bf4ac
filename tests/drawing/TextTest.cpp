// Single-line text and text boxes: placement, alignment, continuation,
// backgrounds, rotation, character codes, measures, and the DrawTextW
// behaviour of text boxes.
#include "drawing/DrawingSupport.h"

#include "common/Strings.h"
#include "drawing/Drawing.h"

namespace drawtest {
namespace {

std::vector<Record> Texts(const std::vector<Record> &recs) { return DrawingTest::OfType(recs, EMR_EXTTEXTOUTW); }
POINTL Ref(const Record &r) { return r.As<EMREXTTEXTOUTW>().emrtext.ptlReference; }

// Width of a text in device pixels with the device font as it stands.
int Pixels(const char *text) { return NxGetTextWidth(text) / 10000; }

TEST_F(DrawingTest, TextAlignmentAndContinuation) {
  int w123 = 0, wLeft = 0, wCentre = 0;
  auto recs = Records(Draw([&] {
    NxTextOutEx(6000000, 1000000, "123.45", 3, "", -10000000, -999, -999, -999, -999);
    w123 = Pixels("123.");
    NxTextOutEx(6000000, 2000000, "12345", 3, "", -10000000, -999, -999, -999, -999);
    NxTextOutEx(6000000, 3000000, "Centre", 2, "", -10000000, -999, -999, -999, -999);
    wCentre = Pixels("Centre");
    NxTextOutEx(9000000, 4000000, "Right", 1, "", -10000000, -999, -999, -999, -999);
    NxTextOut(500000, 5000000, "Left");
    wLeft = Pixels("Left");
    NxTextOut(-10000000, -10000000, "Next");
  }));
  auto t = Texts(recs);
  ASSERT_EQ(t.size(), 6u);
  EXPECT_GT(w123, 0);
  EXPECT_EQ(Ref(t[0]).x, 600 - w123) << "the separator's right edge lands on the point";
  EXPECT_EQ(Ref(t[1]).x, 600) << "no separator: left aligned";
  EXPECT_EQ(Ref(t[2]).x, 600 - wCentre / 2);
  EXPECT_EQ(Ref(t[4]).x, 50);
  EXPECT_EQ(Ref(t[4]).y, 500);
  EXPECT_EQ(Ref(t[5]).x, 50 + wLeft) << "continues where the previous text ended";
  EXPECT_EQ(Ref(t[5]).y, 500);
  EXPECT_EQ(t[5].Text(), u"Next");
}

TEST_F(DrawingTest, ContinuationKeepsItsPixelsAcrossPagesUnitsAndDocuments) {
  int page = 0, wFirst = 0;
  const std::string first = Draw(
      [&] {
        if (page++ == 0) {
          NxTextOutEx(500000, 5000000, "First", 0, "", -10000000, -999, -999, -999, 30);  // turned
          wFirst = Pixels("First");
        } else {
          NxSetUnit(1);  // millimetres now: the stored point is still in pixels
          NxTextOut(-10000000, -10000000, "Second");
        }
      },
      0, 2);
  const std::string second = first.substr(0, first.size() - 5) + "2.emf";
  auto t = Texts(Records(second));
  ASSERT_EQ(t.size(), 1u);
  EXPECT_EQ(Ref(t[0]).x, 50 + wFirst) << "the unturned width of the turned text";
  EXPECT_EQ(Ref(t[0]).y, 500);

  // And in the next document.
  t = Texts(Records(Draw([] { NxTextOut(-10000000, -10000000, "Third"); })));
  ASSERT_EQ(t.size(), 1u);
  EXPECT_GT(Ref(t[0]).x, 50 + wFirst);
  EXPECT_EQ(Ref(t[0]).y, 500);
}

TEST_F(DrawingTest, TextBackgroundsColoursAndRotation) {
  auto recs = Records(Draw([] {
    NxTextOutEx(0, 0, "a", 0, "", -10000000, -999, -5, -255, -999);
    NxTextOutEx(0, 1000000, "b", 0, "", -10000000, -999, -999, 1, -999);
    NxTextOutEx(0, 2000000, "c", 0, "", -10000000, -999, -999, -3, 45);
  }));
  // The background state in force at each text record.
  std::vector<std::pair<int, COLORREF>> states;
  std::vector<COLORREF> textColours;
  int mode = 0;
  COLORREF bk = 0, fg = 0;
  LONG escapement = 0;
  for (const Record &r : recs) {
    if (r.type == EMR_SETBKMODE) mode = static_cast<int>(r.As<EMRSETBKMODE>().iMode);
    if (r.type == EMR_SETBKCOLOR) bk = r.As<EMRSETBKCOLOR>().crColor;
    if (r.type == EMR_SETTEXTCOLOR) fg = r.As<EMRSETTEXTCOLOR>().crColor;
    if (r.type == EMR_EXTCREATEFONTINDIRECTW)
      escapement = r.As<EMREXTCREATEFONTINDIRECTW>().elfw.elfLogFont.lfEscapement;
    if (r.type == EMR_EXTTEXTOUTW) {
      states.push_back({mode, bk});
      textColours.push_back(fg);
    }
  }
  ASSERT_EQ(states.size(), 3u);
  EXPECT_EQ(states[0].first, TRANSPARENT);
  EXPECT_EQ(textColours[0], RGB(255, 0, 0));
  EXPECT_EQ(states[1].first, OPAQUE);
  EXPECT_EQ(states[1].second, GetSysColor(COLOR_BACKGROUND)) << "code 1 is system colour 1, not transparent";
  EXPECT_EQ(states[2].first, OPAQUE);
  EXPECT_EQ(states[2].second, RGB(0, 128, 0));
  EXPECT_EQ(escapement, 450) << "the turned font of the last text";
  // The turned font is deselected and deleted right after its text.
  size_t last = 0;
  for (size_t i = 0; i < recs.size(); ++i)
    if (recs[i].type == EMR_EXTTEXTOUTW) last = i;
  ASSERT_LT(last + 2, recs.size());
  EXPECT_EQ(recs[last + 1].type, static_cast<DWORD>(EMR_SELECTOBJECT));
  EXPECT_EQ(recs[last + 2].type, static_cast<DWORD>(EMR_DELETEOBJECT));
}

TEST_F(DrawingTest, UnicodeCharactersAndCodePages) {
  auto recs = Records(Draw([] {
    NxUnicodeChar(0, 0, "41");
    NxUnicodeCharEx(0, 1000000, "20AC", 0, "", -10000000, -999, -999, -999, -999);
    NxUnicodeChar(0, 2000000, "zz");
    EXPECT_EQ(NxGetLastError(), nx::nxeArgument);
    EXPECT_NE(ErrorText().find("'zz'"), std::string::npos);
    NxSetAsciiToAnsi(1);
    NxTextOut(0, 3000000, "\x81");
    NxSetAsciiToAnsi(0);
    NxTextOut(0, 4000000, "\x80");  // the euro sign in code page 1252
    NxTextOutEx(0, 5000000, "\x80J", 0, "WingDings", -10000000, -999, -999, -999, -999);
  }));
  auto t = Texts(recs);
  ASSERT_EQ(t.size(), 5u);
  EXPECT_EQ(t[4].Text(), u"\u0080J") << "symbol text is taken byte for byte";
  EXPECT_EQ(t[0].Text(), u"A");
  EXPECT_EQ(t[1].Text(), u"\u20AC");
  EXPECT_EQ(t[2].Text(), u"\u00FC") << "OEM 437: 0x81 is u with diaeresis";
  EXPECT_EQ(t[3].Text(), u"\u20AC");
}

TEST_F(DrawingTest, TextMeasuresFollowTheUnit) {
  std::ofstream(dir_.file("printers.ini"), std::ios::app)
      << "[Card600x300]\nResolution = 600x300\nPaper = 300, Card, 40x30mm\nMargins = 0\n";
  Draw(
      [] {
        const int32_t px = NxGetTextHeight("Ag");
        const int32_t pw = NxGetTextWidth("Ag");
        ASSERT_GT(px, 0);
        NxSetUnit(7);  // twips use the vertical resolution for heights
        EXPECT_EQ(NxGetTextHeight("Ag"), static_cast<int32_t>(px / 10000 / 300.0 * 1440 * 10000));
        EXPECT_EQ(NxGetTextWidth("Ag"), static_cast<int32_t>(pw / 10000 / 600.0 * 1440 * 10000));
        NxSetUnit(1);
        EXPECT_EQ(NxGetTextWidth("Ag"), static_cast<int32_t>(pw / 10000 / 600.0 * 25.4 * 10000));
        NxSetFontSize(240000);  // the device font changes with the setter
        EXPECT_GT(NxGetTextWidth("Ag"), static_cast<int32_t>(pw / 10000 / 600.0 * 25.4 * 10000 * 1.8));
      },
      2);
}

// A measure at the top of a new page sees the font of the last text command,
// as it does within a page, in both dimensions.
TEST_F(DrawingTest, TextMeasuresKeepTheLastTextFontAcrossPages) {
  int page = 0;
  std::vector<int> widths, heights;
  Draw(
      [&] {
        if (page++ > 0) {
          EXPECT_EQ(Pixels("iiii"), widths.back()) << "page " << page;
          EXPECT_EQ(NxGetTextHeight("iiii"), heights.back()) << "page " << page;
        }
        const char *face = page == 2 ? "Courier New" : "Arial";
        NxTextOutEx(500000, 5000000, "Total", 0, face, 120000 * page, -999, -999, -999, -999);
        widths.push_back(Pixels("iiii"));
        heights.push_back(NxGetTextHeight("iiii"));
      },
      0, 3);
  ASSERT_EQ(widths.size(), 3u);
  EXPECT_GT(widths[0], 0);
  EXPECT_NE(widths[1], widths[0]);
  EXPECT_NE(heights[2], heights[1]);
}

// Text boxes --------------------------------------------------------------

struct Box {
  RECTL rect{};
  std::vector<Record> texts;
  LOGPEN pen{};
};

Box BoxOf(const std::vector<Record> &recs) {
  Box b;
  auto rects = DrawingTest::OfType(recs, EMR_RECTANGLE);
  if (!rects.empty()) b.rect = rects.back().As<EMRRECTANGLE>().rclBox;
  auto pens = DrawingTest::OfType(recs, EMR_CREATEPEN);
  if (!pens.empty()) b.pen = pens.back().As<EMRCREATEPEN>().lopn;
  b.texts = Texts(recs);
  return b;
}

TEST_F(DrawingTest, TextBoxBorderAndInset) {
  std::string emf = Draw([] { NxTextBox(1000000, 1000000, 6000000, 4000000, "Inset"); });
  Box b = BoxOf(Records(emf));
  EXPECT_EQ(b.rect.left, 100);
  EXPECT_EQ(b.rect.top, 100);
  EXPECT_EQ(b.pen.lopnWidth.x, 8);
  EXPECT_EQ(b.pen.lopnColor, RGB(0, 0, 0));
  ASSERT_EQ(b.texts.size(), 1u);
  const EMRTEXT &t = b.texts[0].As<EMREXTTEXTOUTW>().emrtext;
  EXPECT_EQ(t.ptlReference.x, 118) << "8-pixel border + 10";
  EXPECT_EQ(t.ptlReference.y, 118);
  EXPECT_EQ(t.rcl.left, 118);
  EXPECT_EQ(t.rcl.right, 600 - 18);
  EXPECT_EQ(t.rcl.bottom, 400 - 18);

  Raster page;
  ASSERT_TRUE(Render(emf, &page));
  // The 8-pixel pen is centred on the rectangle's edge.
  EXPECT_EQ(page.Dark(96, 200, 104, 300), 800) << "the border";
  // GDI leaves out the right and bottom edge: the box ends at 599, 399 and
  // the borders there are as wide as on the left and top.
  EXPECT_EQ(page.Dark(595, 200, 603, 300), 800) << "the right border";
  EXPECT_EQ(page.Dark(104, 104, 118, 395), 0) << "nothing between border and text";
  EXPECT_EQ(page.Dark(104, 104, 595, 118), 0);
  EXPECT_GT(page.Dark(118, 118, 300, 250), 1000) << "the text";
}

TEST_F(DrawingTest, TextBoxWithoutBorderAndTheNothingCases) {
  auto recs = Records(Draw([] {
    NxTextBox(1000000, 1000000, 6000000, 4000000, "");            // empty: not even the box
    NxTextBox(1000000, 1000000, 1000000, 4000000, "x");           // no width
    NxTextBoxEx(1000000, 1000000, 6000000, 4000000, "Full", 3, "", -10000000, -999, -999, -255, -10000000);
  }));
  Box b = BoxOf(recs);
  EXPECT_EQ(OfType(recs, EMR_RECTANGLE).size(), 1u);
  EXPECT_EQ(b.pen.lopnWidth.x, 0);
  EXPECT_EQ(b.pen.lopnColor, RGB(255, 255, 255));
  EXPECT_EQ(OfType(recs, EMR_CREATEBRUSHINDIRECT).back().As<EMRCREATEBRUSHINDIRECT>().lb.lbStyle,
            static_cast<UINT>(BS_NULL));
  ASSERT_EQ(b.texts.size(), 1u);
  EXPECT_EQ(Ref(b.texts[0]).x, 100) << "justify 3 is left; no border, no inset";
  EXPECT_EQ(Ref(b.texts[0]).y, 100);
}

TEST_F(DrawingTest, TextBoxLineBreaking) {
  // A 12-point line is about 100 pixels at 600 dpi, a character 60 wide;
  // the box holds three lines.
  auto recs = Records(Draw([] {
    NxTextBoxEx(0, 0, 8000000, 3400000, "One\r\nTwo & three", 0, "", -10000000, -999, -999, -255, -10000000);
  }));
  auto t = Texts(recs);
  ASSERT_EQ(t.size(), 2u);
  EXPECT_EQ(t[0].Text(), u"One");
  EXPECT_EQ(t[1].Text(), u"Two & three") << "an ampersand is itself";
  EXPECT_GT(Ref(t[1]).y, Ref(t[0]).y);

  recs = Records(Draw([] {
    std::string longText;
    for (int i = 0; i < 4000; ++i) longText += "word" + std::to_string(i) + " ";
    NxTextBoxEx(0, 0, 4000000, 3400000, longText.c_str(), 2, "", -10000000, -999, -999, -255, -10000000);
    NxTextBoxEx(0, 5000000, 4000000, 5000100, "Tiny", 0, "", -10000000, -999, -999, -255, -10000000);
  }));
  t = Texts(recs);
  ASSERT_GE(t.size(), 2u);
  const std::u16string last = t[t.size() - 2].Text();
  ASSERT_GE(last.size(), 3u);
  EXPECT_EQ(last.substr(last.size() - 3), u"...") << "the last visible line ends in an ellipsis";
  const LONG lineHeight = Ref(t[1]).y - Ref(t[0]).y;
  EXPECT_GT(lineHeight, 50);
  for (size_t i = 0; i + 1 < t.size(); ++i) EXPECT_LE(Ref(t[i]).y + lineHeight, 340) << "no partly visible line";
  EXPECT_EQ(t.back().Text(), u"Tiny") << "the first line is drawn even in a box smaller than a line";
}

TEST_F(DrawingTest, TextBoxAlignmentLongWordsAndClipping) {
  // No border: the text uses the whole 400 x 340-pixel box.
  int wRight = 0, wCentre = 0, wLine = 0;
  std::string emf = Draw([&] {
    NxTextBoxEx(0, 0, 4000000, 3400000, "Right", 1, "", -10000000, -999, -999, -255, -10000000);
    wRight = Pixels("Right");
    NxTextBoxEx(0, 0, 4000000, 3400000, "Mid", 2, "", -10000000, -999, -999, -255, -10000000);
    wCentre = Pixels("Mid");
    NxTextBoxEx(5000000, 0, 9000000, 3400000, "ABCDEFGHIJKL", 0, "", -10000000, -999, -999, -255, -10000000);
    wLine = Pixels("ABCDEF");
  });
  auto t = Texts(Records(emf));
  ASSERT_EQ(t.size(), 4u);
  EXPECT_EQ(Ref(t[0]).x + wRight, 400) << "right aligned on the box's right edge";
  EXPECT_NEAR(Ref(t[1]).x, (400 - wCentre) / 2, 1);
  EXPECT_EQ(t[2].Text() + t[3].Text(), u"ABCDEFGHIJKL") << "a word longer than a line is cut, not lost";
  ASSERT_LE(wLine, 400) << "Courier at 12 points: six characters fit";
  EXPECT_EQ(t[2].Text(), u"ABCDEF");
  EXPECT_EQ(Ref(t[2]).x, 500);

  // Nothing is drawn outside a box: a long text in a box at the card's middle.
  emf = Draw([] {
    std::string text;
    for (int i = 0; i < 200; ++i) text += "WWWW MMMM ";
    NxTextBoxEx(2000000, 2000000, 6000000, 5000000, text.c_str(), 2, "", -10000000, -999, -999, -255, -10000000);
  });
  Raster page;
  ASSERT_TRUE(Render(emf, &page));
  EXPECT_GT(page.Dark(200, 200, 600, 500), 1000);
  EXPECT_EQ(page.Dark(0, 0, page.width, 200) + page.Dark(0, 500, page.width, page.height) +
                page.Dark(0, 200, 200, 500) + page.Dark(600, 200, page.width, 500),
            0);
}

TEST(HostText, AsciiTextWidensAsTheConverterWould) {
  // ASCII-only text skips the converter; a byte above 0x7F anywhere, first
  // or last, sends the whole text through it.
  const std::string longAscii(600, 'x');
  const char *texts[] = {"A", "plain 0-9 ~\x7F\x01", "at the end \x80", "\xE9 first", "mid\x93" "dle\x94",
                         longAscii.c_str()};
  for (const char *t : texts) EXPECT_EQ(nx::HostText(t, NXW("Arial")), nx::AnsiToWide(t)) << t;
  EXPECT_EQ(nx::HostText("at the end \x80", NXW("Arial")), nx::WString(u"at the end \u20AC"));
  EXPECT_TRUE(nx::HostText("", NXW("Arial")).empty());
  EXPECT_TRUE(nx::HostText(nullptr, NXW("Arial")).empty());
}

// One buffer carried through texts of every kind and length gives what a
// fresh conversion gives: nothing of a longer text before it survives.
TEST(HostText, ReusedBufferHoldsOnlyTheLatestText) {
  const std::string longAscii(300, 'x');
  struct Case {
    const char *text;
    const char16_t *face;
  };
  const Case cases[] = {{longAscii.c_str(), u"Arial"}, {"short", u"Arial"},        {"caf\xE9 \x80", u"Arial"},
                        {"AB", u"Arial"},               {"", u"Arial"},             {"\x80J long symbol", u"WingDings"},
                        {"x", u"WingDings"},            {nullptr, u"Arial"},        {"tail \x93q\x94", u"Times New Roman"}};
  nx::WString buffer;
  for (const Case &c : cases) {
    nx::HostTextInto(c.text, c.face, &buffer);
    EXPECT_EQ(buffer, nx::HostText(c.text, c.face)) << (c.text ? c.text : "(null)");
  }
}

TEST_F(DrawingTest, LinesOfEveryLengthAndCodePageRecordOnlyTheirOwnText) {
  const std::string longLine(120, 'L');
  auto t = Texts(Records(Draw([&] {
    NxTextOut(0, 0, longLine.c_str());
    NxTextOut(0, 500000, "ab");
    NxTextOut(0, 1000000, "\xE9t\xE9");
    NxSetAsciiToAnsi(1);
    NxTextOut(0, 1500000, "\x81x");
    NxSetAsciiToAnsi(0);
    NxTextOutEx(0, 2000000, "\xF0\x41", 0, "WingDings", -10000000, -999, -999, -999, -999);
    NxTextOut(0, 2500000, "z");
  })));
  ASSERT_EQ(t.size(), 6u);
  EXPECT_EQ(t[0].Text(), std::u16string(120, u'L'));
  EXPECT_EQ(t[1].Text(), u"ab");
  EXPECT_EQ(t[2].Text(), u"\u00E9t\u00E9");
  EXPECT_EQ(t[3].Text(), u"\u00FCx");
  EXPECT_EQ(t[4].Text(), u"\u00F0A");
  EXPECT_EQ(t[5].Text(), u"z");
}

}  // namespace
}  // namespace drawtest
