// Win32 subset: emf. Enhanced metafiles: the record numbers, the record
// structures with their MS-EMF byte layouts (checked below), recording,
// reading, enumeration and playback.
#pragma once

#include <cstddef>

#include "platform/win32/gdi.h"
#include "platform/win32/types.h"

#define EMR_HEADER 1
#define EMR_POLYBEZIER 2
#define EMR_POLYGON 3
#define EMR_POLYLINE 4
#define EMR_POLYBEZIERTO 5
#define EMR_POLYLINETO 6
#define EMR_POLYPOLYLINE 7
#define EMR_POLYPOLYGON 8
#define EMR_SETWINDOWEXTEX 9
#define EMR_SETWINDOWORGEX 10
#define EMR_SETVIEWPORTEXTEX 11
#define EMR_SETVIEWPORTORGEX 12
#define EMR_SETBRUSHORGEX 13
#define EMR_EOF 14
#define EMR_SETPIXELV 15
#define EMR_SETMAPPERFLAGS 16
#define EMR_SETMAPMODE 17
#define EMR_SETBKMODE 18
#define EMR_SETPOLYFILLMODE 19
#define EMR_SETROP2 20
#define EMR_SETSTRETCHBLTMODE 21
#define EMR_SETTEXTALIGN 22
#define EMR_SETCOLORADJUSTMENT 23
#define EMR_SETTEXTCOLOR 24
#define EMR_SETBKCOLOR 25
#define EMR_OFFSETCLIPRGN 26
#define EMR_MOVETOEX 27
#define EMR_SETMETARGN 28
#define EMR_EXCLUDECLIPRECT 29
#define EMR_INTERSECTCLIPRECT 30
#define EMR_SCALEVIEWPORTEXTEX 31
#define EMR_SCALEWINDOWEXTEX 32
#define EMR_SAVEDC 33
#define EMR_RESTOREDC 34
#define EMR_SETWORLDTRANSFORM 35
#define EMR_MODIFYWORLDTRANSFORM 36
#define EMR_SELECTOBJECT 37
#define EMR_CREATEPEN 38
#define EMR_CREATEBRUSHINDIRECT 39
#define EMR_DELETEOBJECT 40
#define EMR_ANGLEARC 41
#define EMR_ELLIPSE 42
#define EMR_RECTANGLE 43
#define EMR_ROUNDRECT 44
#define EMR_ARC 45
#define EMR_CHORD 46
#define EMR_PIE 47
#define EMR_SELECTPALETTE 48
#define EMR_CREATEPALETTE 49
#define EMR_SETPALETTEENTRIES 50
#define EMR_RESIZEPALETTE 51
#define EMR_REALIZEPALETTE 52
#define EMR_EXTFLOODFILL 53
#define EMR_LINETO 54
#define EMR_ARCTO 55
#define EMR_POLYDRAW 56
#define EMR_SETARCDIRECTION 57
#define EMR_SETMITERLIMIT 58
#define EMR_BEGINPATH 59
#define EMR_ENDPATH 60
#define EMR_CLOSEFIGURE 61
#define EMR_FILLPATH 62
#define EMR_STROKEANDFILLPATH 63
#define EMR_STROKEPATH 64
#define EMR_FLATTENPATH 65
#define EMR_WIDENPATH 66
#define EMR_SELECTCLIPPATH 67
#define EMR_ABORTPATH 68
#define EMR_GDICOMMENT 70
#define EMR_FILLRGN 71
#define EMR_FRAMERGN 72
#define EMR_INVERTRGN 73
#define EMR_PAINTRGN 74
#define EMR_EXTSELECTCLIPRGN 75
#define EMR_BITBLT 76
#define EMR_STRETCHBLT 77
#define EMR_MASKBLT 78
#define EMR_PLGBLT 79
#define EMR_SETDIBITSTODEVICE 80
#define EMR_STRETCHDIBITS 81
#define EMR_EXTCREATEFONTINDIRECTW 82
#define EMR_EXTTEXTOUTA 83
#define EMR_EXTTEXTOUTW 84
#define EMR_POLYBEZIER16 85
#define EMR_POLYGON16 86
#define EMR_POLYLINE16 87
#define EMR_POLYBEZIERTO16 88
#define EMR_POLYLINETO16 89
#define EMR_POLYPOLYLINE16 90
#define EMR_POLYPOLYGON16 91
#define EMR_POLYDRAW16 92
#define EMR_CREATEMONOBRUSH 93
#define EMR_CREATEDIBPATTERNBRUSHPT 94
#define EMR_EXTCREATEPEN 95
#define EMR_POLYTEXTOUTA 96
#define EMR_POLYTEXTOUTW 97
#define EMR_SETICMMODE 98
#define EMR_CREATECOLORSPACE 99
#define EMR_SETCOLORSPACE 100
#define EMR_DELETECOLORSPACE 101
#define EMR_GLSRECORD 102
#define EMR_GLSBOUNDEDRECORD 103
#define EMR_PIXELFORMAT 104
#define EMR_DRAWESCAPE 105
#define EMR_EXTESCAPE 106
#define EMR_SMALLTEXTOUT 108
#define EMR_FORCEUFIMAPPING 109
#define EMR_NAMEDESCAPE 110
#define EMR_COLORCORRECTPALETTE 111
#define EMR_SETICMPROFILEA 112
#define EMR_SETICMPROFILEW 113
#define EMR_ALPHABLEND 114
#define EMR_SETLAYOUT 115
#define EMR_TRANSPARENTBLT 116
#define EMR_GRADIENTFILL 118
#define EMR_SETLINKEDUFIS 119
#define EMR_SETTEXTJUSTIFICATION 120
#define EMR_COLORMATCHTOTARGETW 121
#define EMR_CREATECOLORSPACEW 122
#define EMR_MIN 1
#define EMR_MAX 122

#define ENHMETA_SIGNATURE 0x464D4520
#define ENHMETA_STOCK_OBJECT 0x80000000
#define MWT_SET 4  // ModifyWorldTransform mode stored only in metafiles
#define GDICOMMENT_IDENTIFIER 0x43494447

#define ELF_VENDOR_SIZE 4

typedef struct tagPANOSE {
  BYTE bFamilyType;
  BYTE bSerifStyle;
  BYTE bWeight;
  BYTE bProportion;
  BYTE bContrast;
  BYTE bStrokeVariation;
  BYTE bArmStyle;
  BYTE bLetterform;
  BYTE bMidline;
  BYTE bXHeight;
} PANOSE, *LPPANOSE;
static_assert(sizeof(PANOSE) == 10);

typedef struct tagEXTLOGFONTW {
  LOGFONTW elfLogFont;
  WCHAR elfFullName[LF_FULLFACESIZE];
  WCHAR elfStyle[LF_FACESIZE];
  DWORD elfVersion;
  DWORD elfStyleSize;
  DWORD elfMatch;
  DWORD elfReserved;
  BYTE elfVendorId[ELF_VENDOR_SIZE];
  DWORD elfCulture;
  PANOSE elfPanose;
} EXTLOGFONTW, *PEXTLOGFONTW, *LPEXTLOGFONTW;
static_assert(sizeof(EXTLOGFONTW) == 320);

// ---------------------------------------------------------------------------
// Header and generic records.
typedef struct tagENHMETAHEADER {
  DWORD iType;
  DWORD nSize;
  RECTL rclBounds;
  RECTL rclFrame;
  DWORD dSignature;
  DWORD nVersion;
  DWORD nBytes;
  DWORD nRecords;
  WORD nHandles;
  WORD sReserved;
  DWORD nDescription;
  DWORD offDescription;
  DWORD nPalEntries;
  SIZEL szlDevice;
  SIZEL szlMillimeters;
  DWORD cbPixelFormat;
  DWORD offPixelFormat;
  DWORD bOpenGL;
  SIZEL szlMicrometers;
} ENHMETAHEADER, *PENHMETAHEADER, *LPENHMETAHEADER;
static_assert(sizeof(ENHMETAHEADER) == 108);
static_assert(offsetof(ENHMETAHEADER, dSignature) == 40 && offsetof(ENHMETAHEADER, nHandles) == 56);
static_assert(offsetof(ENHMETAHEADER, szlDevice) == 72 && offsetof(ENHMETAHEADER, szlMicrometers) == 100);

typedef struct tagENHMETARECORD {
  DWORD iType;
  DWORD nSize;
  DWORD dParm[1];
} ENHMETARECORD, *PENHMETARECORD, *LPENHMETARECORD;

typedef struct tagHANDLETABLE {
  HGDIOBJ objectHandle[1];
} HANDLETABLE, *PHANDLETABLE, *LPHANDLETABLE;

typedef struct tagEMR {
  DWORD iType;
  DWORD nSize;
} EMR, *PEMR;
static_assert(sizeof(EMR) == 8);

typedef struct tagEMREOF {
  EMR emr;
  DWORD nPalEntries;
  DWORD offPalEntries;
  DWORD nSizeLast;
} EMREOF, *PEMREOF;
static_assert(sizeof(EMREOF) == 20);

typedef struct tagEMRGDICOMMENT {
  EMR emr;
  DWORD cbData;
  BYTE Data[1];
} EMRGDICOMMENT, *PEMRGDICOMMENT;
static_assert(offsetof(EMRGDICOMMENT, Data) == 12);

// ---------------------------------------------------------------------------
// State records.
typedef struct tagEMRSETMAPMODE {
  EMR emr;
  DWORD iMode;
} EMRSETMAPMODE, *PEMRSETMAPMODE, EMRSETBKMODE, *PEMRSETBKMODE, EMRSETPOLYFILLMODE,
    *PEMRSETPOLYFILLMODE, EMRSETROP2, *PEMRSETROP2, EMRSETSTRETCHBLTMODE, *PEMRSETSTRETCHBLTMODE,
    EMRSETTEXTALIGN, *PEMRSETTEXTALIGN, EMRSETICMMODE, *PEMRSETICMMODE, EMRSELECTCLIPPATH, *PEMRSELECTCLIPPATH, EMRSETLAYOUT, *PEMRSETLAYOUT;
typedef struct tagEMRSETARCDIRECTION {
  EMR emr;
  DWORD iArcDirection;
} EMRSETARCDIRECTION, *PEMRSETARCDIRECTION;
static_assert(sizeof(EMRSETMAPMODE) == 12);

typedef struct tagEMRSETTEXTCOLOR {
  EMR emr;
  COLORREF crColor;
} EMRSETTEXTCOLOR, *PEMRSETTEXTCOLOR, EMRSETBKCOLOR, *PEMRSETBKCOLOR;
static_assert(sizeof(EMRSETTEXTCOLOR) == 12);

typedef struct tagEMRSETMITERLIMIT {
  EMR emr;
  FLOAT eMiterLimit;
} EMRSETMITERLIMIT, *PEMRSETMITERLIMIT;

typedef struct tagEMRSETVIEWPORTORGEX {
  EMR emr;
  POINTL ptlOrigin;
} EMRSETVIEWPORTORGEX, *PEMRSETVIEWPORTORGEX, EMRSETWINDOWORGEX, *PEMRSETWINDOWORGEX,
    EMRSETBRUSHORGEX, *PEMRSETBRUSHORGEX;
static_assert(sizeof(EMRSETVIEWPORTORGEX) == 16);

typedef struct tagEMRSETVIEWPORTEXTEX {
  EMR emr;
  SIZEL szlExtent;
} EMRSETVIEWPORTEXTEX, *PEMRSETVIEWPORTEXTEX, EMRSETWINDOWEXTEX, *PEMRSETWINDOWEXTEX;
static_assert(sizeof(EMRSETVIEWPORTEXTEX) == 16);

typedef struct tagEMRSCALEVIEWPORTEXTEX {
  EMR emr;
  LONG xNum;
  LONG xDenom;
  LONG yNum;
  LONG yDenom;
} EMRSCALEVIEWPORTEXTEX, *PEMRSCALEVIEWPORTEXTEX, EMRSCALEWINDOWEXTEX, *PEMRSCALEWINDOWEXTEX;
static_assert(sizeof(EMRSCALEVIEWPORTEXTEX) == 24);

typedef struct tagEMRSAVEDC {
  EMR emr;
} EMRSAVEDC, *PEMRSAVEDC, EMRBEGINPATH, *PEMRBEGINPATH, EMRENDPATH, *PEMRENDPATH,
    EMRCLOSEFIGURE, *PEMRCLOSEFIGURE, EMRABORTPATH, *PEMRABORTPATH, EMRFLATTENPATH,
    *PEMRFLATTENPATH, EMRWIDENPATH, *PEMRWIDENPATH, EMRREALIZEPALETTE, *PEMRREALIZEPALETTE;

typedef struct tagEMRRESTOREDC {
  EMR emr;
  LONG iRelative;
} EMRRESTOREDC, *PEMRRESTOREDC;
static_assert(sizeof(EMRRESTOREDC) == 12);

typedef struct tagEMRSETWORLDTRANSFORM {
  EMR emr;
  XFORM xform;
} EMRSETWORLDTRANSFORM, *PEMRSETWORLDTRANSFORM;
static_assert(sizeof(EMRSETWORLDTRANSFORM) == 32);

typedef struct tagEMRMODIFYWORLDTRANSFORM {
  EMR emr;
  XFORM xform;
  DWORD iMode;
} EMRMODIFYWORLDTRANSFORM, *PEMRMODIFYWORLDTRANSFORM;
static_assert(sizeof(EMRMODIFYWORLDTRANSFORM) == 36);

// ---------------------------------------------------------------------------
// Objects.
typedef struct tagEMRSELECTOBJECT {
  EMR emr;
  DWORD ihObject;
} EMRSELECTOBJECT, *PEMRSELECTOBJECT, EMRDELETEOBJECT, *PEMRDELETEOBJECT;
static_assert(sizeof(EMRSELECTOBJECT) == 12);

typedef struct tagEMRSELECTPALETTE {
  EMR emr;
  DWORD ihPal;
} EMRSELECTPALETTE, *PEMRSELECTPALETTE;

typedef struct tagEMRCREATEPEN {
  EMR emr;
  DWORD ihPen;
  LOGPEN lopn;
} EMRCREATEPEN, *PEMRCREATEPEN;
static_assert(sizeof(EMRCREATEPEN) == 28 && offsetof(EMRCREATEPEN, lopn) == 12);

typedef struct tagEMREXTCREATEPEN {
  EMR emr;
  DWORD ihPen;
  DWORD offBmi;
  DWORD cbBmi;
  DWORD offBits;
  DWORD cbBits;
  EXTLOGPEN32 elp;
} EMREXTCREATEPEN, *PEMREXTCREATEPEN;
static_assert(sizeof(EMREXTCREATEPEN) == 56 && offsetof(EMREXTCREATEPEN, elp) == 28);
static_assert(offsetof(EMREXTCREATEPEN, elp.elpStyleEntry) == 52);

typedef struct tagEMRCREATEBRUSHINDIRECT {
  EMR emr;
  DWORD ihBrush;
  LOGBRUSH32 lb;
} EMRCREATEBRUSHINDIRECT, *PEMRCREATEBRUSHINDIRECT;
static_assert(sizeof(EMRCREATEBRUSHINDIRECT) == 24);

typedef struct tagEMRCREATEDIBPATTERNBRUSHPT {
  EMR emr;
  DWORD ihBrush;
  DWORD iUsage;
  DWORD offBmi;
  DWORD cbBmi;
  DWORD offBits;
  DWORD cbBits;
} EMRCREATEDIBPATTERNBRUSHPT, *PEMRCREATEDIBPATTERNBRUSHPT, EMRCREATEMONOBRUSH,
    *PEMRCREATEMONOBRUSH;
static_assert(sizeof(EMRCREATEDIBPATTERNBRUSHPT) == 32);

typedef struct tagEMREXTCREATEFONTINDIRECTW {
  EMR emr;
  DWORD ihFont;
  EXTLOGFONTW elfw;
} EMREXTCREATEFONTINDIRECTW, *PEMREXTCREATEFONTINDIRECTW;
static_assert(sizeof(EMREXTCREATEFONTINDIRECTW) == 332);
static_assert(offsetof(EMREXTCREATEFONTINDIRECTW, elfw) == 12);
static_assert(offsetof(EMREXTCREATEFONTINDIRECTW, elfw.elfLogFont.lfFaceName) == 40);
static_assert(offsetof(EMREXTCREATEFONTINDIRECTW, elfw.elfFullName) == 104);
static_assert(offsetof(EMREXTCREATEFONTINDIRECTW, elfw.elfStyle) == 232);
static_assert(offsetof(EMREXTCREATEFONTINDIRECTW, elfw.elfVersion) == 296);
static_assert(offsetof(EMREXTCREATEFONTINDIRECTW, elfw.elfVendorId) == 312);
static_assert(offsetof(EMREXTCREATEFONTINDIRECTW, elfw.elfPanose) == 320);

typedef struct tagEMRCREATEPALETTE {
  EMR emr;
  DWORD ihPal;
  LOGPALETTE lgpl;
} EMRCREATEPALETTE, *PEMRCREATEPALETTE;
static_assert(sizeof(EMRCREATEPALETTE) == 20);

// ---------------------------------------------------------------------------
// Lines and shapes.
typedef struct tagEMRMOVETOEX {
  EMR emr;
  POINTL ptl;
} EMRMOVETOEX, *PEMRMOVETOEX, EMRLINETO, *PEMRLINETO;
static_assert(sizeof(EMRMOVETOEX) == 16);

typedef struct tagEMRSETPIXELV {
  EMR emr;
  POINTL ptlPixel;
  COLORREF crColor;
} EMRSETPIXELV, *PEMRSETPIXELV;
static_assert(sizeof(EMRSETPIXELV) == 20);

typedef struct tagEMRELLIPSE {
  EMR emr;
  RECTL rclBox;
} EMRELLIPSE, *PEMRELLIPSE, EMRRECTANGLE, *PEMRRECTANGLE;
static_assert(sizeof(EMRRECTANGLE) == 24);

typedef struct tagEMRROUNDRECT {
  EMR emr;
  RECTL rclBox;
  SIZEL szlCorner;
} EMRROUNDRECT, *PEMRROUNDRECT;
static_assert(sizeof(EMRROUNDRECT) == 32);

typedef struct tagEMRANGLEARC {
  EMR emr;
  RECTL rclBounds;
  POINTL ptlCenter;
  DWORD nRadius;
  FLOAT eStartAngle;
  FLOAT eSweepAngle;
} EMRANGLEARC, *PEMRANGLEARC;
static_assert(sizeof(EMRANGLEARC) == 44);

typedef struct tagEMRARC {
  EMR emr;
  RECTL rclBox;
  POINTL ptlStart;
  POINTL ptlEnd;
} EMRARC, *PEMRARC, EMRARCTO, *PEMRARCTO, EMRCHORD, *PEMRCHORD, EMRPIE, *PEMRPIE;
static_assert(sizeof(EMRARC) == 40);

typedef struct tagEMRPOLYLINE {
  EMR emr;
  RECTL rclBounds;
  DWORD cptl;
  POINTL aptl[1];
} EMRPOLYLINE, *PEMRPOLYLINE, EMRPOLYBEZIER, *PEMRPOLYBEZIER, EMRPOLYGON, *PEMRPOLYGON,
    EMRPOLYBEZIERTO, *PEMRPOLYBEZIERTO, EMRPOLYLINETO, *PEMRPOLYLINETO;
static_assert(sizeof(EMRPOLYLINE) == 36 && offsetof(EMRPOLYLINE, aptl) == 28);

typedef struct tagEMRPOLYLINE16 {
  EMR emr;
  RECTL rclBounds;
  DWORD cpts;
  POINTS apts[1];
} EMRPOLYLINE16, *PEMRPOLYLINE16, EMRPOLYBEZIER16, *PEMRPOLYBEZIER16, EMRPOLYGON16,
    *PEMRPOLYGON16, EMRPOLYBEZIERTO16, *PEMRPOLYBEZIERTO16, EMRPOLYLINETO16, *PEMRPOLYLINETO16;
static_assert(sizeof(EMRPOLYLINE16) == 32 && offsetof(EMRPOLYLINE16, apts) == 28);

typedef struct tagEMRPOLYPOLYLINE {
  EMR emr;
  RECTL rclBounds;
  DWORD nPolys;
  DWORD cptl;
  DWORD aPolyCounts[1];
  POINTL aptl[1];
} EMRPOLYPOLYLINE, *PEMRPOLYPOLYLINE, EMRPOLYPOLYGON, *PEMRPOLYPOLYGON;
static_assert(sizeof(EMRPOLYPOLYLINE) == 44 && offsetof(EMRPOLYPOLYLINE, aPolyCounts) == 32);

typedef struct tagEMRPOLYPOLYLINE16 {
  EMR emr;
  RECTL rclBounds;
  DWORD nPolys;
  DWORD cpts;
  DWORD aPolyCounts[1];
  POINTS apts[1];
} EMRPOLYPOLYLINE16, *PEMRPOLYPOLYLINE16, EMRPOLYPOLYGON16, *PEMRPOLYPOLYGON16;
static_assert(sizeof(EMRPOLYPOLYLINE16) == 40);

typedef struct tagEMRPOLYDRAW {
  EMR emr;
  RECTL rclBounds;
  DWORD cptl;
  POINTL aptl[1];
  BYTE abTypes[1];
} EMRPOLYDRAW, *PEMRPOLYDRAW;
static_assert(sizeof(EMRPOLYDRAW) == 40);

typedef struct tagEMRPOLYDRAW16 {
  EMR emr;
  RECTL rclBounds;
  DWORD cpts;
  POINTS apts[1];
  BYTE abTypes[1];
} EMRPOLYDRAW16, *PEMRPOLYDRAW16;
static_assert(sizeof(EMRPOLYDRAW16) == 36);

// ---------------------------------------------------------------------------
// Paths and clipping.
typedef struct tagEMRFILLPATH {
  EMR emr;
  RECTL rclBounds;
} EMRFILLPATH, *PEMRFILLPATH, EMRSTROKEANDFILLPATH, *PEMRSTROKEANDFILLPATH, EMRSTROKEPATH,
    *PEMRSTROKEPATH;
static_assert(sizeof(EMRFILLPATH) == 24);

typedef struct tagEMREXCLUDECLIPRECT {
  EMR emr;
  RECTL rclClip;
} EMREXCLUDECLIPRECT, *PEMREXCLUDECLIPRECT, EMRINTERSECTCLIPRECT, *PEMRINTERSECTCLIPRECT;
static_assert(sizeof(EMRINTERSECTCLIPRECT) == 24);

typedef struct tagEMREXTSELECTCLIPRGN {
  EMR emr;
  DWORD cbRgnData;
  DWORD iMode;
  BYTE RgnData[1];
} EMREXTSELECTCLIPRGN, *PEMREXTSELECTCLIPRGN;
static_assert(offsetof(EMREXTSELECTCLIPRGN, RgnData) == 16);

typedef struct tagEMRFILLRGN {
  EMR emr;
  RECTL rclBounds;
  DWORD cbRgnData;
  DWORD ihBrush;
  BYTE RgnData[1];
} EMRFILLRGN, *PEMRFILLRGN;
static_assert(offsetof(EMRFILLRGN, RgnData) == 32);

typedef struct tagEMRFRAMERGN {
  EMR emr;
  RECTL rclBounds;
  DWORD cbRgnData;
  DWORD ihBrush;
  SIZEL szlStroke;
  BYTE RgnData[1];
} EMRFRAMERGN, *PEMRFRAMERGN;
static_assert(offsetof(EMRFRAMERGN, RgnData) == 40);

typedef struct tagEMRINVERTRGN {
  EMR emr;
  RECTL rclBounds;
  DWORD cbRgnData;
  BYTE RgnData[1];
} EMRINVERTRGN, *PEMRINVERTRGN, EMRPAINTRGN, *PEMRPAINTRGN;
static_assert(offsetof(EMRINVERTRGN, RgnData) == 28);

// ---------------------------------------------------------------------------
// Bitmaps.
typedef struct tagEMRBITBLT {
  EMR emr;
  RECTL rclBounds;
  LONG xDest;
  LONG yDest;
  LONG cxDest;
  LONG cyDest;
  DWORD dwRop;
  LONG xSrc;
  LONG ySrc;
  XFORM xformSrc;
  COLORREF crBkColorSrc;
  DWORD iUsageSrc;
  DWORD offBmiSrc;
  DWORD cbBmiSrc;
  DWORD offBitsSrc;
  DWORD cbBitsSrc;
} EMRBITBLT, *PEMRBITBLT;
static_assert(sizeof(EMRBITBLT) == 100 && offsetof(EMRBITBLT, xformSrc) == 52);
static_assert(offsetof(EMRBITBLT, crBkColorSrc) == 76 && offsetof(EMRBITBLT, offBmiSrc) == 84);

typedef struct tagEMRSTRETCHBLT {
  EMR emr;
  RECTL rclBounds;
  LONG xDest;
  LONG yDest;
  LONG cxDest;
  LONG cyDest;
  DWORD dwRop;
  LONG xSrc;
  LONG ySrc;
  XFORM xformSrc;
  COLORREF crBkColorSrc;
  DWORD iUsageSrc;
  DWORD offBmiSrc;
  DWORD cbBmiSrc;
  DWORD offBitsSrc;
  DWORD cbBitsSrc;
  LONG cxSrc;
  LONG cySrc;
} EMRSTRETCHBLT, *PEMRSTRETCHBLT;
static_assert(sizeof(EMRSTRETCHBLT) == 108 && offsetof(EMRSTRETCHBLT, cxSrc) == 100);

typedef struct tagEMRMASKBLT {
  EMR emr;
  RECTL rclBounds;
  LONG xDest;
  LONG yDest;
  LONG cxDest;
  LONG cyDest;
  DWORD dwRop;
  LONG xSrc;
  LONG ySrc;
  XFORM xformSrc;
  COLORREF crBkColorSrc;
  DWORD iUsageSrc;
  DWORD offBmiSrc;
  DWORD cbBmiSrc;
  DWORD offBitsSrc;
  DWORD cbBitsSrc;
  LONG xMask;
  LONG yMask;
  DWORD iUsageMask;
  DWORD offBmiMask;
  DWORD cbBmiMask;
  DWORD offBitsMask;
  DWORD cbBitsMask;
} EMRMASKBLT, *PEMRMASKBLT;
static_assert(sizeof(EMRMASKBLT) == 128 && offsetof(EMRMASKBLT, xMask) == 100);

typedef struct tagEMRSETDIBITSTODEVICE {
  EMR emr;
  RECTL rclBounds;
  LONG xDest;
  LONG yDest;
  LONG xSrc;
  LONG ySrc;
  LONG cxSrc;
  LONG cySrc;
  DWORD offBmiSrc;
  DWORD cbBmiSrc;
  DWORD offBitsSrc;
  DWORD cbBitsSrc;
  DWORD iUsageSrc;
  DWORD iStartScan;
  DWORD cScans;
} EMRSETDIBITSTODEVICE, *PEMRSETDIBITSTODEVICE;
static_assert(sizeof(EMRSETDIBITSTODEVICE) == 76 && offsetof(EMRSETDIBITSTODEVICE, offBmiSrc) == 48);

typedef struct tagEMRSTRETCHDIBITS {
  EMR emr;
  RECTL rclBounds;
  LONG xDest;
  LONG yDest;
  LONG xSrc;
  LONG ySrc;
  LONG cxSrc;
  LONG cySrc;
  DWORD offBmiSrc;
  DWORD cbBmiSrc;
  DWORD offBitsSrc;
  DWORD cbBitsSrc;
  DWORD iUsageSrc;
  DWORD dwRop;
  LONG cxDest;
  LONG cyDest;
} EMRSTRETCHDIBITS, *PEMRSTRETCHDIBITS;
static_assert(sizeof(EMRSTRETCHDIBITS) == 80 && offsetof(EMRSTRETCHDIBITS, offBmiSrc) == 48);
static_assert(offsetof(EMRSTRETCHDIBITS, dwRop) == 68 && offsetof(EMRSTRETCHDIBITS, cxDest) == 72);

// ---------------------------------------------------------------------------
// Text.
typedef struct tagEMRTEXT {
  POINTL ptlReference;
  DWORD nChars;
  DWORD offString;
  DWORD fOptions;
  RECTL rcl;
  DWORD offDx;
} EMRTEXT, *PEMRTEXT;
static_assert(sizeof(EMRTEXT) == 40);

typedef struct tagEMREXTTEXTOUTW {
  EMR emr;
  RECTL rclBounds;
  DWORD iGraphicsMode;
  FLOAT exScale;
  FLOAT eyScale;
  EMRTEXT emrtext;
} EMREXTTEXTOUTW, *PEMREXTTEXTOUTW, EMREXTTEXTOUTA, *PEMREXTTEXTOUTA;
static_assert(sizeof(EMREXTTEXTOUTW) == 76 && offsetof(EMREXTTEXTOUTW, emrtext) == 36);
static_assert(offsetof(EMREXTTEXTOUTW, emrtext.offString) == 48);
static_assert(offsetof(EMREXTTEXTOUTW, emrtext.rcl) == 56);
static_assert(offsetof(EMREXTTEXTOUTW, emrtext.offDx) == 72);

// ---------------------------------------------------------------------------
// Functions.
typedef int(CALLBACK *ENHMFENUMPROC)(HDC hdc, HANDLETABLE *lpht, const ENHMETARECORD *lpmr,
                                      int nHandles, LPARAM data);

HDC WINAPI CreateEnhMetaFileW(HDC hdc, LPCWSTR lpFilename, const RECT *lprc, LPCWSTR lpDesc);
HENHMETAFILE WINAPI CloseEnhMetaFile(HDC hdc);
BOOL WINAPI DeleteEnhMetaFile(HENHMETAFILE hmf);
HENHMETAFILE WINAPI CopyEnhMetaFileW(HENHMETAFILE hEnh, LPCWSTR lpFileName);
HENHMETAFILE WINAPI GetEnhMetaFileW(LPCWSTR lpName);
UINT WINAPI GetEnhMetaFileBits(HENHMETAFILE hEMF, UINT nSize, LPBYTE lpData);
HENHMETAFILE WINAPI SetEnhMetaFileBits(UINT nSize, const BYTE *pb);
UINT WINAPI GetEnhMetaFileHeader(HENHMETAFILE hemf, UINT nSize, LPENHMETAHEADER lpEnhMetaHeader);
UINT WINAPI GetEnhMetaFileDescriptionW(HENHMETAFILE hemf, UINT cchBuffer, LPWSTR lpDescription);
BOOL WINAPI EnumEnhMetaFile(HDC hdc, HENHMETAFILE hmf, ENHMFENUMPROC proc, LPVOID param,
                            const RECT *lpRect);
BOOL WINAPI PlayEnhMetaFile(HDC hdc, HENHMETAFILE hmf, const RECT *lprect);
BOOL WINAPI PlayEnhMetaFileRecord(HDC hdc, LPHANDLETABLE pht, const ENHMETARECORD *pmr, UINT cht);
BOOL WINAPI GdiComment(HDC hdc, UINT nSize, const BYTE *lpData);
