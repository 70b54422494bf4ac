// MessageBoxW and the loader of the GTK module.
#include <dlfcn.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>

#include "platform/gtk/GtkModule.h"
#include "platform/kernel/Wide.h"
#include "platform/win32.h"

namespace nx::ui {
namespace {

bool HaveDisplay() {
  const char *x = std::getenv("DISPLAY");
  const char *w = std::getenv("WAYLAND_DISPLAY");
  return (x && *x) || (w && *w);
}

std::string ModulePath() {
  if (const char *p = std::getenv("NOXTREL_GTK_MODULE"); p && *p) return p;
  // Beside the library (or program) this code is part of, else in the build
  // folder.
  Dl_info info{};
  if (::dladdr(reinterpret_cast<void *>(&ModulePath), &info) && info.dli_fname) {
    std::string self = info.dli_fname;
    size_t slash = self.rfind('/');
    std::string candidate = (slash == std::string::npos ? std::string(".") : self.substr(0, slash)) +
                            "/libnoxtrel_gtk.so";
    if (::access(candidate.c_str(), R_OK) == 0) return candidate;
  }
  return std::string(NX_GTK_MODULE_DIR) + "/libnoxtrel_gtk.so";
}

const NxGtkModule *Load() {
  if (!HaveDisplay()) return nullptr;
  std::string path = ModulePath();
  void *lib = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!lib) {
    std::fprintf(stderr, "noxtrel: cannot load the GTK module: %s\n", ::dlerror());
    return nullptr;
  }
  auto entry = reinterpret_cast<NxGtkModuleEntry>(::dlsym(lib, NX_GTK_MODULE_ENTRY));
  const NxGtkModule *m = entry ? entry() : nullptr;
  if (!m || m->size < sizeof(NxGtkModule) || !m->init || !m->init()) {
    std::fprintf(stderr, "noxtrel: the GTK module cannot open the display\n");
    return nullptr;  // the library stays loaded: GTK cannot be unloaded safely
  }
  return m;
}

std::mutex g_sinkLock;
MESSAGEBOXSINK g_sink = nullptr;
void *g_sinkContext = nullptr;

// The button a box without a user answers with: its default button.
int DefaultAnswer(UINT type) {
  static const int kButtons[6][3] = {
      {IDOK, IDOK, IDOK},          {IDOK, IDCANCEL, IDCANCEL}, {IDABORT, IDRETRY, IDIGNORE},
      {IDYES, IDNO, IDCANCEL},     {IDYES, IDNO, IDNO},        {IDRETRY, IDCANCEL, IDCANCEL},
  };
  UINT t = type & MB_TYPEMASK;
  UINT d = (type & MB_DEFMASK) >> 8;
  if (t > 5) t = 0;
  if (d > 2) d = 0;
  return kButtons[t][d];
}

}  // namespace

const NxGtkModule *GtkModule() {
  static const NxGtkModule *m = Load();
  return m;
}

}  // namespace nx::ui

int WINAPI MessageBoxW(HWND hWnd, LPCWSTR lpText, LPCWSTR lpCaption, UINT uType) {
  std::string text = nx::wide::ToUtf8(lpText);
  std::string caption = lpCaption ? nx::wide::ToUtf8(lpCaption) : std::string("Error");
  if (const NxGtkModule *m = nx::ui::GtkModule()) {
    if (int answer = m->message_box(text.c_str(), caption.c_str(), uType)) return answer;
  }
  {
    std::lock_guard<std::mutex> g(nx::ui::g_sinkLock);
    if (nx::ui::g_sink)
      nx::ui::g_sink(lpText ? lpText : NXW(""), lpCaption ? lpCaption : NXW("Error"), uType,
                     nx::ui::g_sinkContext);
  }
  std::fprintf(stderr, "%s: %s\n", caption.c_str(), text.c_str());
  return nx::ui::DefaultAnswer(uType);
}

void WINAPI SetMessageBoxSink(MESSAGEBOXSINK sink, void *context) {
  std::lock_guard<std::mutex> g(nx::ui::g_sinkLock);
  nx::ui::g_sink = sink;
  nx::ui::g_sinkContext = context;
}
