// What a hostile picture costs a whole host process: nxrun draws it on an
// A4 page at 600 dpi, and the peak memory of that run is measured against
// the same run with a tiny picture.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <string>
#include <vector>

#include "support/SpoolEnv.h"
#include "support/TestSupport.h"

namespace {

// An RLE8 file of 66 bytes declaring 32767 x 2047 pixels: colour 0 (red)
// everywhere but four black pixels.
std::vector<unsigned char> HugeRle8() {
  std::vector<unsigned char> b(14 + 40 + 8 + 4, 0);
  auto put32 = [&](size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) b[at + i] = static_cast<unsigned char>(v >> (8 * i));
  };
  b[0] = 'B', b[1] = 'M';
  put32(10, 14 + 40 + 8);
  put32(14, 40);
  put32(18, 32767);
  put32(22, 2047);
  b[26] = 1, b[28] = 8;
  put32(30, 1);  // BI_RLE8
  put32(46, 2);
  b[54 + 2] = 255;
  b[62] = 4, b[63] = 1, b[64] = 0, b[65] = 1;
  return b;
}

class PictureCost : public nxtest::SpoolTest {
 protected:
  void SetUp() override {
    SpoolTest::SetUp();
    const std::string ini = dir_.file("printers.ini");
    const std::string text = "[A4 600]\nResolution = 600\nPaper = 9\nMargins = 0\n";
    nxtest::WriteFileBytes(ini, std::vector<unsigned char>(text.begin(), text.end()));
    env_.Set("NOXTREL_PRINTERS", ini);
  }

  // The peak resident memory, in KB, of nxrun drawing the picture at its
  // natural size on an EMF page.
  long PeakKb(const std::string &picture) {
    const std::string script = dir_.file("draw.nx");
    const std::string text = "NxInit\nNxSetDevice(5)\nNxSetFileName(\"" + dir_.file("out.pdf") +
                             "\")\nNxBeginDoc\nNxBitmap(0, 0, 0, 0, \"" + picture +
                             "\", -255, 0)\nNxEndDoc\nNxGetLastError\n";
    nxtest::WriteFileBytes(script, std::vector<unsigned char>(text.begin(), text.end()));
    const std::string nxrun = (nxtest::BinaryDir() / "nxrun").string();
    const pid_t pid = ::fork();
    if (pid == 0) {
      if (!std::freopen("/dev/null", "w", stdout)) ::_exit(126);
      ::execl(nxrun.c_str(), nxrun.c_str(), script.c_str(), static_cast<char *>(nullptr));
      ::_exit(127);
    }
    int status = 0;
    rusage usage{};
    EXPECT_EQ(::wait4(pid, &status, 0, &usage), pid);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    return usage.ru_maxrss;
  }
};

// The 66-byte file once cost 188 MB: the picture, a GDI bitmap, a
// GetDIBits copy and the record, each of a 33 MB sampled picture. The part
// on the sheet is 4960 x 2047 pixels (30 MB at 24 bits), and a run may hold
// it three times: the picture, the page's record and the page file's bytes.
TEST_F(PictureCost, APictureFarLargerThanTheSheetCostsWhatTheSheetShows) {
#ifdef __SANITIZE_ADDRESS__
  GTEST_SKIP() << "AddressSanitizer keeps freed memory in quarantine, so peaks say nothing here";
#endif
  const std::string huge = dir_.file("huge.bmp"), tiny = dir_.file("tiny.bmp");
  nxtest::WriteFileBytes(huge, HugeRle8());
  auto small = HugeRle8();
  small[18] = 16, small[19] = 0, small[22] = 16, small[23] = 0, small[24] = 0;  // 16 x 16
  nxtest::WriteFileBytes(tiny, small);
  const long base = PeakKb(tiny);
  const long peak = PeakKb(huge);
  const long shown = 4960L * 2047 * 3 / 1024;
  EXPECT_LE(peak - base, 3 * shown) << "peak " << peak << " KB, " << base << " KB with a tiny picture";
  const auto page = nxtest::ReadFileBytes(dir_.file("Page1.emf"));
  EXPECT_GT(page.size(), static_cast<size_t>(shown) * 1024) << "the part on the sheet is drawn";
  EXPECT_LT(page.size(), static_cast<size_t>(shown + 1024) * 1024);
}

}  // namespace
