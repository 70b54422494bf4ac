// Test-side helpers for drawn barcodes: writing a bitmap as an image file and
// reading it back with zbarimg.
#pragma once

#include <string>

#include "device/MemoryBitmap.h"
#include "support/TestSupport.h"

namespace bctest {

// Writes the bitmap as a binary PPM image, each pixel magnify x magnify.
void WritePpm(const nx::TMemoryBitmap &bmp, const std::string &path, int magnify = 1);
// What zbarimg reads from an image file, without the trailing newline.
std::string ZbarRead(const std::string &path);
// Writes the bitmap to dir and decodes it. With NX_KEEP_BARCODES set to a
// folder, a PNG copy named `name` is kept there for looking at. zbarimg
// misses modules of one pixel (zint's too); magnify 2 shows it the same
// pattern at two pixels a module.
std::string Decode(const nx::TMemoryBitmap &bmp, const nxtest::TempDir &dir, const std::string &name,
                   int magnify = 1);

}  // namespace bctest
