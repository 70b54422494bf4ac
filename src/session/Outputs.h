// The outputs a closed document is routed to, one source file each
// (Output*.cpp). Each takes the pages of the page store and the session's
// settings; a failure throws and reaches the host's error channel.
#pragma once

#include <cstdint>

namespace nx {

class TgtCustomDocumentEngine;

// Device type 5: every page as folder + "Page" + n + ".emf".
void SaveEmfPages();
// Device type 2: the preview window, modal on the host's thread.
void ShowPreview();
// Device types 3, 6 and 7: the export engines.
void ExportPdf();
void ExportRtf();
void ExportJpeg();

// The page loop of the engines: orientation from the printer, BeginDoc, each
// recorded page played into its printable area on the sheet (at the
// printer's margins) with NewPage between, and EndDoc always, also after an
// error (which is then passed on). No page, no engine call.
void PlayPagesInto(TgtCustomDocumentEngine &engine);
// The engine page's paper for a Windows paper number (see OutputPdf.cpp).
void SetEnginePaper(TgtCustomDocumentEngine &engine, int32_t paper);

// Session values to engine settings (numbers as the enumerations store them).
int32_t MapPaperSizeOrdinal(int32_t paper);
int32_t MapPDFVersionOrdinal(int32_t version);
int32_t MapPDFEncodingOrdinal(int32_t encoding);
int32_t MapFontEmbeddingOrdinal(int32_t embedding);

}  // namespace nx
