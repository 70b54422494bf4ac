// Device type 2: the preview window, modal on the host's thread.
#include <memory>

#include "common/ErrorChannel.h"
#include "device/NxPrinter.h"
#include "device/SysPrinter.h"
#include "preview/Preview.h"
#include "session/Library.h"
#include "session/Outputs.h"
#include "session/Session.h"

namespace nx {

// Shows the pages until the user closes the window. Without a display the
// window cannot be made: the error channel says so and NxEndDoc drops the
// document and resets the session as after any other document.
void ShowPreview() {
  TNoxtrelRec &s = Session();
  TPreviewInfo &info = s.PreviewInfo;
  const TSysPrinter &printer = SysPrinter();
  const WString caption = printer.Title() + NXW(" - [") + printer.Entry().Device + NXW("]");
  const preview::TPreviewColors colors{static_cast<COLORREF>(info.BGColor), static_cast<COLORREF>(info.PaperColor),
                                       static_cast<COLORREF>(info.ShadowColor),
                                       static_cast<COLORREF>(info.ToolBarColor)};
  std::unique_ptr<preview::TPreviewForm> window;
  try {
    window = std::make_unique<preview::TPreviewForm>(caption, printer.Entry().Device, colors);
  } catch (const ENxError &e) {
    SetLastNxError(e.code(), e.what());  // the document is dropped
    return;
  }
  preview::TPreviewForm &form = *window;
  form.SetPagesList(&PageStore().PagesList());
  form.FFactor = s.HPixelsInch > 0 ? s.HPixelsInch / 96.0 : 1.0;
  form.FCopies = s.Copies;
  form.FOrientation = s.Orientation;
  form.FWinState = info.State;
  form.FZoomLevel = info.ZoomLevel;
  form.FZoomed = info.Zoomed;
  form.SetWinPos(info.Left, info.Top);
  form.SetWinSize(info.Width, info.Height);
  form.FTopMost = info.TopMost;
  struct TShowing {
    TPreviewInfo &info;
    explicit TShowing(TPreviewInfo &i) : info(i) { info.Showing = true; }
    ~TShowing() {
      info.Showing = false;
      info.Zoomed = false;
    }
  } showing(info);
  form.ShowModal();
}

}  // namespace nx
