// The export engine framework: the document life cycle, the page list, units,
// page settings, image resources and the order in which a page's items are
// rendered. Concrete engines (PDF, RTF, JPEG) override the rendering hooks.
//
// One document: configure (FileName, Page, DocInfo, Preferences), BeginDoc,
// one PlayMetafile per page with NewPage between pages, EndDoc (also after a
// failure, which leaves the engine ready for the next document). Each page
// metafile is played onto the page canvas, a metafile DC at engine resolution
// (PlayEnhMetaFile records the scale as a world transform); the canvas is
// interpreted into items when the next page opens or at EndDoc, and EndDoc
// renders every page (or, when the caller announced the page count, each
// page is rendered as soon as the next one opens, see SetExpectedPageCount):
//   StartPage, RenderPageBorder, header band, watermark band, the page's
//   document items then its text items, footer band, stamp band, EndPage
// where each band renders its document items, then its text items. A band
// whose capability the engine declares is rendered on page 1 only.
//
// Virtual operations are declared in a fixed order (the numbers in the
// comments). The engine's own text, paragraph, table, header/footer, HTML,
// table-of-contents and e-mail operations (20-28, 31, 35, 48-53, 57-68, 79,
// 82, 109-112) are not part of this build.
#pragma once

#include <cstdint>
#include <exception>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "common/ErrorChannel.h"
#include "common/Files.h"
#include "common/WString.h"
#include "export/gtDocItems.h"
#include "export/gtEngineSettings.h"
#include "export/gtEngineTypes.h"
#include "export/gtGraphics.h"
#include "export/gtPageSettings.h"
#include "platform/win32.h"

namespace nx {

class TgtMetafileProcessor;

enum TgtCapability : uint16_t {
  ckText = 1 << 0,
  ckImage = 1 << 1,
  ckShape = 1 << 2,
  ckHeader = 1 << 3,
  ckFooter = 1 << 4,
  ckWatermark = 1 << 5,
  ckStamp = 1 << 6,
  ckImageStretch = 1 << 7,
  ckImageFrame = 1 << 8,
  ckInputRes = 1 << 9,
  ckImageReusable = 1 << 10,
};
using TgtCapabilities = uint16_t;  // a set of TgtCapability

enum TgtItemToRender : uint8_t { irText = 1, irImage = 2, irShape = 4 };
using TgtItemsToRender = uint8_t;  // a set of TgtItemToRender

enum TgtEngineStatus : uint8_t { esNone, esStarted, esFinished, esCancelled, esError };
enum TgtBandType : uint8_t { btContent, btHeader, btFooter, btWatermark, btStamp };
enum TgtReferencePoint : uint8_t { rpPage, rpMargin, rpBand };
enum TgtBackgroundDisplayType : uint8_t {
  dtTile, dtTopLeft, dtTopCenter, dtTopRight, dtCenterLeft, dtCenter, dtCenterRight,
  dtBottomLeft, dtBottomCenter, dtBottomRight
};

// Engine errors. Each reaches the host's error channel with its code.
class EFileCreateError : public ENxError {
 public:
  explicit EFileCreateError(const std::string &Message) : ENxError(nxeFile, Message) {}
};
class EInvalidEngineState : public ENxError {
 public:
  explicit EInvalidEngineState(const std::string &Message) : ENxError(nxeArgument, Message) {}
};
class EUnsupportedGraphics : public ENxError {
 public:
  explicit EUnsupportedGraphics(const std::string &Message) : ENxError(nxeData, Message) {}
};

extern const char *const kFileCreateErrorMessage;  // "File could not be created!\r\n\r\n..."

// A saved drawing state (SaveEngineState / RestoreEngineState).
struct TgtEngineState {
  TgtFont FFont;
  TgtPen FPen;
  TgtBrush FBrush;
  TgtImageSettings FImageSettings;
  TgtPageSettings FPage;
  TgtTextEffects FTextEffects;
};

// A stored image and its digest. Slots reserved by the metafile interpreter
// hold no bitmap until it stores one; a released slot at the end is removed.
struct TgtImageHash {
  TgtDigest Digest{};
  bool Valid = false;   // Digest holds the MD5 of the image's bytes
  bool Shared = false;  // more than one item refers to the image
};

class TgtCustomDocumentEngine {
 public:
  // Reads the screen resolution and sets the defaults: A4 portrait, inches,
  // capabilities text, image and shape, reference point rpBand, input
  // resolution = screen resolution.
  TgtCustomDocumentEngine();
  virtual ~TgtCustomDocumentEngine();
  TgtCustomDocumentEngine(const TgtCustomDocumentEngine &) = delete;
  TgtCustomDocumentEngine &operator=(const TgtCustomDocumentEngine &) = delete;

  // ---- public engine interface (17-72) -----------------------------------
  virtual void BeginDoc();  // 17
  virtual void EndDoc();    // 18
  virtual void NewPage();   // 19
  virtual void SetTextAlignment(TgtHAlignment Value);  // 29
  // Encoded JPEG bytes placed in the rectangle (measurement unit).
  virtual void DrawJPEGDirect(const TgtRect &ARect, int32_t AImagePixelWidth, int32_t AImagePixelHeight,
                              const std::vector<BYTE> &AStream);  // 30
  virtual void DrawImage(double X, double Y, const TgtBitmap &AGraphic);           // 32
  virtual void DrawImage(const TgtRect &ImageRect, const TgtBitmap &AGraphic);     // 33
  virtual void DrawImage(const TgtRect &ImageRect, int32_t Index);                 // 34
  virtual int32_t AddImageAsResource(const TgtBitmap &AGraphic);                   // 36
  // Index of the image in the resources; -1 when no document is started or
  // the engine lacks ckImage. With ckImageReusable and UseImagesAsResources an
  // image equal (MD5) to a stored one returns that one's index.
  virtual int32_t AddImage(const TgtBitmap &AGraphic, bool AsResource);  // 37
  // The engine's own shapes, in the measurement unit, with Pen and Brush.
  virtual void Line(double X1, double Y1, double X2, double Y2);                               // 38
  virtual void Rectangle(double X1, double Y1, double X2, double Y2, bool IsFill);             // 39
  virtual void RoundRect(double X1, double Y1, double X2, double Y2, double X3, double Y3,
                         bool IsFill);                                                         // 40
  virtual void Ellipse(double X1, double Y1, double X2, double Y2, bool IsFill);               // 41
  virtual void Polygon(const TgtPoints &Points, bool IsFill);                                  // 42
  virtual void PolyLine(const TgtPoints &Points);                                              // 43
  virtual void Arc(double X1, double Y1, double X2, double Y2, double X3, double Y3, double X4,
                   double Y4);                                                                 // 44
  virtual void Pie(double X1, double Y1, double X2, double Y2, double X3, double Y3, double X4,
                   double Y4, bool IsFill);                                                    // 45
  virtual void Chord(double X1, double Y1, double X2, double Y2, double X3, double Y3, double X4,
                     double Y4, bool IsFill);                                                  // 46
  virtual void PolyBezier(const TgtPoints &Points);                                            // 47
  virtual void PlayMetafile(HENHMETAFILE Metafile);                                            // 54
  // Plays the metafile onto the page canvas scaled to DestRect's size (the
  // measurement unit); the picture always starts at the page's corner.
  virtual void PlayMetafile(const TgtRect &DestRect, HENHMETAFILE Metafile);  // 55
  // Interprets the metafile at once, at (X, Y) in the measurement unit.
  virtual void PlayMetafile(double X, double Y, HENHMETAFILE Metafile);  // 56
  // Plays the metafile onto the page canvas into DestRect (the measurement
  // unit), corner included: a page recorded for a printer's printable area
  // lands at the printer's margins on the sheet.
  void PlayMetafileAt(const TgtRect &DestRect, HENHMETAFILE Metafile);
  // As PlayMetafileAt for a page recorded by this system, onto a fresh page
  // canvas. The interpreter may then read the page's own records when the
  // page is processed (the next NewPage or EndDoc) instead of the canvas's
  // copy of them: the caller keeps the metafile until then.
  void PlayPageAt(const TgtRect &DestRect, HENHMETAFILE Page);
  // False sends every page through the canvas (tests compare the two).
  void SetPagesInPlace(bool Value) { FPagesInPlace = Value; }
  virtual int32_t SaveEngineState();                // 69
  virtual void RestoreEngineState(int32_t Index);   // 70
  virtual void ClearEngineStates();                 // 71
  virtual void SetWorkingPage(int32_t PageNo);      // 72
  // The caller's word that the document just begun has Count pages, filled
  // in order (no SetWorkingPage back to a page before the current one, no
  // change of the page border, background or page selection). Then a page
  // is rendered and its items freed as soon as the next page opens, instead
  // of every page at EndDoc, so that a long document's items are never all
  // in memory; "<%PgCnt%>" reads Count on those pages. Not while page
  // events or FOnCalcVariables are set, nor with FProcessAfterEachPage:
  // those documents render as before. A failure while an early page renders
  // ends the document as one at EndDoc does, and NewPage throws it. Ignored
  // unless a document is started; EndDoc forgets it.
  void SetExpectedPageCount(int32_t Count);
  // Ends the started document of a caller that failed while making it
  // (Failure is the error the caller goes on to report). EndDoc runs, but
  // through its failure path: nothing more is written, the concrete
  // engine's temporary files go, an earlier file of the target's name
  // stays, and the engine is ready for the next document. Never throws.
  void EndDocAfterFailure(std::exception_ptr Failure) noexcept;

  // ---- rendering hooks (73-110) ------------------------------------------
 protected:
  virtual void StartPage() {}      // 73
  virtual void EndPage() {}        // 74
  virtual void StartDocument() {}  // 75
  // Releases the image resources; concrete engines write and close their
  // output and record the files they produced (RecordProducedFile).
  virtual void EndDocument();                                  // 76
  virtual void RenderTextItem(TgtTextItem &Item) {}            // 77
  // Background and frame sides through 90 and 89, then the text through 77.
  virtual void RenderTextBoxItem(TgtTextBoxItem &Item);        // 78
  virtual void RenderImageItem(TgtImageItem &Item) {}          // 80
  virtual void RenderImageStream(TgtImageStream &Item) {}      // 81
  virtual void RenderOtherItem(TgtDocumentItem &Item) {}       // 83
  virtual void RenderClipItem(TgtClipItem &Item) {}            // 84
  virtual void RenderPathItem(TgtPathItem &Item) {}            // 85
  // 86 and 89 to 98 default to drawing the shape with our GDI into a
  // transparent bitmap handed to RenderShapeBitmap at its top-left corner.
  virtual void RenderPolyPolygonItem(TgtPolyPolygonItem &Item);  // 86
  virtual void RenderEOFItem(TgtEOFItem &Item) {}                // 87
  virtual void RenderPolyDrawItem(TgtPolyDrawItem &Item) {}      // 88
  virtual void RenderLine(const TgtPen &Pen, double X1, double Y1, double X2, double Y2);  // 89
  // Brush is null for an outline.
  virtual void RenderRectangle(const TgtPen &Pen, const TgtBrush *Brush, double X1, double Y1, double X2,
                               double Y2);  // 90
  virtual void RenderRoundRect(const TgtPen &Pen, const TgtBrush *Brush, double X1, double Y1, double X2,
                               double Y2, double X3, double Y3);  // 91
  virtual void RenderEllipse(const TgtPen &Pen, const TgtBrush *Brush, double X1, double Y1, double X2,
                             double Y2);  // 92
  virtual void RenderPolygon(const TgtPoints &Points, int32_t NoPoints, const TgtBrush *Brush, const TgtPen &Pen,
                             bool IsClosed);                                    // 93
  virtual void RenderPolyShapeItem(TgtPolyShapeItem &Item, bool IsPolygon);    // 94
  virtual void RenderArc(const TgtPen &Pen, double X1, double Y1, double X2, double Y2, double X3, double Y3,
                         double X4, double Y4);  // 95
  virtual void RenderPie(const TgtPen &Pen, const TgtBrush *Brush, double X1, double Y1, double X2, double Y2,
                         double X3, double Y3, double X4, double Y4);  // 96
  virtual void RenderChord(const TgtPen &Pen, const TgtBrush *Brush, double X1, double Y1, double X2, double Y2,
                           double X3, double Y3, double X4, double Y4);  // 97
  virtual void RenderPolyBezier(const TgtPoints &Points, int32_t NoPoints, const TgtPen &Pen);  // 98
  // Receives the rasterised shapes; X, Y is the bitmap's top-left corner.
  virtual void RenderShapeBitmap(const TgtBitmap &Bitmap, double X, double Y) {}  // 99
  // The PageBorder sides through 89.
  virtual void RenderPageBorder();  // 100

 public:
  // Text variables (all occurrences, any letter case): page number and count
  // when WithPageNumbers, dates and times, DocInfo fields, then OnCalcVariables.
  virtual WString ReplaceVariables(const WString &Text, bool WithPageNumbers);  // 101
  // "<%Pg#%>" and "<%PgCnt%>".
  virtual WString ReplacePageVariables(const WString &Text);  // 102

 protected:
  // RenderTextItem for every text item; FIsLastElementInTextList is set
  // while the last one renders.
  virtual void RenderTextItems(TgtItemList &List);  // 103

 public:
  // Runs the metafile interpreter; items go to the current page (or band).
  virtual void ProcessMetafile(HENHMETAFILE Metafile, double StartX, double StartY);  // 104
  // Stable sort by FY (unless FNoSorting).
  virtual void SortTextItems(TgtItemList &List);  // 105
  virtual bool IsImageFormatSupported(TgtOutputImageFormat Format, std::string &Message) { return true; }  // 106
  // 1 confirmed, 2 cancelled.
  virtual int32_t RunSetupDialog() { return 1; }  // 107
  // The preferences object this engine class creates.
  virtual std::unique_ptr<TgtPreferences> PreferencesClass() const;  // 108

  // ---- properties ----------------------------------------------------------
  const WString &FileName() const { return FFileName; }
  // Ignored while a document is started; a name ending in "." + FileExtension
  // (any letter case) is stored without it.
  void SetFileName(const WString &Value);
  const WString &FileExtension() const { return FFileExtension; }
  const WString &FileDescription() const { return FDescription; }
  TgtUnitType MeasurementUnit() const { return FMeasurementUnit; }
  void SetMeasurementUnit(TgtUnitType Value);
  double NativeConversionFactor() const { return FNativeConversionFactor; }
  TgtPageSettings &Page() { return FPage; }
  TgtDocInfo &DocInfo() { return FDocInfo; }
  TgtPreferences &Preferences() { return *FPreferences; }
  TgtImageSettings &ImageSettings() { return FImageSettings; }
  TgtBorder &PageBorder() { return FPageBorder; }
  TgtPen &Pen() { return FPen; }
  TgtBrush &Brush() { return FBrush; }
  TgtFont &Font() { return FFont; }
  TgtTextEffects &TextEffects() { return FTextEffects; }
  TgtLineArtSettings &LineArtSettings() { return FLineArtSettings; }
  TgtCapabilities Capabilities() const { return FCapabilities; }
  bool HasCapability(TgtCapability c) const { return (FCapabilities & c) != 0; }
  TgtItemsToRender ItemsToRender() const { return FItemsToRender; }
  void SetItemsToRender(TgtItemsToRender Value) { FItemsToRender = Value; }
  // Empty: every page; else "1,3,5-7" (an entry with other characters is
  // ignored).
  const std::string &PagesToRender() const { return FPagesToRender; }
  void SetPagesToRender(const std::string &Value) { FPagesToRender = Value; }
  TgtReferencePoint ReferencePoint() const { return FReferencePoint; }
  void SetReferencePoint(TgtReferencePoint Value);
  int32_t InputXRes() const { return FInputXRes; }
  int32_t InputYRes() const { return FInputYRes; }
  void SetInputXRes(int32_t Value) { FInputXRes = Value; }
  void SetInputYRes(int32_t Value) { FInputYRes = Value; }
  TgtEngineStatus EngineStatus() const { return FEngineStatus; }
  const std::vector<WString> &EngineFileNames() const { return FEngineFileNames; }
  bool AbortCreation() const { return FAbortCreation; }
  void SetAbortCreation(bool Value) { FAbortCreation = Value; }
  bool IsDocumentStarted() const { return FIsDocumentStarted; }
  int32_t CurrentPage() const { return FCurrentPage; }
  int32_t PageCount() const { return FPageCount; }
  TgtBandType BandType() const { return FBandType; }
  const TgtRect &BandRect() const { return FBandRect; }
  COLORREF BackgroundColor() const { return FBackgroundColor; }
  TgtBackgroundDisplayType BackgroundDisplayType() const { return FBackgroundDisplayType; }
  bool SortTextItemsEnabled() const { return FSortTextItems; }
  // The page canvas (a metafile DC) while a page is open, else null; a page
  // waiting to be read in place is played onto it first.
  HDC PageCanvas();
  // The lists the items of the page (or band) being filled go to.
  TgtItemList *CurrentDocumentItemList() const { return FCurrentDocumentItemList; }
  TgtItemList *CurrentTextItemList() const { return FCurrentTextItemList; }
  // The page being filled or rendered (null when there is none); its
  // settings read in engine pixels.
  TgtPageItem *CurrentPageItem() const;
  // The page items of the document, in page order.
  const std::vector<std::unique_ptr<TgtPageItem>> &Pages() const { return FPages; }

  // Image resources (indices are FIndexNo of the items).
  const std::vector<std::shared_ptr<TgtBitmap>> &ImageResources() const { return FImageResourceList; }
  const std::vector<TgtImageHash> &ImageResourceHashes() const { return FImageResourceHashList; }
  // A new empty slot at the end, with an empty digest entry; its index.
  int32_t ReserveImageSlot();
  // Gives a slot back: the last slot is removed, another is emptied.
  void ReleaseImageSlot(int32_t Index);
  // Stores a picture (and its digest) in a reserved slot.
  void StoreImage(int32_t Index, std::shared_ptr<TgtBitmap> Bitmap, const TgtDigest &Digest);
  // The same without a digest, for an engine that does not reuse images:
  // FindImageDigest never finds it.
  void StoreImage(int32_t Index, std::shared_ptr<TgtBitmap> Bitmap);
  // The index of a stored image with this digest, or -1.
  int32_t FindImageDigest(const TgtDigest &Digest) const;
  // Marks a stored image as referred to by more than one item.
  void MarkImageShared(int32_t Index);

  // ---- events (none is set by the library) -------------------------------
  using TgtNotifyEvent = std::function<void(TgtCustomDocumentEngine &)>;
  TgtNotifyEvent FOnBeforeBeginDoc, FOnAfterBeginDoc, FOnBeforeEndDoc, FOnAfterEndDoc;
  TgtNotifyEvent FOnBeforeBeginPage, FOnAfterBeginPage, FOnBeforeEndPage, FOnAfterEndPage;
  // When set, engine errors are handed to it instead of being thrown.
  std::function<void(TgtCustomDocumentEngine &, const ENxError &)> FOnErrorMessage;
  // Answers a "<%Name%>" marker the engine does not know (Name without the
  // markers).
  std::function<WString(TgtCustomDocumentEngine &, const WString &Name)> FOnCalcVariables;

 protected:
  // ---- shared operations of the concrete engines ---------------------------
  // Creates an output file (written beside the target, renamed over it on
  // CommitOutputFile). A failure sets esError, deletes the files produced so
  // far, resets the engine and throws EFileCreateError with
  // kFileCreateErrorMessage.
  std::unique_ptr<TOutputFile> CreateOutputFile(const WString &Name);
  // Completes a file made by CreateOutputFile and records it as produced (a
  // failure is handled as in CreateOutputFile).
  void CommitOutputFile(TOutputFile &File);
  // Records a file produced by other means.
  void RecordProducedFile(const WString &Name) { FEngineFileNames.push_back(Name); }
  // Raises the error, or hands it to FOnErrorMessage when set.
  template <typename E>
  void RaiseError(const E &Error) {
    if (!FOnErrorMessage) throw Error;
    FOnErrorMessage(*this, Error);
  }
  // Sets the capabilities (the concrete constructors).
  void SetCapabilities(TgtCapabilities Value) { FCapabilities = Value; }
  void SetFileType(const WString &Extension, const WString &Description);
  // Replaces the preferences by a new object of PreferencesClass (constructors
  // of engines that choose another class).
  void RecreatePreferences() { FPreferences = PreferencesClass(); }
  // The bands drawn on every page (null while no document is started).
  TgtBandItem *HeaderItem() const { return FHeaderItem.get(); }
  TgtBandItem *FooterItem() const { return FFooterItem.get(); }
  TgtBandItem *WatermarkItem() const { return FWatermarkItem.get(); }
  TgtBandItem *StampItem() const { return FStampItem.get(); }
  // Whether the interpreter collects text items in the text lists.
  void SetSortTextItems(bool Value) { FSortTextItems = Value; }
  // True while the last item of a text list renders.
  bool IsLastElementInTextList() const { return FIsLastElementInTextList; }
  // Pen join and cap of the shape being rendered.
  TgtPenJoinStyle FPenJoin = pjsNone;
  TgtPenCapStyle FPenCap = pcsNone;

  // Renders page FCurrentPage (or closes it unrendered) and frees its items.
  void RenderPage();
  // Whether the page just interpreted can be rendered now (see
  // SetExpectedPageCount), and rendering it so.
  bool RendersEarly() const;
  void RenderPageEarly();
  // Calls the hook of every item's class, in list order.
  void RenderDocumentItems(TgtItemList &List);
  void RenderItem(TgtDocumentItem &Item);

 public:
  // Whether the page is selected by a PagesToRender text.
  static bool PageSelected(const std::string &Selection, int32_t Page);

 protected:
  // The engine's working state; the concrete writers, being engines, read
  // and change it, and so does the metafile interpreter.
  friend class TgtMetafileProcessor;

  void StartDocumentState();
  void ResetDocument();
  void DeleteProducedFiles();
  void OpenCanvas();
  void CloseCanvas();
  void ProcessCanvas();
  void FreeCanvasMetafile();
  void PlayPendingPage();
  bool ProcessPendingPage();
  void RecomputeBandRect();
  void SetBandType(TgtBandType Value);
  void RenderBand(TgtBandItem &Band, TgtBandType Type, bool Sort);
  void FreePageItems(TgtPageItem &PageItem);
  // Plain text items of a freed list kept for the next page's text (a
  // bounded number), and one of them renewed, or a new item.
  void KeepSpareTextItems(TgtItemList &List);
  std::unique_ptr<TgtTextItem> NewTextItem();
  void RasterShape(const TgtPen &Pen, const TgtBrush *Brush, const TgtPoints &Box,
                   const std::function<void(HDC, double, double)> &Draw);
  void AddShape(TgtShapeType Type, const TgtPoints &Points, bool IsFill);
  void PlaceImageItem(TgtImageItem &Item, const TgtRect &Rect) const;
  TgtPoints ToPixels(const TgtPoints &Points) const;
  RECT EnginePixels(const TgtRect &Rect) const;
  TgtEngineState CaptureState() const;
  bool Started();

  // Fields (see the class comment for their roles).
  std::vector<std::unique_ptr<TgtPageItem>> FPages;
  int32_t FTextRotationAngle = 0;
  TgtHAlignment FTextAlignment = haLeft;
  TgtRect FBandRect;
  int32_t FCurrentPage = 0;
  int32_t FPageCount = 0;
  int32_t FDefaultState = -1;
  double FNativeConversionFactor = 1.0;
  std::unique_ptr<TgtBandItem> FHeaderItem, FFooterItem, FWatermarkItem, FStampItem;
  std::vector<TgtEngineState> FEngineStateList;
  TgtItemList *FCurrentDocumentItemList = nullptr;
  TgtItemList *FCurrentTextItemList = nullptr;
  double FCurrentOffsetY = 0;
  TgtFont FFont;
  TgtBrush FBrush;
  TgtTextEffects FTextEffects;
  TgtLineArtSettings FLineArtSettings;
  TgtPen FPen;
  TgtFrame FFrame;
  HDC FCanvas = nullptr;               // the page canvas while a page is open
  HENHMETAFILE FMetafile = nullptr;    // the closed page canvas
  bool FCanvasFresh = false;           // nothing played onto the canvas yet
  bool FPagesInPlace = true;
  HENHMETAFILE FPendingPage = nullptr;  // PlayPageAt's page, read when processed (not owned)
  TgtRect FPendingRect;
  std::vector<DWORD> FPendingDeletes;   // its objects left at its end, as the player deletes them
  int32_t FMetafileWidth = 0;          // the page metafile's size, engine pixels
  int32_t FMetafileHeight = 0;
  TgtImageSettings FImageSettings;
  std::unique_ptr<TgtPreferences> FPreferences;
  WString FFileName;
  TgtUnitType FMeasurementUnit = muInches;
  WString FDescription;
  WString FFileExtension;
  TgtDocInfo FDocInfo;
  TgtPageSettings FPage;
  TgtBorder FPageBorder;
  TgtCapabilities FCapabilities = ckText | ckImage | ckShape;
  TgtFont FDefaultFont;
  COLORREF FBackgroundColor = 0xFFFFFF;
  TgtBackgroundDisplayType FBackgroundDisplayType = dtCenter;
  TgtItemsToRender FItemsToRender = irText | irImage | irShape;
  std::string FPagesToRender;
  std::vector<WString> FEngineFileNames;
  TgtEngineStatus FEngineStatus = esNone;
  // Faces the interpreter found to exist only as symbol fonts (true) or not,
  // kept for the engine's life: asking the system opens font files, and a
  // font installed while the engine runs need not be seen.
  std::map<std::u16string, bool> FSymbolOnlyFaces;
  // Text items of rendered pages, with the memory of their lines and
  // advances, for the interpreter's next text records.
  std::vector<std::unique_ptr<TgtTextItem>> FSpareTextItems;
  TgtReferencePoint FReferencePoint = rpBand;
  int32_t FInputXRes = 96;
  int32_t FInputYRes = 96;
  bool FAbortCreation = false;
  bool FNoSorting = false;
  bool FIsDocumentStarted = false;
  bool FSortTextItems = false;
  std::vector<std::shared_ptr<TgtBitmap>> FImageResourceList;
  std::vector<TgtImageHash> FImageResourceHashList;
  TgtBandType FBandType = btContent;
  double FYFactor = 1.0;
  bool FIsAutoPaginate = true;
  bool FIsLastElementInTextList = false;
  int32_t FTablenumber = -1;
  // Early rendering: the announced page count, the pages rendered so far
  // (1 .. FRenderedPages), whether a page renders early now, and the
  // failure of an early page that EndDoc raises through its failure path.
  int32_t FExpectedPageCount = 0;
  int32_t FRenderedPages = 0;
  bool FRenderingEarly = false;
  std::exception_ptr FEarlyFailure;
};

}  // namespace nx
