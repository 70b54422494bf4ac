// Which installed font a PDF text item is written and shaped with. One map
// per engine: its decisions and the fallback families chosen so far are kept
// across documents, so that every document of a session picks the same
// fonts in the same order.
#pragma once

#include <map>
#include <memory>
#include <optional>
#include <vector>

#include "common/WString.h"
#include "export/gtGraphics.h"

namespace nx {

class TgtShapeFonts;

// Orders family names without regard to ASCII case, as GDI compares them.
struct TgtFamilyLess {
  bool operator()(const WString &a, const WString &b) const;
};
bool SameFamilyName(const WString &a, const WString &b);

class TgtMapFont {
 public:
  // What the system's font enumeration says of one family.
  struct TFamilyInfo {
    WString Name;               // the system's spelling
    bool TrueType = false;      // reported as TRUETYPE_FONTTYPE
    bool CoversBasicLatin = false;
  };

  TgtMapFont();

  // The installed families in enumeration order, "Arial Unicode MS" last.
  const std::vector<WString> &SysFontList();
  // The family as the system enumerates it by name; nothing when no font
  // of that name is installed. A leading "@" is not part of the name.
  std::optional<TFamilyInfo> Family(const WString &name);
  // The same without a copy; valid as long as the map.
  const TFamilyInfo *FamilyInfo(const WString &name) { return FindFamily(name); }
  // The font with its family replaced when it is not an installed TrueType
  // family; the decision is remembered. A vertical ("@") family keeps its
  // prefix.
  TgtFont GetTrueTypeFont(const TgtFont &font);
  // The font a text item is written in: the family spelled as installed,
  // then replaced as GetTrueTypeFont says.
  TgtFont PrepareFont(const TgtFont &font);
  // The replacement recorded for a family, if any.
  std::optional<WString> MappedFont(const WString &family) const;

  // Fallback families chosen so far, in order of first use.
  const std::vector<WString> &AllUsedFonts() const { return FAllUsedFonts; }
  void AddUsedFont(const WString &family);
  // The candidates after the item's own font when a character is missing:
  // the fallbacks used so far, "Arial", then every installed TrueType
  // family, each once and without `tried`.
  std::vector<WString> FallbackCandidates(const WString &tried);
  // The fonts the string analyser shapes with, kept as long as the map.
  TgtShapeFonts &ShapeFonts();

 private:
  void ReadSysFonts();
  // The enumeration's answer for a name, kept in FFamilies (nullptr: none).
  const TFamilyInfo *FindFamily(const WString &name);

  std::vector<WString> FSysFontList;
  bool FSysFontsRead = false;
  std::map<WString, std::optional<TFamilyInfo>, TgtFamilyLess> FFamilies;  // enumeration by name, cached
  std::map<WString, WString, TgtFamilyLess> FMappedFonts;
  std::vector<WString> FAllUsedFonts;
  std::shared_ptr<TgtShapeFonts> FShapeFonts;
  // The last name asked of FindFamily and of PrepareFont, with their
  // answers: text items mostly keep to one font, and neither answer
  // changes once given.
  WString FLastFamilyName;
  const TFamilyInfo *FLastFamily = nullptr;
  WString FLastPreparedIn, FLastPreparedOut;
};

// True for "@Family" (a vertical font); Plain strips the prefix.
bool IsVerticalFamily(const WString &family);
WString PlainFamily(const WString &family);

}  // namespace nx
