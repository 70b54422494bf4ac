// The GTK module: the print dialog (printer, paper, orientation, copies) and
// bringing a window to the front.
#include <gtk/gtk.h>

#include <vector>

#include "platform/gtk/GtkModule.h"

namespace {

// The dialog on the screen, the one window Present accepts.
GtkWidget *g_shown = nullptr;

struct DialogState {
  NxGtkPrintRequest *request;
  GtkComboBoxText *printer;
  GtkComboBoxText *paper;
  std::vector<int> paperNumbers;  // of the papers in the paper box
  bool shown = false;
};

// Fills the paper box with the printer's papers, keeping the paper number
// when the printer has it, else the driver's default.
void FillPapers(DialogState *st, int printer, int keepNumber) {
  gtk_combo_box_text_remove_all(st->paper);
  st->paperNumbers.clear();
  if (printer < 0 || printer >= st->request->printerCount) return;
  const NxGtkPrinter &p = st->request->printers[printer];
  int active = -1, fallback = 0;
  for (int i = 0; i < p.paperCount; ++i) {
    gtk_combo_box_text_append_text(st->paper, p.papers[i].name);
    st->paperNumbers.push_back(p.papers[i].number);
    if (p.papers[i].number == keepNumber && active < 0) active = i;
    if (p.papers[i].number == p.defaultPaper) fallback = i;
  }
  if (p.paperCount > 0) gtk_combo_box_set_active(GTK_COMBO_BOX(st->paper), active >= 0 ? active : fallback);
}

int ActivePaperNumber(DialogState *st) {
  int i = gtk_combo_box_get_active(GTK_COMBO_BOX(st->paper));
  return i >= 0 && i < static_cast<int>(st->paperNumbers.size()) ? st->paperNumbers[i] : 0;
}

void OnPrinterChanged(GtkComboBox *box, gpointer data) {
  auto *st = static_cast<DialogState *>(data);
  FillPapers(st, gtk_combo_box_get_active(box), ActivePaperNumber(st));
}

gboolean OnMapped(GtkWidget *w, GdkEvent *, gpointer data) {
  auto *st = static_cast<DialogState *>(data);
  if (!st->shown && st->request->on_show) st->request->on_show(w, st->request->context);
  st->shown = true;
  return FALSE;
}

// The page-number row: all pages, or from..to within the request's range.
struct PageRow {
  GtkWidget *numbers = nullptr, *from = nullptr, *to = nullptr;
};

GtkWidget *PageSpin(const NxGtkPrintRequest *req, int value) {
  GtkWidget *spin = gtk_spin_button_new_with_range(req->minPage, req->maxPage, 1);
  gtk_spin_button_set_value(GTK_SPIN_BUTTON(spin), value);
  gtk_entry_set_activates_default(GTK_ENTRY(spin), TRUE);
  return spin;
}

// Typing a number selects page numbers.
void OnPageSpinChanged(GtkSpinButton *, gpointer numbers) {
  gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(numbers), TRUE);
}

PageRow AddPageRow(GtkGrid *grid, int row, const NxGtkPrintRequest *req) {
  PageRow r;
  GtkWidget *all = gtk_radio_button_new_with_mnemonic(nullptr, "_All pages");
  r.numbers = gtk_radio_button_new_with_mnemonic_from_widget(GTK_RADIO_BUTTON(all), "Pa_ges");
  r.from = PageSpin(req, req->fromPage);
  r.to = PageSpin(req, req->toPage);
  GtkWidget *box = gtk_box_new(GTK_ORIENTATION_HORIZONTAL, 6);
  gtk_box_pack_start(GTK_BOX(box), all, FALSE, FALSE, 0);
  gtk_box_pack_start(GTK_BOX(box), r.numbers, FALSE, FALSE, 6);
  gtk_box_pack_start(GTK_BOX(box), r.from, FALSE, FALSE, 0);
  gtk_box_pack_start(GTK_BOX(box), gtk_label_new("to"), FALSE, FALSE, 0);
  gtk_box_pack_start(GTK_BOX(box), r.to, FALSE, FALSE, 0);
  gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(req->pageNumbers ? r.numbers : all), TRUE);
  g_signal_connect(r.from, "value-changed", G_CALLBACK(OnPageSpinChanged), r.numbers);
  g_signal_connect(r.to, "value-changed", G_CALLBACK(OnPageSpinChanged), r.numbers);
  gtk_grid_attach(grid, gtk_label_new("Print:"), 0, row, 1, 1);
  gtk_grid_attach(grid, box, 1, row, 1, 1);
  return r;
}

void ReadPageRow(const PageRow &r, NxGtkPrintRequest *req) {
  gtk_spin_button_update(GTK_SPIN_BUTTON(r.from));
  gtk_spin_button_update(GTK_SPIN_BUTTON(r.to));
  req->pageNumbers = gtk_toggle_button_get_active(GTK_TOGGLE_BUTTON(r.numbers)) ? 1 : 0;
  req->fromPage = gtk_spin_button_get_value_as_int(GTK_SPIN_BUTTON(r.from));
  req->toPage = gtk_spin_button_get_value_as_int(GTK_SPIN_BUTTON(r.to));
  if (req->toPage < req->fromPage) req->toPage = req->fromPage;
}

GtkWidget *AddRow(GtkGrid *grid, int row, const char *label, GtkWidget *field) {
  GtkWidget *l = gtk_label_new_with_mnemonic(label);
  gtk_label_set_mnemonic_widget(GTK_LABEL(l), field);
  gtk_widget_set_halign(l, GTK_ALIGN_END);
  gtk_grid_attach(grid, l, 0, row, 1, 1);
  gtk_grid_attach(grid, field, 1, row, 1, 1);
  return field;
}

}  // namespace

namespace nx::gtk {

int PrintDialog(NxGtkPrintRequest *req) {
  if (!req || req->printerCount <= 0) return -1;
  GtkWidget *w = gtk_dialog_new_with_buttons("Print", nullptr, GTK_DIALOG_MODAL, "_Cancel", GTK_RESPONSE_CANCEL,
                                             "_Print", GTK_RESPONSE_OK, nullptr);
  gtk_dialog_set_default_response(GTK_DIALOG(w), GTK_RESPONSE_OK);
  gtk_window_set_position(GTK_WINDOW(w), GTK_WIN_POS_CENTER);
  gtk_window_set_resizable(GTK_WINDOW(w), FALSE);
  DialogState st{req, GTK_COMBO_BOX_TEXT(gtk_combo_box_text_new()), GTK_COMBO_BOX_TEXT(gtk_combo_box_text_new()), {}};

  GtkGrid *grid = GTK_GRID(gtk_grid_new());
  gtk_grid_set_row_spacing(grid, 6);
  gtk_grid_set_column_spacing(grid, 12);
  gtk_container_set_border_width(GTK_CONTAINER(grid), 12);
  for (int i = 0; i < req->printerCount; ++i) gtk_combo_box_text_append_text(st.printer, req->printers[i].name);
  AddRow(grid, 0, "P_rinter:", GTK_WIDGET(st.printer));
  AddRow(grid, 1, "Paper _size:", GTK_WIDGET(st.paper));
  GtkWidget *portrait = gtk_radio_button_new_with_mnemonic(nullptr, "P_ortrait");
  GtkWidget *landscape = gtk_radio_button_new_with_mnemonic_from_widget(GTK_RADIO_BUTTON(portrait), "_Landscape");
  GtkWidget *orientation = gtk_box_new(GTK_ORIENTATION_HORIZONTAL, 12);
  gtk_box_pack_start(GTK_BOX(orientation), portrait, FALSE, FALSE, 0);
  gtk_box_pack_start(GTK_BOX(orientation), landscape, FALSE, FALSE, 0);
  gtk_grid_attach(grid, gtk_label_new("Orientation:"), 0, 2, 1, 1);
  gtk_grid_attach(grid, orientation, 1, 2, 1, 1);
  GtkWidget *copies = gtk_spin_button_new_with_range(1, req->maxCopies > 1 ? req->maxCopies : 1, 1);
  gtk_spin_button_set_value(GTK_SPIN_BUTTON(copies), req->copies > 0 ? req->copies : 1);
  gtk_entry_set_activates_default(GTK_ENTRY(copies), TRUE);
  AddRow(grid, 3, "Cop_ies:", copies);
  PageRow pages;
  if (req->maxPage > 0) pages = AddPageRow(grid, 4, req);
  gtk_box_pack_start(GTK_BOX(gtk_dialog_get_content_area(GTK_DIALOG(w))), GTK_WIDGET(grid), TRUE, TRUE, 0);

  int first = req->printer >= 0 && req->printer < req->printerCount ? req->printer : 0;
  gtk_combo_box_set_active(GTK_COMBO_BOX(st.printer), first);
  FillPapers(&st, first, req->paper);
  g_signal_connect(st.printer, "changed", G_CALLBACK(OnPrinterChanged), &st);
  gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(req->orientation == 2 ? landscape : portrait), TRUE);
  g_signal_connect(w, "map-event", G_CALLBACK(OnMapped), &st);
  g_shown = w;
  gtk_widget_show_all(w);
  gtk_widget_grab_focus(gtk_dialog_get_widget_for_response(GTK_DIALOG(w), GTK_RESPONSE_OK));

  int response = gtk_dialog_run(GTK_DIALOG(w));
  int result = response == GTK_RESPONSE_OK ? 1 : 0;
  if (result) {
    gtk_spin_button_update(GTK_SPIN_BUTTON(copies));
    req->printer = gtk_combo_box_get_active(GTK_COMBO_BOX(st.printer));
    req->paper = ActivePaperNumber(&st);
    req->orientation = gtk_toggle_button_get_active(GTK_TOGGLE_BUTTON(landscape)) ? 2 : 1;
    req->copies = gtk_spin_button_get_value_as_int(GTK_SPIN_BUTTON(copies));
    if (pages.numbers) ReadPageRow(pages, req);
  }
  g_shown = nullptr;
  gtk_widget_destroy(w);
  while (gtk_events_pending()) gtk_main_iteration();
  return result;
}

int Present(void *window) {
  if (!window || window != g_shown) return 0;  // only a window of ours
  gtk_window_present(GTK_WINDOW(window));
  return 1;
}

}  // namespace nx::gtk
