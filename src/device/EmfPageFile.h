// A page metafile as a file of its own: the records as recorded (in printer
// pixels), under a header that states the page's real size.
#pragma once

#include <vector>

#include "device/NxPrinter.h"
#include "platform/win32.h"

namespace nx {

// The page's metafile image with its header restated for other programs:
// the frame is the printer's printable area at its physical size, and the
// reference device has the printer's pixel size, so that a reader maps the
// records onto that frame and places the page at its size. Empty when the
// page has no metafile. The page kept in memory is not changed.
std::vector<BYTE> EmfPageFile(const TPageMetafile &page);

// Restates a metafile header for records in pixels of a device with the
// given resolution whose drawing covers width x height pixels.
void StatePrinterSize(ENHMETAHEADER &h, int width, int height, int dpiX, int dpiY);

}  // namespace nx
