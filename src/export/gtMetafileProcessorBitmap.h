// Pictures of metafile records for the interpreter: decoding a record's
// device-independent bitmap safely, raster operations between pictures,
// and the joining of SETDIBITSTODEVICE bands.
#pragma once

#include <memory>
#include <string>

#include "export/gtGraphics.h"
#include "export/gtMetafileProcessorRecord.h"

namespace nx {

// The DIB a record carries at offBmi/offBits, decoded. Null, with the reason
// in why, when the header or the bits do not lie inside the record or the
// bitmap cannot be decoded.
std::shared_ptr<TgtBitmap> DecodeRecordDib(const TgtEmfRecord &r, DWORD offBmi, DWORD cbBmi, DWORD offBits,
                                           DWORD cbBits, std::string *why);

// dst := rop(pattern, src, dst) over the area both pictures cover, src
// placed at (0, 0); rop is a ternary raster operation (SRCCOPY, SRCAND, ...).
void CombinePicture(TgtBitmap &dst, const TgtBitmap &src, DWORD rop, COLORREF pattern);

// The picture with band's rows below its own: as wide as the band, as high
// as both together (columns beyond the picture's width stay white).
TgtBitmap AppendBand(const TgtBitmap &picture, const TgtBitmap &band);

}  // namespace nx
