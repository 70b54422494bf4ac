// The printers tests: an isolated spooler environment (no CUPS server unless
// a test starts its own), a freshly loaded library for every test, and
// helpers that read the driver's lists straight from the spooler.
#pragma once

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "common/ErrorChannel.h"
#include "common/Strings.h"
#include "device/SysPrinter.h"
#include "noxtrel.h"
#include "session/Library.h"
#include "session/Session.h"
#include "support/LibraryTest.h"
#include "support/SpoolEnv.h"
#include "support/cupsd.h"

namespace nxtest {

class PrintersTest : public LibraryTest {
 protected:
  template <typename F>
  static std::string Name(F query, int32_t index) {
    char buf[256];
    std::fill(std::begin(buf), std::end(buf), 'x');
    query(index, buf);
    return buf;
  }
  // The index of a printer in NxGetPrinterNames, -1 if absent.
  static int32_t IndexOf(const std::string &name) {
    for (int32_t i = 0; i < NxGetPrinterCount(); ++i)
      if (Name(NxGetPrinterNames, i) == name) return i;
    return -1;
  }
};

// A printer name given in UTF-8.
inline std::u16string Utf16(const std::string &utf8) { return nx::AnsiToWide(utf8.c_str(), CP_UTF8); }

// A name list of DeviceCapabilitiesW (fields of `width` units), as ANSI.
inline std::vector<std::string> DriverNames(const std::string &printer, WORD cap, size_t width) {
  std::u16string p = Utf16(printer);
  int n = DeviceCapabilitiesW(p.c_str(), nullptr, cap, nullptr, nullptr);
  std::vector<WCHAR> buf(n > 0 ? n * width : 1, 0);
  DeviceCapabilitiesW(p.c_str(), nullptr, cap, buf.data(), nullptr);
  std::vector<std::string> out;
  for (int i = 0; i < n; ++i) {
    const WCHAR *s = buf.data() + i * width;
    out.push_back(nx::WideToAnsi(std::u16string(s, std::find(s, s + width, 0))));
  }
  return out;
}

inline std::vector<int32_t> DriverNumbers(const std::string &printer, WORD cap) {
  std::u16string p = Utf16(printer);
  int n = DeviceCapabilitiesW(p.c_str(), nullptr, cap, nullptr, nullptr);
  std::vector<WORD> buf(n > 0 ? n : 1, 0);
  DeviceCapabilitiesW(p.c_str(), nullptr, cap, reinterpret_cast<LPWSTR>(buf.data()), nullptr);
  return std::vector<int32_t>(buf.begin(), buf.begin() + (n > 0 ? n : 0));
}

// A 300-dpi queue with Letter (default) and Legal only: no bins, no duplex.
inline std::string PlainPpd() {
  std::istringstream in(TestPpd());
  std::string out;
  bool skipping = false;
  for (std::string line; std::getline(in, line);) {
    if (line.rfind("*OpenUI *InputSlot", 0) == 0 || line.rfind("*OpenUI *Duplex", 0) == 0) skipping = true;
    const bool blockEnd = line.rfind("*CloseUI: *InputSlot", 0) == 0 || line.rfind("*CloseUI: *Duplex", 0) == 0;
    const bool otherPaper = line.find(" A4/") != std::string::npos || line.find(" A5/") != std::string::npos ||
                            line.find(" Env10/") != std::string::npos;
    if (!skipping && !otherPaper) {
      if (line.rfind("*Default", 0) == 0 && line.size() > 4 && line.compare(line.size() - 4, 4, ": A4") == 0)
        line.replace(line.size() - 2, 2, "Letter");
      if (line == "*DefaultResolution: 600dpi") line = "*DefaultResolution: 300dpi";
      for (size_t at; (at = line.find("Noxtrel Test Printer")) != std::string::npos;)
        line.replace(at, 20, "Noxtrel Plain Printer");
      out += line + "\n";
    }
    if (blockEnd) skipping = false;
  }
  return out;
}

}  // namespace nxtest
