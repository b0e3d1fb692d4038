// Loads InstallQvn.exe as a library, the way an outside program does, and
// calls its exports through GetProcAddress. The argument names the export
// that is called first in the process: the library must bind its own
// imports on that very first call, whichever it is.
#include <windows.h>
#include <stdio.h>
#include <string.h>
#include <string>

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
    if (first == "filesize") FileSizeFirst();
    else if (first == "membank") MemBankFirst();
    else if (first == "pure") PureFirst();
    else Everything();
    printf("%s: %d passed, %d failed\n", first.c_str(), failures ? 0 : 1, failures ? 1 : 0);
    return failures ? 1 : 0;
}
