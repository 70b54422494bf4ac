// TBitString: a growing string of bits, most significant first, kept as the
// characters '0' and '1'.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace nx {

class TBitString {
 public:
  // Appends the lowest `bits` bits of valueI, highest first.
  void addBits(int32_t valueI, int32_t bits);
  void concatenate(const TBitString &bs);
  int32_t getLength() const { return int32_t(FValue.size() - FHead); }
  // Removes the first `bits` bits and returns their value. When fewer remain
  // it takes them all and pads on the right with 1 bits; empty gives 1.
  int32_t getAndRemoveBits(int32_t bits);
  // Removes the last `bits` bits (all when fewer) and returns their value;
  // empty gives 0.
  int32_t getAndRemoveBitsFILO(int32_t bits);
  static int32_t convertStringToInt(std::string_view s);
  // The bits still held, as '0'/'1' characters.
  std::string_view Value() const { return std::string_view(FValue).substr(FHead); }

 private:
  std::string FValue;
  size_t FHead = 0;  // bits already removed from the front
};

}  // namespace nx
