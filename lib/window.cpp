// Windows, painting and dialogs: small fixed uses of the window, menu,
// font, painting and progress bar calls.
#include "qelint.h"
#include <commctrl.h>

HWND qelControl(HWND window, int id)
{
    return id ? GetDlgItem(window, id) : window;
}

int QELAPI qelWndRegister(const char *className, unsigned style, WNDPROC proc, HINSTANCE instance,
                          HICON icon, HCURSOR cursor, HBRUSH background, const char *menuName)
{
    WNDCLASSEXA wc;
    qelMemClr(&wc, sizeof wc);
    wc.cbSize = sizeof wc;
    wc.style = style;
    wc.lpfnWndProc = proc;
    wc.cbWndExtra = 30; // the library's windows carry 30 extra bytes, not 32
    wc.hInstance = instance;
    wc.hIcon = icon;
    wc.hCursor = cursor;
    wc.hbrBackground = background;
    wc.lpszMenuName = menuName;
    wc.lpszClassName = className;
    wc.hIconSm = icon;
    return RegisterClassExA(&wc);
}

intptr_t QELAPI qelWndProcAddr(int mode, HWND window, int id, WNDPROC proc)
{
    HWND w = qelControl(window, id);
    if (mode == -1) return GetWindowLongPtrA(w, GWLP_WNDPROC);
    if (mode == 1 && proc) return SetWindowLongPtrA(w, GWLP_WNDPROC, (LONG_PTR)proc);
    return (intptr_t)w;
}

intptr_t QELAPI qelShowWnd(HWND window, int id, int mode)
{
    HWND w = qelControl(window, id);
    if (mode == 0 || mode == 1) return ShowWindow(w, mode ? SW_SHOW : SW_HIDE);
    return (intptr_t)w;
}

intptr_t QELAPI qelEnableWnd(HWND window, int id, int mode)
{
    HWND w = qelControl(window, id);
    if (mode == 0 || mode == 1) return EnableWindow(w, mode);
    return (intptr_t)w;
}

// SetFocus(0) would take the focus away from every window: a pair that
// names no window leaves the focus where it is, and nothing had it moved.
HWND QELAPI qelSetFocus(HWND window, int id)
{
    HWND w = qelControl(window, id);
    return w ? SetFocus(w) : 0;
}

// The box is owned by the window argument itself, even when id names one of
// its controls; the focus then goes back to the addressed control, if any.
int QELAPI qelAlert(const char *caption, const char *text, HWND window, int id, unsigned style)
{
    HWND w = qelControl(window, id);
    int pressed = MessageBoxA(window, text, caption, style);
    if (w) SetFocus(w);
    return pressed;
}

unsigned QELAPI qelGetRGB(int red, int green, int blue)
{
    return (unsigned)(red & 0xFF) | (unsigned)(green & 0xFF) << 8 | (unsigned)(blue & 0xFF) << 16;
}

static int FontWeight(int weightClass)
{
    static const int kWeights[] = {FW_THIN, FW_LIGHT, FW_NORMAL, FW_MEDIUM, FW_BOLD, FW_HEAVY};
    return weightClass >= 1 && weightClass <= 6 ? kWeights[weightClass - 1] : FW_DONTCARE;
}

// Class 0 is the default set, not the ANSI one.
static int FontCharSet(int setClass)
{
    if (setClass == 1) return ANSI_CHARSET;
    if (setClass == 2) return OEM_CHARSET;
    return DEFAULT_CHARSET;
}

intptr_t QELAPI qelGetFont(char *mode, int height, int width, int weightClass, int italic,
                           int setClass, intptr_t faceOrFont)
{
    if (!mode) return 0;
    LowerCaseAscii(mode);
    if (qelStrCmp(mode, "[1]"))
        return (intptr_t)CreateFontA(height, width, 0, 0, FontWeight(weightClass), italic != 0,
                                     FALSE, FALSE, (DWORD)FontCharSet(setClass), OUT_TT_PRECIS,
                                     CLIP_DEFAULT_PRECIS, PROOF_QUALITY,
                                     DEFAULT_PITCH | FF_DONTCARE, (const char *)faceOrFont);
    if (qelStrCmp(mode, "[0]")) return DeleteObject((HGDIOBJ)faceOrFont);
    return 0;
}

intptr_t QELAPI qelSetFont(HWND window, HFONT font)
{
    return SendMessageA(window, WM_SETFONT, (WPARAM)font, 0);
}

// The menu is attached even when it could not be loaded: the window is then
// left without one.
HMENU QELAPI qelMenu(HINSTANCE instance, HWND window, const char *menuName)
{
    HMENU menu = LoadMenuA(instance, menuName);
    SetMenu(window, menu);
    return menu;
}

// Any other mode changes nothing and reports the item's state as it stands,
// in the form EnableMenuItem reports the previous one (-1: no such item).
int QELAPI qelSetMenuItem(int mode, HMENU menu, int item)
{
    UINT state;
    if (mode == 1) state = MF_ENABLED;
    else if (mode == 0) state = MF_GRAYED;
    else if (mode == -1) state = MF_DISABLED;
    else {
        UINT now = GetMenuState(menu, (UINT)item, MF_BYCOMMAND);
        return now == (UINT)-1 ? -1 : (int)(now & (MF_GRAYED | MF_DISABLED));
    }
    return (int)EnableMenuItem(menu, (UINT)item, MF_BYCOMMAND | state);
}

// The paint state, one per process and shared by the two paint functions:
// a begin call, optional edge calls and an end call make one paint.
//
// The device context that an edge call of qelPaintHDC hands out belongs to
// the paint: the caller draws with it and does not give it back; the next
// edge call or the end call does. qelPaintRCPAINT's edge calls give their
// context back before they return. No context from GetDC outlives a paint.
static int painting;
static PAINTSTRUCT paintRecord;
static HDC paintDC;
static HDC edgeDC;     // an edge call's context still to be given back
static HWND edgeWindow;

// The window's device context; none for no window (GetDC(0) is the whole
// screen's): whenever (window, id) names no window, nothing is drawn and no
// context is taken or handed out.
static HDC WindowDC(HWND w) { return w ? GetDC(w) : 0; }

static void ReleaseEdgeDC(void)
{
    if (edgeDC) ReleaseDC(edgeWindow, edgeDC);
    edgeDC = 0;
    edgeWindow = 0;
}

static UINT EdgeKind(int edge)
{
    switch (edge) {
    case -1: return EDGE_SUNKEN;
    case 0: return EDGE_ETCHED;
    case 1: return EDGE_RAISED;
    case -101: return EDGE_BUMP;
    }
    return 0;
}

static void PaintStep(int mode, HWND window, int id, int edge, bool keepEdgeDC)
{
    HWND w = qelControl(window, id);
    if (mode == 1 && !painting) {
        paintDC = BeginPaint(w, &paintRecord);
        painting = 1;
    } else if (mode == 1) {
        ReleaseEdgeDC();
        paintDC = WindowDC(w);
        if (!paintDC) return;
        RECT client;
        GetClientRect(w, &client);
        if (UINT kind = EdgeKind(edge)) DrawEdge(paintDC, &client, kind, BF_RECT);
        if (keepEdgeDC) {
            edgeDC = paintDC;
            edgeWindow = w;
        } else {
            ReleaseDC(w, paintDC);
        }
    } else if (mode == 0 && painting) {
        ReleaseEdgeDC();
        EndPaint(w, &paintRecord);
        painting = 0;
    }
}

HDC QELAPI qelPaintHDC(int mode, HWND window, int id, int edge)
{
    PaintStep(mode, window, id, edge, true);
    return paintDC;
}

RECT *QELAPI qelPaintRCPAINT(int mode, HWND window, int id, int edge)
{
    PaintStep(mode, window, id, edge, false);
    return &paintRecord.rcPaint;
}

// No rectangle or no window: nothing filled, still 1.
int QELAPI qelFill(HWND window, int id, unsigned colour, const RECT *rect)
{
    if (!rect) return 1;
    HWND w = qelControl(window, id);
    HDC dc = WindowDC(w);
    if (!dc) return 1;
    HBRUSH brush = CreateSolidBrush(colour);
    FillRect(dc, rect, brush);
    DeleteObject(brush);
    ReleaseDC(w, dc);
    return 1;
}

// Negative values are brought into 0..31999 by adding 32000 as often as
// needed; the remainder gives the same in one step.
int QELAPI qelAbsXX(int coordinate)
{
    if (coordinate >= 0) return coordinate;
    int r = coordinate % 32000;
    return r < 0 ? r + 32000 : r;
}

int QELAPI qelAbsYY(int coordinate) { return qelAbsXX(coordinate); }

// The bitmap stays loaded until the next call replaces it. With no window
// the bitmap is still loaded and the memory context made, but nothing is
// drawn.
static HBITMAP imageBitmap;

int QELAPI qelPutImage(HWND window, int id, const char *bitmapName, HINSTANCE instance)
{
    HWND w = qelControl(window, id);
    HDC dc = WindowDC(w);
    if (imageBitmap) DeleteObject(imageBitmap);
    imageBitmap = LoadBitmapA(instance, bitmapName);
    HDC memory = CreateCompatibleDC(dc);
    SelectObject(memory, imageBitmap);
    RECT client;
    if (dc && GetClientRect(w, &client)) BitBlt(dc, 0, 0, client.right, client.bottom, memory, 0, 0, SRCCOPY);
    int deleted = DeleteDC(memory);
    if (dc) ReleaseDC(w, dc);
    return deleted;
}

// record: window (in), left, top, width, height (out), reserved (kept).
int QELAPI qelWndPosition(int x, int y, int areaWidth, int areaHeight, int *record,
                          int offsetX, int offsetY)
{
    if (!record || !record[0]) return 1;
    int r[6];
    qelMemCopy(record, r, sizeof r);
    RECT at = {0, 0, 0, 0};
    GetWindowRect((HWND)(intptr_t)r[0], &at);
    r[1] = qelAbsXX(at.left);
    r[2] = qelAbsYY(at.top);
    r[3] = qelMinus(qelAbsXX(at.right), r[1]);
    r[4] = qelMinus(qelAbsYY(at.bottom), r[2]);
    if (areaWidth) r[1] = qelPlus(qelDivide(qelMinus(areaWidth, r[3]), 2), x);
    if (areaHeight) r[2] = qelPlus(qelDivide(qelMinus(areaHeight, r[4]), 2), y);
    r[1] = qelPlus(r[1], offsetX);
    r[2] = qelPlus(r[2], offsetY);
    qelMemCopy(r, record, sizeof r);
    return 1;
}

int QELAPI qelProgressBar(HWND window, int id, int step, int steps)
{
    HWND bar = qelControl(window, id);
    if (step == 0 && steps == 0) {
        SendMessageA(bar, PBM_SETRANGE32, 0, 100);
        SendMessageA(bar, PBM_SETPOS, 0, 0);
    } else {
        SendMessageA(bar, PBM_SETPOS, (WPARAM)qelDivide(qelMultiply(step, 100), steps), 0);
    }
    return 1;
}
