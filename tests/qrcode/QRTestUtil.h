// Test-side helpers for QR symbols: a painter that writes the module matrix
// as a PBM image, zbarimg decoding and the Python reference encoder.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "qrcode/QRCode.h"
#include "support/TestSupport.h"

namespace qrtest {

// The matrix as h lines of w '0'/'1' characters (1 = dark).
std::string MatrixText(const nx::TQRBitMap &m);

// What zbarimg reads from a w x h image (bytes unconverted, "" when nothing).
std::string ZbarDecodeImage(int w, int h, const std::function<bool(int, int)> &dark, const nxtest::TempDir &dir);
// The same for symbols painted side by side, four pixels a module, with a
// four-module quiet zone around each.
std::string ZbarDecode(const std::vector<const nx::TQRBitMap *> &ms, const nxtest::TempDir &dir);
inline std::string ZbarDecode(const nx::TQRBitMap &m, const nxtest::TempDir &dir) { return ZbarDecode({&m}, dir); }

// Runs a script with the system Python (where qrcodegen lives), input on stdin.
nxtest::CommandResult RunPython(const std::string &script, const std::string &input, const nxtest::TempDir &dir);

std::u16string U16(const std::string &latin1);
std::vector<int32_t> Codes(const std::string &latin1);

}  // namespace qrtest

namespace qrtest {

// The data mask conditions (i = row, j = column).
bool MaskCondition(int32_t mask, int32_t i, int32_t j);

// Calls f(bit, x, y) for both copies of each of the 15 format bits and (from
// side 45 up) the 18 version bits, at the positions of ISO/IEC 18004.
void ForFormatModules(int side, const std::function<void(int, int, int)> &f);
void ForVersionModules(int side, const std::function<void(int, int, int)> &f);

// The symbol qrencode draws (no quiet zone) as MatrixText does, or "" when it fails.
std::string QrencodeMatrix(const std::string &args, const std::string &data, const nxtest::TempDir &dir);

}  // namespace qrtest
