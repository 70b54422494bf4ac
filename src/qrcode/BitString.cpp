#include "qrcode/BitString.h"

namespace nx {

void TBitString::addBits(int32_t valueI, int32_t bits) {
  uint32_t v = uint32_t(valueI);
  for (int32_t b = bits - 1; b >= 0; --b) FValue.push_back(b < 32 && ((v >> b) & 1u) ? '1' : '0');
}

void TBitString::concatenate(const TBitString &bs) { FValue.append(bs.Value()); }

int32_t TBitString::getAndRemoveBits(int32_t bits) {
  if (getLength() == 0) return 1;
  size_t take = std::min<size_t>(size_t(std::max(bits, 0)), FValue.size() - FHead);
  int32_t v = convertStringToInt(std::string_view(FValue).substr(FHead, take));
  for (size_t i = take; i < size_t(bits); ++i) v = (v << 1) | 1;
  FHead += take;
  if (FHead == FValue.size()) {
    FValue.clear();
    FHead = 0;
  }
  return v;
}

int32_t TBitString::getAndRemoveBitsFILO(int32_t bits) {
  size_t take = std::min<size_t>(size_t(std::max(bits, 0)), FValue.size() - FHead);
  int32_t v = convertStringToInt(std::string_view(FValue).substr(FValue.size() - take));
  FValue.resize(FValue.size() - take);
  return v;
}

int32_t TBitString::convertStringToInt(std::string_view s) {
  uint32_t v = 0;
  for (char c : s) v = (v << 1) | (c == '1' ? 1u : 0u);
  return int32_t(v);
}

}  // namespace nx
