// Raw print jobs through the exports: bytes reach a CUPS queue's AppSocket
// device byte for byte, bad input sends nothing, and a job the reset left
// open is ended when the library unloads.
#include <dlfcn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>

#include "printers/PrintersEnv.h"
#include "printers/RawJob.h"
#include "support/SmallDisk.h"

namespace nxtest {
namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;

// Every byte value, NULs and 0xFF runs included.
std::string Payload() {
  std::string bytes = "\x1b@\x1b(s0P";
  for (int round = 0; round < 40; ++round)
    for (int i = 0; i < 256; ++i) bytes += static_cast<char>((i * 13 + round) & 0xFF);
  bytes += std::string("\0\0\xff\xff\r\n\x0c", 7);
  return bytes;
}

// The finished raw jobs in a virtual printer's folder.
std::vector<std::string> RawFiles(const std::string &folder) {
  std::vector<std::string> out;
  if (!fs::exists(folder)) return out;
  for (const auto &e : fs::directory_iterator(folder))
    if (e.path().extension() == ".prn") out.push_back(e.path().string());
  std::sort(out.begin(), out.end());
  return out;
}

std::string Text(const std::vector<unsigned char> &b) { return std::string(b.begin(), b.end()); }

class RawJobTest : public PrintersTest {
 protected:
  void SetUp() override {
    PrintersTest::SetUp();
    cupsd_ = std::make_unique<PrivateCupsd>();
    if (!cupsd_->ok()) return;
    ASSERT_TRUE(cupsd_->AddQueue("NxBins", TestPpd(), bins_.port())) << cupsd_->ErrorLog();
    ASSERT_TRUE(cupsd_->AddQueue("NxPlain", PlainPpd(), plain_.port())) << cupsd_->ErrorLog();
    ASSERT_TRUE(cupsd_->SetDefault("NxBins"));
  }
  void TearDown() override {
    PrintersTest::TearDown();
    cupsd_.reset();
  }

  AppSocketListener bins_, plain_;
  std::unique_ptr<PrivateCupsd> cupsd_;
};

TEST_F(RawJobTest, BytesArriveUnchangedAsOneJob) {
  NX_REQUIRE_CUPSD(*cupsd_);
  ASSERT_EQ(NxInit(), 0);
  NxSetPrinter(1);  // the plain queue, not the default
  const std::string bytes = Payload();
  NxPrintRawData("before", 6);  // no job open: nothing
  NxBeginRawDoc();
  NxBeginRawDoc();  // a second begin does nothing: the first job continues
  for (size_t at = 0; at < bytes.size(); at += 777)
    NxPrintRawData(bytes.data() + at, static_cast<int32_t>(std::min<size_t>(777, bytes.size() - at)));
  NxPrintRawData("ignored", 0);
  EXPECT_EQ(NxGetLastError(), 0) << ErrorText();
  NxPrintRawData(nullptr, 5);
  EXPECT_EQ(NxGetLastError(), nx::nxeArgument);
  NxPrintRawData("negative", -8);
  EXPECT_EQ(NxGetLastError(), nx::nxeArgument);
  NxPrintRawData("xyz", INT32_MIN);
  NxEndRawDoc();
  NxEndRawDoc();  // the second end does nothing
  NxPrintRawData("after", 5);
  auto got = plain_.WaitJob(0, 30s);
  ASSERT_TRUE(got.has_value()) << cupsd_->ErrorLog();
  EXPECT_EQ(Text(*got), bytes);
  EXPECT_TRUE(cupsd_->WaitIdle(10s));
  EXPECT_EQ(plain_.JobCount(), 1u);
  EXPECT_EQ(bins_.JobCount(), 0u);
}

TEST_F(RawJobTest, VanishedQueueSendsNothingAndSaysSo) {
  NX_REQUIRE_CUPSD(*cupsd_);
  ASSERT_EQ(NxInit(), 0);
  ASSERT_TRUE(cupsd_->RemoveQueue("NxBins"));  // the default, selected by NxInit
  NxBeginRawDoc();
  EXPECT_EQ(NxGetLastError(), nx::nxePrinter);
  EXPECT_NE(ErrorText().find("OpenPrinter"), std::string::npos) << ErrorText();
  EXPECT_TRUE(nx::Session().RawPrintJob);  // open, on no printer
  EXPECT_EQ(nx::Session().PrnHandle, static_cast<uintptr_t>(-1));
  NxPrintRawData("lost", 4);
  NxEndRawDoc();
  EXPECT_FALSE(nx::Session().RawPrintJob);
  NxSetPrinter(0);  // now the plain queue: jobs work again
  NxBeginRawDoc();
  NxPrintRawData("ok", 2);
  NxEndRawDoc();
  auto got = plain_.WaitJob(0, 30s);
  ASSERT_TRUE(got.has_value());
  EXPECT_EQ(Text(*got), "ok");
  EXPECT_FALSE(bins_.WaitJob(0, 1s).has_value());
}

// On the built-in virtual printer, whose raw jobs are files.
class RawVirtualTest : public PrintersTest {};

TEST_F(RawVirtualTest, ResetLeavesTheJobOpenAndUnloadEndsIt) {
  ASSERT_EQ(NxInit(), 0);
  NxBeginRawDoc();
  NxPrintRawData("first", 5);
  NxEndDoc();  // the reset forgets the job but leaves it open
  EXPECT_FALSE(nx::Session().RawPrintJob);
  NxPrintRawData("dropped", 7);
  NxEndRawDoc();
  EXPECT_TRUE(RawFiles(SpoolDir()).empty());  // not ended yet
  EXPECT_EQ(nx::RawJobs().OpenJobs(), 1u);
  NxBeginRawDoc();  // a new job beside the forgotten one
  NxPrintRawData("second", 6);
  EXPECT_EQ(nx::RawJobs().OpenJobs(), 2u);
  nx::UnloadLibraryState();
  auto files = RawFiles(SpoolDir());
  ASSERT_EQ(files.size(), 2u);
  EXPECT_EQ(Text(ReadFileBytes(files[0])), "first");
  EXPECT_EQ(Text(ReadFileBytes(files[1])), "second");
}

TEST_F(RawVirtualTest, AJobThatLostBytesOnAFullDiskIsNeverPublished) {
  SmallDisk disk(64 * 1024);
  NX_REQUIRE_SMALL_DISK(disk);
  env_.Set("NOXTREL_SPOOL", disk.path());
  ASSERT_EQ(NxInit(), 0);
  NxBeginRawDoc();
  const std::string chunk(16 * 1024, 'x');
  for (int i = 0; i < 10; ++i) NxPrintRawData(chunk.data(), static_cast<int32_t>(chunk.size()));
  EXPECT_EQ(NxGetLastError(), nx::nxePrinter) << "the failed write is reported";
  nx::ClearLastNxError();
  NxEndRawDoc();
  EXPECT_EQ(NxGetLastError(), nx::nxePrinter) << "and the end of the job reports that it was not printed";
  EXPECT_TRUE(fs::is_empty(disk.path())) << "neither the job nor its temporary file is left";
  // The space is free again: the next job is printed whole.
  NxBeginRawDoc();
  NxPrintRawData("whole", 5);
  NxEndRawDoc();
  auto files = RawFiles(disk.path());
  ASSERT_EQ(files.size(), 1u);
  EXPECT_EQ(Text(ReadFileBytes(files[0])), "whole");
}

TEST_F(RawVirtualTest, EndedJobsAreNotEndedAgainAtUnload) {
  ASSERT_EQ(NxInit(), 0);
  NxBeginRawDoc();
  NxPrintRawData("one", 3);
  NxEndRawDoc();
  EXPECT_EQ(nx::RawJobs().OpenJobs(), 0u);
  nx::UnloadLibraryState();
  auto files = RawFiles(SpoolDir());
  ASSERT_EQ(files.size(), 1u);
  EXPECT_EQ(Text(ReadFileBytes(files[0])), "one");
}

// The shared library as a host loads it: an open raw job prints when the
// host unloads the library or exits without ending it.
TEST_F(RawVirtualTest, SharedLibraryEndsAnOpenJobOnUnloadAndExit) {
  const std::string library = (BinaryDir() / "libnoxtrel.so").string();
  for (bool unload : {true, false}) {
    SCOPED_TRACE(unload ? "dlclose" : "exit");
    pid_t pid = fork();
    if (pid == 0) {
      void *lib = dlopen(library.c_str(), RTLD_NOW | RTLD_LOCAL);
      if (!lib) std::_Exit(2);
      reinterpret_cast<int32_t (*)()>(dlsym(lib, "NxInit"))();
      reinterpret_cast<void (*)()>(dlsym(lib, "NxBeginRawDoc"))();
      reinterpret_cast<void (*)(const void *, int32_t)>(dlsym(lib, "NxPrintRawData"))("kept", 4);
      // After dlclose the child leaves without the leak check: the platform
      // layer's process-wide tables are not freed when the library unloads.
      if (unload) std::_Exit(dlclose(lib) == 0 ? 0 : 3);
      std::exit(0);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    ASSERT_TRUE(WIFEXITED(status));
    ASSERT_EQ(WEXITSTATUS(status), 0);
    auto files = RawFiles(SpoolDir());
    ASSERT_EQ(files.size(), 1u);
    EXPECT_EQ(Text(ReadFileBytes(files[0])), "kept");
    fs::remove(files[0]);
  }
}

}  // namespace
}  // namespace nxtest
