// Win32 subset: script (the Uniscribe calls the layer offers).
#pragma once

#include "platform/win32/text.h"
#include "platform/win32/types.h"

#ifndef S_FALSE
#define S_FALSE ((HRESULT)1)
#endif
#define USP_E_SCRIPT_NOT_IN_FONT ((HRESULT)0x80040200L)

#define SCRIPT_UNDEFINED 0
#define SIC_COMPLEX 1
#define SIC_ASCIIDIGIT 2
#define SIC_NEUTRAL 4

#define SCRIPT_JUSTIFY_NONE 0
#define SCRIPT_JUSTIFY_ARABIC_BLANK 1
#define SCRIPT_JUSTIFY_CHARACTER 2
#define SCRIPT_JUSTIFY_BLANK 4

typedef void *SCRIPT_CACHE;

typedef struct tag_SCRIPT_CONTROL {
  DWORD uDefaultLanguage : 16;
  DWORD fContextDigits : 1;
  DWORD fInvertPreBoundDir : 1;
  DWORD fInvertPostBoundDir : 1;
  DWORD fLinkStringBefore : 1;
  DWORD fLinkStringAfter : 1;
  DWORD fNeutralOverride : 1;
  DWORD fNumericOverride : 1;
  DWORD fLegacyBidiClass : 1;
  DWORD fMergeNeutralItems : 1;
  DWORD fReserved : 7;
} SCRIPT_CONTROL;

typedef struct tag_SCRIPT_STATE {
  WORD uBidiLevel : 5;
  WORD fOverrideDirection : 1;
  WORD fInhibitSymSwap : 1;
  WORD fCharShape : 1;
  WORD fDigitSubstitute : 1;
  WORD fInhibitLigate : 1;
  WORD fDisplayZWG : 1;
  WORD fArabicNumContext : 1;
  WORD fGcpClusters : 1;
  WORD fReserved : 1;
  WORD fEngineReserved : 2;
} SCRIPT_STATE;

typedef struct tag_SCRIPT_ANALYSIS {
  WORD eScript : 10;
  WORD fRTL : 1;
  WORD fLayoutRTL : 1;
  WORD fLinkBefore : 1;
  WORD fLinkAfter : 1;
  WORD fLogicalOrder : 1;
  WORD fNoGlyphIndex : 1;
  SCRIPT_STATE s;
} SCRIPT_ANALYSIS;

typedef struct tag_SCRIPT_ITEM {
  int iCharPos;
  SCRIPT_ANALYSIS a;
} SCRIPT_ITEM;

typedef struct tag_SCRIPT_VISATTR {
  WORD uJustification : 4;
  WORD fClusterStart : 1;
  WORD fDiacritic : 1;
  WORD fZeroWidth : 1;
  WORD fReserved : 1;
  WORD fShapeReserved : 8;
} SCRIPT_VISATTR;

typedef struct tagGOFFSET {
  LONG du;
  LONG dv;
} GOFFSET;

typedef struct {
  int cBytes;
  WORD wgBlank;
  WORD wgDefault;
  WORD wgInvalid;
  WORD wgKashida;
  int iKashidaWidth;
} SCRIPT_FONTPROPERTIES;

static_assert(sizeof(SCRIPT_ANALYSIS) == 4 && sizeof(SCRIPT_ITEM) == 8 && sizeof(SCRIPT_VISATTR) == 2);

// Runs of one script and one bidi level; pItems receives *pcItems + 1
// entries, the last marking the end of the text. Digits are never substituted.
HRESULT WINAPI ScriptItemize(const WCHAR *pwcInChars, int cInChars, int cMaxItems, const SCRIPT_CONTROL *psControl,
                             const SCRIPT_STATE *psState, SCRIPT_ITEM *pItems, int *pcItems);
HRESULT WINAPI ScriptLayout(int cRuns, const BYTE *pbLevel, int *piVisualToLogical, int *piLogicalToVisual);
HRESULT WINAPI ScriptIsComplex(const WCHAR *pwcInChars, int cInChars, DWORD dwFlags);
// The cache holds the font: with *psc null the DC's selected font is used
// (E_PENDING without a DC).
HRESULT WINAPI ScriptShape(HDC hdc, SCRIPT_CACHE *psc, const WCHAR *pwcChars, int cChars, int cMaxGlyphs,
                           SCRIPT_ANALYSIS *psa, WORD *pwOutGlyphs, WORD *pwLogClust, SCRIPT_VISATTR *psva,
                           int *pcGlyphs);
HRESULT WINAPI ScriptPlace(HDC hdc, SCRIPT_CACHE *psc, const WORD *pwGlyphs, int cGlyphs, const SCRIPT_VISATTR *psva,
                           SCRIPT_ANALYSIS *psa, int *piAdvance, GOFFSET *pGoffset, ABC *pABC);
HRESULT WINAPI ScriptGetGlyphABCWidth(HDC hdc, SCRIPT_CACHE *psc, WORD wGlyph, ABC *pABC);
// The glyph of each character from the font's cmap alone, without shaping
// (a surrogate pair gives its glyph at both units); S_FALSE when some
// character has none (glyph 0).
HRESULT WINAPI ScriptGetCMap(HDC hdc, SCRIPT_CACHE *psc, const WCHAR *pwcInChars, int cChars, DWORD dwFlags,
                             WORD *pwOutGlyphs);
HRESULT WINAPI ScriptGetFontProperties(HDC hdc, SCRIPT_CACHE *psc, SCRIPT_FONTPROPERTIES *sfp);
HRESULT WINAPI ScriptCacheGetHeight(HDC hdc, SCRIPT_CACHE *psc, long *tmHeight);
HRESULT WINAPI ScriptFreeCache(SCRIPT_CACHE *psc);
