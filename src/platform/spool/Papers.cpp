#include "platform/spool/Papers.h"

#include <cstdio>
#include <cstring>

namespace nx::spool {
namespace {

struct Row {
  PaperDef def;
  bool alias;  // another number stands for this PWG name when mapping back
};

// Sizes are those the papers have in portrait as Windows reports them, in
// tenths of a millimetre (inch sizes rounded).
const Row kPapers[] = {
    {{1, "Letter", 2159, 2794, "na_letter_8.5x11in"}, false},
    {{2, "Letter Small", 2159, 2794, "na_letter_8.5x11in"}, true},
    {{3, "Tabloid", 2794, 4318, "na_ledger_11x17in"}, false},
    {{4, "Ledger", 4318, 2794, "na_ledger_11x17in"}, true},
    {{5, "Legal", 2159, 3556, "na_legal_8.5x14in"}, false},
    {{6, "Statement", 1397, 2159, "na_invoice_5.5x8.5in"}, false},
    {{7, "Executive", 1842, 2667, "na_executive_7.25x10.5in"}, false},
    {{8, "A3", 2970, 4200, "iso_a3_297x420mm"}, false},
    {{9, "A4", 2100, 2970, "iso_a4_210x297mm"}, false},
    {{10, "A4 Small", 2100, 2970, "iso_a4_210x297mm"}, true},
    {{11, "A5", 1480, 2100, "iso_a5_148x210mm"}, false},
    {{12, "B4 (JIS)", 2570, 3640, "jis_b4_257x364mm"}, false},
    {{13, "B5 (JIS)", 1820, 2570, "jis_b5_182x257mm"}, false},
    {{14, "Folio", 2159, 3302, "na_foolscap_8.5x13in"}, false},
    {{15, "Quarto", 2150, 2750, "na_quarto_8.5x10.83in"}, false},
    {{16, "10x14", 2540, 3556, "na_10x14_10x14in"}, false},
    {{17, "11x17", 2794, 4318, "na_ledger_11x17in"}, true},
    {{18, "Note", 2159, 2794, "na_letter_8.5x11in"}, true},
    {{19, "Envelope #9", 984, 2254, "na_number-9_3.875x8.875in"}, false},
    {{20, "Envelope #10", 1048, 2413, "na_number-10_4.125x9.5in"}, false},
    {{21, "Envelope #11", 1143, 2635, "na_number-11_4.5x10.375in"}, false},
    {{22, "Envelope #12", 1207, 2794, "na_number-12_4.75x11in"}, false},
    {{23, "Envelope #14", 1270, 2921, "na_number-14_5x11.5in"}, false},
    {{24, "C size sheet", 4318, 5588, "na_c_17x22in"}, false},
    {{25, "D size sheet", 5588, 8636, "na_d_22x34in"}, false},
    {{26, "E size sheet", 8636, 11176, "na_e_34x44in"}, false},
    {{27, "Envelope DL", 1100, 2200, "iso_dl_110x220mm"}, false},
    {{28, "Envelope C5", 1620, 2290, "iso_c5_162x229mm"}, false},
    {{29, "Envelope C3", 3240, 4580, "iso_c3_324x458mm"}, false},
    {{30, "Envelope C4", 2290, 3240, "iso_c4_229x324mm"}, false},
    {{31, "Envelope C6", 1140, 1620, "iso_c6_114x162mm"}, false},
    {{32, "Envelope C65", 1140, 2290, "iso_c6c5_114x229mm"}, false},
    {{33, "Envelope B4", 2500, 3530, "iso_b4_250x353mm"}, true},
    {{34, "Envelope B5", 1760, 2500, "iso_b5_176x250mm"}, false},
    {{35, "Envelope B6", 1760, 1250, "iso_b6_125x176mm"}, false},
    {{36, "Italy Envelope", 1100, 2300, "om_italian_110x230mm"}, false},
    {{37, "Envelope Monarch", 984, 1905, "na_monarch_3.875x7.5in"}, false},
    {{38, "6 3/4 Envelope", 921, 1651, "na_personal_3.625x6.5in"}, false},
    {{39, "US Std Fanfold", 3778, 2794, "na_fanfold-us_11x14.875in"}, false},
    {{40, "German Std Fanfold", 2159, 3048, "na_fanfold-eur_8.5x12in"}, false},
    {{41, "German Legal Fanfold", 2159, 3302, "na_foolscap_8.5x13in"}, true},
    {{42, "B4 (ISO)", 2500, 3530, "iso_b4_250x353mm"}, false},
    {{43, "Japanese Postcard", 1000, 1480, "jpn_hagaki_100x148mm"}, false},
    {{44, "9x11", 2286, 2794, "na_9x11_9x11in"}, false},
    {{45, "10x11", 2540, 2794, "na_10x11_10x11in"}, false},
    {{46, "15x11", 3810, 2794, "na_11x15_11x15in"}, false},
    {{47, "Envelope Invite", 2200, 2200, "om_invite_220x220mm"}, false},
    {{50, "Letter Extra", 2413, 3048, "na_letter-extra_9.5x12in"}, false},
    {{51, "Legal Extra", 2413, 3810, "na_legal-extra_9.5x15in"}, false},
    {{53, "A4 Extra", 2355, 3223, "iso_a4-extra_235.5x322.3mm"}, false},
    {{59, "Letter Plus", 2159, 3223, "na_letter-plus_8.5x12.69in"}, false},
    {{60, "A4 Plus", 2100, 3300, "om_folio_210x330mm"}, false},
    {{63, "A3 Extra", 3220, 4450, "iso_a3-extra_322x445mm"}, false},
    {{64, "A5 Extra", 1740, 2350, "iso_a5-extra_174x235mm"}, false},
    {{65, "B5 (ISO) Extra", 2010, 2760, "iso_b5-extra_201x276mm"}, false},
    {{66, "A2", 4200, 5940, "iso_a2_420x594mm"}, false},
    {{69, "Japanese Double Postcard", 2000, 1480, "jpn_oufuku_148x200mm"}, false},
    {{70, "A6", 1050, 1480, "iso_a6_105x148mm"}, false},
    {{71, "Japanese Envelope Kaku #2", 2400, 3320, "jpn_kaku2_240x332mm"}, false},
    {{72, "Japanese Envelope Kaku #3", 2160, 2770, "jpn_kaku3_216x277mm"}, false},
    {{73, "Japanese Envelope Chou #3", 1200, 2350, "jpn_chou3_120x235mm"}, false},
    {{74, "Japanese Envelope Chou #4", 900, 2050, "jpn_chou4_90x205mm"}, false},
    {{88, "B6 (JIS)", 1280, 1820, "jis_b6_128x182mm"}, false},
    {{91, "Japanese Envelope You #4", 1050, 2350, "jpn_you4_105x235mm"}, false},
    {{93, "PRC 16K", 1460, 2150, "prc_16k_146x215mm"}, false},
    {{94, "PRC 32K", 970, 1510, "prc_32k_97x151mm"}, false},
    {{96, "PRC Envelope #1", 1020, 1650, "prc_1_102x165mm"}, false},
    {{97, "PRC Envelope #2", 1020, 1760, "prc_2_102x176mm"}, false},
    {{98, "PRC Envelope #3", 1250, 1760, "prc_3_125x176mm"}, false},
    {{99, "PRC Envelope #4", 1100, 2080, "prc_4_110x208mm"}, false},
    {{100, "PRC Envelope #5", 1100, 2200, "prc_5_110x220mm"}, false},
    {{101, "PRC Envelope #6", 1200, 2300, "prc_6_120x230mm"}, false},
    {{102, "PRC Envelope #7", 1600, 2300, "prc_7_160x230mm"}, false},
    {{103, "PRC Envelope #8", 1200, 3090, "prc_8_120x309mm"}, false},
};

const BinDef kBins[] = {
    {1, "Upper Tray", "top"},        {2, "Lower Tray", "bottom"},
    {3, "Middle Tray", "middle"},    {4, "Manual Feed", "manual"},
    {5, "Envelope Feed", "envelope"}, {7, "Automatically Select", "auto"},
    {11, "Large Capacity", "large-capacity"},
};

}  // namespace

const PaperDef *PaperByNumber(int number) {
  for (const Row &r : kPapers)
    if (r.def.number == number) return &r.def;
  return nullptr;
}

const PaperDef *PaperByPwg(const std::string &pwg) {
  for (const Row &r : kPapers)
    if (!r.alias && pwg == r.def.pwg) return &r.def;
  return nullptr;
}

const PaperDef *AllPapers(size_t *n) {
  static PaperDef defs[sizeof kPapers / sizeof kPapers[0]];
  static bool filled = [] {
    for (size_t i = 0; i < sizeof kPapers / sizeof kPapers[0]; ++i) defs[i] = kPapers[i].def;
    return true;
  }();
  (void)filled;
  *n = sizeof kPapers / sizeof kPapers[0];
  return defs;
}

std::string CustomPwgName(int width, int length) {
  auto mm = [](int tenths) {
    char buf[32];
    if (tenths % 10 == 0)
      std::snprintf(buf, sizeof buf, "%d", tenths / 10);
    else
      std::snprintf(buf, sizeof buf, "%d.%d", tenths / 10, tenths % 10);
    return std::string(buf);
  };
  std::string size = mm(width) + "x" + mm(length) + "mm";
  return "custom_" + size + "_" + size;
}

const BinDef *BinByPwg(const std::string &keyword) {
  for (const BinDef &b : kBins)
    if (keyword == b.pwg) return &b;
  return nullptr;
}

const BinDef *BinByNumber(int number) {
  for (const BinDef &b : kBins)
    if (b.number == number) return &b;
  return nullptr;
}

}  // namespace nx::spool
