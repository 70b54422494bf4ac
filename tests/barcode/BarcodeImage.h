// Test-side helpers for drawn barcodes: writing a bitmap as an image file and
// reading it back with zbarimg.
#pragma once

#include <string>

#include "device/MemoryBitmap.h"
#include "support/TestSupport.h"

namespace bctest {

// Writes the bitmap as a binary PPM image.
void WritePpm(const nx::TMemoryBitmap &bmp, const std::string &path);
// What zbarimg reads from an image file, without the trailing newline.
std::string ZbarRead(const std::string &path);
// Writes the bitmap to dir and decodes it. With NX_KEEP_BARCODES set to a
// folder, a PNG copy named `name` is kept there for looking at.
std::string Decode(const nx::TMemoryBitmap &bmp, const nxtest::TempDir &dir, const std::string &name);

}  // namespace bctest
