// The PDF writer: renders the items of every page into a PDF file. The
// writer's own operations override the framework's hooks. Each page's
// content is built in memory and written in one piece at the end of the
// page; fonts, patterns, the shared resource dictionary, the document
// information and the cross-reference table follow at the end of the
// document. The file is written beside its target and renamed over it when
// complete.
#pragma once

#include <map>
#include <memory>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "export/gtCstPDFEngDoc.h"
#include "export/gtCstPDFEngFormat.h"
#include "export/gtCstPDFEngWriter.h"
#include "export/gtCstPlnEng.h"
#include "export/gtDocUsp10.h"
#include "export/gtMapFont.h"
#include "export/gtPDFCrypt3.h"
#include "export/gtPDFFont3.h"

namespace nx {

// The background colour that paints no background.
constexpr COLORREF clNone = 0x1FFFFFFF;

struct TgtPDFPreferences : TgtPlainSheetPreferences {
  TgtTTFontEmbedding FEmbedTrueTypeFonts = etfNone;
  bool FApplyEmfCharSpacing = true;
};

enum TgtPathStatus : uint8_t { psPathBegins = 0, psPathEnds = 1, psNoPath = 2 };

struct TgtPageInfo {
  int32_t FObjNo = 0;
  double FWidth = 0;   // points
  double FHeight = 0;  // points
};

class TgtCustomPDFEngine : public TgtCustomPlainSheetEngine {
 public:
  // Extension "pdf", description "Adobe PDF Files"; capabilities text,
  // image, shape, image stretch, image frame, input resolution, reusable
  // images.
  TgtCustomPDFEngine();
  ~TgtCustomPDFEngine() override;

  void EndDoc() override;  // 18
  std::unique_ptr<TgtPreferences> PreferencesClass() const override;  // 108
  TgtPDFPreferences &Preferences() { return static_cast<TgtPDFPreferences &>(TgtCustomDocumentEngine::Preferences()); }

  TgtCompression &Compression() { return FCompression; }
  TgtPDFVersion PDFVersion() const { return FVersion; }
  void SetPDFVersion(TgtPDFVersion v) { FVersion = v; }
  TgtPDFFontEncoding FontEncoding() const { return FFontEncoding; }
  void SetFontEncoding(TgtPDFFontEncoding v) { FFontEncoding = v; }
  TgtPDFEncryptionSettings &Encryption() { return FEncryption; }
  TgtViewerPreferences &ViewerPreferences() { return FViewerPreferences; }
  std::vector<WString> &FontEmbedExcludeList() { return FFontEmbedExcludeList; }
  // Sends every line of text through the string analyser and the run
  // merger, also the simple lines drawn without them (to compare the two).
  void SetAnalyseEveryLine(bool on) { FAnalyseEveryLine = on; }

  // The text forms of the writer (used by the fonts and the security handler).
  int32_t NextObjectNumber() { return FWriter->NextObjectNumber(); }

 protected:
  void StartDocument() override;  // 75
  void EndDocument() override;    // 76
  void StartPage() override;      // 73
  void EndPage() override;        // 74
  void RenderTextItem(TgtTextItem &Item) override;            // 77
  void RenderImageItem(TgtImageItem &Item) override;          // 80
  void RenderImageStream(TgtImageStream &Item) override;      // 81
  void RenderClipItem(TgtClipItem &Item) override;            // 84
  void RenderPathItem(TgtPathItem &Item) override;            // 85
  void RenderPolyPolygonItem(TgtPolyPolygonItem &Item) override;  // 86
  void RenderEOFItem(TgtEOFItem &Item) override;              // 87
  void RenderPolyDrawItem(TgtPolyDrawItem &Item) override;    // 88
  void RenderLine(const TgtPen &Pen, double X1, double Y1, double X2, double Y2) override;  // 89
  void RenderRectangle(const TgtPen &Pen, const TgtBrush *Brush, double X1, double Y1, double X2,
                       double Y2) override;  // 90
  void RenderRoundRect(const TgtPen &Pen, const TgtBrush *Brush, double X1, double Y1, double X2, double Y2,
                       double X3, double Y3) override;  // 91
  void RenderEllipse(const TgtPen &Pen, const TgtBrush *Brush, double X1, double Y1, double X2,
                     double Y2) override;  // 92
  void RenderPolygon(const TgtPoints &Points, int32_t NoPoints, const TgtBrush *Brush, const TgtPen &Pen,
                     bool IsClosed) override;                                 // 93
  void RenderPolyShapeItem(TgtPolyShapeItem &Item, bool IsPolygon) override;  // 94
  void RenderArc(const TgtPen &Pen, double X1, double Y1, double X2, double Y2, double X3, double Y3, double X4,
                 double Y4) override;  // 95
  void RenderPie(const TgtPen &Pen, const TgtBrush *Brush, double X1, double Y1, double X2, double Y2, double X3,
                 double Y3, double X4, double Y4) override;  // 96
  void RenderChord(const TgtPen &Pen, const TgtBrush *Brush, double X1, double Y1, double X2, double Y2, double X3,
                   double Y3, double X4, double Y4) override;  // 97
  void RenderPolyBezier(const TgtPoints &Points, int32_t NoPoints, const TgtPen &Pen) override;  // 98
  bool IsImageFormatSupported(TgtOutputImageFormat Format, std::string &Message) override;   // 106

  // Catalog, page dictionary and trailer bodies (113, 114, 116).
  virtual std::string CatalogEntries();
  // A literal string of the catalog: as it stands, or encrypted with the
  // catalog's key (in hexadecimal) when the document is encrypted.
  std::string CatalogString(const std::string &Text);
  virtual std::string PageEntries(int32_t PageObjNo);
  virtual std::string TrailerEntries();
  virtual void WriteEncryptDictionary();  // 115
  // Encrypts the first Size bytes for the object (no effect without encryption).
  virtual void EncryptStreamData(std::string &Stream, size_t Size, int32_t GenNo, int32_t ObjNo);  // 117
  // The text as a hex string body for the object: encrypted when encryption
  // is on, else the plain bytes.
  virtual std::string EncryptText(const std::string &Text, int32_t ObjNo, int32_t GenNo);  // 118

  // The font table's resource for a run: the first font equal to wanted
  // with this encoding (composite when isCID) and orientation, or a new
  // one appended to the table. index is its resource number ("/F" index).
  TgtPDFFont &FontResource(const TPdfFontSpec &wanted, bool isCID, bool isIdentityH, int32_t &index);
  // The content stream of the page being rendered.
  std::string &ContentStream() { return FContentStream; }

 private:
  // ---- document ---------------------------------------------------------
  void WriteStreamObject(int32_t objNo, const std::string &dict, std::string data, bool compress);
  void WriteMetadataAndProfile(int32_t &metadataObj, int32_t &profileObj);
  int32_t WriteIccProfile();
  void WritePageTree();
  void WriteResourceDictionary();
  void WritePatterns();
  void WriteFonts();
  void WriteSimpleFont(TgtPDFFont &font, int32_t index);
  void WriteCompositeFont(TgtPDFFont &font, int32_t index);
  void WriteToUnicode(const TgtPDFFont &font, int32_t objNo);
  void WriteInfo();
  void ReleaseDocument() noexcept;

  // ---- coordinates and colours (the page content) -----------------------
  double XRes() const;  // InputXRes / S
  double YRes() const;
  double X(double x) const;
  double Y(double y) const;
  double LenX(double l) const;
  double LenY(double l) const;
  double PageHeight() const;
  std::string Pt(double x, double y) const;  // "X Y"
  void AppendPt(std::string &out, double x, double y) const;
  std::string FillColor(COLORREF c) const;
  void AppendFillColor(std::string &out, COLORREF c) const;
  std::string StrokeColor(COLORREF c) const;
  std::string StrokeSettings(const TgtPen &pen) const;
  void AppendStrokeSettings(std::string &out, const TgtPen &pen) const;
  // "" when the brush does not fill; the solid colour or the hatch set-up.
  std::string FillSettings(const TgtBrush *brush);
  static bool IsHatch(const TgtBrush *brush);
  std::string PatternName(TgtBrushStyle style);
  std::string GraphicsState(int32_t opacity);
  // A shape's block: "q" ... "Q" around it unless a clip holds one open.
  void WriteBlock(const std::string &drawing, bool isLine, bool polygonFamily);
  void BeginBlock(bool isLine);
  void EndBlock(bool polygonFamily);
  bool InPathBracket() const { return FPathStatus == psPathBegins; }
  void AppendPath(const std::string &path);
  std::string EllipsePath(double x1, double y1, double x2, double y2) const;
  std::string ArcPath(double x1, double y1, double x2, double y2, double x3, double y3, double x4, double y4) const;
  void PaintClosedShape(const std::string &path, const TgtPen &pen, const TgtBrush *brush, bool fillSeparator);
  std::string PolygonPath(const TgtPoints &pts, int32_t n, bool closed, bool continueFigure) const;
  std::string PathColourPrefix(const TgtPathItem &item);
  std::string RectSubpath(double l, double t, double r, double b) const;
  std::string ClipSubpaths(const TgtClipItem &item, bool allRects) const;
  std::string SheetSubpath() const;
  void CloseInsertedClip();
  // Sets the clip state to the subpaths combined by a region mode with the
  // clip in force; clipOperator is " W*" (even-odd) or " W".
  void ApplyClip(int32_t mode, const std::string &subpaths, const char *clipOperator);
  double ShapeOpacityPrefix(std::string &out);

  // ---- text -------------------------------------------------------------
  struct TTextLine;
  struct TGlyphCluster {
    size_t First, End;          // glyphs [First, End)
    size_t CharFirst, CharEnd;  // its characters: chars[CharFirst, CharEnd) of GlyphClusters
  };
  TgtTTFontEmbedding EmbeddingOf(const WString &family);
  // The width all codes 32 to 255 of the font share, or NaN when they
  // differ; kept for the last font asked about.
  double UniformWidth(const TgtPDFFont &font);
  // advances: the metafile's advance of each character of ansi, or null.
  void AppendShowOperator(std::string &out, const TgtPDFFont &font, std::string_view ansi, double size,
                          const double *advances);
  // chars receives the run's characters ordered by cluster.
  static void GlyphClusters(const TgtRunStore &run, std::vector<TGlyphCluster> &out, std::vector<size_t> &chars);
  // Appends the show operator of a shaped run to out.
  void CompositeShow(std::string &out, const TTextLine &line, const TgtRunStore &run, const TgtPDFFont &font,
                     double &advance);
  void RenderTextRun(TTextLine &line, const TgtRunStore &run);
  void RenderAnalysedLine(TTextLine &line, const WString &text, const TgtFont &font);
  // The item's font as the font map prepares it, and its cell; each kept
  // for the items in the same font that follow.
  const TgtFont &PreparedFont(const TgtFont &font);
  const TgtFontCell &FontCell(const TgtFont &font);

  // ---- images -----------------------------------------------------------
  std::string ImageObject(int32_t objNo, const std::string &name, int32_t w, int32_t h, const char *filter,
                          const char *colourSpace, std::string data);
  void PlaceImage(const TgtImageItem &item, const std::string &name);
  void AddPageImage(int32_t objNo, const std::string &object);

  // ---- settings ---------------------------------------------------------
  TgtCompression FCompression;
  TgtPDFVersion FVersion = PDF_VER14;
  TgtPDFFontEncoding FFontEncoding = feWinAnsiEncoding;
  TgtPDFEncryptionSettings FEncryption;
  TgtViewerPreferences FViewerPreferences;
  std::vector<WString> FFontEmbedExcludeList;

  // ---- per document -----------------------------------------------------
  std::unique_ptr<TOutputFile> FFile;
  std::unique_ptr<pdf::TPdfObjectWriter> FWriter;
  int32_t FEncryptObjNo = 0;
  std::unique_ptr<TgtPDFEncryption> FCrypt;
  pdf::TPdfMoment FMoment;
  std::string FCreationTime;
  std::vector<TgtPageInfo> FPageList;
  int32_t FPageIndex = -1;
  int32_t FContentsObjNo = 0, FLengthObjNo = 0;
  std::string FContentStream;
  std::string FPageData;  // the page's content as written (compressed), kept for its buffer
  std::string FImageStream;
  std::vector<std::pair<int32_t, size_t>> FImageXRefList;
  struct TImageVariant {
    TgtImageSettings Settings;
    int32_t ObjNo;
    std::string Name;
  };
  std::map<int32_t, std::vector<TImageVariant>> FImageSettings;
  int32_t FImageStreamCount = 0;
  std::vector<std::unique_ptr<TgtPDFFont>> FFontTable;
  TgtFontDataCache FFontDataCache;  // kept across documents
  struct TgtPDGState {
    int32_t FObjNo;
    std::string FTag;
  };
  std::vector<TgtPDGState> FPDGStateList;
  std::vector<std::pair<std::string, int32_t>> FPattern;
  bool FIsClipState = false, FIsInsertClipState = false;
  TgtPathStatus FPathStatus = psNoPath;
  bool FIsPathClosed = false, FFirstPoint = true;
  std::string FPath;
  double FRunTextX = 0, FRunTextY = 0;
  std::string FAnsi, FShow;  // working text of a run, kept for their buffers
  std::vector<double> FRunAdvances;  // the metafile's advances of a simple run
  const TgtPDFFont *FUniformFont = nullptr;  // of the document being written
  double FUniformWidth = 0;
  std::vector<TGlyphCluster> FClusters;
  std::vector<size_t> FClusterChars;
  std::string FShapePath;      // working path text of a shape
  // Kept from text item to text item for their buffers: the last prepared
  // font (and the name it was prepared from), the last font cell, the run of
  // a simple line, the font wanted for a run, the text of an adjustment.
  bool FAnalyseEveryLine = false;
  bool FPreparedKnown = false, FCellKnown = false;
  WString FPreparedFrom, FPreparedName;
  TgtFont FPrepared, FCellFont;
  TgtFontCell FCell;
  TgtRunStore FSimpleRun;
  TPdfFontSpec FWanted;
  std::string FAdjustText;
  double FSizeValue = 0;       // the last text size and its "Tf" text
  std::string FSizeText;
  TgtMapFont FMapFont;  // kept across documents
  double FPixelToPointMultiplier = 0.75;
};

}  // namespace nx
