// Symbology encoders: character tables, check characters, preparation of a
// code (padding, trimming, check characters) and the encoder that turns a
// prepared code into an element string.
//
// Element string alphabet, one character per bar or space, left to right:
//   '0' narrow space  '1' wide space  '2' 3/2 wide space  '3' double wide space
//   '4' narrow space (guard)
//   '5' narrow bar    '6' wide bar    '7' 3/2 wide bar     '8' double wide bar
//   '9' long narrow bar (guard bars reaching into the text)
//   'A' short narrow bar (lowest two fifths of the bar height)
// Any other character is zero wide and draws nothing.
#pragma once

#include <string>

#include "barcode/ZbrTypes.h"

namespace nx {

// The element string an encoder gives for a code it cannot encode.
inline constexpr const char *kZbrInvalid = "invalid";

struct TZbrPrepared {
  std::string Code;   // the code as it is encoded and shown
  std::string Check;  // the check characters that preparation appended
};

// Computes the check characters of data under scheme. Returns false when
// data holds a character the scheme cannot read; control then holds data
// unchanged and no check characters.
bool CalcCheckDigit(const std::string &data, TZbrCheckType scheme, TZbrDigitControl &control);

// Pads, trims and adds check characters as the symbology wants them.
TZbrPrepared PrepareCode(const std::string &code, TZbrBarCodeType type, bool checksum);

// Encodes a prepared code. Never throws: a code the symbology cannot carry
// gives "invalid" and a message on the error channel. literalTail is the
// number of trailing characters (check characters) that the Full ASCII types
// encode as they are instead of through the Full ASCII expansion.
std::string EncodePattern(const std::string &code, TZbrBarCodeType type, bool longGuards,
                          size_t literalTail = 0);

// Same, writing into out (cleared first); returns false for "invalid".
bool EncodePatternInto(const std::string &code, TZbrBarCodeType type, bool longGuards,
                       std::string &out, size_t literalTail = 0);

// The symbology's name as messages show it.
const char *ZbrTypeName(TZbrBarCodeType type);

}  // namespace nx
