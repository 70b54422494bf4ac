// The GTK module: opening the display and the message box.
#include <gtk/gtk.h>

#include "platform/gtk/GtkModule.h"
#include "platform/win32/ui.h"

namespace {

int Init() { return gtk_init_check(nullptr, nullptr) ? 1 : 0; }

void AddButtons(GtkDialog *d, unsigned type) {
  struct Button {
    const char *label;
    int id;
  };
  static const Button kSets[6][3] = {
      {{"_OK", IDOK}, {nullptr, 0}, {nullptr, 0}},
      {{"_OK", IDOK}, {"_Cancel", IDCANCEL}, {nullptr, 0}},
      {{"_Abort", IDABORT}, {"_Retry", IDRETRY}, {"_Ignore", IDIGNORE}},
      {{"_Yes", IDYES}, {"_No", IDNO}, {"_Cancel", IDCANCEL}},
      {{"_Yes", IDYES}, {"_No", IDNO}, {nullptr, 0}},
      {{"_Retry", IDRETRY}, {"_Cancel", IDCANCEL}, {nullptr, 0}},
  };
  unsigned t = type & MB_TYPEMASK;
  if (t > 5) t = 0;
  unsigned def = (type & MB_DEFMASK) >> 8;
  for (unsigned i = 0; i < 3 && kSets[t][i].label; ++i) {
    gtk_dialog_add_button(d, kSets[t][i].label, kSets[t][i].id);
    if (i == def) gtk_dialog_set_default_response(d, kSets[t][i].id);
  }
}

GtkMessageType IconOf(unsigned type) {
  switch (type & MB_ICONMASK) {
    case MB_ICONHAND: return GTK_MESSAGE_ERROR;
    case MB_ICONQUESTION: return GTK_MESSAGE_QUESTION;
    case MB_ICONEXCLAMATION: return GTK_MESSAGE_WARNING;
    case MB_ICONASTERISK: return GTK_MESSAGE_INFO;
    default: return GTK_MESSAGE_OTHER;
  }
}

// Closing the window answers as Windows does: Cancel where there is one,
// OK for a box with only OK.
int ClosedAnswer(unsigned type) {
  unsigned t = type & MB_TYPEMASK;
  if (t == MB_OK) return IDOK;
  if (t == MB_YESNO) return IDNO;
  if (t == MB_ABORTRETRYIGNORE) return IDABORT;
  return IDCANCEL;
}

int MessageBox(const char *text, const char *caption, unsigned type) {
  GtkWidget *w = gtk_message_dialog_new(nullptr, GTK_DIALOG_MODAL, IconOf(type), GTK_BUTTONS_NONE,
                                        "%s", text);
  gtk_window_set_title(GTK_WINDOW(w), caption);
  gtk_window_set_keep_above(GTK_WINDOW(w), (type & (MB_TOPMOST | MB_SYSTEMMODAL)) != 0);
  gtk_window_set_position(GTK_WINDOW(w), GTK_WIN_POS_CENTER);
  AddButtons(GTK_DIALOG(w), type);
  int r = gtk_dialog_run(GTK_DIALOG(w));
  gtk_widget_destroy(w);
  while (gtk_events_pending()) gtk_main_iteration();
  return r > 0 ? r : ClosedAnswer(type);
}

}  // namespace

namespace {
const NxGtkModule kModule = {sizeof(NxGtkModule), Init,           MessageBox,           nx::gtk::PrintDialog,
                             nx::gtk::Present,     nx::gtk::PreviewCreate, nx::gtk::PreviewSend, nx::gtk::PreviewRun,
                             nx::gtk::PreviewDestroy};
}  // namespace

extern "C" __attribute__((visibility("default"))) const NxGtkModule *nx_gtk_module(void) {
  return &kModule;
}
