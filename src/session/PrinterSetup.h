// Moving paper settings between the session and the selected printer, and
// measuring its page.
#pragma once

#include "session/Session.h"

namespace nx {

// Session -> printer: paper, duplex, bin, copies and orientation, each only
// where the driver lists the field; the printer's context is made anew.
void ApplyPrinterSetup();
// Printer -> session: the same values from the printer's setup, and the bin
// list from the driver. Throws when the driver's bin counts disagree.
void ReadPrinterSetup();
// Reads the selected printer's page metrics into the session.
void MeasurePage();
// Sets the device font's style from the style bits, while a document is open.
void ApplyFontStyle(int32_t bits);
// Sets the device font's height from the session's font size while a
// document is open.
void ApplyFontSize();

}  // namespace nx
