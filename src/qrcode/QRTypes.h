// Types shared by the QR code modules: the array types, the encoding modes
// and the error correction levels.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace nx {

using TQRVector = std::vector<int32_t>;
using TQRIntegerArray = std::vector<int32_t>;
using TQRMatrix = std::vector<TQRVector>;

enum TQRCodeEncoding : int32_t { ENC_ALPHA, ENC_BYTE, ENC_NUMERIC, ENC_KANJI, ENC_AUTO };
// The ordinals are the level numbers of the block table (L 0, M 1, Q 2, H 3).
enum TQRCodeECLevel : int32_t { LEVEL_L, LEVEL_M, LEVEL_Q, LEVEL_H };
enum TQRCodeFNC1Mode : int32_t { NO, FIRST, SECOND };

constexpr int32_t kQRMaxVersion = 40;

}  // namespace nx
