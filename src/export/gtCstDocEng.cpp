// The engine's life cycle: construction, BeginDoc, NewPage, the page canvas,
// PlayMetafile, ProcessMetafile, EndDoc and its reset, output files.
#include "export/gtCstDocEng.h"

#include <cmath>
#include <cstdio>
#include <utility>

#include "common/Files.h"
#include "export/gtMetafileProcessor.h"
#include "export/gtMetafileProcessorSpace.h"

namespace nx {

const char *const kFileCreateErrorMessage =
    "File could not be created!\r\n\r\nPossible cause: It could be in use by some other application";

TgtCustomDocumentEngine::TgtCustomDocumentEngine()
    : FImageSettings(this), FPage(this) {
  gtReadScreenResolution();
  FImageSettings.FSourceDPI = gtScreenResolution;
  FPreferences = PreferencesClass();
  FPage.SetPaperSize(A4);
  FPage.SetOrientation(poPortrait);
  SetMeasurementUnit(muInches);
  FPreferences->FShowSetupDialog = true;
  FInputXRes = FInputYRes = gtScreenResolution;
  HDC screen = GetDC(nullptr);
  if (screen) {
    FInputXRes = GetDeviceCaps(screen, LOGPIXELSX);
    FInputYRes = GetDeviceCaps(screen, LOGPIXELSY);
    ReleaseDC(nullptr, screen);
  }
}

TgtCustomDocumentEngine::~TgtCustomDocumentEngine() {
  if (FCanvas) DeleteEnhMetaFile(CloseEnhMetaFile(FCanvas));
  FreeCanvasMetafile();
}

std::unique_ptr<TgtPreferences> TgtCustomDocumentEngine::PreferencesClass() const {
  return std::make_unique<TgtPreferences>();
}

void TgtCustomDocumentEngine::SetFileType(const WString &Extension, const WString &Description) {
  FFileExtension = Extension;
  FDescription = Description;
}

void TgtCustomDocumentEngine::SetMeasurementUnit(TgtUnitType Value) {
  PlayPendingPage();  // placed in the unit it was given in
  FMeasurementUnit = Value;
  FNativeConversionFactor = gtUnitFactor(Value);
  FPage.SetNativeFactor(FNativeConversionFactor);
}

namespace {

WString Upper(WString s) {
  for (auto &c : s)
    if (c >= u'a' && c <= u'z') c = WCHAR(c - u'a' + u'A');
  return s;
}

// The extension of a name, dot included ("" when it has none).
WString ExtensionOf(const WString &name) {
  size_t dot = name.find_last_of(u'.');
  size_t sep = name.find_last_of(u"\\/");
  if (dot == WString::npos || (sep != WString::npos && dot < sep)) return {};
  return name.substr(dot);
}

}  // namespace

void TgtCustomDocumentEngine::SetFileName(const WString &Value) {
  if (FIsDocumentStarted) return;
  WString ext = ExtensionOf(Value);
  if (!ext.empty() && Upper(ext) == u"." + Upper(FFileExtension))
    FFileName = Value.substr(0, Value.size() - ext.size());
  else
    FFileName = Value;
}

void TgtCustomDocumentEngine::SetReferencePoint(TgtReferencePoint Value) {
  FReferencePoint = Value;
  if (CurrentPageItem()) RecomputeBandRect();
}

bool TgtCustomDocumentEngine::Started() { return FIsDocumentStarted; }

TgtPageItem *TgtCustomDocumentEngine::CurrentPageItem() const {
  if (FCurrentPage < 1 || size_t(FCurrentPage) > FPages.size()) return nullptr;
  return FPages[size_t(FCurrentPage) - 1].get();
}

// ---- BeginDoc / NewPage ------------------------------------------------------

void TgtCustomDocumentEngine::BeginDoc() {
  FNoSorting = false;
  if (FIsDocumentStarted) return;
  if (FOnBeforeBeginDoc) FOnBeforeBeginDoc(*this);
  if (FPreferences->FShowSetupDialog && RunSetupDialog() == 2) {
    FEngineStatus = esCancelled;
    return;
  }
  StartDocumentState();
  NewPage();
  StartDocument();
  FEngineStatus = esStarted;
  FTablenumber = -1;
  if (FOnAfterBeginDoc) FOnAfterBeginDoc(*this);
}

void TgtCustomDocumentEngine::StartDocumentState() {
  FIsDocumentStarted = true;
  FPages.clear();
  FreeCanvasMetafile();
  FHeaderItem = std::make_unique<TgtBandItem>();
  FFooterItem = std::make_unique<TgtBandItem>();
  FWatermarkItem = std::make_unique<TgtBandItem>();
  FStampItem = std::make_unique<TgtBandItem>();
  FImageResourceList.clear();
  FImageResourceHashList.clear();
  FEngineStateList.clear();
  FDefaultState = SaveEngineState();
  FEngineFileNames.clear();
  FCurrentPage = 0;
  FPageCount = 0;
  FExpectedPageCount = FRenderedPages = 0;
  FRenderingEarly = false;
  FEarlyFailure = nullptr;
}

void TgtCustomDocumentEngine::SetExpectedPageCount(int32_t Count) {
  if (FIsDocumentStarted) FExpectedPageCount = std::max(Count, 0);
}

void TgtCustomDocumentEngine::NewPage() {
  if (!FIsDocumentStarted) return;
  if (FAbortCreation) {
    FPreferences->FOpenAfterCreate = false;
    EndDoc();
    FAbortCreation = false;
    return;
  }
  // Pages of a document mostly hold as many items as the one before: the
  // new page's lists start with that room.
  size_t items = 0, texts = 0;
  if (FCurrentPage > 0) {
    TgtPageItem *last = CurrentPageItem();
    if (last) last->FOffsetY = FCurrentOffsetY;
    if (!FPreferences->FProcessAfterEachPage) ProcessCanvas();
    if (last) items = last->FDocumentItems.size(), texts = last->FTextItems.size();
    if (FPreferences->FProcessAfterEachPage) RenderPage();
    else if (RendersEarly()) RenderPageEarly();
  }
  ++FPageCount;
  FCurrentPage = FPageCount;
  auto page = std::make_unique<TgtPageItem>(this);
  page->FSettings = FPage;
  // A rendered page's emptied lists keep their room: the new page takes it.
  if (!FPages.empty() && FPages.back()->FDocumentItems.empty() && FPages.back()->FTextItems.empty()) {
    page->FDocumentItems.swap(FPages.back()->FDocumentItems);
    page->FTextItems.swap(FPages.back()->FTextItems);
  }
  page->FDocumentItems.reserve(items);
  page->FTextItems.reserve(texts);
  FCurrentDocumentItemList = &page->FDocumentItems;
  FCurrentTextItemList = &page->FTextItems;
  FCurrentOffsetY = page->FOffsetY;
  FMetafileWidth = int32_t(std::lround(page->FSettings.Width()));
  FMetafileHeight = int32_t(std::lround(page->FSettings.Height()));
  FPages.push_back(std::move(page));
  OpenCanvas();
  FBandType = btContent;
  RecomputeBandRect();
}

// ---- the page canvas ---------------------------------------------------------

void TgtCustomDocumentEngine::OpenCanvas() {
  if (FCanvas) DeleteEnhMetaFile(CloseEnhMetaFile(FCanvas));
  FreeCanvasMetafile();
  HDC screen = GetDC(nullptr);
  // The frame in 0.01 mm of the page's size in engine pixels.
  RECT frame{0, 0, MulDiv(FMetafileWidth, 2540, gtScreenResolution),
             MulDiv(FMetafileHeight, 2540, gtScreenResolution)};
  FCanvas = CreateEnhMetaFileW(screen, nullptr, FMetafileWidth > 0 && FMetafileHeight > 0 ? &frame : nullptr,
                               nullptr);
  if (screen) ReleaseDC(nullptr, screen);
  if (!FCanvas) throw ENxError(nxeGeneral, "The page canvas of the export could not be made");
  FPendingPage = nullptr;
  FCanvasFresh = true;
}

void TgtCustomDocumentEngine::CloseCanvas() {
  if (!FCanvas) return;
  PlayPendingPage();
  FreeCanvasMetafile();
  FMetafile = CloseEnhMetaFile(FCanvas);
  FCanvas = nullptr;
}

void TgtCustomDocumentEngine::FreeCanvasMetafile() {
  if (FMetafile) DeleteEnhMetaFile(FMetafile);
  FMetafile = nullptr;
}

// Closes the page canvas and interprets it into the current page's items.
// A canvas closed before (a failed interpretation) is not interpreted again.
// A page PlayPageAt kept is read in place where it can be.
void TgtCustomDocumentEngine::ProcessCanvas() {
  if (!FCanvas) return;
  if (FPendingPage && ProcessPendingPage()) return;
  CloseCanvas();
  if (FMetafile) ProcessMetafile(FMetafile, 0, 0);
}

// ---- PlayMetafile / ProcessMetafile -----------------------------------------

void TgtCustomDocumentEngine::PlayMetafile(HENHMETAFILE Metafile) { PlayMetafile(0.0, 0.0, Metafile); }

void TgtCustomDocumentEngine::PlayMetafile(const TgtRect &DestRect, HENHMETAFILE Metafile) {
  if (!FIsDocumentStarted) return;
  FNoSorting = false;
  const RECT r = EnginePixels(DestRect);
  FMetafileWidth = int32_t(r.right - r.left);
  FMetafileHeight = int32_t(r.bottom - r.top);
  if (!FCanvas || !Metafile) return;
  PlayPendingPage();
  FCanvasFresh = false;
  RECT target{0, 0, r.right - r.left, r.bottom - r.top};
  PlayEnhMetaFile(FCanvas, Metafile, &target);
}

void TgtCustomDocumentEngine::PlayMetafileAt(const TgtRect &DestRect, HENHMETAFILE Metafile) {
  if (!FIsDocumentStarted) return;
  FNoSorting = false;
  if (!FCanvas || !Metafile) return;
  PlayPendingPage();
  FCanvasFresh = false;
  // GDI maps the frame onto whole pixels of the target; each side rounded on
  // its own would scale the two axes apart, and text would stray from its
  // font's widths by a little on every character. The frame is played onto
  // itself (0.01 mm) and the canvas's world transform takes it onto the
  // rectangle as given.
  ENHMETAHEADER h{};
  const bool header = GetEnhMetaFileHeader(Metafile, sizeof h, &h) != 0;
  const RECT frame = h.rclFrame;
  const double fw = double(frame.right) - frame.left, fh = double(frame.bottom) - frame.top;
  const double f = FNativeConversionFactor;
  const double sx = (DestRect.Right - DestRect.Left) * f / fw, sy = (DestRect.Bottom - DestRect.Top) * f / fh;
  if (!header || !(fw > 0 && fh > 0 && std::isfinite(sx) && std::isfinite(sy))) {
    const RECT target = EnginePixels(DestRect);
    PlayEnhMetaFile(FCanvas, Metafile, &target);
    return;
  }
  const XFORM toRect{FLOAT(sx), 0, 0, FLOAT(sy), FLOAT(DestRect.Left * f - frame.left * sx),
                     FLOAT(DestRect.Top * f - frame.top * sy)};
  const int saved = SaveDC(FCanvas);
  SetGraphicsMode(FCanvas, GM_ADVANCED);
  SetWorldTransform(FCanvas, &toRect);
  PlayEnhMetaFile(FCanvas, Metafile, &frame);
  RestoreDC(FCanvas, saved);
}

// A rectangle in the measurement unit as whole engine pixels.
RECT TgtCustomDocumentEngine::EnginePixels(const TgtRect &r) const {
  const double f = FNativeConversionFactor;
  return RECT{ClampLong(r.Left * f), ClampLong(r.Top * f), ClampLong(r.Right * f), ClampLong(r.Bottom * f)};
}

void TgtCustomDocumentEngine::PlayMetafile(double X, double Y, HENHMETAFILE Metafile) {
  if (!FIsDocumentStarted) return;
  FNoSorting = false;
  const double f = FNativeConversionFactor;
  if (f == 1.0)
    ProcessMetafile(Metafile, X * gtScreenResolution / FInputXRes, Y * gtScreenResolution / FInputYRes);
  else
    ProcessMetafile(Metafile, X * f, Y * f);
}

void TgtCustomDocumentEngine::ProcessMetafile(HENHMETAFILE Metafile, double StartX, double StartY) {
  if (!Metafile) return;
  TgtMetafileProcessor processor(*this);
  processor.SetCombineCharsToSentence(true);
  HENHMETAFILE played = nullptr;
  if (!HasCapability(ckInputRes) && (FInputXRes != gtScreenResolution || FInputYRes != gtScreenResolution)) {
    const double f = FNativeConversionFactor;
    double w = f == 1.0 ? FPage.Width() * gtScreenResolution / FInputXRes : FPage.Width() * f;
    double h = f == 1.0 ? FPage.Height() * gtScreenResolution / FInputYRes : FPage.Height() * f;
    RECT target{0, 0, LONG(std::lround(w)), LONG(std::lround(h))};
    HDC screen = GetDC(nullptr);
    HDC dc = CreateEnhMetaFileW(screen, nullptr, nullptr, nullptr);
    if (screen) ReleaseDC(nullptr, screen);
    if (dc) {
      PlayEnhMetaFile(dc, Metafile, &target);
      played = CloseEnhMetaFile(dc);
    }
  }
  try {
    processor.Execute(played ? played : Metafile, StartX + FBandRect.Left, StartY + FBandRect.Top);
  } catch (...) {
    if (played) DeleteEnhMetaFile(played);
    throw;
  }
  if (played) DeleteEnhMetaFile(played);
}

// ---- EndDoc and the reset ----------------------------------------------------

void TgtCustomDocumentEngine::EndDoc() {
  if (!FIsDocumentStarted || FPages.size() < size_t(std::max(FCurrentPage, 0))) return;
  try {
    if (FEarlyFailure) std::rethrow_exception(std::exchange(FEarlyFailure, nullptr));
    if (!FPreferences->FProcessAfterEachPage) ProcessCanvas();
    if (FPreferences->FProcessAfterEachPage) {
      RenderPage();
    } else {
      for (int32_t p = FRenderedPages + 1; p <= FPageCount; ++p) {
        FCurrentPage = p;
        RenderPage();
      }
    }
    if (FOnBeforeEndDoc) FOnBeforeEndDoc(*this);
    FPages.clear();
    FCurrentDocumentItemList = FCurrentTextItemList = nullptr;
    EndDocument();
  } catch (...) {
    // The engine is left with no document started whatever failed, so the
    // next document can begin.
    if (FIsDocumentStarted) {
      FEngineStatus = esError;
      ResetDocument();
    }
    throw;
  }
  if (FOnAfterEndDoc) FOnAfterEndDoc(*this);
  if (FPreferences->FOpenAfterCreate && !FEngineFileNames.empty())
    ShellExecuteW(nullptr, u"Open", FEngineFileNames.front().c_str(), nullptr, nullptr, SW_SHOWNORMAL);
  ResetDocument();
  FEngineStatus = esFinished;
}

void TgtCustomDocumentEngine::ResetDocument() {
  if (FDefaultState >= 0 && size_t(FDefaultState) < FEngineStateList.size()) RestoreEngineState(FDefaultState);
  FHeaderItem.reset();
  FFooterItem.reset();
  FWatermarkItem.reset();
  FStampItem.reset();
  if (FCanvas) DeleteEnhMetaFile(CloseEnhMetaFile(FCanvas));
  FCanvas = nullptr;
  FPendingPage = nullptr;
  FreeCanvasMetafile();
  FImageResourceList.clear();
  FImageResourceHashList.clear();
  if (FAbortCreation) DeleteProducedFiles();
  FEngineFileNames.clear();
  FEngineStateList.clear();
  FDefaultState = -1;
  FPages.clear();
  FCurrentDocumentItemList = FCurrentTextItemList = nullptr;
  FCurrentPage = 0;
  FPageCount = 0;
  FTextRotationAngle = 0;
  FTextAlignment = haLeft;
  FExpectedPageCount = FRenderedPages = 0;
  FRenderingEarly = false;
  FEarlyFailure = nullptr;
  FIsDocumentStarted = false;
}

void TgtCustomDocumentEngine::EndDocument() {
  FImageResourceList.clear();
  FImageResourceHashList.clear();
}

void TgtCustomDocumentEngine::DeleteProducedFiles() {
  for (const WString &name : FEngineFileNames) std::remove(NativePath(name).c_str());
}

// ---- output files ------------------------------------------------------------

std::unique_ptr<TOutputFile> TgtCustomDocumentEngine::CreateOutputFile(const WString &Name) {
  try {
    return std::make_unique<TOutputFile>(Name);
  } catch (const ENxError &) {
  }
  FEngineStatus = esError;
  DeleteProducedFiles();
  ResetDocument();
  throw EFileCreateError(kFileCreateErrorMessage);
}

void TgtCustomDocumentEngine::CommitOutputFile(TOutputFile &File) {
  try {
    File.Commit();
    FEngineFileNames.push_back(File.Target());
    return;
  } catch (const ENxError &) {
  }
  FEngineStatus = esError;
  DeleteProducedFiles();
  ResetDocument();
  throw EFileCreateError(kFileCreateErrorMessage);
}

}  // namespace nx
