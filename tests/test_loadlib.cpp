// Loads InstallQvn.exe as a library, the way an outside program does, and
// calls its exports through GetProcAddress. The argument names the export
// that is called first in the process: the library must bind its own
// imports on that very first call, whichever it is.
#include <windows.h>
#include <stdio.h>
#include <string.h>
#include <string>

#include "uitest.h"

static int failures;
#define CHECK(cond)                                                          \
    do {                                                                     \
        if (!(cond)) { printf("FAILED: %s (line %d)\n", #cond, __LINE__); failures++; } \
    } while (0)

struct Export { const char *name; int argBytes; };
static const Export kExports[] = {
#define QEL_EXPORT(name, bytes) {name, bytes},
#include "exports.inc"
#undef QEL_EXPORT
};

static HMODULE lib;
template <class F> static F Fn(const char *name) { return (F)(void *)GetProcAddress(lib, name); }

static std::string Folder()
{
    char p[MAX_PATH];
    DWORD n = GetModuleFileNameA(0, p, MAX_PATH);
    while (n > 0 && p[n - 1] != '\\') n--;
    return std::string(p, n);
}

static void FileSizeFirst()
{
    auto size = Fn<int(WINAPI *)(const char *)>("_qelFileSize@4");
    CHECK(size != 0);
    char self[MAX_PATH];
    GetModuleFileNameA(0, self, MAX_PATH);
    HANDLE h = CreateFileA(self, GENERIC_READ, FILE_SHARE_READ, 0, OPEN_EXISTING, 0, 0);
    DWORD real = GetFileSize(h, 0);
    CloseHandle(h);
    CHECK(size(self) == (int)real);
    CHECK(size((Folder() + "no such file").c_str()) == -1);
}

static void MemBankFirst()
{
    auto bank = Fn<void *(WINAPI *)(int, intptr_t)>("_qelMemBank@8");
    CHECK(bank != 0);
    unsigned char *p = (unsigned char *)bank(1, 100);
    CHECK(p != 0);
    if (!p) return;
    int nonzero = 0;
    for (int i = 0; i < 104; i++) nonzero += p[i];
    CHECK(nonzero == 0);
    CHECK(GlobalSize((HGLOBAL)p) == 104);
    CHECK(bank(0, (intptr_t)p) == 0);
}

static void PureFirst()
{
    auto divide = Fn<int(WINAPI *)(int, int)>("_qelDivide@8");
    CHECK(divide != 0);
    CHECK(divide(100, 24) == 5);
    CHECK(divide(7, -2) == -4);
}

// The string family writes into the caller's buffers only.
static void StringsFirst()
{
    auto plus = Fn<char *(WINAPI *)(const char *, char *)>("_qelStrPlus@8");
    auto find = Fn<int(WINAPI *)(int, const char *, const char *)>("_qelLInstr@12");
    char b[16] = "ab";
    CHECK(plus("cd", b) == b);
    CHECK(strcmp(b, "abcd") == 0);
    CHECK(find(1, b, "cd") == 3);
}

// The conversions answer in result areas of the library's own data.
static void ConvertFirst()
{
    auto str = Fn<char *(WINAPI *)(int)>("_qelStr@4");
    auto val = Fn<int(WINAPI *)(const char *)>("_qelHexVal@4");
    char *s = str(-1234);
    CHECK(s != 0 && strcmp(s, "-1234") == 0);
    MEMORY_BASIC_INFORMATION m;
    CHECK(VirtualQuery(s, &m, sizeof m) && m.AllocationBase == (void *)lib);
    CHECK(val("7fff") == 0x7fff);
}

static void TimeFirst()
{
    auto tick = Fn<unsigned(WINAPI *)(void)>("_qelTimeTick@0");
    DWORD before = GetTickCount();
    unsigned t = tick();
    CHECK(t - before < 1000);
}

static void SysDirFirst()
{
    auto sysdir = Fn<int(WINAPI *)(char *, int)>("_qelGetSysDir@8");
    char mine[MAX_PATH] = "", real[MAX_PATH] = "";
    UINT n = GetSystemDirectoryA(real, MAX_PATH);
    CHECK(sysdir(mine, MAX_PATH) == 1 && n > 0);
    CHECK(strcmp(mine, real) == 0);
}

// Painting reaches user32 and gdi32: a filled window reads back its colour.
static void FillFirst()
{
    auto fill = Fn<int(WINAPI *)(HWND, int, unsigned, const RECT *)>("_qelFill@16");
    HWND w = CreateWindowExA(WS_EX_TOPMOST, "STATIC", "", WS_POPUP | WS_VISIBLE, 10, 10, 40, 40, 0, 0, 0, 0);
    CHECK(w != 0);
    UpdateWindow(w);
    RECT r = {0, 0, 40, 40};
    CHECK(fill(w, 0, RGB(10, 200, 30), &r) == 1);
    HDC dc = GetDC(w);
    CHECK(GetPixel(dc, 20, 20) == RGB(10, 200, 30));
    ReleaseDC(w, dc);
    DestroyWindow(w);
}

// The controls family: a text written into an edit control reads back.
static void ControlsFirst()
{
    auto write = Fn<int(WINAPI *)(HWND, int, const char *)>("_qelWriteStr@12");
    auto read = Fn<int(WINAPI *)(HWND, int, char *, int)>("_qelReadStr@16");
    HWND w = CreateWindowExA(0, "EDIT", "", WS_POPUP, 0, 0, 100, 20, 0, 0, 0, 0);
    CHECK(w != 0);
    write(w, 0, "typed");
    char b[32] = "";
    read(w, 0, b, sizeof b);
    CHECK(strcmp(b, "typed") == 0);
    DestroyWindow(w);
}

// The file chooser goes through the system folder's common dialogs; a user
// cancels it from another thread.
static void FileNameFirst()
{
    auto choose = Fn<char *(WINAPI *)(int, HWND, HINSTANCE, char *)>("_qelGetFileName@16");
    char b[260] = "untouched";
    DialogAnswerer cancel("Select A File", IDCANCEL);
    char *got = choose(-1, 0, GetModuleHandleA(0), b);
    cancel.Join();
    CHECK(cancel.found);
    CHECK(got == 0 || *got == 0);
    CHECK(strcmp(b, "untouched") == 0);
}

static void Everything()
{
    for (const Export &e : kExports)
        if (!GetProcAddress(lib, e.name)) { printf("missing export %s\n", e.name); failures++; }
    CHECK(GetProcAddress(lib, "qelPlus") == 0); // only decorated names
    PureFirst();
    MemBankFirst();
    FileSizeFirst();
    auto write = Fn<int(WINAPI *)(const char *, unsigned, const void *, unsigned)>("_qelWriteFile@16");
    auto read = Fn<int(WINAPI *)(const char *, unsigned, void *, unsigned)>("_qelReadFile@16");
    auto del = Fn<int(WINAPI *)(const char *)>("_qelDelFile@4");
    char tmp[MAX_PATH], name[MAX_PATH];
    GetTempPathA(MAX_PATH, tmp);
    GetTempFileNameA(tmp, "qvn", 0, name);
    CHECK(write(name, 1, "hello", 5) == 5);
    char b[8] = {0};
    CHECK(read(name, 2, b, 8) == 4);
    CHECK(strcmp(b, "ello") == 0);
    CHECK(del(name) == 1);
    CHECK(GetFileAttributesA(name) == INVALID_FILE_ATTRIBUTES);
}

int main(int argc, char **argv)
{
    std::string first = argc > 1 ? argv[1] : "all";
    lib = LoadLibraryA((Folder() + "InstallQvn.exe").c_str());
    if (!lib) { printf("FAILED: cannot load InstallQvn.exe (%lu)\n", GetLastError()); return 1; }
    // One export of each family as the very first call of the process.
    static const struct {
        const char *name;
        void (*run)();
    } kFirst[] = {{"pure", PureFirst}, {"membank", MemBankFirst}, {"strings", StringsFirst},
                  {"convert", ConvertFirst}, {"time", TimeFirst}, {"fill", FillFirst},
                  {"controls", ControlsFirst}, {"filesize", FileSizeFirst},
                  {"sysdir", SysDirFirst}, {"filename", FileNameFirst}};
    void (*run)() = Everything;
    for (const auto &f : kFirst)
        if (first == f.name) run = f.run;
    run();
    printf("%s: %d passed, %d failed\n", first.c_str(), failures ? 0 : 1, failures ? 1 : 0);
    return failures ? 1 : 0;
}
