// The preview window class and the window calls over it, shown by the GTK
// module. Colours that name a system colour (0xFF0000nn) are resolved here.
#include "platform/gtk/GtkModule.h"
#include "platform/win32.h"

namespace {

COLORREF Resolve(COLORREF c) { return (c & 0x80000000u) ? GetSysColor(static_cast<int>(c & 0xFF)) : c; }

const NxGtkModule *PreviewModule() {
  const NxGtkModule *m = nx::ui::GtkModule();
  return m && m->preview_create ? m : nullptr;
}

}  // namespace

HWND WINAPI CreatePreviewWindowW(const PREVIEWWNDW *info) {
  const NxGtkModule *m = PreviewModule();
  if (!m || !info || info->cbSize != sizeof(PREVIEWWNDW) || !info->proc) return nullptr;
  PREVIEWWNDW resolved = *info;
  resolved.background = Resolve(info->background);
  resolved.paper = Resolve(info->paper);
  resolved.shadow = Resolve(info->shadow);
  resolved.toolbar = Resolve(info->toolbar);
  return static_cast<HWND>(m->preview_create(&resolved));
}

LRESULT WINAPI SendMessageW(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam) {
  const NxGtkModule *m = PreviewModule();
  return m && hWnd ? m->preview_send(hWnd, Msg, wParam, lParam) : 0;
}

void WINAPI RunPreviewWindow(HWND hWnd) {
  if (const NxGtkModule *m = PreviewModule(); m && hWnd) m->preview_run(hWnd);
}

BOOL WINAPI DestroyWindow(HWND hWnd) {
  const NxGtkModule *m = PreviewModule();
  return m && hWnd && m->preview_destroy(hWnd) ? TRUE : FALSE;
}
