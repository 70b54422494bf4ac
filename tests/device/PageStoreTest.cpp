// The page store and the output device's routing. The pages take their size
// from the printer's device context; here a memory context stands in for it.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "device/Device.h"
#include "device/EmfPageFile.h"
#include "device/NxPrinter.h"
#include "device/SysPrinter.h"
#include "session/Library.h"
#include "session/Session.h"
#include "support/SpoolEnv.h"

namespace {

class PageStoreTest : public nxtest::SpoolTest {
 protected:
  void SetUp() override {
    SpoolTest::SetUp();
    nx::UnloadLibraryState();
    reference_ = CreateCompatibleDC(nullptr);
  }
  void TearDown() override {
    store_.ClearPages();
    DeleteDC(reference_);
    nx::UnloadLibraryState();
  }

  static std::string Message(const std::function<void()> &f) {
    try {
      f();
    } catch (const nx::ENxPrinter &e) {
      return e.what();
    }
    return "no exception";
  }

  HDC reference_ = nullptr;
  nx::TNxPrinter store_{[this] { return reference_; }};
};

// The record types of a page, in order.
std::vector<DWORD> RecordTypes(HENHMETAFILE emf) {
  std::vector<DWORD> types;
  auto collect = [](HDC, HANDLETABLE *, const ENHMETARECORD *r, int, LPARAM p) -> int {
    reinterpret_cast<std::vector<DWORD> *>(p)->push_back(r->iType);
    return 1;
  };
  EnumEnhMetaFile(nullptr, emf, collect, &types, nullptr);
  return types;
}

TEST_F(PageStoreTest, PagesComeIntoBeingWithTheFirstUseOfTheSurface) {
  store_.BeginDoc();
  EXPECT_TRUE(store_.Printing());
  EXPECT_EQ(store_.PagesCount(), 0);
  store_.EndDoc();
  EXPECT_FALSE(store_.Printing());
  EXPECT_EQ(store_.PagesCount(), 0);

  store_.BeginDoc();
  store_.NewPage();
  store_.EndDoc();
  ASSERT_EQ(store_.PagesCount(), 1);
  EXPECT_NE(store_.GetPage(0).Handle, nullptr);
  EXPECT_EQ(store_.PageNumber(), 0);

  store_.BeginDoc();  // a new document starts empty
  EXPECT_EQ(store_.PagesCount(), 0);
  store_.Canvas().LineTo(100, 100);  // the surface opens page 1
  EXPECT_EQ(store_.PagesCount(), 1);
  store_.NewPage();
  store_.Canvas().Rectangle(10, 10, 50, 50);
  store_.Canvas().Rectangle(60, 10, 90, 50);
  HBITMAP picture = CreateCompatibleBitmap(reference_, 3, 2);
  store_.Canvas().Draw(5, 5, picture);
  DeleteObject(picture);
  store_.NewPage();
  store_.EndDoc();
  ASSERT_EQ(store_.PagesCount(), 3);
  for (int i = 0; i < 3; ++i) {
    EXPECT_NE(store_.GetPage(i).Handle, nullptr) << i;
    // The screen is not scaled here: the nominal size is the printable area.
    EXPECT_EQ(store_.GetPage(i).Width, GetDeviceCaps(reference_, HORZRES)) << i;
    EXPECT_EQ(store_.GetPage(i).Height, GetDeviceCaps(reference_, VERTRES)) << i;
  }
  // Each page holds its own drawing.
  auto first = RecordTypes(store_.GetPage(0).Handle);
  auto second = RecordTypes(store_.GetPage(1).Handle);
  EXPECT_EQ(std::count(first.begin(), first.end(), static_cast<DWORD>(EMR_LINETO)), 1);
  EXPECT_EQ(std::count(first.begin(), first.end(), static_cast<DWORD>(EMR_RECTANGLE)), 0);
  EXPECT_EQ(std::count(second.begin(), second.end(), static_cast<DWORD>(EMR_LINETO)), 0);
  EXPECT_EQ(std::count(second.begin(), second.end(), static_cast<DWORD>(EMR_RECTANGLE)), 2);
  EXPECT_EQ(std::count(second.begin(), second.end(), static_cast<DWORD>(EMR_BITBLT)), 1);
  // A page whose output has taken it lets its metafile go and keeps its
  // figures; the others stay, and clearing frees only what is left.
  const nx::TPageMetafile before = store_.GetPage(1);
  store_.ReleasePage(1);
  EXPECT_EQ(store_.GetPage(1).Handle, nullptr);
  EXPECT_EQ(store_.GetPage(1).PrinterWidth, before.PrinterWidth);
  EXPECT_EQ(store_.GetPage(1).DpiY, before.DpiY);
  EXPECT_EQ(GetEnhMetaFileHeader(before.Handle, 0, nullptr), 0u);  // deleted
  EXPECT_EQ(RecordTypes(store_.GetPage(0).Handle), first);
  EXPECT_GT(GetEnhMetaFileHeader(store_.GetPage(2).Handle, 0, nullptr), 0u);
  store_.ReleasePage(1);  // twice is harmless
  EXPECT_EQ(Message([&] { store_.ReleasePage(3); }), "Printer page not valid");
  store_.ClearPages();
  EXPECT_EQ(store_.PagesCount(), 0);
}

TEST_F(PageStoreTest, WrongStatesRaiseTheirMessages) {
  EXPECT_EQ(Message([&] { store_.EndDoc(); }), "Printer is not currently printing");
  EXPECT_EQ(Message([&] { store_.Abort(); }), "Printer is not currently printing");
  store_.BeginDoc();
  EXPECT_EQ(Message([&] { store_.BeginDoc(); }), "Printing in progress");
  store_.NewPage();
  store_.NewPage();
  EXPECT_EQ(Message([&] { store_.GetPage(-1); }), "Printer page not valid");
  EXPECT_EQ(Message([&] { store_.GetPage(2); }), "Printer page not valid");
  EXPECT_EQ(Message([&] { store_.GetPage(1); }), "no exception");
  store_.Abort();
  EXPECT_FALSE(store_.Printing());
  EXPECT_EQ(store_.PagesCount(), 0);
}

TEST_F(PageStoreTest, EveryPageStartsWithFreshObjectsAtThePrintersResolution) {
  store_.BeginDoc();
  nx::TSurface &first = store_.Canvas();
  // Point sizes convert at the reference's vertical resolution.
  EXPECT_EQ(first.Font().PixelsPerInch, GetDeviceCaps(reference_, LOGPIXELSY));
  first.Font().Name = NXW("Courier New");
  first.Font().SetSize(12);
  first.Pen().Width = 5;
  first.Brush().Style = nx::TBrushStyle::Clear;
  first.Select();
  store_.NewPage();
  nx::TSurface &second = store_.Canvas();
  EXPECT_EQ(second.Pen(), nx::TPen{});
  EXPECT_EQ(second.Brush(), nx::TBrush{});
  EXPECT_NE(second.Font().Name, NXW("Courier New"));
  EXPECT_EQ(second.Font().Height, -8 * GetDeviceCaps(reference_, LOGPIXELSY) / 72);
  store_.EndDoc();
}

TEST_F(PageStoreTest, PagesHaveTheFrameOfThePrintableAreaAndSaveTheirStateAtTheEnd) {
  store_.BeginDoc();
  store_.NewPage();
  store_.NewPage();
  store_.EndDoc();
  ASSERT_EQ(store_.PagesCount(), 2);

  HDC screen = GetDC(nullptr);
  const LONG frameWidth = MulDiv(GetDeviceCaps(reference_, HORZRES), GetDeviceCaps(screen, HORZSIZE) * 100,
                                 GetDeviceCaps(screen, HORZRES));
  const LONG frameHeight = MulDiv(GetDeviceCaps(reference_, VERTRES), GetDeviceCaps(screen, VERTSIZE) * 100,
                                  GetDeviceCaps(screen, VERTRES));
  ReleaseDC(nullptr, screen);
  for (int i = 0; i < 2; ++i) {
    ENHMETAHEADER header{};
    ASSERT_GT(GetEnhMetaFileHeader(store_.GetPage(i).Handle, sizeof header, &header), 0u);
    EXPECT_EQ(header.rclFrame.left, 0);
    EXPECT_EQ(header.rclFrame.top, 0);
    EXPECT_EQ(header.rclFrame.right, frameWidth);
    EXPECT_EQ(header.rclFrame.bottom, frameHeight);
  }
  // The first page's state is saved as it is finished; the next page's
  // context has no saved state to restore, so nothing is recorded for it.
  auto first = RecordTypes(store_.GetPage(0).Handle);
  auto second = RecordTypes(store_.GetPage(1).Handle);
  ASSERT_GE(first.size(), 3u);
  EXPECT_EQ(first[first.size() - 2], static_cast<DWORD>(EMR_SAVEDC));
  EXPECT_EQ(std::count(second.begin(), second.end(), static_cast<DWORD>(EMR_RESTOREDC)), 0);
  EXPECT_EQ(std::count(second.begin(), second.end(), static_cast<DWORD>(EMR_SAVEDC)), 0);  // the last page
}

TEST_F(PageStoreTest, PageFilesStateThePrintersSizeAndLeaveThePageAsItIs) {
  store_.BeginDoc();
  store_.Canvas().Rectangle(10, 10, 200, 100);
  store_.EndDoc();
  const nx::TPageMetafile &page = store_.GetPage(0);
  ENHMETAHEADER before{};
  GetEnhMetaFileHeader(page.Handle, sizeof before, &before);
  std::vector<BYTE> file = nx::EmfPageFile(page);
  ASSERT_GE(file.size(), sizeof(ENHMETAHEADER));
  ENHMETAHEADER h;
  std::memcpy(&h, file.data(), sizeof h);
  // The stand-in printer: 1920 x 1440 pixels at 96 dpi, 508 x 381 mm.
  EXPECT_EQ(h.rclFrame.right, 50800);
  EXPECT_EQ(h.rclFrame.bottom, 38100);
  EXPECT_EQ(h.szlDevice.cx * 127, h.szlMillimeters.cx * 480);
  EXPECT_EQ(h.szlDevice.cy * 127, h.szlMillimeters.cy * 480);
  EXPECT_EQ(h.nBytes, file.size());
  // The records are those of the page, which keeps its own header.
  std::vector<BYTE> kept(GetEnhMetaFileBits(page.Handle, 0, nullptr));
  GetEnhMetaFileBits(page.Handle, (UINT)kept.size(), kept.data());
  ASSERT_EQ(kept.size(), file.size());
  EXPECT_TRUE(std::equal(kept.begin() + sizeof h, kept.end(), file.begin() + sizeof h));
  ENHMETAHEADER after{};
  GetEnhMetaFileHeader(page.Handle, sizeof after, &after);
  EXPECT_EQ(std::memcmp(&before, &after, sizeof before), 0);
  // Without a metafile there is no file.
  EXPECT_TRUE(nx::EmfPageFile(nx::TPageMetafile{}).empty());
}

TEST_F(PageStoreTest, DeviceRoutesByTheSessionsDeviceType) {
  nx::TSysPrinter printer;
  nx::TDevice device(printer, store_);
  for (int type : {0, 8, -1}) {
    nx::Session().Device = type;
    EXPECT_FALSE(device.Printing());
    EXPECT_EQ(device.Handle(), nullptr);
    EXPECT_EQ(device.Font(), nullptr);
    EXPECT_EQ(device.FontCount(), 0);
    EXPECT_EQ(device.TextWidth(NXW("text")), 0);
    device.BeginDoc();  // goes nowhere
    device.NewPage();
    device.EndDoc();
    device.Abort();
    EXPECT_FALSE(store_.Printing());
    EXPECT_EQ(store_.PagesCount(), 0);
  }

  nx::Session().Device = 4;  // routed to the page store, though no document opens for it
  device.BeginDoc();
  EXPECT_TRUE(device.Printing());
  device.Abort();
  EXPECT_FALSE(device.Printing());

  nx::Session().Device = 3;
  EXPECT_EQ(device.FontCount(), 0);
  device.BeginDoc();
  EXPECT_EQ(store_.PagesCount(), 0);
  ASSERT_NE(device.Font(), nullptr);  // opens page 1
  EXPECT_EQ(store_.PagesCount(), 1);
  EXPECT_EQ(device.Handle(), store_.Handle());
  device.Font()->Name = NXW("Courier New");
  device.Font()->SetSize(12);
  EXPECT_GT(device.TextWidth(NXW("T")), 0);
  EXPECT_EQ(device.TextWidth(NXW("Total")), 5 * device.TextWidth(NXW("T")));  // monospaced
  device.TextOut(40, 30, NXW("Total"));  // the current position moves to the end of the text
  POINT at{};
  GetCurrentPositionEx(device.Handle(), &at);
  EXPECT_EQ(at.x, 40 + device.TextWidth(NXW("Total")));
  EXPECT_EQ(at.y, 30);
  EXPECT_GT(device.TextHeight(NXW("Total")), device.TextWidth(NXW("T")));
  device.NewPage();
  device.EndDoc();
  EXPECT_FALSE(device.Printing());
  ASSERT_EQ(store_.PagesCount(), 2);
  auto first = RecordTypes(store_.GetPage(0).Handle);
  EXPECT_EQ(std::count(first.begin(), first.end(), static_cast<DWORD>(EMR_EXTTEXTOUTW)), 1);

  // The document title goes to the print job for the printer's own device
  // types, not for PDF and RTF output (whose engines carry their own title).
  device.SetTitle(NXW("Report"));
  EXPECT_TRUE(printer.Title().empty());
  nx::Session().Device = 5;
  device.SetTitle(NXW("Report"));
  EXPECT_EQ(printer.Title(), NXW("Report"));
  // Printer fonts count for the printer, the preview and EMF pages only.
  nx::Session().Device = 2;
  EXPECT_GT(device.FontCount(), 0);
  EXPECT_EQ(device.FontCount(), static_cast<int>(printer.Fonts().size()));
}

}  // namespace
