// Windows, painting and dialogs, on real windows of the test process.
#include <gtest/gtest.h>
#include "qelint.h"
#include "uitest.h"
#include <commctrl.h>

namespace {

struct IntCase {
    const char *name;
    int (*call)(int, int, int);
    int a, b, c, want;
};

const IntCase kPureCases[] = {
#define I1(f, w, x) {#f, [](int a, int, int) { return (int)f(a); }, x, 0, 0, w},
#define I3(f, w, x, y, z) {#f, [](int a, int b, int c) { return (int)f(a, b, c); }, x, y, z, w},
#include "cases/window.inc"
#undef I1
#undef I3
};

TEST(WindowPure, Table)
{
    for (const IntCase &t : kPureCases)
        EXPECT_EQ(t.want, t.call(t.a, t.b, t.c)) << t.name << "(" << t.a << ", " << t.b << ", " << t.c << ")";
}

HINSTANCE Self() { return GetModuleHandleA(0); }

const COLORREF kBack = RGB(10, 200, 30);
const int kW = 200, kH = 150;

// Paint calls that the test window makes on its next WM_PAINT, and what
// they returned.
struct PaintCall {
    bool hdc; // qelPaintHDC, else qelPaintRCPAINT
    int mode, edge;
};
std::vector<PaintCall> paintScript;
std::vector<intptr_t> paintResults;

LRESULT CALLBACK TestProc(HWND w, UINT msg, WPARAM wp, LPARAM lp)
{
    if (msg == WM_PAINT && !paintScript.empty()) {
        for (const PaintCall &c : paintScript)
            paintResults.push_back(c.hdc ? (intptr_t)qelPaintHDC(c.mode, w, 0, c.edge)
                                         : (intptr_t)qelPaintRCPAINT(c.mode, w, 0, c.edge));
        paintScript.clear();
        return 0;
    }
    return DefWindowProcA(w, msg, wp, lp);
}

// One test window for the whole suite (a visible window takes Wine a
// moment to map); each test starts from its plain state.
class Window : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        INITCOMMONCONTROLSEX icc = {sizeof icc, ICC_PROGRESS_CLASS};
        InitCommonControlsEx(&icc);
        WNDCLASSA wc = {};
        wc.lpfnWndProc = TestProc;
        wc.hInstance = Self();
        wc.hbrBackground = CreateSolidBrush(kBack);
        wc.lpszClassName = "QvnTestWindow";
        RegisterClassA(&wc);
        top = CreateWindowExA(0, "QvnTestWindow", "qvn window test", WS_POPUP | WS_VISIBLE, 100,
                              100, kW, kH, 0, 0, Self(), 0);
        edit = CreateWindowExA(0, "EDIT", "", WS_CHILD | WS_VISIBLE, 150, 10, 40, 20, top,
                               (HMENU)10, Self(), 0);
        bar = CreateWindowExA(0, PROGRESS_CLASSA, "", WS_CHILD | WS_VISIBLE, 150, 100, 40, 10, top,
                              (HMENU)11, Self(), 0);
    }
    static void TearDownTestSuite() { DestroyWindow(top); }
    void SetUp() override
    {
        ASSERT_TRUE(top && edit && bar);
        paintScript.clear();
        SetMenu(top, 0);
        ShowWindow(edit, SW_SHOW);
        EnableWindow(edit, TRUE);
        InvalidateRect(top, 0, TRUE);
        UpdateWindow(top);
        Pump();
    }
    // Repaints the whole client area, running the paint script.
    void Repaint(std::vector<PaintCall> script)
    {
        paintResults.clear();
        paintScript = std::move(script);
        InvalidateRect(top, 0, TRUE);
        UpdateWindow(top);
    }
    static HWND top, edit, bar;
};
HWND Window::top, Window::edit, Window::bar;

COLORREF Pixel(HWND w, int x, int y)
{
    HDC dc = GetDC(w);
    COLORREF c = GetPixel(dc, x, y);
    ReleaseDC(w, dc);
    return c;
}

// The pixels along the border of a kW x kH area, and one inside it.
const POINT kProbe[] = {{0, 0}, {1, 1}, {kW - 1, kH - 1}, {kW - 2, kH - 2}, {kW / 2, 0},
                        {0, kH / 2}, {kW / 2, kH - 1}, {kW - 1, kH / 2}, {kW / 2, 1}, {2, 2}};

std::vector<COLORREF> Border(HWND w)
{
    std::vector<COLORREF> out;
    for (const POINT &p : kProbe) out.push_back(Pixel(w, p.x, p.y));
    return out;
}

// What the border looks like with an edge of the given kind (0: none)
// drawn on the background, rendered apart from the window.
std::vector<COLORREF> ReferenceBorder(UINT kind)
{
    HDC screen = GetDC(0);
    HDC dc = CreateCompatibleDC(screen);
    HBITMAP bmp = CreateCompatibleBitmap(screen, kW, kH);
    HGDIOBJ old = SelectObject(dc, bmp);
    RECT r = {0, 0, kW, kH};
    HBRUSH back = CreateSolidBrush(kBack);
    FillRect(dc, &r, back);
    DeleteObject(back);
    if (kind) DrawEdge(dc, &r, kind, BF_RECT);
    std::vector<COLORREF> out;
    for (const POINT &p : kProbe) out.push_back(GetPixel(dc, p.x, p.y));
    SelectObject(dc, old);
    DeleteObject(bmp);
    DeleteDC(dc);
    ReleaseDC(0, screen);
    return out;
}

TEST_F(Window, SetupPagePaintBeginsEdgesAndEnds)
{
    ValidateRect(top, 0);
    paintResults.clear();
    paintScript = {{false, 1, 0}, {false, 1, 0}, {false, 0, 0}};
    RECT dirty = {10, 10, 60, 40};
    InvalidateRect(top, &dirty, TRUE);
    UpdateWindow(top);
    ASSERT_EQ(3u, paintResults.size());
    EXPECT_EQ(paintResults[0], paintResults[1]);
    EXPECT_EQ(paintResults[0], paintResults[2]);
    const RECT *rc = (const RECT *)paintResults[0];
    EXPECT_EQ(10, rc->left);
    EXPECT_EQ(10, rc->top);
    EXPECT_EQ(60, rc->right);
    EXPECT_EQ(40, rc->bottom);
    EXPECT_FALSE(GetUpdateRect(top, 0, FALSE)); // EndPaint validated it
    EXPECT_EQ(ReferenceBorder(EDGE_ETCHED), Border(top));
}

TEST_F(Window, EdgeKinds)
{
    struct {
        int edge;
        UINT kind;
    } const kCases[] = {{-1, EDGE_SUNKEN}, {0, EDGE_ETCHED}, {1, EDGE_RAISED}, {-101, EDGE_BUMP},
                        {2, 0}, {-2, 0}, {101, 0}};
    for (const auto &t : kCases) {
        for (bool hdc : {false, true}) {
            Repaint({{hdc, 1, 0}, {hdc, 1, t.edge}, {hdc, 0, 0}});
            EXPECT_EQ(ReferenceBorder(t.kind), Border(top)) << "edge " << t.edge << (hdc ? " HDC" : " RCPAINT");
        }
    }
    // The four kinds look different from each other and from no edge.
    const UINT kinds[] = {0, EDGE_SUNKEN, EDGE_ETCHED, EDGE_RAISED, EDGE_BUMP};
    for (UINT a : kinds)
        for (UINT b : kinds)
            if (a < b) {
                EXPECT_NE(ReferenceBorder(a), ReferenceBorder(b)) << a << " " << b;
            }
}

// Counts the device contexts that the library takes and gives back.
struct DCLog {
    int got = 0, released = 0;
    HDC lastGot = 0, lastReleased = 0;
};
DCLog dcLog;
ImportHook *getDCHook, *releaseDCHook;

HDC WINAPI CountingGetDC(HWND w)
{
    HDC dc = ((HDC(WINAPI *)(HWND))getDCHook->original)(w);
    dcLog.got++;
    dcLog.lastGot = dc;
    return dc;
}

int WINAPI CountingReleaseDC(HWND w, HDC dc)
{
    dcLog.released++;
    dcLog.lastReleased = dc;
    return ((int(WINAPI *)(HWND, HDC))releaseDCHook->original)(w, dc);
}

class CountDCs {
public:
    CountDCs() : get_("user32.dll", "GetDC", (void *)CountingGetDC), release_("user32.dll", "ReleaseDC", (void *)CountingReleaseDC)
    {
        getDCHook = &get_;
        releaseDCHook = &release_;
        dcLog = DCLog();
    }
    bool Installed() const { return get_.Installed() && release_.Installed(); }

private:
    ImportHook get_, release_;
};

TEST_F(Window, EdgeContextOfPaintHDCIsGivenBackByThePaint)
{
    CountDCs counting;
    ASSERT_TRUE(counting.Installed());
    HDC painted = qelPaintHDC(1, top, 0, 0);
    EXPECT_NE(nullptr, painted);
    EXPECT_EQ(0, dcLog.got); // BeginPaint's context is not a GetDC one
    HDC edgeDC = qelPaintHDC(1, top, 0, 7); // an edge outside the table: just the context
    EXPECT_EQ(1, dcLog.got);
    EXPECT_EQ(dcLog.lastGot, edgeDC);
    EXPECT_EQ(0, dcLog.released); // the caller draws with it now
    RECT spot = {20, 20, 30, 30};
    HBRUSH red = CreateSolidBrush(RGB(255, 0, 0));
    FillRect(edgeDC, &spot, red);
    DeleteObject(red);
    EXPECT_EQ(edgeDC, qelPaintHDC(2, top, 0, 0)); // other modes: nothing, last context

    HDC second = qelPaintHDC(1, top, 0, 1); // a further edge call gives the first back
    EXPECT_EQ(2, dcLog.got);
    EXPECT_EQ(1, dcLog.released);
    EXPECT_EQ(edgeDC, dcLog.lastReleased);

    qelPaintHDC(0, top, 0, 0); // the end call gives the last one back
    EXPECT_EQ(2, dcLog.released);
    EXPECT_EQ(second, dcLog.lastReleased);
    EXPECT_EQ(second, qelPaintHDC(0, top, 0, 0)); // idle: nothing, last value
    EXPECT_EQ(2, dcLog.released);
    EXPECT_EQ(RGB(255, 0, 0), Pixel(top, 25, 25));
}

TEST_F(Window, EdgeContextOfPaintRCPAINTIsGivenBackAtOnce)
{
    CountDCs counting;
    ASSERT_TRUE(counting.Installed());
    RECT *rc = qelPaintRCPAINT(1, top, 0, 0);
    qelPaintRCPAINT(1, top, 0, -1);
    EXPECT_EQ(1, dcLog.got);
    EXPECT_EQ(1, dcLog.released);
    EXPECT_EQ(dcLog.lastGot, dcLog.lastReleased);
    EXPECT_EQ(dcLog.lastGot, qelPaintHDC(2, top, 0, 0)); // kept as the last context
    EXPECT_EQ(rc, qelPaintRCPAINT(0, top, 0, 0));
    EXPECT_EQ(1, dcLog.released);
}

TEST_F(Window, CallsOutsideAPaintChangeNothing)
{
    Repaint({{false, 1, 0}, {false, 0, 0}});
    RECT *rc = (RECT *)paintResults[0];
    RECT before = *rc;
    HDC last = qelPaintHDC(3, top, 0, 0);
    EXPECT_EQ(rc, qelPaintRCPAINT(0, top, 0, 0)); // end without begin
    EXPECT_EQ(rc, qelPaintRCPAINT(-1, top, 0, 0));
    EXPECT_EQ(last, qelPaintHDC(0, top, 0, 0));
    EXPECT_TRUE(EqualRect(&before, rc));
    // Still idle: the next mode 1 begins a paint (a fresh record) rather
    // than drawing an edge.
    RECT dirty = {5, 6, 7, 8};
    InvalidateRect(top, &dirty, FALSE);
    qelPaintRCPAINT(1, top, 0, 0);
    EXPECT_EQ(5, rc->left);
    EXPECT_EQ(8, rc->bottom);
    qelPaintRCPAINT(0, top, 0, 0);
    EXPECT_FALSE(GetUpdateRect(top, 0, FALSE));
}

TEST_F(Window, FillLeavesOutRightAndBottom)
{
    RECT r = {10, 20, 30, 25};
    EXPECT_EQ(1, qelFill(top, 0, qelGetRGB(200, 10, 10), &r));
    EXPECT_EQ(RGB(200, 10, 10), Pixel(top, 10, 20));
    EXPECT_EQ(RGB(200, 10, 10), Pixel(top, 29, 24));
    EXPECT_EQ(kBack, Pixel(top, 30, 20));
    EXPECT_EQ(kBack, Pixel(top, 10, 25));
    EXPECT_EQ(1, qelFill(top, 0, RGB(1, 2, 3), 0)); // no rectangle: nothing filled, still 1
}

// GetDC(0) is the screen's context: a pair that names no window must not
// get as far as asking for one.
TEST_F(Window, PairThatNamesNoWindowTakesNoContext)
{
    CountDCs counting;
    ASSERT_TRUE(counting.Installed());
    RECT r = {0, 0, 50, 50};
    EXPECT_EQ(1, qelFill(top, 999, RGB(250, 10, 10), &r));
    EXPECT_NE(0, qelPutImage(top, 999, MAKEINTRESOURCEA(200), Self()));
    qelPaintHDC(1, top, 0, 0);
    EXPECT_EQ(nullptr, qelPaintHDC(1, top, 999, 0)); // an edge call hands out nothing
    qelPaintHDC(0, top, 0, 0);
    EXPECT_EQ(0, dcLog.got);
}

TEST_F(Window, RegisterFillsTheClassRecord)
{
    HICON icon = LoadIconA(0, (LPCSTR)IDI_QUESTION);
    HCURSOR cursor = LoadCursorA(0, (LPCSTR)IDC_CROSS);
    HBRUSH brush = (HBRUSH)(COLOR_WINDOW + 1);
    int atom = qelWndRegister("QvnRegistered", CS_HREDRAW | CS_DBLCLKS, TestProc, Self(), icon,
                              cursor, brush, MAKEINTRESOURCEA(100));
    EXPECT_NE(0, atom);
    WNDCLASSEXA wc = {sizeof wc};
    ASSERT_TRUE(GetClassInfoExA(Self(), "QvnRegistered", &wc));
    EXPECT_EQ((UINT)(CS_HREDRAW | CS_DBLCLKS), wc.style);
    EXPECT_EQ(30, wc.cbWndExtra);
    EXPECT_EQ(0, wc.cbClsExtra);
    EXPECT_EQ((WNDPROC)TestProc, wc.lpfnWndProc);
    EXPECT_EQ(icon, wc.hIcon);
    EXPECT_EQ(cursor, wc.hCursor);
    EXPECT_EQ(brush, wc.hbrBackground);
    EXPECT_EQ(MAKEINTRESOURCEA(100), wc.lpszMenuName);
    HWND w = CreateWindowExA(0, "QvnRegistered", "", WS_POPUP, 0, 0, 10, 10, 0, 0, Self(), 0);
    SetLastError(0);
    GetWindowLongA(w, 26); // the last four of the 30 bytes
    EXPECT_EQ(0u, GetLastError());
    SetLastError(0);
    GetWindowLongA(w, 27); // past them
    EXPECT_NE(0u, GetLastError());
    DestroyWindow(w);
    EXPECT_EQ(0, qelWndRegister("QvnRegistered", 0, TestProc, Self(), 0, 0, 0, 0)); // taken
    UnregisterClassA("QvnRegistered", Self());
}

LRESULT CALLBACK OtherProc(HWND w, UINT msg, WPARAM wp, LPARAM lp)
{
    return DefWindowProcA(w, msg, wp, lp);
}

TEST_F(Window, ProcAddrShowEnableAndFocusByMode)
{
    WNDPROC editProc = (WNDPROC)GetWindowLongPtrA(edit, GWLP_WNDPROC);
    EXPECT_EQ((intptr_t)editProc, qelWndProcAddr(-1, top, 10, 0));
    EXPECT_EQ((intptr_t)TestProc, qelWndProcAddr(-1, top, 0, 0));
    EXPECT_EQ((intptr_t)edit, qelWndProcAddr(1, top, 10, 0)); // no procedure: handle
    EXPECT_EQ((intptr_t)edit, qelWndProcAddr(0, top, 10, OtherProc));
    EXPECT_EQ((intptr_t)editProc, GetWindowLongPtrA(edit, GWLP_WNDPROC));
    EXPECT_EQ((intptr_t)editProc, qelWndProcAddr(1, top, 10, OtherProc));
    EXPECT_EQ((intptr_t)OtherProc, GetWindowLongPtrA(edit, GWLP_WNDPROC));
    EXPECT_EQ((intptr_t)OtherProc, qelWndProcAddr(1, top, 10, editProc));

    struct {
        intptr_t (*call)(HWND, int, int);
        int mode;
        intptr_t want; // -1: the addressed handle
        bool visible, enabled;
    } const kCases[] = {
        {[](HWND w, int id, int m) { return qelShowWnd(w, id, m); }, 0, 1, false, true},
        {[](HWND w, int id, int m) { return qelShowWnd(w, id, m); }, 0, 0, false, true},
        {[](HWND w, int id, int m) { return qelShowWnd(w, id, m); }, 2, -1, false, true},
        {[](HWND w, int id, int m) { return qelShowWnd(w, id, m); }, 1, 0, true, true},
        {[](HWND w, int id, int m) { return qelShowWnd(w, id, m); }, 1, 1, true, true},
        {[](HWND w, int id, int m) { return qelEnableWnd(w, id, m); }, 0, 0, true, false},
        {[](HWND w, int id, int m) { return qelEnableWnd(w, id, m); }, -1, -1, true, false},
        {[](HWND w, int id, int m) { return qelEnableWnd(w, id, m); }, 0, 1, true, false},
        {[](HWND w, int id, int m) { return qelEnableWnd(w, id, m); }, 1, 1, true, true},
        {[](HWND w, int id, int m) { return qelEnableWnd(w, id, m); }, 1, 0, true, true},
    };
    int row = 0;
    for (const auto &t : kCases) {
        intptr_t got = t.call(top, 10, t.mode);
        if (t.want == -1) EXPECT_EQ((intptr_t)edit, got) << "row " << row;
        else EXPECT_EQ(t.want, got != 0) << "row " << row;
        EXPECT_EQ(t.visible, IsWindowVisible(edit) != 0) << "row " << row;
        EXPECT_EQ(t.enabled, IsWindowEnabled(edit) != 0) << "row " << row;
        row++;
    }

    qelSetFocus(top, 0);
    EXPECT_EQ(top, qelSetFocus(top, 10));
    EXPECT_EQ(edit, GetFocus());
    EXPECT_EQ(edit, qelSetFocus(top, 0));
    EXPECT_EQ(top, GetFocus());
    EXPECT_EQ(nullptr, qelSetFocus(top, 999)); // names no window: the focus stays
    EXPECT_EQ(top, GetFocus());
}

TEST_F(Window, AlertAnswersAndGivesTheFocusBack)
{
    for (int answer : {IDYES, IDNO}) {
        qelSetFocus(top, 0);
        DialogAnswerer press("Leave Setup", answer);
        int got = qelAlert("Leave Setup", "Do you want to leave?", top, 10, MB_YESNO | MB_ICONQUESTION);
        press.Join();
        EXPECT_TRUE(press.found);
        EXPECT_EQ(answer, got);
        EXPECT_EQ(top, press.owner); // the window itself owns it, not the control
        bool textShown = false;
        for (const std::string &s : press.childTexts) textShown |= s == "Do you want to leave?";
        EXPECT_TRUE(textShown);
        EXPECT_EQ(edit, GetFocus());
    }
    // A pair that names no window: the focus is not taken from every window.
    DialogAnswerer press("Leave Setup", IDOK);
    EXPECT_EQ(IDOK, qelAlert("Leave Setup", "Do you want to leave?", top, 999, MB_OK));
    press.Join();
    EXPECT_NE(nullptr, GetFocus());
}

TEST_F(Window, FontsFromTheClassTables)
{
    struct {
        int weightClass, italic, setClass, weight, charSet;
    } const kCases[] = {
        {1, 0, 0, FW_THIN, DEFAULT_CHARSET}, {2, 1, 1, FW_LIGHT, ANSI_CHARSET},
        {3, 0, 2, FW_NORMAL, OEM_CHARSET},   {4, 0, 3, FW_MEDIUM, DEFAULT_CHARSET},
        {5, 7, -1, FW_BOLD, DEFAULT_CHARSET}, {6, 0, 0, FW_HEAVY, DEFAULT_CHARSET},
        {0, 0, 1, 0, ANSI_CHARSET},          {7, 0, 1, 0, ANSI_CHARSET},
        {-1, 0, 1, 0, ANSI_CHARSET},
    };
    for (const auto &t : kCases) {
        char mode[] = "[1]";
        HFONT font = (HFONT)qelGetFont(mode, -13, 5, t.weightClass, t.italic, t.setClass, (intptr_t) "Arial");
        ASSERT_NE(nullptr, font) << t.weightClass;
        LOGFONTA lf;
        ASSERT_EQ((int)sizeof lf, GetObjectA(font, sizeof lf, &lf));
        EXPECT_EQ(t.weight, lf.lfWeight) << "weight class " << t.weightClass;
        EXPECT_EQ(t.charSet, lf.lfCharSet) << "set class " << t.setClass;
        EXPECT_EQ(t.italic != 0, lf.lfItalic != 0);
        EXPECT_EQ(-13, lf.lfHeight);
        EXPECT_EQ(5, lf.lfWidth);
        EXPECT_EQ(0, lf.lfUnderline);
        EXPECT_EQ(0, lf.lfStrikeOut);
        EXPECT_EQ(OUT_TT_PRECIS, lf.lfOutPrecision);
        EXPECT_EQ(PROOF_QUALITY, lf.lfQuality);
        EXPECT_STREQ("Arial", lf.lfFaceName);

        EXPECT_EQ(0, qelSetFont(edit, font));
        EXPECT_EQ((LRESULT)font, SendMessageA(edit, WM_GETFONT, 0, 0));
        SendMessageA(edit, WM_SETFONT, 0, 0);

        char del[] = "[0]";
        EXPECT_NE(0, qelGetFont(del, 0, 0, 0, 0, 0, (intptr_t)font));
        EXPECT_EQ(0u, GetObjectType(font));
    }
}

TEST_F(Window, FontModeTextIsLowerCasedAndOthersDoNothing)
{
    char shout[] = "ABC[1]";
    EXPECT_EQ(0, qelGetFont(shout, 0, 0, 3, 0, 0, (intptr_t) "Arial"));
    EXPECT_STREQ("abc[1]", shout);
    char other[] = "[2]";
    EXPECT_EQ(0, qelGetFont(other, 0, 0, 3, 0, 0, (intptr_t) "Arial"));
    char spaced[] = "[1] ";
    EXPECT_EQ(0, qelGetFont(spaced, 0, 0, 3, 0, 0, (intptr_t) "Arial"));
    char gone[] = "[0]";
    EXPECT_EQ(0, qelGetFont(gone, 0, 0, 0, 0, 0, 0)); // no font: DeleteObject fails
    EXPECT_EQ(0, qelGetFont(0, 0, 0, 3, 0, 0, (intptr_t) "Arial")); // no mode text
}

TEST_F(Window, MenuAndItemStates)
{
    HMENU menu = qelMenu(Self(), top, MAKEINTRESOURCEA(100));
    ASSERT_NE(nullptr, menu);
    EXPECT_EQ(menu, GetMenu(top));
    const UINT kState = MF_GRAYED | MF_DISABLED;
    struct {
        int mode, item, want;
        UINT after;
    } const kCases[] = {
        {-1, 101, MF_ENABLED, MF_DISABLED}, // disabled, not greyed
        {0, 101, MF_DISABLED, MF_GRAYED},
        {1, 101, MF_GRAYED, MF_ENABLED},
        {0, 102, MF_ENABLED, MF_GRAYED},
        {2, 102, MF_GRAYED, MF_GRAYED}, // other modes change nothing
        {5, 103, MF_ENABLED, MF_ENABLED},
        {1, 102, MF_GRAYED, MF_ENABLED},
        {1, 999, -1, 0},
        {0, 999, -1, 0},
        {2, 999, -1, 0},
    };
    for (const auto &t : kCases) {
        EXPECT_EQ(t.want, qelSetMenuItem(t.mode, menu, t.item)) << t.mode << " " << t.item;
        if (t.item != 999) {
            EXPECT_EQ(t.after, GetMenuState(menu, t.item, MF_BYCOMMAND) & kState) << t.mode << " " << t.item;
        }
    }
    // A menu that cannot be loaded detaches the one there.
    EXPECT_EQ(nullptr, qelMenu(Self(), top, "NOSUCHMENU"));
    EXPECT_EQ(nullptr, GetMenu(top));
    DestroyMenu(menu);
}

// Records the bitmaps the library loads.
std::vector<HBITMAP> loadedBitmaps;
ImportHook *loadBitmapHook;

HBITMAP WINAPI RecordingLoadBitmap(HINSTANCE instance, LPCSTR name)
{
    HBITMAP b = ((HBITMAP(WINAPI *)(HINSTANCE, LPCSTR))loadBitmapHook->original)(instance, name);
    loadedBitmaps.push_back(b);
    return b;
}

TEST_F(Window, PutImageDrawsAndKeepsOnlyTheLastBitmap)
{
    ImportHook hook("user32.dll", "LoadBitmapA", (void *)RecordingLoadBitmap);
    ASSERT_TRUE(hook.Installed());
    loadBitmapHook = &hook;
    loadedBitmaps.clear();
    EXPECT_NE(0, qelPutImage(top, 0, MAKEINTRESOURCEA(200), Self()));
    const COLORREF red = RGB(200, 0, 0), green = RGB(0, 160, 0);
    EXPECT_EQ(red, Pixel(top, 0, 0));
    EXPECT_EQ(red, Pixel(top, 1, 3));
    EXPECT_EQ(green, Pixel(top, 2, 0));
    EXPECT_EQ(RGB(255, 255, 255), Pixel(top, 3, 3));
    ASSERT_EQ(1u, loadedBitmaps.size());
    EXPECT_EQ((DWORD)OBJ_BITMAP, GetObjectType(loadedBitmaps[0])); // kept

    EXPECT_NE(0, qelPutImage(top, 0, "BLUEBMP", Self()));
    EXPECT_EQ(RGB(0, 0, 220), Pixel(top, 0, 0));
    ASSERT_EQ(2u, loadedBitmaps.size());
    EXPECT_EQ(0u, GetObjectType(loadedBitmaps[0])); // the first is gone
    EXPECT_EQ((DWORD)OBJ_BITMAP, GetObjectType(loadedBitmaps[1]));

    // Into a control, through its id.
    EXPECT_NE(0, qelPutImage(top, 10, MAKEINTRESOURCEA(200), Self()));
    EXPECT_EQ(red, Pixel(edit, 0, 0));
    EXPECT_EQ(0u, GetObjectType(loadedBitmaps[1]));
}

TEST_F(Window, PositionCentresWithAwayFromZeroRounding)
{
    HWND w = CreateWindowExA(0, "QvnTestWindow", "", WS_POPUP, 0, 0, 10, 10, 0, 0, Self(), 0);
    struct {
        RECT at; // left, top, right, bottom
        int x, y, areaW, areaH, offX, offY;
        int left, top, width, height;
    } const kCases[] = {
        {{0, 0, 101, 60}, 0, 0, 800, 0, 0, 0, 350, 0, 101, 60},
        {{0, 0, 101, 60}, 10, 0, 100, 0, 0, 0, 9, 0, 101, 60},
        {{0, 0, 101, 60}, 0, 0, 0, 0, 3, -4, 3, -4, 101, 60},
        {{0, 0, 101, 61}, 0, 20, 0, 600, 0, 0, 0, 290, 101, 61},
        {{0, 0, 101, 61}, 0, 20, 0, 60, 0, 1, 0, 20, 101, 61},
        {{50, 40, 150, 90}, 7, 8, 0, 0, 0, 0, 50, 40, 100, 50}, // no area: own edges, no origin
        {{-10, 20, 100, 70}, 0, 0, 0, 0, 0, 0, 31990, 20, -31890, 50},
        {{-10, 20, 100, 70}, 0, 0, 1000, 0, 0, 0, 16445, 20, -31890, 50},
    };
    for (const auto &t : kCases) {
        MoveWindow(w, t.at.left, t.at.top, t.at.right - t.at.left, t.at.bottom - t.at.top, FALSE);
        int rec[6] = {(int)(intptr_t)w, 111, 222, 333, 444, 555};
        EXPECT_EQ(1, qelWndPosition(t.x, t.y, t.areaW, t.areaH, rec, t.offX, t.offY));
        EXPECT_EQ((int)(intptr_t)w, rec[0]);
        EXPECT_EQ(t.left, rec[1]) << t.at.left << "," << t.areaW;
        EXPECT_EQ(t.top, rec[2]) << t.at.top << "," << t.areaH;
        EXPECT_EQ(t.width, rec[3]);
        EXPECT_EQ(t.height, rec[4]);
        EXPECT_EQ(555, rec[5]);
    }
    RECT now;
    GetWindowRect(w, &now);
    EXPECT_EQ(-10, now.left); // computed only, never moved
    DestroyWindow(w);

    int none[6] = {0, 1, 2, 3, 4, 5};
    EXPECT_EQ(1, qelWndPosition(0, 0, 800, 600, none, 9, 9));
    for (int i = 0; i < 6; i++) EXPECT_EQ(i, none[i]);
    EXPECT_EQ(1, qelWndPosition(0, 0, 800, 600, 0, 9, 9));
}

TEST_F(Window, ProgressPositionsAndRange)
{
    SendMessageA(bar, PBM_SETRANGE32, 0, 1000);
    struct {
        int step, steps, pos, low, high;
    } const kCases[] = {
        {1, 24, 5, 0, 1000}, {21, 24, 88, 0, 1000}, {24, 24, 100, 0, 1000},
        {7, 24, 30, 0, 1000}, {10, 24, 42, 0, 1000}, {0, 24, 0, 0, 1000},
        {300, 100, 300, 0, 1000}, {0, 0, 0, 0, 100}, {19, 24, 80, 0, 100},
        {5, 0, 0, 0, 100}, // no divisor: position 0
    };
    for (const auto &t : kCases) {
        EXPECT_EQ(1, qelProgressBar(top, 11, t.step, t.steps));
        EXPECT_EQ(t.pos, (int)SendMessageA(bar, PBM_GETPOS, 0, 0)) << t.step << "/" << t.steps;
        PBRANGE range;
        SendMessageA(bar, PBM_GETRANGE, FALSE, (LPARAM)&range);
        EXPECT_EQ(t.low, range.iLow) << t.step << "/" << t.steps;
        EXPECT_EQ(t.high, range.iHigh) << t.step << "/" << t.steps;
    }
    EXPECT_EQ(1, qelProgressBar(top, 999, 1, 2)); // names no window
}

} // namespace
