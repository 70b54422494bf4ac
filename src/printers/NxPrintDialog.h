// TNxPrintDialog: the standard print dialog that brings itself to the
// foreground when shown, and NxPrintDialog's steps around it.
#pragma once

#include <cstdint>

#include "platform/win32.h"

namespace nx {

class TNxPrintDialog {
 public:
  // Shows the dialog on the selected printer's setup. On confirmation the
  // chosen printer is selected with the dialog's setup and true is
  // returned; false when cancelled. Throws when no dialog can be shown.
  bool Execute();

 private:
  // The dialog's show event: bring its window to the front.
  static UINT_PTR CALLBACK ShowDialog(HWND window, UINT message, WPARAM, LPARAM);
};

// NxPrintDialog: 1 confirmed (or PDF/RTF mode), 0 cancelled.
int32_t PrintDialog();

}  // namespace nx
