// Drives the real InstallQvn.exe from outside, the way a user would: finds
// each page by its caption, reads its controls, presses its buttons and
// answers the confirmations, then reads the exit code (0; 1 after a finish page
// that reports anything missing; 2 after a confirmed cancel).
//
// usage: e2e_driver SCENARIO MEDIUM LICENSE README [options]
//   SCENARIO  install | cancel-1 | cancel-2 | cancel-3
//   MEDIUM    folder holding InstallQvn.exe and the packed files (made current)
//   LICENSE, README  plain files with the texts the pages should show (at
//             most their first 16384 bytes, up to a NUL byte)
// options:
//   --shots DIR        save a bitmap of each page into DIR
//   --missing A,B      the finish page must name exactly these as not
//                      installed (empty: it must report success)
//   --finish-out FILE  write the finish page's caption, a line feed and its
//                      text to FILE instead of checking them
//   --held FILE        while the licence page shows, FILE (the medium's
//                      Brannic.dll) can be neither renamed, deleted nor
//                      opened for writing
//   --program DIR      start DIR\InstallQvn.exe (MEDIUM stays current)
//   --run-seconds N    wait up to N seconds (default 60) for the install run
#include <windows.h>
#include <stdio.h>
#include <stdlib.h>
#include <string>
#include <vector>

static int passed, failed;

static void Check(bool ok, const std::string &what)
{
    if (ok) passed++;
    else { failed++; printf("FAILED: %s\n", what.c_str()); }
    fflush(stdout);
}

static void CheckText(const std::string &want, const std::string &got, const std::string &what)
{
    Check(want == got, what);
    if (want != got) printf("  want: [%s]\n  got:  [%s]\n", want.c_str(), got.c_str());
}

static PROCESS_INFORMATION setupProcess;

struct Found { const char *caption; HWND skip; HWND window; const char *other; };

static BOOL CALLBACK FindCaption(HWND w, LPARAM lp)
{
    Found *f = (Found *)lp;
    DWORD pid = 0;
    GetWindowThreadProcessId(w, &pid);
    char text[256];
    if (pid == setupProcess.dwProcessId && w != f->skip && IsWindowVisible(w) &&
        GetWindowTextA(w, text, sizeof text) &&
        (std::string(text) == f->caption || (f->other && std::string(text) == f->other))) {
        f->window = w;
        return FALSE;
    }
    return TRUE;
}

// A top-level window of the setup process with this caption or the other
// one (other than skip), waited for up to the given time.
static HWND WaitWindow(const char *caption, HWND skip = 0, DWORD ms = 60000, const char *other = 0)
{
    for (DWORD t = 0; t < ms; t += 50) {
        Found f = {caption, skip, 0, other};
        EnumWindows(FindCaption, (LPARAM)&f);
        if (f.window) return f.window;
        if (WaitForSingleObject(setupProcess.hProcess, 0) == WAIT_OBJECT_0) return 0;
        Sleep(50);
    }
    return 0;
}

static std::string Text(HWND w, int id = 0)
{
    HWND c = id ? GetDlgItem(w, id) : w;
    if (!c) return "<no control>";
    std::vector<char> buf(65536);
    LRESULT n = SendMessageA(c, WM_GETTEXT, buf.size(), (LPARAM)buf.data());
    return std::string(buf.data(), (size_t)n);
}

static void Press(HWND page, int id)
{
    PostMessageA(page, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), (LPARAM)GetDlgItem(page, id));
}

static std::string ReadFileText(const std::string &path, size_t limit)
{
    std::string s;
    HANDLE h = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, 0, OPEN_EXISTING, 0, 0);
    if (h == INVALID_HANDLE_VALUE) return s;
    char buf[65536];
    DWORD n;
    while (ReadFile(h, buf, sizeof buf, &n, 0) && n) s.append(buf, n);
    CloseHandle(h);
    if (s.size() > limit) s.resize(limit);
    return s.substr(0, s.find('\0'));
}

static std::string shots;

// Saves what the page shows as a 24-bit bitmap.
static void Shot(HWND page, const char *name)
{
    if (shots.empty()) return;
    // The page and every control painted (a slow machine may not have got
    // to it yet), then a moment for the screen to show it.
    RedrawWindow(page, 0, 0, RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN | RDW_UPDATENOW);
    Sleep(300);
    RECT r;
    GetWindowRect(page, &r);
    int w = r.right - r.left, h = r.bottom - r.top;
    HDC screen = GetDC(0), mem = CreateCompatibleDC(screen);
    HBITMAP bmp = CreateCompatibleBitmap(screen, w, h);
    HGDIOBJ old = SelectObject(mem, bmp);
    BitBlt(mem, 0, 0, w, h, screen, r.left, r.top, SRCCOPY);
    SelectObject(mem, old);
    BITMAPINFOHEADER bi = {sizeof bi, w, h, 1, 24, BI_RGB};
    std::vector<char> pixels((size_t)((w * 3 + 3) & ~3) * h);
    GetDIBits(mem, bmp, 0, h, pixels.data(), (BITMAPINFO *)&bi, DIB_RGB_COLORS);
    BITMAPFILEHEADER bf = {0x4D42, (DWORD)(sizeof bf + sizeof bi + pixels.size()), 0, 0, sizeof bf + sizeof bi};
    HANDLE f = CreateFileA((shots + "\\" + name + ".bmp").c_str(), GENERIC_WRITE, 0, 0, CREATE_ALWAYS, 0, 0);
    DWORD n;
    WriteFile(f, &bf, sizeof bf, &n, 0);
    WriteFile(f, &bi, sizeof bi, &n, 0);
    WriteFile(f, pixels.data(), (DWORD)pixels.size(), &n, 0);
    CloseHandle(f);
    DeleteObject(bmp);
    DeleteDC(mem);
    ReleaseDC(0, screen);
}

// Presses a page's cancel button and answers its confirmation; the box
// must carry the expected caption and text.
static void Confirm(HWND page, int cancel, const char *caption, const char *text, bool yes)
{
    Press(page, cancel);
    HWND box = WaitWindow(caption, page, 20000);
    Check(box != 0, std::string("confirmation \"") + caption + "\" appears");
    if (!box) return;
    char cls[64] = "";
    GetClassNameA(box, cls, sizeof cls);
    Check(std::string(cls) == "#32770", "the confirmation is a message box");
    Check(GetWindow(box, GW_OWNER) == page, "the confirmation is owned by the page");
    std::string all;
    for (HWND c = GetWindow(box, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) all += Text(c) + "\n";
    Check(all.find(text) != std::string::npos, std::string("confirmation text: ") + text);
    Check(all.find("&Yes") != std::string::npos && all.find("&No") != std::string::npos,
          "the confirmation offers Yes and No");
    PostMessageA(box, WM_COMMAND, yes ? IDYES : IDNO, 0);
    if (!yes) {
        for (int i = 0; i < 100 && IsWindow(box); i++) Sleep(50);
        Check(!IsWindow(box) && IsWindow(page), "No keeps the page open");
    }
}

// After a confirmed cancel: the process ends at once (with code 2) and no
// later page appears.
static void ExpectEnd(const char *nextCaption)
{
    Check(WaitForSingleObject(setupProcess.hProcess, 20000) == WAIT_OBJECT_0, "the process ends");
    Found f = {nextCaption, 0, 0, 0};
    EnumWindows(FindCaption, (LPARAM)&f);
    Check(!f.window, std::string("no later page \"") + nextCaption + "\"");
}

static const char kCrLf[] = "\r\n";

static std::string InfoText()
{
    char windows[MAX_PATH];
    GetWindowsDirectoryA(windows, MAX_PATH);
    std::string folder = std::string(1, windows[0]) + ":\\Program Files\\Ostrel";
    return std::string("Setup will use the following data:") + kCrLf + kCrLf + kCrLf + kCrLf +
           "Install folder:   " + folder + kCrLf + kCrLf + "Start Menu folder:   Quorvane" + kCrLf + kCrLf +
           "Total installed size:   2,074,712 Bytes" + kCrLf + kCrLf + kCrLf +
           "Please, make sure you have enough hard disk space." + kCrLf + kCrLf + kCrLf +
           "Installation progress";
}

int main(int argc, char **argv)
{
    if (argc < 5) {
        printf("usage: e2e_driver SCENARIO MEDIUM LICENSE README [--shots DIR] [--missing A,B] "
               "[--finish-out FILE] [--held FILE] [--program DIR] [--run-seconds N]\n");
        return 2;
    }
    std::string scenario = argv[1], medium = argv[2], licenseFile = argv[3], readmeFile = argv[4];
    std::string missing, finishOut, held, program;
    DWORD runMs = 60000;
    for (int i = 5; i + 1 < argc; i += 2) {
        std::string opt = argv[i];
        if (opt == "--shots") shots = argv[i + 1];
        else if (opt == "--missing") missing = argv[i + 1];
        else if (opt == "--finish-out") finishOut = argv[i + 1];
        else if (opt == "--held") held = argv[i + 1];
        else if (opt == "--program") program = argv[i + 1];
        else if (opt == "--run-seconds") runMs = (DWORD)atoi(argv[i + 1]) * 1000;
    }

    std::string cmd = "\"" + (program.empty() ? medium : program) + "\\InstallQvn.exe\"";
    STARTUPINFOA si = {sizeof si};
    if (!CreateProcessA(0, &cmd[0], 0, 0, FALSE, 0, 0, medium.c_str(), &si, &setupProcess)) {
        printf("FAILED: cannot start %s\n", cmd.c_str());
        return 1;
    }

    // Page 1000: welcome.
    HWND page = WaitWindow("Quorvane Setup");
    Check(page != 0, "the welcome page appears");
    if (page) {
        Check(Text(page, 1002) == "Next" && Text(page, 1003) == "Cancel", "welcome buttons");
        Check(GetDlgItem(page, 1001) != 0, "welcome banner");
        Shot(page, "page1-welcome");
        // Commands other than the buttons change nothing.
        PostMessageA(page, WM_COMMAND, MAKEWPARAM(IDCANCEL, 0), 0);
        PostMessageA(page, WM_COMMAND, MAKEWPARAM(IDOK, 0), 0);
        Sleep(300);
        Check(IsWindow(page), "other commands are ignored");
        Confirm(page, 1003, "Exit Setup", "You have chosen to exit Setup. Exit Setup?", scenario == "cancel-1");
        if (scenario == "cancel-1") ExpectEnd("Quorvane License Agreement");
        else Press(page, 1002);
    }

    // Page 2000: licence agreement.
    if (scenario != "cancel-1" && (page = WaitWindow("Quorvane License Agreement"))) {
        CheckText(ReadFileText(licenseFile, 16384), Text(page, 2004), "licence text in its box");
        Check(Text(page, 2002) == "Yes" && Text(page, 2003) == "No", "licence buttons");
        if (!held.empty()) {
            std::string moved = held + ".moved";
            HANDLE w = CreateFileA(held.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                   0, OPEN_EXISTING, 0, 0);
            Check(w == INVALID_HANDLE_VALUE, "the held file cannot be opened for writing");
            if (w != INVALID_HANDLE_VALUE) CloseHandle(w);
            Check(!MoveFileA(held.c_str(), moved.c_str()), "the held file cannot be renamed");
            Check(!DeleteFileA(held.c_str()), "the held file cannot be deleted");
        }
        Shot(page, "page2-license");
        Confirm(page, 2003, "Quorvane License Agreement",
                "You have chosen to disagree with the License. This will exit Setup. Exit Setup?",
                scenario == "cancel-2");
        if (scenario == "cancel-2") ExpectEnd("Installation Information");
        else Press(page, 2002);
    } else if (scenario != "cancel-1") {
        Check(false, "the licence page appears");
    }

    // Page 3000: installation information.
    bool early = scenario == "cancel-1" || scenario == "cancel-2";
    if (!early && (page = WaitWindow("Installation Information"))) {
        CheckText(InfoText(), Text(page, 3003), "information text");
        Check(Text(page, 3001) == "Install" && Text(page, 3002) == "Cancel", "install buttons");
        Shot(page, "page3-information");
        Confirm(page, 3002, "Installation Information", "You have chosen to cancel Setup. Terminate Setup?",
                scenario == "cancel-3");
        if (scenario == "cancel-3") ExpectEnd("Installation Incomplete"); // a finish page without a run
        else Press(page, 3001);
    } else if (!early) {
        Check(false, "the information page appears");
    }

    // Page 4000: installation successful, or incomplete when anything is
    // missing.
    const char *successful = "Installation Successful", *incomplete = "Installation Incomplete";
    // 1 after a finish page that reports anything missing, 2 after a cancel
    DWORD wantCode = scenario.compare(0, 7, "cancel-") == 0 ? 2 : 0;
    if (!early && scenario != "cancel-3" && (page = WaitWindow(successful, 0, runMs, incomplete))) {
        std::string caption = Text(page);
        wantCode = (finishOut.empty() ? !missing.empty() : caption != successful) ? 1 : 0;
        if (finishOut.empty())
            CheckText(missing.empty() ? successful : incomplete, caption, "finish caption");
        std::string readme = ReadFileText(readmeFile, 16384);
        std::string head = "Setup has successfully installed Quorvane." + std::string(kCrLf) + kCrLf + kCrLf;
        if (!missing.empty()) {
            head = std::string("Setup could not install all of Quorvane. Not installed:") + kCrLf;
            for (size_t at = 0, comma; at <= missing.size(); at = comma + 1) {
                comma = missing.find(',', at);
                if (comma == std::string::npos) comma = missing.size();
                head += missing.substr(at, comma - at) + kCrLf;
            }
            head += std::string(kCrLf) + kCrLf;
        }
        std::string finish = Text(page, 4002);
        if (finishOut.empty()) {
            CheckText(head + readme + kCrLf + "Click Finish to exit Setup." + kCrLf, finish, "finish text");
        } else {
            HANDLE f = CreateFileA(finishOut.c_str(), GENERIC_WRITE, 0, 0, CREATE_ALWAYS, 0, 0);
            DWORD n;
            std::string out = caption + "\n" + finish;
            WriteFile(f, out.data(), (DWORD)out.size(), &n, 0);
            CloseHandle(f);
        }
        Check(Text(page, 4001) == "Finish", "finish button");
        Shot(page, "page4-finish");
        Press(page, 4001);
        Check(WaitForSingleObject(setupProcess.hProcess, 20000) == WAIT_OBJECT_0, "Finish ends the process");
    } else if (!early && scenario != "cancel-3") {
        Check(false, "the finish page appears");
    }

    WaitForSingleObject(setupProcess.hProcess, 20000);
    DWORD code = 99;
    GetExitCodeProcess(setupProcess.hProcess, &code);
    if (code != wantCode) printf("exit code %lu, want %lu\n", (unsigned long)code, (unsigned long)wantCode);
    Check(code == wantCode, "exit code");
    if (code == STILL_ACTIVE) TerminateProcess(setupProcess.hProcess, 1);
    printf("%s: %d passed, %d failed\n", scenario.c_str(), passed, failed);
    return failed ? 1 : 0;
}
