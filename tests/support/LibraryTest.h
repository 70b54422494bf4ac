// The fixture of tests that drive the exported interface: the isolated
// spooler environment of SpoolTest, a library loaded afresh for every test
// and unloaded after it, and no error left over from an earlier test.
#pragma once

#include <fstream>
#include <string>

#include "common/ErrorChannel.h"
#include "noxtrel.h"
#include "session/Library.h"
#include "support/SpoolEnv.h"

namespace nxtest {

class LibraryTest : public SpoolTest {
 protected:
  void SetUp() override {
    SpoolTest::SetUp();
    nx::UnloadLibraryState();
    nx::ClearLastNxError();
  }
  void TearDown() override { nx::UnloadLibraryState(); }

  // Declares the virtual printers (printers.ini text) for this test.
  void VirtualPrinters(const std::string &ini) {
    std::string path = dir_.file("printers.ini");
    std::ofstream(path) << ini;
    env_.Set("NOXTREL_PRINTERS", path);
  }
  // Two virtual printers without margins, <name>600 at 600 dpi (printer 0)
  // and <name>300 at 300 dpi (printer 1), each with the one paper 300
  // called <name> of the given size ("40x30mm").
  void TwoResolutionPrinters(const std::string &name, const std::string &size) {
    const std::string paper = "Paper = 300, " + name + ", " + size + "\nMargins = 0\n";
    VirtualPrinters("[" + name + "600]\nResolution = 600\n" + paper + "[" + name + "300]\nResolution = 300\n" + paper);
  }

  // The error channel's text.
  static std::string ErrorText() {
    char buf[1024];
    NxGetLastErrorText(buf, sizeof buf);
    return buf;
  }
};

}  // namespace nxtest
