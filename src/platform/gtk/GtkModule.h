// The interface of the GTK module (libnoxtrel_gtk.so), which the library
// loads with dlopen only when a window is to be shown. The module exports
// one C function, nx_gtk_module, that returns this table; fields are only
// ever added at the end, and `size` tells the loader which ones exist.
#pragma once

#include <cstddef>

extern "C" {

struct NxGtkModule {
  size_t size;  // sizeof(NxGtkModule) of the module's build
  // True when GTK could open the display.
  int (*init)(void);
  // A modal message box; texts in UTF-8, type and result as MessageBoxW's.
  // Returns 0 when no dialog could be shown.
  int (*message_box)(const char *text, const char *caption, unsigned type);
};

typedef const NxGtkModule *(*NxGtkModuleEntry)(void);
#define NX_GTK_MODULE_ENTRY "nx_gtk_module"
}

namespace nx::ui {

// The loaded module, or NULL when there is no display or it cannot be
// loaded (the reason goes to stderr once). Loaded once per process.
const NxGtkModule *GtkModule();

}  // namespace nx::ui
