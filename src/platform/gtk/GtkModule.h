// The interface of the GTK module (libnoxtrel_gtk.so), which the library
// loads with dlopen only when a window is to be shown. The module exports
// one C function, nx_gtk_module, that returns this table; fields are only
// ever added at the end, and `size` tells the loader which ones exist.
#pragma once

#include <cstddef>
#include <cstdint>

extern "C" {

// The print dialog's request and answer. Texts in UTF-8.
struct NxGtkPaper {
  const char *name;
  int number;  // Windows paper number
};
struct NxGtkPrinter {
  const char *name;
  const NxGtkPaper *papers;
  int paperCount;
  int defaultPaper;  // paper number of the driver's default
};
struct NxGtkPrintRequest {
  const NxGtkPrinter *printers;
  int printerCount;
  // In: the setup the dialog opens on; out: the user's choice.
  int printer;      // index in printers
  int paper;        // paper number
  int orientation;  // 1 portrait, 2 landscape
  int copies;
  int maxCopies;
  // Called once the dialog's window is on the screen, with that window.
  void (*on_show)(void *window, void *context);
  void *context;
  // Page numbers: offered when maxPage > 0; in, the preset; out, the choice
  // (pageNumbers 0 all pages, 1 fromPage..toPage).
  int minPage, maxPage;
  int pageNumbers;
  int fromPage, toPage;
};

struct NxGtkModule {
  size_t size;  // sizeof(NxGtkModule) of the module's build
  // True when GTK could open the display.
  int (*init)(void);
  // A modal message box; texts in UTF-8, type and result as MessageBoxW's.
  // Returns 0 when no dialog could be shown.
  int (*message_box)(const char *text, const char *caption, unsigned type);
  // The modal print dialog: 1 confirmed (the request holds the choice),
  // 0 cancelled, -1 not shown.
  int (*print_dialog)(NxGtkPrintRequest *request);
  // Brings a window the module shows to the front; 0 for any other window.
  int (*present)(void *window);
  // The preview window (PREVIEWWNDW and the messages of platform/win32/ui.h,
  // with UTF-16 texts): create hidden, send a message, run modally until
  // destroyed, destroy.
  void *(*preview_create)(const void *info);
  intptr_t (*preview_send)(void *window, unsigned msg, uintptr_t wParam, intptr_t lParam);
  void (*preview_run)(void *window);
  int (*preview_destroy)(void *window);
};

typedef const NxGtkModule *(*NxGtkModuleEntry)(void);
#define NX_GTK_MODULE_ENTRY "nx_gtk_module"
}

namespace nx::gtk {

// Inside the module: the print dialog and Present (GtkPrintDialog.cpp).
int PrintDialog(NxGtkPrintRequest *request);
int Present(void *window);
// The preview window (GtkPreview.cpp).
void *PreviewCreate(const void *info);
intptr_t PreviewSend(void *window, unsigned msg, uintptr_t wParam, intptr_t lParam);
void PreviewRun(void *window);
int PreviewDestroy(void *window);

}  // namespace nx::gtk

namespace nx::ui {

// The loaded module, or NULL when there is no display or it cannot be
// loaded (the reason goes to stderr once). Loaded once per process.
const NxGtkModule *GtkModule();

}  // namespace nx::ui
