// Win32 subset: user interface (user32). A message box is a GTK dialog when
// a display is available (the GTK module is loaded only then); otherwise its
// text goes to the message sink the library registered, and to stderr.
#pragma once

#include "platform/win32/types.h"

// Show commands.
#define SW_HIDE 0
#define SW_SHOWNORMAL 1
#define SW_NORMAL 1
#define SW_SHOWMINIMIZED 2
#define SW_SHOWMAXIMIZED 3
#define SW_MAXIMIZE 3
#define SW_SHOWNOACTIVATE 4
#define SW_SHOW 5
#define SW_MINIMIZE 6
#define SW_SHOWMINNOACTIVE 7
#define SW_SHOWNA 8
#define SW_RESTORE 9
#define SW_SHOWDEFAULT 10

// MessageBoxW types.
#define MB_OK 0x00000000L
#define MB_OKCANCEL 0x00000001L
#define MB_ABORTRETRYIGNORE 0x00000002L
#define MB_YESNOCANCEL 0x00000003L
#define MB_YESNO 0x00000004L
#define MB_RETRYCANCEL 0x00000005L
#define MB_ICONHAND 0x00000010L
#define MB_ICONQUESTION 0x00000020L
#define MB_ICONEXCLAMATION 0x00000030L
#define MB_ICONASTERISK 0x00000040L
#define MB_ICONWARNING MB_ICONEXCLAMATION
#define MB_ICONERROR MB_ICONHAND
#define MB_ICONSTOP MB_ICONHAND
#define MB_ICONINFORMATION MB_ICONASTERISK
#define MB_DEFBUTTON1 0x00000000L
#define MB_DEFBUTTON2 0x00000100L
#define MB_DEFBUTTON3 0x00000200L
#define MB_APPLMODAL 0x00000000L
#define MB_SYSTEMMODAL 0x00001000L
#define MB_TASKMODAL 0x00002000L
#define MB_SETFOREGROUND 0x00010000L
#define MB_TOPMOST 0x00040000L
#define MB_TYPEMASK 0x0000000FL
#define MB_ICONMASK 0x000000F0L
#define MB_DEFMASK 0x00000F00L

// Dialog results.
#define IDOK 1
#define IDCANCEL 2
#define IDABORT 3
#define IDRETRY 4
#define IDIGNORE 5
#define IDYES 6
#define IDNO 7

// Without a display (or when the dialog cannot be shown) the answer is the
// default button's.
int WINAPI MessageBoxW(HWND hWnd, LPCWSTR lpText, LPCWSTR lpCaption, UINT uType);

// Not Win32: where a message box's text goes when no window can be shown.
// The library's session registers its error callback here; NULL removes it.
typedef void (*MESSAGEBOXSINK)(LPCWSTR lpText, LPCWSTR lpCaption, UINT uType, void *context);
void WINAPI SetMessageBoxSink(MESSAGEBOXSINK sink, void *context);

// ---------------------------------------------------------------------------
// Bringing a window of this process to the front (the windows the GTK module
// shows). FALSE for a window that is not ours or without a display.
BOOL WINAPI SetForegroundWindow(HWND hWnd);

// Window messages a dialog hook receives.
#define WM_INITDIALOG 0x0110

// ---------------------------------------------------------------------------
// The print dialog (comdlg32). A modal GTK dialog over the spooler's printer
// list: the printer, its paper, the orientation and the number of copies.
typedef UINT_PTR(CALLBACK *LPPRINTHOOKPROC)(HWND, UINT, WPARAM, LPARAM);
typedef UINT_PTR(CALLBACK *LPSETUPHOOKPROC)(HWND, UINT, WPARAM, LPARAM);

typedef struct tagPDW {
  DWORD lStructSize;
  HWND hwndOwner;
  HGLOBAL hDevMode;   // DEVMODEW in global memory, in and out
  HGLOBAL hDevNames;  // DEVNAMES in global memory, in and out
  HDC hDC;
  DWORD Flags;
  WORD nFromPage;
  WORD nToPage;
  WORD nMinPage;
  WORD nMaxPage;
  WORD nCopies;
  HINSTANCE hInstance;
  LPARAM lCustData;
  LPPRINTHOOKPROC lpfnPrintHook;
  LPSETUPHOOKPROC lpfnSetupHook;
  LPCWSTR lpPrintTemplateName;
  LPCWSTR lpSetupTemplateName;
  HGLOBAL hPrintTemplate;
  HGLOBAL hSetupTemplate;
} PRINTDLGW, *LPPRINTDLGW;

// Offsets (in characters) of the driver, device and port names that follow.
typedef struct tagDEVNAMES {
  WORD wDriverOffset;
  WORD wDeviceOffset;
  WORD wOutputOffset;
  WORD wDefault;
} DEVNAMES, *LPDEVNAMES;
#define DN_DEFAULTPRN 0x0001

#define PD_ALLPAGES 0x00000000
#define PD_SELECTION 0x00000001
#define PD_PAGENUMS 0x00000002
#define PD_NOSELECTION 0x00000004
#define PD_NOPAGENUMS 0x00000008
#define PD_COLLATE 0x00000010
#define PD_PRINTTOFILE 0x00000020
#define PD_PRINTSETUP 0x00000040
#define PD_NOWARNING 0x00000080
#define PD_RETURNDC 0x00000100
#define PD_RETURNIC 0x00000200
#define PD_RETURNDEFAULT 0x00000400
#define PD_SHOWHELP 0x00000800
#define PD_ENABLEPRINTHOOK 0x00001000
#define PD_ENABLESETUPHOOK 0x00002000
#define PD_DISABLEPRINTTOFILE 0x00080000
#define PD_HIDEPRINTTOFILE 0x00100000
#define PD_USEDEVMODECOPIESANDCOLLATE 0x00040000

// CommDlgExtendedError codes (0 after a cancelled dialog).
#define CDERR_DIALOGFAILURE 0xFFFF
#define CDERR_STRUCTSIZE 0x0001
#define CDERR_INITIALIZATION 0x0002
#define CDERR_MEMALLOCFAILURE 0x0009
#define PDERR_NODEFAULTPRN 0x1008
#define PDERR_PRINTERNOTFOUND 0x100B

// Without PD_NOPAGENUMS and with nMaxPage > 0 the dialog offers all pages or
// nFromPage..nToPage within nMinPage..nMaxPage; on return PD_PAGENUMS in
// Flags tells which the user chose.
// TRUE when the user confirmed: hDevMode and hDevNames then describe the
// chosen printer and its setup (new handles; the ones passed in are freed).
// FALSE when cancelled (CommDlgExtendedError 0) or when no dialog could be
// shown, e.g. without a display (CDERR_DIALOGFAILURE).
BOOL WINAPI PrintDlgW(LPPRINTDLGW pPD);
DWORD WINAPI CommDlgExtendedError(void);

// System colours (GetSysColor indices) and their values: the defaults of a
// standard Windows desktop theme; an unknown index gives 0 (black).
#define COLOR_SCROLLBAR 0
#define COLOR_BACKGROUND 1
#define COLOR_DESKTOP 1
#define COLOR_ACTIVECAPTION 2
#define COLOR_INACTIVECAPTION 3
#define COLOR_MENU 4
#define COLOR_WINDOW 5
#define COLOR_WINDOWFRAME 6
#define COLOR_MENUTEXT 7
#define COLOR_WINDOWTEXT 8
#define COLOR_CAPTIONTEXT 9
#define COLOR_ACTIVEBORDER 10
#define COLOR_INACTIVEBORDER 11
#define COLOR_APPWORKSPACE 12
#define COLOR_HIGHLIGHT 13
#define COLOR_HIGHLIGHTTEXT 14
#define COLOR_BTNFACE 15
#define COLOR_BTNSHADOW 16
#define COLOR_GRAYTEXT 17
#define COLOR_BTNTEXT 18
#define COLOR_INACTIVECAPTIONTEXT 19
#define COLOR_BTNHIGHLIGHT 20
#define COLOR_3DDKSHADOW 21
#define COLOR_3DLIGHT 22
#define COLOR_INFOTEXT 23
#define COLOR_INFOBK 24
#define COLOR_HOTLIGHT 26
#define COLOR_GRADIENTACTIVECAPTION 27
#define COLOR_GRADIENTINACTIVECAPTION 28
#define COLOR_MENUHILIGHT 29
#define COLOR_MENUBAR 30
DWORD WINAPI GetSysColor(int nIndex);

// ---------------------------------------------------------------------------
// Window messages and virtual keys the preview window exchanges.
typedef LRESULT(CALLBACK *WNDPROC)(HWND, UINT, WPARAM, LPARAM);
#define WM_SIZE 0x0005
#define WM_SETTEXT 0x000C
#define WM_CLOSE 0x0010
#define WM_SHOWWINDOW 0x0018
#define WM_KEYDOWN 0x0100
#define WM_KEYUP 0x0101
#define WM_COMMAND 0x0111
#define WM_TIMER 0x0113
#define WM_MOUSEWHEEL 0x020A
#define WM_USER 0x0400
#define WHEEL_DELTA 120
#define MK_CONTROL 0x0008
#define VK_ESCAPE 0x1B
#define VK_PRIOR 0x21
#define VK_NEXT 0x22
#define VK_UP 0x26
#define VK_DOWN 0x28
#define VK_ADD 0x6B
#define VK_SUBTRACT 0x6D
#define MAKEWPARAM(l, h) ((WPARAM)(DWORD)MAKELONG(l, h))
#define MAKELPARAM(l, h) ((LPARAM)(DWORD)MAKELONG(l, h))
#define GET_WHEEL_DELTA_WPARAM(wParam) ((short)HIWORD(wParam))
#define GET_KEYSTATE_WPARAM(wParam) (LOWORD(wParam))

LRESULT WINAPI SendMessageW(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam);
// Destroys a window of the UI module; a modal loop running it returns.
BOOL WINAPI DestroyWindow(HWND hWnd);

// ---------------------------------------------------------------------------
// Not Win32: the preview window class of the UI module. The window is a view:
// it reports the user's actions to the owner's procedure and shows what the
// owner sends it; the owner keeps the state and the rules.
//
// Controls (the ids of WM_COMMAND, PWM_SETTEXT and PWM_ENABLE).
#define PWC_FIRST 1
#define PWC_PREVIOUS 2
#define PWC_NEXT 3
#define PWC_LAST 4
#define PWC_PRINT 5
#define PWC_ZOOMPAGE 6
#define PWC_ZOOMWIDTH 7
#define PWC_ZOOMMINUS 8
#define PWC_ZOOMPLUS 9
#define PWC_PAGES 10  // the page label
#define PWC_ZOOM 11   // the zoom box

// The owner's procedure receives: WM_COMMAND (LOWORD(wParam) a button id);
// WM_KEYDOWN / WM_KEYUP (wParam the virtual key; letters as their capital);
// WM_MOUSEWHEEL (the delta in HIWORD(wParam), MK_CONTROL in LOWORD(wParam),
// lParam 1 when the pointer lies strictly inside the scroll area);
// WM_SIZE (lParam: the client width in LOWORD, height in HIWORD);
// WM_SHOWWINDOW once the window is on the screen; WM_TIMER (wParam the id);
// WM_CLOSE when the user closes the window (the owner calls DestroyWindow);
// PWN_PAINTPAGE when a part of the page image is to be drawn.
#define PWN_PAINTPAGE (WM_USER + 1)

// PWN_PAINTPAGE's lParam: draw the part `clip` of the page image drawn at
// `width` x `height` pixels and answer 1 with `bits` (32-bit BGRX rows,
// top-down, `stride` bytes apart) pointing at the owner's pixels of that
// part. They stay valid until the next PWN_PAINTPAGE and until the window
// is destroyed; the window shows them without copying.
typedef struct tagPREVIEWPAINT {
  int width;
  int height;
  RECT clip;
  void *bits;
  int stride;
} PREVIEWPAINT;

// Messages to the window:
// PWM_SETTEXT: wParam a control id, lParam the LPCWSTR text (for PWC_PRINT
//   the button's hint); WM_SETTEXT sets the caption.
#define PWM_SETTEXT (WM_USER + 10)
// PWM_ENABLE: wParam a button id, lParam TRUE or FALSE.
#define PWM_ENABLE (WM_USER + 11)
// PWM_LAYOUT: lParam a PREVIEWLAYOUT; places the paper and its shadows in
// the scroll area and scrolls it to the origin.
#define PWM_LAYOUT (WM_USER + 12)
// PWM_SETSCROLLBOX: wParam the scroll area's width, lParam its height (the
//   window's layout gives it that size; the client rectangle follows it).
#define PWM_SETSCROLLBOX (WM_USER + 13)
// PWM_GETSCROLLBOX: lParam a RECT that receives the scroll area's client
// rectangle: without the scroll bars that content of MAKEWPARAM(width,
// height) pixels needs (wParam 0: none).
#define PWM_GETSCROLLBOX (WM_USER + 14)
// PWM_SCROLLBY: lParam the pixels to scroll down (negative: up).
#define PWM_SCROLLBY (WM_USER + 15)
// PWM_SETPLACEMENT: wParam SW_MINIMIZE, SW_MAXIMIZE or SW_SHOWNORMAL;
// lParam for SW_SHOWNORMAL a RECT (left, top, right, bottom) or NULL.
#define PWM_SETPLACEMENT (WM_USER + 16)
// PWM_GETPLACEMENT: lParam a PREVIEWPLACEMENT that receives the window's
// show state and its position and size.
#define PWM_GETPLACEMENT (WM_USER + 17)
// PWM_SETTOPMOST: wParam TRUE keeps the window above the others.
#define PWM_SETTOPMOST (WM_USER + 18)
// PWM_GETWORKAREA: lParam a RECT[2]: the monitor's rectangle and its work
// area (without panels and task bars).
#define PWM_GETWORKAREA (WM_USER + 19)
// PWM_SETTIMER: wParam the id, lParam the interval in ms (0 stops it).
#define PWM_SETTIMER (WM_USER + 20)
// PWM_INVALIDATE: the page is drawn anew.
#define PWM_INVALIDATE (WM_USER + 21)

typedef struct tagPREVIEWLAYOUT {
  RECT paper;  // the paper panel; the page lies 8 pixels inside it
  RECT shadowRight;
  RECT shadowBottom;
} PREVIEWLAYOUT;

typedef struct tagPREVIEWPLACEMENT {
  int state;  // 0 normal, 1 minimized, 2 maximized
  RECT bounds;
} PREVIEWPLACEMENT;

typedef struct tagPREVIEWWNDW {
  DWORD cbSize;
  WNDPROC proc;  // the owner's procedure
  LPCWSTR caption;
  COLORREF background, paper, shadow, toolbar;
} PREVIEWWNDW;

// The window, hidden, or NULL without a display (no module, no GTK).
HWND WINAPI CreatePreviewWindowW(const PREVIEWWNDW *info);
// Shows the window and runs its modal loop until it is destroyed.
void WINAPI RunPreviewWindow(HWND hWnd);
