// Prints the time of a whole install run against a plain copy of the same
// plain files with the same flushes, and the time from process start to the
// first page shown.
// usage: bench_install [ROUNDS]      (run in a folder it may fill)
// Each figure is the median of the rounds.
#include <windows.h>
#include <stdio.h>
#include <stdlib.h>
#include <string>
#include <vector>
#include <algorithm>
#include "setup.h"
#include <commctrl.h>
#include "packfile.h"
#include "winutil.h"

static double Median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v.empty() ? -1 : v[v.size() / 2];
}

static double Now()
{
    LARGE_INTEGER f, t;
    QueryPerformanceFrequency(&f);
    QueryPerformanceCounter(&t);
    return (double)t.QuadPart / (double)f.QuadPart;
}

// The product files with sizes adding up to about what the setup announces.
static const struct { const char *name; bool clip; unsigned size; } kFiles[] = {
    {"Ostrel.exe", false, 720000}, {"Ov.INI", false, 2400},   {"VELLSVR.exe", false, 210000},
    {"KQSVR.exe", false, 160000},  {"OsGuide.pdf", false, 380000}, {"KQ1.avi", true, 220000},
    {"KQ2.avi", true, 200000},     {"KQ3.avi", true, 180000},
};

static std::string Content(unsigned n, unsigned seed)
{
    std::string s;
    s.reserve(n);
    const char *text = "Quorvane server clip settings guide ";
    while (s.size() < n) {
        seed = seed * 1103515245u + 12345u;
        if ((seed >> 16) % 3) s += text[(seed >> 8) % 36];
        else s += (char)(seed >> 20);
    }
    return s;
}

// The same files written plain, each flushed, the same folders made.
static double PlainCopy(const std::string &plainDir, const std::string &target)
{
    double t0 = Now();
    CreateDirectoryA(target.c_str(), 0);
    CreateDirectoryA((target + "\\Vell").c_str(), 0);
    CreateDirectoryA((target + "\\KQ").c_str(), 0);
    std::vector<char> buf(1 << 20);
    for (const auto &f : kFiles) {
        std::string dst = target + (f.clip ? "\\KQ\\" : "\\") + f.name;
        HANDLE in = CreateFileA((plainDir + "\\" + f.name).c_str(), GENERIC_READ, FILE_SHARE_READ, 0, OPEN_EXISTING, 0, 0);
        HANDLE out = CreateFileA(dst.c_str(), GENERIC_WRITE, 0, 0, CREATE_ALWAYS, 0, 0);
        DWORD n, w;
        while (ReadFile(in, buf.data(), (DWORD)buf.size(), &n, 0) && n) WriteFile(out, buf.data(), n, &w, 0);
        FlushFileBuffers(out);
        CloseHandle(in);
        CloseHandle(out);
    }
    CopyFileA("Brannic.dll", (target + "\\Brannic.dll").c_str(), FALSE);
    return Now() - t0;
}

static double FirstPage(const std::string &medium)
{
    std::string cmd = "\"" + medium + "\\InstallQvn.exe\"";
    STARTUPINFOA si = {sizeof si};
    PROCESS_INFORMATION pi;
    double t0 = Now();
    if (!CreateProcessA(0, &cmd[0], 0, 0, FALSE, 0, 0, medium.c_str(), &si, &pi)) return -1;
    double shown = -1;
    for (int i = 0; i < 60000 && shown < 0; i++) {
        HWND w = FindWindowA(0, "Quorvane Setup");
        if (w && IsWindowVisible(w)) shown = Now() - t0;
        else Sleep(1);
    }
    TerminateProcess(pi.hProcess, 0);
    WaitForSingleObject(pi.hProcess, 10000);
    CloseHandle(pi.hProcess);
    CloseHandle(pi.hThread);
    return shown;
}

int main(int argc, char **argv)
{
    int rounds = argc > 1 ? atoi(argv[1]) : 7;
    char here[MAX_PATH];
    GetCurrentDirectoryA(MAX_PATH, here);
    std::string plainDir = std::string(here) + "\\plain";
    CreateDirectoryA(plainDir.c_str(), 0);
    unsigned total = 0;
    for (unsigned i = 0; i < sizeof kFiles / sizeof *kFiles; i++) {
        std::string plain = plainDir + "\\" + kFiles[i].name;
        Spit(plain, Content(kFiles[i].size, i + 1));
        PackFile(1, plain.c_str(), kFiles[i].name); // the medium is the current folder
        total += kFiles[i].size;
    }

    InitCommonControls();
    setup.instance = GetModuleHandleA(0);
    GetWindowsDirectoryA(setup.windowsFolder, TEXT_SIZE);
    std::vector<double> runs, copies, linkTimes, firsts;
    for (int r = 0; r < rounds; r++) {
        ZeroMemory(setup.installFolder, TEXT_SIZE);
        ZeroMemory(setup.serverFolder, TEXT_SIZE);
        ZeroMemory(setup.clipFolder, TEXT_SIZE);
        ZeroMemory(setup.menuFolder, TEXT_SIZE);
        HWND page = CreateDialogParamA(setup.instance, MAKEINTRESOURCEA(IDD_INSTALL), 0, InstallPageProc, 0);
        ScratchDir::RemoveTree(setup.installFolder);
        double t0 = Now();
        RunInstall(page);
        double run = Now() - t0;
        DestroyWindow(page);
        // The two shortcuts alone, written again the same way: COM is
        // started and stopped around each, as in the run.
        std::string exe = std::string(setup.installFolder) + "\\Ostrel.exe";
        std::string pdf = std::string(setup.installFolder) + "\\OsGuide.pdf";
        double t1 = Now();
        MakeShortcut(exe.c_str(), setup.installFolder, (std::string(setup.menuFolder) + "\\Ostrel.lnk").c_str(), 0);
        MakeShortcut(pdf.c_str(), setup.installFolder, (std::string(setup.menuFolder) + "\\Ostrel Guide.lnk").c_str(), 0);
        linkTimes.push_back(Now() - t1);
        if (setup.missingCount) printf("warning: the run missed %s\n", setup.missing);
        std::string copyTarget = std::string(setup.installFolder) + " plain";
        ScratchDir::RemoveTree(copyTarget);
        double copy = PlainCopy(plainDir, copyTarget);
        ScratchDir::RemoveTree(copyTarget);
        runs.push_back(run);
        copies.push_back(copy);
    }
    for (int r = 0; r < rounds; r++) firsts.push_back(FirstPage(here));
    double bestRun = Median(runs), bestCopy = Median(copies), bestLinks = Median(linkTimes),
           bestFirst = Median(firsts);
    printf("install run: %.3f s for %u bytes\n", bestRun, total);
    printf("plain copy: %.3f s\n", bestCopy);
    printf("install/copy: %.2f\n", bestRun / bestCopy);
    printf("shortcuts: %.3f s\n", bestLinks);
    printf("files/copy: %.2f\n", (bestRun - bestLinks) / bestCopy);
    printf("first page: %.3f s\n", bestFirst);
    return 0;
}
