// TNxPrintDialog: the standard print dialog that brings itself to the
// foreground when shown, and NxPrintDialog's steps around it.
#pragma once

#include <cstdint>

#include "platform/win32.h"

namespace nx {

// A page range the dialog offers: in, the pages there are and the range
// preset; out, whether the user chose all pages or from..to.
struct TPageRange {
  int MinPage = 1, MaxPage = 1;
  int FromPage = 1, ToPage = 1;
  bool AllPages = true;
};

class TNxPrintDialog {
 public:
  // With a range, the dialog offers page numbers within it.
  explicit TNxPrintDialog(TPageRange *range = nullptr) : range_(range) {}

  // Shows the dialog on the selected printer's setup. On confirmation the
  // chosen printer is selected with the dialog's setup and true is
  // returned; false when cancelled. Throws when no dialog can be shown.
  bool Execute();

 private:
  // The dialog's show event: bring its window to the front.
  static UINT_PTR CALLBACK ShowDialog(HWND window, UINT message, WPARAM, LPARAM);

  TPageRange *range_;
};

// NxPrintDialog: 1 confirmed (or PDF/RTF mode), 0 cancelled.
int32_t PrintDialog();

}  // namespace nx
