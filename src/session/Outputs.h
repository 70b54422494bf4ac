// The outputs a closed document is routed to, one source file each
// (Output*.cpp). Each takes the pages of the page store and the session's
// settings; a failure throws and reaches the host's error channel.
#pragma once

namespace nx {

// Device type 5: every page as folder + "Page" + n + ".emf".
void SaveEmfPages();
// Device type 2: the preview window, modal on the host's thread.
void ShowPreview();
// Device types 3, 6 and 7: the export engines.
void ExportPdf();
void ExportRtf();
void ExportJpeg();

}  // namespace nx
