// Test-side helpers for QR symbols: a painter that writes the module matrix
// as a PBM image, zbarimg decoding and the Python reference encoder.
#pragma once

#include <string>
#include <vector>

#include "qrcode/QRCode.h"
#include "support/TestSupport.h"

namespace qrtest {

// The matrix as h lines of w '0'/'1' characters (1 = dark).
std::string MatrixText(const nx::TQRBitMap &m);

// Paints the matrix with `scale` pixels per module and a four-module quiet
// zone into a binary PBM file.
void WritePbm(const nx::TQRBitMap &m, const std::string &path, int scale = 4);

// What zbarimg reads from the symbol, bytes unconverted ("" when nothing).
std::string ZbarDecode(const nx::TQRBitMap &m, const nxtest::TempDir &dir);

// Runs a script with the system Python (where qrcodegen lives), input on stdin.
nxtest::CommandResult RunPython(const std::string &script, const std::string &input, const nxtest::TempDir &dir);

std::u16string U16(const std::string &latin1);
std::vector<int32_t> Codes(const std::string &latin1);

}  // namespace qrtest
