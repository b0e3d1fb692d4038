// The wizard's pages run inside the test process, so that what their
// controls receive can be recorded: the progress bar's positions, the page
// icon, and the page frame's answers to each kind of message.
#include <gtest/gtest.h>
#include <string>
#include <vector>
#include "setup.h"
#include <commctrl.h>
#include "packfile.h"
#include "winutil.h"

namespace {

// Every message a subclassed control receives, in order.
struct Recorder {
    static std::vector<std::pair<UINT, LPARAM>> calls;
    static std::vector<WPARAM> positions;
    static WNDPROC original;
    static LRESULT CALLBACK Proc(HWND w, UINT m, WPARAM wp, LPARAM lp)
    {
        if (m == PBM_SETPOS) positions.push_back(wp);
        if (m == PBM_SETRANGE32) calls.push_back({m, (LPARAM)MAKELONG(wp, lp)});
        return CallWindowProcA(original, w, m, wp, lp);
    }
};
std::vector<std::pair<UINT, LPARAM>> Recorder::calls;
std::vector<WPARAM> Recorder::positions;
WNDPROC Recorder::original;

HHOOK hook;
int commandToPost;

// Subclasses the progress bar as it is made, and presses a button of the
// page as soon as it is active.
LRESULT CALLBACK CbtHook(int code, WPARAM wp, LPARAM lp)
{
    if (code == HCBT_CREATEWND) {
        char cls[64];
        GetClassNameA((HWND)wp, cls, sizeof cls);
        if (std::string(cls) == "msctls_progress32")
            Recorder::original = (WNDPROC)SetWindowLongPtrA((HWND)wp, GWLP_WNDPROC, (LONG_PTR)Recorder::Proc);
    } else if (code == HCBT_ACTIVATE && commandToPost) {
        PostMessageA((HWND)wp, WM_COMMAND, MAKEWPARAM(commandToPost, BN_CLICKED), 0);
        commandToPost = 0;
    }
    return CallNextHookEx(hook, code, wp, lp);
}

INT_PTR RunPage(int id, DLGPROC proc, int command)
{
    commandToPost = command;
    hook = SetWindowsHookExA(WH_CBT, CbtHook, 0, GetCurrentThreadId());
    INT_PTR r = DialogBoxParamA(GetModuleHandleA(0), MAKEINTRESOURCEA(id), 0, proc, 0);
    UnhookWindowsHookEx(hook);
    return r;
}

class Pages : public ::testing::Test {
protected:
    void SetUp() override
    {
        InitCommonControls();
        ZeroMemory(&setup, sizeof setup);
        setup.instance = GetModuleHandleA(0);
        GetCurrentDirectoryA(MAX_PATH, saved);
    }
    void TearDown() override { SetCurrentDirectoryA(saved); }
    char saved[MAX_PATH];
};

TEST_F(Pages, InstallRunMovesTheBarThroughEveryStep)
{
    // A medium in a scratch folder, packed by PackFile itself.
    ScratchDir medium;
    const char *names[] = {"Ostrel.exe", "Ov.INI", "VELLSVR.exe", "KQSVR.exe", "OsGuide.pdf",
                           "KQ1.avi", "KQ2.avi", "KQ3.avi"};
    for (const char *n : names) {
        Spit(medium / "plain", std::string(n) + " content");
        ASSERT_GT(PackFile(1, (medium / "plain").c_str(), (medium / n).c_str()), 0);
    }
    CopyFileA((ProgramFolder() + "Brannic.dll").c_str(), (medium / "Brannic.dll").c_str(), FALSE);
    SetCurrentDirectoryA(medium.path().c_str());
    GetWindowsDirectoryA(setup.windowsFolder, TEXT_SIZE);
    Recorder::positions.clear();
    Recorder::calls.clear();

    RunPage(IDD_INSTALL, InstallPageProc, IDC_INSTALL_INSTALL);

    const WPARAM want[] = {0, 5, 30, 34, 42, 46, 59, 63, 71, 80, 88, 0};
    EXPECT_EQ(std::vector<WPARAM>(want, want + 12), Recorder::positions);
    ASSERT_FALSE(Recorder::calls.empty());
    EXPECT_EQ(MAKELONG(0, 100), Recorder::calls[0].second); // range 0 to 100
    EXPECT_EQ(0, setup.missingCount) << setup.missing;
    std::string installed = std::string(setup.installFolder) + "\\KQ\\KQ2.avi";
    EXPECT_EQ("KQ2.avi content", Slurp(installed));
    ScratchDir::RemoveTree(setup.installFolder);
    ScratchDir::RemoveTree(setup.menuFolder);
}

// The icon comes from the medium's iQvn.exe as the setup reads it; a
// missing or malformed one gives the setup program's own.
TEST_F(Pages, PageIconFromTheIconFileOrTheProgramsOwn)
{
    ScratchDir medium;
    SetCurrentDirectoryA(medium.path().c_str());
    HICON own = LoadIconA(setup.instance, MAKEINTRESOURCEA(IDI_QVN));
    std::string real = Slurp(ProgramFolder() + "iQvn.exe");
    ASSERT_GT(real.size(), 4096u);
    std::string noIcons = real;
    noIcons[0x3C] = 0x7F; // the PE header's offset pointing elsewhere
    const struct {
        const char *what;
        const std::string *bytes; // 0: no file
        bool ownIcon;
    } rows[] = {
        {"the built iQvn.exe", &real, false},
        {"no iQvn.exe", 0, true},
        {"no PE header where the file says", &noIcons, true},
    };
    for (const auto &row : rows) {
        DeleteFileA("iQvn.exe");
        if (row.bytes) Spit(medium / "iQvn.exe", *row.bytes);
        setup.pageIcon = 0;
        LoadPageIcon();
        EXPECT_NE(nullptr, setup.pageIcon) << row.what;
        EXPECT_EQ(row.ownIcon, setup.pageIcon == own) << row.what;
    }
    for (size_t cut : {real.size() / 2, (size_t)1024}) {
        Spit(medium / "iQvn.exe", real.substr(0, cut));
        setup.pageIcon = 0;
        LoadPageIcon();
        EXPECT_EQ(own, setup.pageIcon) << "cut to " << cut;
    }
}

TEST_F(Pages, TargetFoldersFollowTheWindowsDrive)
{
    lstrcpyA(setup.windowsFolder, "E:\\WINNT");
    HWND page = CreateDialogParamA(GetModuleHandleA(0), MAKEINTRESOURCEA(IDD_INSTALL), 0, InstallPageProc, 0);
    ASSERT_NE(nullptr, page);
    EXPECT_STREQ("E:\\Program Files\\Ostrel", setup.installFolder);
    EXPECT_STREQ("E:\\Program Files\\Ostrel\\Vell", setup.serverFolder);
    EXPECT_STREQ("E:\\Program Files\\Ostrel\\KQ", setup.clipFolder);
    EXPECT_STREQ("E:\\Documents and Settings\\All Users\\Start Menu\\Programs\\Quorvane", setup.menuFolder);
    char text[512];
    GetDlgItemTextA(page, IDC_INSTALL_INFO, text, sizeof text);
    EXPECT_NE(nullptr, strstr(text, "Install folder:   E:\\Program Files\\Ostrel\r\n\r\n"));
    EXPECT_EQ(GetDlgItem(page, IDC_INSTALL_INSTALL), GetFocus());
    DestroyWindow(page);
}

TEST_F(Pages, WelcomePlacesTheTemporaryFolderOnTheWindowsDrive)
{
    HWND page = CreateDialogParamA(GetModuleHandleA(0), MAKEINTRESOURCEA(IDD_WELCOME), 0, WelcomePageProc, 0);
    ASSERT_NE(nullptr, page);
    char windows[MAX_PATH];
    GetWindowsDirectoryA(windows, MAX_PATH);
    EXPECT_STREQ(windows, setup.windowsFolder);
    EXPECT_EQ(std::string(1, windows[0]) + ":\\WINDOWS\\Temp", setup.tempFolder);
    EXPECT_EQ(page, setup.currentPage);
    DestroyWindow(page);
}

TEST_F(Pages, FrameAnswersEveryKindOfMessage)
{
    setup.pageIcon = LoadIconA(0, (LPCSTR)IDI_QUESTION);
    setup.runCompleted = 1;
    HWND page = CreateDialogParamA(GetModuleHandleA(0), MAKEINTRESOURCEA(IDD_FINISH), 0, FinishPageProc, 0);
    ASSERT_NE(nullptr, page);
    EXPECT_EQ((LRESULT)setup.pageIcon, SendMessageA(page, WM_GETICON, ICON_BIG, 0));
    char caption[64];
    GetWindowTextA(page, caption, sizeof caption);
    EXPECT_STREQ("Installation Successful", caption);
    EXPECT_EQ(1, FinishPageProc(page, WM_TIMER, 1, 0));
    EXPECT_EQ(1, FinishPageProc(page, WM_COMMAND, MAKEWPARAM(12345, 0), 0));
    EXPECT_EQ(1, FinishPageProc(page, WM_COMMAND, MAKEWPARAM(IDCANCEL, 0), 0));
    EXPECT_TRUE(IsWindow(page)); // unknown commands change nothing
    EXPECT_EQ(0, FinishPageProc(page, WM_MOUSEMOVE, 0, 0));
    DestroyWindow(page);
}

// The finish page after a run with nothing, a few or many items missing,
// and without a run. The read-first text is one of five lines, as many as
// the page leaves room for next to the longest missing list.
TEST_F(Pages, FinishTellsWhatHappened)
{
    ScratchDir medium;
    std::string readme;
    for (int i = 1; i <= 5; i++) readme += "Line " + std::to_string(i) + " of the read-first text.\r\n";
    Spit(medium / "plain", readme);
    ASSERT_GT(PackFile(1, (medium / "plain").c_str(), (medium / "ReadfirstQvn.txt").c_str()), 0);
    SetCurrentDirectoryA(medium.path().c_str());
    const std::string names[] = {"C:\\Program Files\\Ostrel", "C:\\Program Files\\Ostrel\\Vell",
                                 "C:\\Program Files\\Ostrel\\KQ", "Ostrel.exe", "Ov.INI", "VELLSVR.exe",
                                 "KQSVR.exe", "OsGuide.pdf", "Brannic.dll", "KQ1.avi", "KQ2.avi", "KQ3.avi",
                                 "Ostrel.lnk", "Ostrel Guide.lnk"};
    const std::string crlf = "\r\n", partial = "Setup could not install all of Quorvane. Not installed:" + crlf;
    struct {
        int completed, missing;
        const char *caption;
        std::string head;
    } const kCases[] = {
        {1, 0, "Installation Successful", "Setup has successfully installed Quorvane." + crlf + crlf + crlf},
        {0, 0, "Installation Incomplete", "Setup could not install Quorvane." + crlf + crlf + crlf},
        {1, 2, "Installation Incomplete", partial + names[0] + crlf + names[1] + crlf + crlf + crlf},
        {1, 14, "Installation Incomplete", partial + names[0] + crlf + names[1] + crlf + names[2] + crlf +
                                               names[3] + crlf + names[4] + crlf + "and 9 more" + crlf + crlf + crlf},
    };
    for (const auto &t : kCases) {
        ZeroMemory(&setup, sizeof setup);
        setup.runCompleted = t.completed;
        for (int i = 0; i < t.missing; i++) lstrcatA(setup.missing, (names[i] + crlf).c_str());
        setup.missingCount = t.missing;
        HWND page = CreateDialogParamA(GetModuleHandleA(0), MAKEINTRESOURCEA(IDD_FINISH), 0, FinishPageProc, 0);
        ASSERT_NE(nullptr, page);
        char caption[64], text[2048];
        GetWindowTextA(page, caption, sizeof caption);
        EXPECT_STREQ(t.caption, caption) << t.missing;
        GetDlgItemTextA(page, IDC_FINISH_TEXT, text, sizeof text);
        EXPECT_EQ(t.head + readme + crlf + "Click Finish to exit Setup." + crlf, text) << t.missing;
        // The whole text, closing line included, lies inside the control.
        HWND box = GetDlgItem(page, IDC_FINISH_TEXT);
        RECT client, need;
        GetClientRect(box, &client);
        need = client;
        HDC dc = GetDC(box);
        HGDIOBJ old = SelectObject(dc, (HFONT)SendMessageA(box, WM_GETFONT, 0, 0));
        DrawTextA(dc, text, -1, &need, DT_CALCRECT | DT_WORDBREAK | DT_EXPANDTABS);
        SelectObject(dc, old);
        ReleaseDC(box, dc);
        EXPECT_LE(need.bottom, client.bottom) << t.missing << " missing: pixels needed, shown";
        DestroyWindow(page);
    }
}

TEST_F(Pages, ShortcutWriterReportsWhetherItSaved)
{
    ScratchDir dir;
    std::string lnk = dir / "x.lnk";
    EXPECT_EQ(1, MakeShortcut("C:\\windows\\notepad.exe", "C:\\windows", lnk.c_str(), 0));
    EXPECT_TRUE(Exists(lnk));
    EXPECT_EQ(1, MakeShortcut("C:\\windows\\regedit.exe", "C:\\windows", lnk.c_str(), 0)); // replaces
    EXPECT_EQ(0, MakeShortcut("C:\\windows\\notepad.exe", "C:\\windows", (dir / "no\\such\\x.lnk").c_str(), 0));
}

} // namespace
