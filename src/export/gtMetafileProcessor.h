// The metafile interpreter of the export engines: walks a page metafile
// record by record (EnumEnhMetaFile), keeps its own model of the device
// context (coordinate spaces, objects, colours, modes, current position,
// saved states) and turns every drawing record into drawing items appended
// to the engine's current page. It draws nothing itself.
//
// Damaged input never stops it: a record whose counts, offsets or sizes do
// not fit inside it is skipped, a bitmap that cannot be decoded loses only
// its own record, and either is reported on the error channel with the page
// it happened on.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "export/gtCstDocEng.h"
#include "export/gtMetafileProcessorGlyphs.h"
#include "export/gtMetafileProcessorRecord.h"
#include "export/gtMetafileProcessorSpace.h"

namespace nx {

enum TgtGDIOBJType : uint8_t { goPen, goBrush, goFont, goPalette, goNone };

// The header of a logical palette; palettes never affect items.
struct TgtPalette {
  WORD Version = 0x300;
  WORD NumEntries = 0;
};

// One entry of the metafile's object table; the type says which of the
// four objects is meaningful (goNone: a deleted or never created handle).
struct TgtGDIOBJ {
  TgtPenJoinStyle FPenJoinStyle = pjsNone;
  TgtGDIOBJType FGDIOBJType = goNone;
  TgtPen FPen;
  TgtBrush FBrush;
  TgtFont FFont;
  TgtPalette FPalette;
  TgtPenCapStyle FPenCapStyle = pcsNone;
};

// Text alignment flags (a set).
enum TgtEMFAlign : uint16_t {
  taNoUpdateCP = 1 << 0,
  taUpdateCP = 1 << 1,
  taLeft = 1 << 2,
  taRight = 1 << 3,
  taCenter = 1 << 4,
  taTop = 1 << 5,
  taBottom = 1 << 6,
  taBaseline = 1 << 7,
  taRTLReading = 1 << 8,
  taMask = 1 << 9,
};
using TgtEMFAlignment = uint16_t;
// The set SETTEXTALIGN makes of GDI's TA_ flags.
TgtEMFAlignment gtTextAlignment(DWORD flags);

// One saved state (SAVEDC). The background colour, the clipping, the
// current position and the object table are not part of it.
struct TgtMetaState {
  TgtFont FFont;
  TgtBrush FBrush;
  TgtPen FPen;
  TgtPenJoinStyle FPenJoin = pjsNone;
  TgtPenCapStyle FPenCap = pcsNone;
  COLORREF FCurrentTextColor = 0;
  uint8_t FBKMode = OPAQUE;
  TgtMetaSpace FSpace;  // map mode, world transform, window and viewport
  TgtEMFAlignment FTextAlign = taLeft;
  int32_t FSymbolCharsetFontIdx = -1;
};

struct TgtScreenWidths;

class TgtMetafileProcessor {
 public:
  // Bound to an engine, whose item lists, capabilities, ItemsToRender, input
  // resolution and image resources it uses.
  explicit TgtMetafileProcessor(TgtCustomDocumentEngine &Engine);
  ~TgtMetafileProcessor();
  TgtMetafileProcessor(const TgtMetafileProcessor &) = delete;
  TgtMetafileProcessor &operator=(const TgtMetafileProcessor &) = delete;

  // Interprets one metafile; every item position is offset by the start
  // point (engine pixels).
  void Execute(HENHMETAFILE Metafile, double StartX, double StartY);

  // Text drawn at the current position continues the previous text run
  // (the engines turn it on).
  void SetCombineCharsToSentence(bool Value) { FCombineCharsToSentence = Value; }

  // Every text record measured string by string on the screen, never from
  // the font's advances at hand (tests compare the two).
  void SetMeasureWholeStrings(bool Value) { FMeasureWholeStrings = Value; }

  // Handles one record (the enumeration's callback).
  void ProcessRecord(const ENHMETARECORD *Record);
  // Records a caller walks itself: BeginRecords takes the start point as
  // Execute does, the records go through ProcessRecord, EndRecords reports
  // the problems.
  void BeginRecords(double StartX, double StartY) { FStartX = StartX, FStartY = StartY; }
  void EndRecords() { ReportProblems(); }

 private:
  // ---- records by topic: false when the record is damaged ----------------
  bool DoState(const TgtEmfRecord &r);    // modes, colours, spaces, saved states
  bool DoObject(const TgtEmfRecord &r);   // object table
  bool DoShape(const TgtEmfRecord &r);    // lines and box shapes
  bool DoPoly(const TgtEmfRecord &r);     // the poly records
  bool DoPath(const TgtEmfRecord &r);     // path brackets and painting
  bool DoClip(const TgtEmfRecord &r);     // clipping, FILLRGN
  bool DoText(const TgtEmfRecord &r);     // EXTCREATEFONTINDIRECTW, EXTTEXTOUTA/W
  bool DoBitmap(const TgtEmfRecord &r);   // blits and DIBs
  static bool IsStateRecord(DWORD Type);
  static bool IsObjectRecord(DWORD Type);
  static bool IsShapeRecord(DWORD Type);
  static bool IsPolyRecord(DWORD Type);
  static bool IsPathRecord(DWORD Type);

  // State and objects.
  void SaveDC();
  void RestoreDC(LONG Relative);
  void SelectObject(DWORD Index);
  void SelectStockObject(DWORD Stock);
  TgtGDIOBJ &NewObject(DWORD Index);  // the entry for a create record
  bool CreatePen(const TgtEmfRecord &r);
  bool ExtCreatePen(const TgtEmfRecord &r);
  bool CreateBrush(const TgtEmfRecord &r);
  bool CreatePatternBrush(const TgtEmfRecord &r);
  bool CreateFont(const TgtEmfRecord &r);
  int32_t SymbolCharsetFontIdx(const TgtFont &Font);

  // Shapes.
  TgtPoint Map(double x, double y) const;  // mapped and offset by the start point
  TgtShapeItem &AddShape(TgtShapeType Type, bool Filled, TgtPoints Points);
  bool PolyRecord(const TgtEmfRecord &r, bool Small, std::vector<POINT> *Points);
  bool PolyPolyRecord(const TgtEmfRecord &r, bool Small, std::vector<DWORD> *Counts,
                      std::vector<POINT> *Points);
  bool FillRgn(const TgtEmfRecord &r);
  void AddClip(std::vector<RECT> Rects, int32_t Mode, bool Restore, bool FromInsert);

  // Text.
  // The 16-bit units of a text record (wide units in place, or the units
  // converted from ANSI bytes or glyph indices) and its Dx array.
  struct TgtTextUnits {
    enum TMode : uint8_t { kAsIs, kLowBytes, kSubstituted };
    const uint8_t *Chars;  // Count units, little-endian
    size_t Count;
    const uint8_t *Dx;  // Count advances (pairs with Pdy), or null
    bool Pdy;
    TMode Mode;    // ANSI text as it is; symbol fonts' low bytes; others substituted
    double Scale;  // logical advance to engine pixels
  };
  size_t GatherCharacters(const TgtTextUnits &Units, bool *Wide);
  bool TextOut(const TgtEmfRecord &r, bool Wide);
  void OpaqueTextBox(const RECTL &Box);
  WString RecordText(const uint8_t *Chars, DWORD Count, bool Wide, bool Glyphs);
  WString TextOfGlyphs(const std::vector<WORD> &Glyphs);
  void AnchorText(TgtTextItem &Item, double Advance, double ExtentHeight) const;
  SIZE MeasureText(const TgtFont &Font, const WString &Text);
  HFONT ScreenFont(const TgtFont &Font);
  const TgtScreenWidths &ScreenWidths(HFONT Font, const LOGFONTW &Lf);

  // Bitmaps.
  std::shared_ptr<TgtBitmap> DecodeDib(const TgtEmfRecord &r, DWORD OffBmi, DWORD CbBmi, DWORD OffBits,
                                       DWORD CbBits);
  // An image item over the destination rectangle (logical units).
  void PlaceImage(std::shared_ptr<TgtBitmap> Picture, double X, double Y, double Cx, double Cy, DWORD Rop,
                  bool Compose);
  std::unique_ptr<TgtImageItem> NewImageItem(double X, double Y, double Cx, double Cy) const;
  // An image item on the parallelogram of the picture's top-left (P0),
  // top-right (P1) and bottom-left (P2) corners in engine pixels: its
  // top-left corner, the lengths of its sides and the inclination of its
  // top edge (anticlockwise, whole degrees).
  std::unique_ptr<TgtImageItem> TurnedImageItem(const TgtPoint &P0, const TgtPoint &P1, const TgtPoint &P2) const;
  // PLGBLT: the source area onto its parallelogram, the mask's clear bits
  // as transparent pixels.
  bool DoPlgBlt(const TgtEmfRecord &r);
  int32_t StoreImage(std::shared_ptr<TgtBitmap> Picture);
  bool ReusesImages() const;
  void ReplaceImage(int32_t Index, std::shared_ptr<TgtBitmap> Picture);
  bool SetDIBitsToDevice(const TgtEmfRecord &r);
  void SourcelessBitBlt(const TgtEmfRecord &r);
  void SourcelessTransfer(double X, double Y, double Cx, double Cy);
  void TilePattern(const TgtPoint &A, const TgtPoint &B);
  TgtImageItem *LastImageItem() const;

  // Items.
  void Append(std::unique_ptr<TgtDocumentItem> Item);
  void AppendText(std::unique_ptr<TgtTextItem> Item);
  // Problems of the run, reported once at its end.
  void Damaged(const TgtEmfRecord &r);
  void PictureLost(const TgtEmfRecord &r, const std::string &Why);
  void ReportProblems();

  // ---- fields ---------------------------------------------------------------
  TgtCustomDocumentEngine *FEngine;
  double FStartX = 0, FStartY = 0;
  int32_t FROP2 = 0;
  int32_t FStretchMode = 0;
  int32_t FICMMode = 0;
  int32_t FPolyFillMode = 0;
  COLORREF FBKColor = 0xFFFFFF;
  float FMiterLimit = 10.0f;
  TgtFont FCurrentFont;
  TgtBrush FCurrentBrush;
  TgtPen FCurrentPen;
  TgtPenJoinStyle FCurrentPenJoin = pjsNone;  // of the selected pen
  TgtPenCapStyle FCurrentPenCap = pcsNone;
  TgtPalette FCurrentPalette;
  TgtEMFAlignment FTextAlignment = taLeft;
  COLORREF FTextColor = 0;
  POINT FCurrentPathPoint{0, 0};
  double FUpdatePathX = 0;
  uint8_t FBKMode = OPAQUE;
  TgtRect FStretchBltRect;
  int32_t FJustProcessedTextItem = 0;
  TgtRect FClipRect;
  bool FInPath = false;
  int32_t FSymbolCharsetFontIdx = -1;
  int32_t FCurrentRecord = 0;
  std::vector<TgtGDIOBJ> FGDIOBJList;
  int32_t FGDIOBJ = -1;  // position of the object most recently created
  bool FProcessText = true, FProcessImage = true, FProcessShape = true;
  bool FIsClipRect = false, FIsIntersectClipRect = false;
  TgtItemList *FPTextList = nullptr;
  bool FIsWindowsExt = false, FIsTransApplied = false;
  int32_t FWidth = 0, FHeight = 0;
  TgtMetaSpace FSpace;  // FXForm, FMapMode, window and viewport, FMapMXmul/FMapMYmul
  std::vector<TgtMetaState> FMetaState;
  bool IsBackgrondTransprent = false;
  // Glyph tables, by font face and style (the table follows the font).
  std::map<std::u16string, TgtGlyphTable> FGlyphTables;
  bool FClipRecatangle = false;
  bool FCombineCharsToSentence = false;

  // Caches of one run: screen fonts for measuring (the symbol-font answers
  // live in the engine, across pages).
  HDC FScreen = nullptr;
  std::map<std::u16string, HFONT> FScreenFonts;
  LOGFONTW FLastScreenLogFont{};
  HFONT FLastScreenFont = nullptr;
  HFONT FLastWidthsFont = nullptr;  // the screen font of FLastWidths
  const TgtScreenWidths *FLastWidths = nullptr;
  bool FMeasureWholeStrings = false;
  // Scratch of the text records: the characters kept and their advances.
  std::vector<WCHAR> FKeptChars;
  std::vector<double> FKeptAdvances;
  std::vector<int32_t> FKeptCounts;  // the Dx step of each kept advance
  // Problems found.
  int32_t FDamagedRecords = 0;
  std::string FFirstDamage;
  int32_t FLostPictures = 0;
  std::string FFirstLostPicture;
};

}  // namespace nx
