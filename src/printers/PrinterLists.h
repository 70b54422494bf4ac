// Printer, paper, bin and font queries and the selection of a printer by
// index. Names are copied into host buffers; the queries answer for a
// pseudo printer while the device type is PDF or RTF.
#pragma once

#include <cstdint>

namespace nx {

// The texts written into a caller's buffer instead of a name.
inline constexpr const char *kPseudoPrinterName = "Noxtrel 32 PDF/RTF printer";
inline constexpr const char *kNotInPDFMode = "Not supported in PDF/RTF mode";
inline constexpr const char *kNoSuchEntry = "Error";

int32_t PrinterCount();
void PrinterName(int32_t index, char *dest);
// Selects printer index (-1 and below: the system default) with the selection
// rule of TSysPrinter::Select, reads its setup into the session and measures
// its page. Throws for an index beyond the list.
void SetPrinter(int32_t index);
int32_t PrinterCaps(int32_t index);

// Reloads the paper list from the current printer's driver.
int32_t PaperCount();
void PaperName(int32_t index, char *dest);
int32_t PaperNumber(int32_t index);
int32_t PaperBinCount();
void PaperBinName(int32_t index, char *dest);
int32_t PaperBinNumber(int32_t index);

int32_t FontCount();
void FontName(int32_t index, char *dest);

}  // namespace nx
