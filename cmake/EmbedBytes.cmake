# cmake -DIN=file -DOUT=file.cpp -P EmbedBytes.cmake: the bytes of IN as
# nx::pdf::kSrgbIcc / kSrgbIccSize.
file(READ ${IN} hex HEX)
string(LENGTH "${hex}" n)
math(EXPR size "${n} / 2")
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
string(REGEX REPLACE "((0x..,){16})" "\\1\n" bytes "${bytes}")
file(WRITE ${OUT} "// Generated from ${IN}; do not edit.\n#include <cstddef>\nnamespace nx::pdf {\nextern const unsigned char kSrgbIcc[] = {\n${bytes}\n};\nextern const size_t kSrgbIccSize = ${size};\n}  // namespace nx::pdf\n")
