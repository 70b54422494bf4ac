// Windows paper and bin numbers and the PWG media and media-source names
// CUPS uses for them, both ways.
#pragma once

#include <string>

namespace nx::spool {

struct PaperDef {
  int number;          // dmPaperSize
  const char *name;    // the Windows paper name
  int width, length;   // tenths of a millimetre, as DC_PAPERSIZE reports them
  const char *pwg;     // PWG 5101.1 self-describing media name
};

// The paper with this Windows number, NULL when the table has none.
const PaperDef *PaperByNumber(int number);
// The paper a PWG media name stands for (its preferred Windows number),
// NULL when the name is not in the table.
const PaperDef *PaperByPwg(const std::string &pwg);
// Every paper of the table, in number order; count in *n.
const PaperDef *AllPapers(size_t *n);

// A PWG name for a size the table does not know: "custom_WxHmm" style with
// the size in millimetres (tenths of a millimetre given).
std::string CustomPwgName(int width, int length);

struct BinDef {
  int number;        // dmDefaultSource
  const char *name;  // the Windows bin name
  const char *pwg;   // media-source keyword
};
// The bin a media-source keyword stands for, NULL for keywords without a
// Windows bin number (they get numbers from DMBIN_USER up).
const BinDef *BinByPwg(const std::string &keyword);
const BinDef *BinByNumber(int number);

}  // namespace nx::spool
