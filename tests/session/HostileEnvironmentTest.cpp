// The library in an environment that is not what it seems: a full disk
// under the EMF pages and the PDF, RTF and JPEG files, output names that
// are symbolic links, read-only folders, and printer configurations that
// are FIFOs, devices or huge files.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <future>

#include "common/ErrorChannel.h"
#include "noxtrel.h"
#include "session/Library.h"
#include "support/SpoolEnv.h"
#include "support/SmallDisk.h"

namespace {

namespace fs = std::filesystem;

class HostileEnvironmentTest : public nxtest::SpoolTest {
 protected:
  void SetUp() override {
    SpoolTest::SetUp();
    nx::UnloadLibraryState();
    nx::ClearLastNxError();
  }
  void TearDown() override { nx::UnloadLibraryState(); }

  static std::string LastErrorText() {
    char buf[512];
    NxGetLastErrorText(buf, sizeof buf);
    return buf;
  }
  // One EMF document into the folder of `fileName`; `draw` fills page 1.
  static void EmfDocument(const std::string &fileName, const std::function<void()> &draw, int pages = 1) {
    NxSetDevice(5);
    NxSetFileName(fileName.c_str());
    NxBeginDoc();
    for (int i = 0; i < pages; ++i) {
      if (i > 0) NxNewPage();
      if (i == 0) draw();
      NxLine(100000, 100000, 500000, 500000);
    }
    NxEndDoc();
  }
  static std::vector<std::string> Names(const std::string &folder) {
    std::vector<std::string> out;
    for (const auto &e : fs::directory_iterator(folder)) out.push_back(e.path().filename().string());
    std::sort(out.begin(), out.end());
    return out;
  }
};

TEST_F(HostileEnvironmentTest, AFullDiskKeepsTheEarlierPageFile) {
  nxtest::SmallDisk disk(256 * 1024);
  NX_REQUIRE_SMALL_DISK(disk);
  NX_REQUIRE_TOOL("convert");
  // 400 x 400 pixels of noise: a page of about 480 KB.
  const std::string noise = dir_.file("noise.bmp");
  auto r = nxtest::RunCommand("convert -size 400x400 xc: +noise Random -type truecolor BMP3:" +
                              nxtest::ShellQuote(noise));
  ASSERT_EQ(r.exitCode, 0) << r.output;
  ASSERT_EQ(NxInit(), 0);
  EmfDocument(disk.file("doc.pdf"), [] {});
  ASSERT_EQ(NxGetLastError(), 0) << LastErrorText();
  const auto before = nxtest::ReadFileBytes(disk.file("Page1.emf"));
  ASSERT_GT(before.size(), 100u);

  EmfDocument(disk.file("doc.pdf"), [&] { NxBitmap(0, 0, 0, 0, noise.c_str(), -255, 0); });
  EXPECT_EQ(NxGetLastError(), nx::nxeFile);
  EXPECT_NE(LastErrorText().find("Page1.emf"), std::string::npos) << LastErrorText();
  EXPECT_EQ(nxtest::ReadFileBytes(disk.file("Page1.emf")), before) << "the complete earlier page stays";
  EXPECT_EQ(Names(disk.path()), std::vector<std::string>{"Page1.emf"}) << "no temporary file is left";
}

TEST_F(HostileEnvironmentTest, PageNamesThatAreLinksAreReplacedNotFollowed) {
  const std::string out = dir_.file("out"), victim = dir_.file("victim.txt"), outside = dir_.file("outside.emf");
  fs::create_directories(out);
  std::ofstream(victim) << "another user's file";
  fs::create_symlink(victim, out + "/Page1.emf");
  fs::create_symlink(outside, out + "/Page2.emf");  // dangling
  ASSERT_EQ(NxInit(), 0);
  EmfDocument(out + "/doc.pdf", [] {}, 2);
  EXPECT_EQ(NxGetLastError(), 0) << LastErrorText();
  auto bytes = nxtest::ReadFileBytes(victim);
  EXPECT_EQ(std::string(bytes.begin(), bytes.end()), "another user's file");
  EXPECT_FALSE(fs::exists(outside)) << "a dangling link creates nothing outside the folder";
  for (const char *page : {"/Page1.emf", "/Page2.emf"}) {
    EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(out + page))) << page;
    const auto emf = nxtest::ReadFileBytes(out + page);
    ASSERT_GT(emf.size(), 44u);
    EXPECT_EQ(std::string(emf.begin() + 40, emf.begin() + 44), " EMF") << page;
  }
}

// The export outputs: device type, the name given and the first file made.
struct ExportOutput {
  int device;
  const char *name, *file;
};
constexpr ExportOutput kExports[] = {{3, "doc.pdf", "doc.pdf"}, {6, "doc.rtf", "doc.rtf"}, {7, "doc.jpg", "doc1.jpg"}};

// One document of `pages` pages exported to `fileName`; `big` puts a
// picture of noise on its last page and other words on every page.
void ExportDocument(int device, const std::string &fileName, int pages, const std::string &big = {}) {
  NxSetDevice(device);
  NxSetFileName(fileName.c_str());
  NxBeginDoc();
  for (int i = 0; i < pages; ++i) {
    if (i > 0) NxNewPage();
    NxTextOut(100000, 100000, ((big.empty() ? "Page " : "Another page ") + std::to_string(i + 1)).c_str());
  }
  if (!big.empty()) NxBitmap(0, 0, 1900000, 2700000, big.c_str(), -255, 0);
  NxEndDoc();
}

TEST_F(HostileEnvironmentTest, ExportFilesThatAreLinksAreReplacedNotFollowed) {
  ASSERT_EQ(NxInit(), 0);
  for (const ExportOutput &e : kExports) {
    SCOPED_TRACE(e.name);
    const std::string out = dir_.file("out" + std::to_string(e.device)), victim = out + "-victim.txt";
    const std::string outside = out + "-outside";
    fs::create_directories(out + "/dangling");
    std::ofstream(victim) << "another user's file";
    fs::create_symlink(victim, out + "/" + e.file);
    fs::create_symlink(outside, out + "/dangling/" + e.file);
    for (const std::string &folder : {out, out + "/dangling"}) {
      nx::ClearLastNxError();
      ExportDocument(e.device, folder + "/" + e.name, 1);
      EXPECT_EQ(NxGetLastError(), 0) << LastErrorText();
      EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(folder + "/" + e.file))) << folder;
      EXPECT_GT(fs::file_size(folder + "/" + e.file), 100u);
    }
    auto bytes = nxtest::ReadFileBytes(victim);
    EXPECT_EQ(std::string(bytes.begin(), bytes.end()), "another user's file");
    EXPECT_FALSE(fs::exists(outside)) << "a dangling link creates nothing outside the folder";
  }
}

// On a full disk an export reports the failure and the earlier file stays
// whole; a JPEG document whose second page does not fit leaves none of its
// pages (its first page was left published). In a read-only folder the
// earlier file stays too.
TEST_F(HostileEnvironmentTest, ExportsOnAFullDiskOrAReadOnlyFolderKeepTheEarlierFile) {
  nxtest::SmallDisk disk(384 * 1024);
  NX_REQUIRE_SMALL_DISK(disk);
  NX_REQUIRE_TOOL("convert");
  const std::string noise = dir_.file("noise.bmp");
  auto r =
      nxtest::RunCommand("convert -size 500x500 xc: +noise Random -type truecolor BMP3:" + nxtest::ShellQuote(noise));
  ASSERT_EQ(r.exitCode, 0) << r.output;
  ASSERT_EQ(NxInit(), 0);
  for (const ExportOutput &e : kExports) {
    SCOPED_TRACE(e.name);
    const std::string target = disk.file(e.file);
    ExportDocument(e.device, disk.file(e.name), 2);
    ASSERT_EQ(NxGetLastError(), 0) << LastErrorText();
    const auto before = nxtest::ReadFileBytes(target);
    ASSERT_GT(before.size(), 100u);
    ExportDocument(e.device, disk.file(e.name), 2, noise);
    EXPECT_EQ(NxGetLastError(), nx::nxeFile) << LastErrorText();
    if (e.device == 7)
      EXPECT_TRUE(!fs::exists(target) || nxtest::ReadFileBytes(target) == before) << "page 1 of the failed document";
    else
      EXPECT_EQ(nxtest::ReadFileBytes(target), before) << "the complete earlier file stays";
    for (const std::string &name : Names(disk.path())) EXPECT_EQ(name.find(".tmp"), std::string::npos) << name;
    for (const std::string &name : Names(disk.path())) fs::remove(disk.file(name));
  }
  // Read-only: the files of a first document stay as they are.
  for (const ExportOutput &e : kExports) ExportDocument(e.device, disk.file(e.name), 1);
  const auto names = Names(disk.path());
  ASSERT_EQ(names.size(), 3u);
  std::vector<std::vector<unsigned char>> before;
  for (const std::string &name : names) before.push_back(nxtest::ReadFileBytes(disk.file(name)));
  r = nxtest::RunCommand("mount -o remount,ro " + nxtest::ShellQuote(disk.path()));
  ASSERT_EQ(r.exitCode, 0) << r.output;
  for (const ExportOutput &e : kExports) {
    SCOPED_TRACE(e.name);
    nx::ClearLastNxError();
    ExportDocument(e.device, disk.file(e.name), 1);
    EXPECT_EQ(NxGetLastError(), nx::nxeFile) << LastErrorText();
  }
  EXPECT_EQ(Names(disk.path()), names);
  for (size_t i = 0; i < names.size(); ++i)
    EXPECT_EQ(nxtest::ReadFileBytes(disk.file(names[i])), before[i]) << names[i];
}

TEST_F(HostileEnvironmentTest, PrinterConfigurationsThatAreNotFilesAreRefusedAndSaySo) {
  const std::string fifo = dir_.file("fifo.ini"), huge = dir_.file("huge.ini");
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  {
    std::ofstream f(huge);
    f << "[Big]\nResolution = 300\nPaper = 9\n";
    f << std::string(2 * 1024 * 1024, ';') << "\n";
  }
  for (const std::string &config : {fifo, std::string("/dev/zero"), huge, dir_.path().string()}) {
    SCOPED_TRACE(config);
    env_.Set("NOXTREL_PRINTERS", config);
    nx::ClearLastNxError();
    // A FIFO without a writer blocked NxInit for ever: run it aside.
    auto init = std::async(std::launch::async, [] { return NxInit(); });
    ASSERT_EQ(init.wait_for(std::chrono::seconds(20)), std::future_status::ready) << "NxInit blocked";
    EXPECT_EQ(init.get(), 1);
    EXPECT_EQ(NxGetLastError(), nx::nxePrinter);
    EXPECT_NE(LastErrorText().find("configuration file"), std::string::npos) << LastErrorText();
  }
  // A regular file of the same printers is read.
  std::ofstream(dir_.file("ok.ini")) << "[Small]\nResolution = 300\nPaper = 9\n";
  env_.Set("NOXTREL_PRINTERS", dir_.file("ok.ini"));
  EXPECT_EQ(NxInit(), 0);
  EXPECT_EQ(NxGetPrinterCount(), 1);
}

}  // namespace
