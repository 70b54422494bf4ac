// Drawing items: what the metafile interpreter makes of a page and what the
// engines render. Coordinates are engine pixels (doubles) from the page's
// top-left corner. An item owns copies of its pen, brush and font.
//
// Points of a TgtShapeItem by shape type:
//   stLine                  start, end
//   stRectangle, stEllipse  two opposite corners of the box
//   stRoundRect             two corners, then (corner ellipse width, height)
//   stArc, stChord, stPie   two corners, radial start point, radial end point
//   stPolygon, stPolyLine,
//   stPolyBezier            FNoPoints points
#pragma once

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <initializer_list>
#include <iterator>
#include <stdexcept>
#include <memory>
#include <optional>
#include <vector>

#include "common/WString.h"
#include "export/gtEngineSettings.h"
#include "export/gtEngineTypes.h"
#include "export/gtGraphics.h"
#include "export/gtPageSettings.h"

namespace nx {

class TgtCustomDocumentEngine;

class TgtDocumentItem {
 public:
  virtual ~TgtDocumentItem() = default;
  // The font size as a fraction (text items): the double the font holds.
  double FFontSizeInFloat = 0;
};

using TgtItemList = std::vector<std::unique_ptr<TgtDocumentItem>>;

// The lines of a text item: the first held in place (metafile text has one
// line), any further ones in a vector.
class TgtTextLines {
 public:
  class const_iterator {
   public:
    using iterator_category = std::forward_iterator_tag;
    using value_type = WString;
    using difference_type = std::ptrdiff_t;
    using pointer = const WString *;
    using reference = const WString &;
    const_iterator() = default;
    const_iterator(const TgtTextLines *l, size_t i) : FL(l), FI(i) {}
    const WString &operator*() const { return (*FL)[FI]; }
    const WString *operator->() const { return &(*FL)[FI]; }
    const_iterator &operator++() { return ++FI, *this; }
    const_iterator operator++(int) { return {FL, FI++}; }
    bool operator==(const const_iterator &o) const { return FI == o.FI; }

   private:
    const TgtTextLines *FL = nullptr;
    size_t FI = 0;
  };

  TgtTextLines() = default;
  TgtTextLines(std::initializer_list<WString> lines) { *this = lines; }
  TgtTextLines &operator=(std::initializer_list<WString> lines) {
    clear();
    for (const WString &l : lines) emplace_back(l);
    return *this;
  }
  size_t size() const { return FCount; }
  bool empty() const { return FCount == 0; }
  WString &operator[](size_t i) { return i == 0 ? FFirst : FMore[i - 1]; }
  const WString &operator[](size_t i) const { return i == 0 ? FFirst : FMore[i - 1]; }
  const WString &at(size_t i) const {
    if (i >= FCount) throw std::out_of_range("TgtTextLines::at");
    return (*this)[i];
  }
  WString &back() { return (*this)[FCount - 1]; }
  const WString &back() const { return (*this)[FCount - 1]; }
  // A line made of the arguments, as WString's constructor takes them;
  // without any, an empty line (the first keeps the memory it holds).
  template <class... A>
  WString &emplace_back(A &&...args) {
    if (FCount++ == 0) {
      if constexpr (sizeof...(A) == 0) return FFirst.clear(), FFirst;
      else return FFirst = WString(std::forward<A>(args)...);
    }
    return FMore.emplace_back(std::forward<A>(args)...);
  }
  void push_back(WString line) { emplace_back(std::move(line)); }
  void clear() {
    FFirst.clear();
    FMore.clear();
    FCount = 0;
  }
  const_iterator begin() const { return {this, 0}; }
  const_iterator end() const { return {this, FCount}; }
  friend bool operator==(const TgtTextLines &a, const TgtTextLines &b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin());
  }
  friend bool operator==(const TgtTextLines &a, const std::vector<WString> &b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin());
  }

 private:
  WString FFirst;
  std::vector<WString> FMore;
  size_t FCount = 0;
};

// The advance of each character of a text item, engine pixels. A metafile's
// advances are whole logical units times one scale: when every value is
// exactly such a unit count (16 bits) times the scale, the counts are kept
// instead of the values, a quarter of the memory; reading gives the same
// doubles bit for bit.
class TgtAdvances {
 public:
  class const_iterator {
   public:
    using iterator_category = std::forward_iterator_tag;
    using value_type = double;
    using difference_type = std::ptrdiff_t;
    using pointer = const double *;
    using reference = double;
    const_iterator() = default;
    const_iterator(const TgtAdvances *a, size_t i) : FA(a), FI(i) {}
    double operator*() const { return (*FA)[FI]; }
    const_iterator &operator++() { return ++FI, *this; }
    const_iterator operator++(int) { return {FA, FI++}; }
    bool operator==(const const_iterator &o) const { return FI == o.FI; }

   private:
    const TgtAdvances *FA = nullptr;
    size_t FI = 0;
  };

  TgtAdvances() = default;
  TgtAdvances(const std::vector<double> &v) : FValues(v) {}  // NOLINT: reads as the values
  // values [first, last), kept as unit counts of scale where exact.
  void Assign(const double *first, const double *last, double scale);
  // The same, told the count that gave each value (value = count * scale)
  // where its maker knows it: a count that gives its value bit for bit is
  // kept without dividing; any other (kUnknownCount) is found as above.
  void Assign(const double *first, const double *last, const int32_t *counts, double scale);
  static constexpr int32_t kUnknownCount = INT32_MIN;
  void assign(size_t n, double v) { FSteps.clear(), FValues.assign(n, v); }
  // No advances; the memory stays for the next ones.
  void clear() { FSteps.clear(), FValues.clear(); }
  template <class It>
  void assign(It first, It last) {
    FSteps.clear();
    FValues.assign(first, last);
  }
  size_t size() const { return FSteps.empty() ? FValues.size() : FSteps.size(); }
  bool empty() const { return size() == 0; }
  double operator[](size_t i) const { return FSteps.empty() ? FValues[i] : FSteps[i] * FScale; }
  const_iterator begin() const { return {this, 0}; }
  const_iterator end() const { return {this, size()}; }
  // Whether the values are kept as unit counts.
  bool Compact() const { return !FSteps.empty(); }
  friend bool operator==(const TgtAdvances &a, const TgtAdvances &b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin());
  }
  friend bool operator==(const TgtAdvances &a, const std::vector<double> &b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin());
  }

 private:
  std::vector<int16_t> FSteps;
  std::vector<double> FValues;
  double FScale = 0;
};

// Whether v is a whole count of scales of 16 bits, the count into out: the
// count times scale must give v bit for bit (its sign of zero included).
// Counts round half away from zero where nearbyint rounds to even; no value
// half way between two counts is either count times scale, so the answer is
// the same, without a call per value.
inline bool gtUnitCount(double v, double scale, int16_t &out) {
  const double q = v / scale;
  if (!(std::fabs(q) < 32767.5)) return false;  // NaN and infinities too
  const int k = static_cast<int>(q < 0 ? q - 0.5 : q + 0.5);
  out = static_cast<int16_t>(k);
  return std::bit_cast<uint64_t>(k * scale) == std::bit_cast<uint64_t>(v);
}

// Whether count, a whole count the caller knows gave v, is v's unit count
// of 16 bits: count times scale gives v bit for bit and v is finite, so
// v / scale lies within a rounding of count and gtUnitCount finds count too.
inline bool gtKnownUnitCount(double v, int32_t count, double scale, int16_t &out) {
  if (count < -32767 || count > 32767 || !std::isfinite(v)) return false;
  if (std::bit_cast<uint64_t>(count * scale) != std::bit_cast<uint64_t>(v)) return false;
  out = static_cast<int16_t>(count);
  return true;
}

inline void TgtAdvances::Assign(const double *first, const double *last, double scale) {
  Assign(first, last, nullptr, scale);
}

inline void TgtAdvances::Assign(const double *first, const double *last, const int32_t *counts, double scale) {
  FSteps.clear();
  FValues.clear();
  const size_t n = static_cast<size_t>(last - first);
  if (n > 0 && std::isfinite(scale) && scale != 0) {
    FSteps.resize(n);
    int16_t *out = FSteps.data();
    size_t i = 0;
    if (counts) {
      while (i < n && (gtKnownUnitCount(first[i], counts[i], scale, out[i]) || gtUnitCount(first[i], scale, out[i])))
        ++i;
    } else {
      while (i < n && gtUnitCount(first[i], scale, out[i])) ++i;
    }
    if (i == n) {
      FScale = scale;
      return;
    }
    FSteps.clear();
  }
  FValues.assign(first, last);
}

// One run of text; metafile text has one line.
class TgtTextItem : public TgtDocumentItem {
 public:
  double FX = 0;  // anchor: top-left corner of the text
  double FY = 0;
  TgtTextLines FLines;
  int32_t FRotationAngle = 0;  // degrees
  TgtFont FFont;
  TgtBrush FBrush{bsClear, 0xFFFFFF, nullptr};  // background; bsClear = transparent
  TgtTextEffects FTextEffects;
  bool FIsClipRect = false;
  TgtRect FClipRect;
  TgtHAlignment FAlignment = haLeft;
  bool FIsFromMetafile = false;
  bool FIsWideString = false;
  TgtBiDiMode FBiDiMode = bdLeftToRight;
  double FWidthOfTheText = 0;
  POINT FCenterAndRightAlignTextPos{0, 0};
  int32_t FMaxDigitWidth = 0;
  TgtAdvances FCharSpaceArray;  // advance of each character

  // Back to the state of a new item; the memory of its first line and its
  // advances stays for the next text.
  void Renew() {
    WString line = std::move(FLines[0]);
    TgtAdvances advances = std::move(FCharSpaceArray);
    TgtTextItem fresh;  // every field has its initial value: nothing to zero first
    *this = std::move(fresh);
    FLines[0] = std::move(line);
    FLines.clear();
    FCharSpaceArray = std::move(advances);
    FCharSpaceArray.clear();
  }
};

// Text in a framed box (the engines' own TextBox).
class TgtTextBoxItem : public TgtTextItem {
 public:
  double FBoxWidth = 0;
  double FBoxHeight = 0;
  TgtFrame FFrame;
  TgtHAlignment FHAlign = haLeft;
  TgtVAlignment FVAlign = vaTop;
  TgtPen FPen;
};

// A placed image; FIndexNo names the engine's image resource. Made from a
// rectangle, X and Y are the smaller corner, width and height the absolute
// differences.
class TgtImageItem : public TgtDocumentItem {
 public:
  double FX = 0;
  double FY = 0;
  double FWidth = 0;
  double FHeight = 0;
  int32_t FIndexNo = -1;
  TgtFrame FFrame;
  TgtPen FPen;
  TgtBrush FBrush;
  TgtImageSettings FSettings;
  TgtRect FDisplayRect;
  bool FIsFromMetafile = false;
};

// An image held as encoded bytes (JPEG passed through).
class TgtImageStream : public TgtImageItem {
 public:
  std::vector<BYTE> FStream;
  int32_t FImageWidth = 0;  // pixels
  int32_t FImageHeight = 0;
};

class TgtShapeItem : public TgtDocumentItem {
 public:
  std::optional<TgtBrush> FBrush;  // filled shapes only
  TgtPen FPen;
  TgtShapeType FShapeType = stLine;
  TgtPoints FPoints;
  int32_t FNoPoints = 0;
  TgtPenJoinStyle FPenJoinStyle = pjsNone;
  TgtPenCapStyle FPenCapStyle = pcsNone;
  TgtLineArtSettings FLineArtSettings;
};

// Several polygons or polylines drawn as one figure.
class TgtPolyShapeItem : public TgtDocumentItem {
 public:
  std::vector<std::unique_ptr<TgtShapeItem>> FShapes;
  bool FFillAlternate = false;
};

class TgtPolyPolygonItem : public TgtDocumentItem {
 public:
  TgtBrush FBrush;
  TgtPen FPen;
  int32_t FNoPoly = 0;
  bool FFillAlternate = false;
  // FNoPoly + 1 counts: [0] the total number of points, [1..n] each polygon's.
  std::vector<int32_t> FNoPoints;
  TgtPoints FPoints;  // all polygons in sequence
};

class TgtPolyDrawItem : public TgtDocumentItem {
 public:
  TgtBrush FBrush;
  TgtPen FPen;
  int32_t FNoPoints = 0;
  std::vector<BYTE> FOperations;  // PT_MOVETO, PT_LINETO, PT_BEZIERTO (| PT_CLOSEFIGURE)
  TgtPoints FPoints;
};

// A change of the clipping region.
class TgtClipItem : public TgtDocumentItem {
 public:
  TgtBrush FBrush;
  TgtPen FPen;
  bool FRestore = false;  // restores the previous clipping
  int32_t FNoRects = 0;
  int32_t FMode = 0;  // RGN_AND, RGN_COPY, ...
  bool FFromInsert = false;
  std::vector<RECT> FClipRects;  // [0] the bounds when there are several
};

// One path bracket or path painting operation.
class TgtPathItem : public TgtDocumentItem {
 public:
  std::optional<TgtBrush> FBrush;  // only when the operation paints
  std::optional<TgtPen> FPen;
  TgtPathOperation FPathOperation = poBeginPath;
  int32_t FMode = 0;  // combine mode of poSelectClipPath
  bool FFillAlternate = false;
};

// The end of one played metafile.
class TgtEOFItem : public TgtDocumentItem {
 public:
  bool FStatus = true;
};

// Items of one band: a page's content, or the header, footer, watermark or
// stamp drawn on every page.
class TgtBandItem {
 public:
  virtual ~TgtBandItem() = default;
  TgtItemList FDocumentItems;
  TgtItemList FTextItems;
  double FOffsetY = 0;
};

// A page: its items and the page settings current when it was created
// (factor 1.0: its lengths read in engine pixels).
class TgtPageItem : public TgtBandItem {
 public:
  explicit TgtPageItem(TgtCustomDocumentEngine *Parent) : FParent(Parent) {}
  TgtCustomDocumentEngine *FParent;
  TgtPageSettings FSettings;
};

}  // namespace nx
