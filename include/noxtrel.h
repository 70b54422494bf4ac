/*
 * NOXTREL: the exported C interface.
 *
 * One document at a time per process, and one calling thread at a time: the
 * library keeps a single global session and takes no locks.
 *
 * Every real quantity is a fixed-point integer (value x 10000). Strings are
 * NUL-terminated 8-bit strings in the ANSI code page. No call ever lets an
 * exception or a crash escape: a failure is recorded and can be read with
 * NxGetLastError / NxGetLastErrorText.
 */
#ifndef NOXTREL_H
#define NOXTREL_H

#include <stdint.h>

#if defined(_WIN32) && !defined(_WIN64)
#define NX_CALL __stdcall
#else
#define NX_CALL
#endif
#if defined(_WIN32)
#define NX_EXPORT __declspec(dllexport)
#else
#define NX_EXPORT __attribute__((visibility("default")))
#endif
#define NX_API NX_EXPORT NX_CALL

#ifdef __cplusplus
extern "C" {
#endif

/* The error channel: 0 = no error since the last successful NxBeginDoc. */
NX_EXPORT int32_t NX_CALL NxGetLastError(void);
/* Copies at most Size - 1 bytes of the last error's message and a NUL. */
NX_EXPORT void NX_CALL NxGetLastErrorText(char *Dest, int32_t Size);

/* ---- Library life cycle and version ---------------------------------------
 * Booleans: an argument counts as true only when it equals 1; results are 0/1.
 * Setters return nothing; those marked "refused while a document is open" do
 * nothing between NxBeginDoc and NxEndDoc. A NULL string counts as "". */

/* Selects the system default printer and resets the session: 0, or 1 when no
 * printer is installed (the session then opens no document). */
NX_API int32_t NxInit(void);
/* Copy "3.0.4.124" / "289.3" into Dest (at least 10 bytes) and return Dest. */
NX_API char *NxGetVersion(char *Dest);
NX_API char *NxGetDocVersion(char *Dest);
/* Drops an open document (its pages are discarded) and resets the session. */
NX_API void NxAbort(void);
/* 1 while the preview window of NxEndDoc is shown. */
NX_API int32_t NxIsPreviewVisible(void);

/* ---- Settings ------------------------------------------------------------- */
NX_API void NxSetAsciiToAnsi(int32_t Flag);
NX_API int32_t NxGetAsciiToAnsi(void);
NX_API void NxSetBorderThickness(int32_t Points); /* fixed-point points */
NX_API int32_t NxGetBorderThickness(void);
NX_API void NxSetBorderColor(int32_t Color);
NX_API int32_t NxGetBorderColor(void);
NX_API void NxSetCopies(int32_t Copies); /* refused while a document is open */
NX_API int32_t NxGetCopies(void);
NX_API void NxSetDecimalSep(int32_t Char);
NX_API int32_t NxGetDecimalSep(void);
/* 1 printer, 2 preview, 3 PDF, 5 EMF files, 6 RTF, 7 JPEG; others open no document. */
NX_API void NxSetDevice(int32_t Device);
NX_API void NxSetDirectPrint(int32_t Flag);
NX_API void NxSetDuplex(int32_t Duplex); /* refused while a document is open */
NX_API int32_t NxGetDuplex(void);
/* Output file (PDF, RTF, JPEG) or, for EMF pages, its folder; '\' and '/' alike. */
NX_API void NxSetFileName(const char *FileName);
NX_API void NxSetFillColor(int32_t Color);
NX_API int32_t NxGetFillColor(void);
NX_API void NxSetFillPattern(int32_t Pattern);
NX_API int32_t NxGetFillPattern(void);
NX_API void NxSetFontName(const char *FontName);
NX_API void NxGetFontName(char *Dest);
NX_API void NxSetFontSize(int32_t Points); /* fixed-point points */
NX_API int32_t NxGetFontSize(void);
NX_API void NxSetFontStyle(int32_t Style); /* 1 bold, 2 italic, 4 underline, 8 strike-out */
NX_API int32_t NxGetFontStyle(void);
NX_API void NxSetFontFColor(int32_t Color);
NX_API int32_t NxGetFontFColor(void);
NX_API void NxSetFontBColor(int32_t Color);
NX_API int32_t NxGetFontBColor(void);
NX_API void NxSetFontAngle(int32_t Degrees);
NX_API int32_t NxGetFontAngle(void);
NX_API void NxSetJustify(int32_t Justify);
NX_API int32_t NxGetJustify(void);
/* 1 portrait, 2 landscape (others ignored); refused while a document is open. */
NX_API void NxSetOrientation(int32_t Orientation);
NX_API int32_t NxGetOrientation(void);
/* Bin number (> 0); refused while a document is open. -1 while one is open. */
NX_API void NxSetPaperBin(int32_t Bin);
NX_API int32_t NxGetPaperBin(void);
/* Windows paper number (9 = A4); refused while a document is open. -1 while one is open. */
NX_API void NxSetPageSize(int32_t PaperSize);
NX_API int32_t NxGetPageSize(void);
NX_API int32_t NxGetDefaultPrinter(void);
NX_API int32_t NxGetPrinter(void); /* -1 in PDF/RTF mode */
NX_API void NxSetTitle(const char *Title);
NX_API void NxGetTitle(char *Dest);
NX_API void NxSetUseDIB(int32_t Flag);
NX_API int32_t NxGetUseDIB(void);
NX_API void NxSetXerox(int32_t Flag);
NX_API int32_t NxGetXerox(void);
NX_API void NxSetPrintPreview(int32_t Flag);

/* PDF settings: only after NxSetDevice(3) or NxSetDevice(6) for this document. */
NX_API void NxSetPDFOwnerPassword(const char *Password); /* also refused while a document is open */
NX_API void NxSetPDFVersion(int32_t Version);           /* 0 1.4 ... 3 1.7, 4..6 PDF/A-1b..3b */
NX_API void NxSetPDFEncoding(int32_t Encoding);
NX_API void NxShowPDF(int32_t Flag);
NX_API void NxSetPDFEmbeddedFonts(int32_t Embedding); /* 0 none, 1 full, 2 subset */
NX_API void NxSetPDFCharSet(int32_t CharSet);         /* accepted and ignored */
/* 1 maximum compression (as at load), else normal; kept across documents.
 * Refused while a document is open; needs no PDF mode. */
NX_API void NxSetPDFCompression(int32_t Flag);

/* Preview window settings; they persist across documents. -999 keeps a colour. */
NX_API void NxSetPWColors(int32_t Background, int32_t Paper, int32_t Shadow, int32_t ToolBar);
NX_API void NxSetPWState(int32_t State);
NX_API void NxSetPWPosition(int32_t Left, int32_t Top);
NX_API void NxSetPWSize(int32_t Width, int32_t Height);
NX_API void NxSetPWBounds(int32_t Left, int32_t Top, int32_t Width, int32_t Height);
NX_API void NxSetPWZoomLevel(int32_t ZoomLevel);
NX_API void NxSetPWTopMost(int32_t TopMost);

/* ---- Units and the text grid ---------------------------------------------
 * Units: 0 characters/lines, 1 mm, 2 cm, 3 inch, 4 device pixel, 5 1/6 inch,
 * 6 point, 7 twip, 8 grid cell. Units 1-7 measure from the sheet's corner,
 * 0 and 8 from the printable area. CoorSystem 1 swaps every point's order. */
NX_API void NxSetUnit(int32_t Unit);
NX_API int32_t NxGetUnit(void);
NX_API void NxSetCoorSystem(int32_t CoorSystem);
NX_API int32_t NxGetCoorSystem(void);
NX_API void NxSetCPI(int32_t CharsPerInch);
NX_API int32_t NxGetCPI(void);
NX_API void NxSetLPI(int32_t LinesPerInch);
NX_API int32_t NxGetLPI(void);
NX_API void NxSetRowCol(int32_t Rows, int32_t Cols); /* values <= 0 keep the old value */
/* Sheet size in the current unit, fixed-point; 0 before a page was measured. */
NX_API int32_t NxGetMaxWidth(void);
NX_API int32_t NxGetMaxHeight(void);

/* ---- Documents ------------------------------------------------------------
 * NxBeginDoc opens a document on the device type of NxSetDevice with the
 * selected printer's page (a successful one clears the last error); page 1
 * is open at once. NxEndDoc produces the output: 1 the print job is spooled,
 * 5 one "Page<n>.emf" per page in the folder of NxSetFileName; 2, 3, 6 and 7
 * record their pages but report that their output is not built yet. Then it
 * frees the pages and resets the session, also without an open document. If
 * writing the output fails, the error is recorded and the pages and settings
 * stay until the next NxBeginDoc or NxEndDoc. */
NX_API void NxBeginDoc(void);
NX_API void NxNewPage(void);
NX_API void NxEndDoc(void);

/* ---- Printers, papers, bins and fonts ------------------------------------
 * Printers are addressed by their index in the printer list (from 0; -1 is
 * the system default printer). Names are copied into Dest (ANSI, at most 64
 * bytes of the code page and a NUL: a longer name is cut before the character
 * that would cross 64 bytes); an index out of range gives "Error". While the
 * device type is PDF or RTF the queries answer for one pseudo printer,
 * "Noxtrel 32 PDF/RTF printer", and the paper, bin and font names are
 * "Not supported in PDF/RTF mode". */
NX_API int32_t NxGetPrinterCount(void);
NX_API void NxGetPrinterNames(int32_t Index, char *Dest);
NX_API void NxSetPrinter(int32_t Index); /* refused while a document is open */
NX_API intptr_t NxGetPrinterHandle(void);
NX_API int32_t NxGetPrinterCaps(int32_t Index); /* GetDeviceCaps index */
NX_API int32_t NxGetPaperCount(void);           /* reloads the paper list */
NX_API void NxGetPaperNames(int32_t Index, char *Dest);
NX_API int32_t NxGetPaperNumbers(int32_t Index); /* Windows paper number, -1 if none */
NX_API int32_t NxGetPaperBinCount(void);         /* bins read by NxSetPrinter / NxPrintDialog */
NX_API void NxGetPaperBinNames(int32_t Index, char *Dest);
NX_API int32_t NxGetPaperBinNumbers(int32_t Index);
NX_API int32_t NxGetFontCount(void); /* device types 1, 2 and 5; else 0 */
NX_API void NxGetFontNames(int32_t Index, char *Dest);
/* The print dialog (needs a display): 1 confirmed, and later printer
 * documents take the dialog's printer and setup; 0 cancelled or not shown.
 * In PDF/RTF mode 1 at once. */
NX_API int32_t NxPrintDialog(void);

/* ---- Raw print jobs: bytes sent unchanged to the current printer ---------- */
NX_API void NxBeginRawDoc(void);
NX_API void NxPrintRawData(const void *Data, int32_t Size);
NX_API void NxEndRawDoc(void);

/* ---- Linear barcodes ---------------------------------------------------------
 * NxBarCode draws Code (ANSI text) as a linear barcode with its top-left
 * corner at (X, Y) in the session's unit. Height is the bar height in points
 * (in millimetres when HeightInMM is 1), taken in steps of about a tenth of
 * an inch; Width / 10000 is the narrow bar in sixtieths of an inch (10000:
 * 0.42 mm), in whole printer pixels. ShowText 1 adds the human-readable text,
 * Rotate 1 turns the barcode by 90 degrees.
 * CodeType: 0/1 Code 39, 2 Code 128 B, 3-5 EAN-128 A/B/C, 6 EAN-8, 7 EAN-13,
 * 8-10 Code 128 A/B/C, 11 UPC-A, 12 UPC-E, 13 Codabar, 14 POSTNET,
 * 15 Interleaved 2 of 5; any other value Code 39. Data the symbology cannot
 * carry draws the image without bars and sets the error channel (6). Nothing
 * happens without an open document. */
NX_API void NxBarCode(int32_t X, int32_t Y, const char *Code, int32_t Height, int32_t Width, int32_t ShowText,
                      int32_t CodeType, int32_t Rotate, int32_t HeightInMM);

/* ---- QR codes ---------------------------------------------------------------
 * NxQRCode draws Code (ANSI text) as a QR code with its top-left corner at
 * (X, Y) in the session's unit: level L, automatic modes, the smallest version
 * from Version on, a square of Size screen pixels (0.264583 mm each) at the
 * printer's resolution, drawn from modules of ModuleWidth pixels with a
 * quiet zone. Text no QR code can carry (or too long) draws nothing and sets
 * the error channel (6). Nothing happens without an open document. */
NX_API void NxQRCode(int32_t X, int32_t Y, const char *Code, int32_t Version, int32_t Size, int32_t ModuleWidth);

/* ---- Drawing --------------------------------------------------------------
 * Every drawing call does nothing unless a document is open. Positions are
 * fixed-point values in the current unit, sizes and thicknesses fixed-point
 * points. Colour codes: -1..-16 the 16-colour palette (-1 black, -2 blue,
 * -3 green, -4 teal, -5 red, -6 purple, -7 maroon, -8 silver, -9 grey,
 * -10 navy, -11 lime, -12 aqua, -13 red, -14 fuchsia, -15 yellow, -16 white),
 * 1 the desktop colour, -255 transparent (no background, no fill), any other
 * value a colour 0x00BBGGRR. In the Ex forms -999 takes the session's code,
 * colour, style, justification or angle, -10000000 its size or thickness, an
 * empty font name its font. Justify: 0 left, 1 right, 2 centre, 3 decimal
 * (the first decimal separator lands on the point). Style bits: 1 bold,
 * 2 italic, 4 underline, 8 strike-out. */
/* Text at (X, Y), its top-left corner (before alignment); X = Y = -10000000
 * continues where the previous text ended. Angle in degrees, counter-clockwise. */
NX_API void NxTextOutEx(int32_t X, int32_t Y, const char *Text, int32_t Justify, const char *FontName,
                        int32_t FontSize, int32_t FontStyle, int32_t FColor, int32_t BColor, int32_t Angle);
NX_API void NxTextOut(int32_t X, int32_t Y, const char *Text);
/* One UTF-16 character given as hexadecimal text ("20AC" is the euro sign). */
NX_API void NxUnicodeCharEx(int32_t X, int32_t Y, const char *HexCode, int32_t Justify, const char *FontName,
                            int32_t FontSize, int32_t FontStyle, int32_t FColor, int32_t BColor, int32_t Angle);
NX_API void NxUnicodeChar(int32_t X, int32_t Y, const char *HexCode);
/* Width and height of a text in the device font, fixed-point, current unit;
 * 0 while no document is open. */
NX_API int32_t NxGetTextWidth(const char *Text);
NX_API int32_t NxGetTextHeight(const char *Text);
/* Text wrapped at words inside a rectangle (ellipsis when it does not fit).
 * Thickness > 0 draws a black border and insets the text by the border's
 * width + 10 pixels; -10000000 means no border. Justify 1 right, 2 centre,
 * others left. */
NX_API void NxTextBoxEx(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2, const char *Text, int32_t Justify,
                        const char *FontName, int32_t FontSize, int32_t FontStyle, int32_t FColor, int32_t BColor,
                        int32_t Thickness);
NX_API void NxTextBox(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2, const char *Text);
/* Pen width: whole pixels per point (dpi div 72) times the thickness.
 * Fill patterns: 0 solid, 1 none, 2 / diagonal, 3 \ diagonal, 4 cross,
 * 5 diagonal cross, 6 horizontal, 7 vertical (hatches in the border colour on
 * the fill colour). Corner: the corner ellipse's size in device pixels. */
NX_API void NxLineEx(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2, int32_t Thickness, int32_t Color);
NX_API void NxLine(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2);
NX_API void NxFrameEx(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2, int32_t Thickness, int32_t BorderColor,
                      int32_t FillColor, int32_t Pattern, int32_t Corner);
NX_API void NxFrame(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2, int32_t Corner);
NX_API void NxEllipseEx(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2, int32_t Thickness, int32_t BorderColor,
                        int32_t FillColor, int32_t Pattern);
NX_API void NxEllipse(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2);
/* A .BMP, .GIF or .JPG/.JPEG file. X2 = Y2 = 0: natural size; X2 or Y2 = 0:
 * that side follows the aspect ratio; KeepAspect (low byte not 0) fits the
 * picture into the box. TransColor other than -255 and 1 makes the colour of
 * the top-left pixel transparent (only with NxSetUseDIB(0)). A missing file
 * draws nothing; a folder or undecodable data draws nothing and sets the
 * error channel. */
NX_API void NxBitmap(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2, const char *FileName, int32_t TransColor,
                     int32_t KeepAspect);

#ifdef __cplusplus
}
#endif

#endif /* NOXTREL_H */
