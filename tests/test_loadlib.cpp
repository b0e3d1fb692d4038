// Loads InstallQvn.exe as a library, the way an outside program does, and
// calls its exports through GetProcAddress. The argument names the export
// that is called first in the process: the library must bind its own
// imports on that very first call, whichever it is.
#include <windows.h>
#include <stdio.h>
#include <string.h>
#include <string>
#include <vector>

#include "qelint.h"
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

// A plug-in host: the first call comes from one thread while another holds
// the loader lock, as code in a DllMain does. The binding waits for the
// lock; the holder's own call must not wait for the binding.
typedef int(WINAPI *PlusFn)(int, int);
static PlusFn plus;
static HANDLE started, go;
static int otherResult;

static DWORD WINAPI FirstCaller(void *)
{
    SetEvent(started);
    WaitForSingleObject(go, INFINITE);
    otherResult = plus(2, 3);
    return 0;
}

static void LoaderLockFirst()
{
    HMODULE ntdll = GetModuleHandleA("ntdll.dll");
    auto lock = (LONG(NTAPI *)(ULONG, ULONG *, ULONG_PTR *))(void *)GetProcAddress(ntdll, "LdrLockLoaderLock");
    auto unlock = (LONG(NTAPI *)(ULONG, ULONG_PTR))(void *)GetProcAddress(ntdll, "LdrUnlockLoaderLock");
    plus = Fn<PlusFn>("_qelPlus@8");
    started = CreateEventA(0, TRUE, FALSE, 0);
    go = CreateEventA(0, TRUE, FALSE, 0);
    // A thread takes the lock as it starts: this one runs before it is taken.
    HANDLE other = CreateThread(0, 0, FirstCaller, 0, 0, 0);
    WaitForSingleObject(started, INFINITE);
    ULONG_PTR cookie = 0;
    CHECK(lock(0, 0, &cookie) == 0);
    SetEvent(go);
    Sleep(500);
    DWORD before = GetTickCount();
    CHECK(plus(2, 3) == 0); // not bound yet: the binding waits for the lock
    CHECK(GetTickCount() - before < 1000);
    unlock(0, cookie);
    CHECK(WaitForSingleObject(other, 10000) == WAIT_OBJECT_0 && otherResult == 5);
    CHECK(plus(2, 3) == 5);
}

// Points a system DLL's export at to for every later lookup in its export
// table, which is how the library finds its functions (this program's own
// imports are bound already): through a jump in a page that an export's
// offset from the DLL can reach.
static void Redirect(const char *dll, const char *name, void *to)
{
    unsigned char *k = (unsigned char *)GetModuleHandleA(dll);
    IMAGE_NT_HEADERS *nt = (IMAGE_NT_HEADERS *)(k + ((IMAGE_DOS_HEADER *)k)->e_lfanew);
    IMAGE_EXPORT_DIRECTORY *ex = (IMAGE_EXPORT_DIRECTORY *)(k + nt->OptionalHeader.DataDirectory[0].VirtualAddress);
    DWORD *names = (DWORD *)(k + ex->AddressOfNames), *functions = (DWORD *)(k + ex->AddressOfFunctions);
    DWORD i = 0;
    while (strcmp((char *)k + names[i], name)) i++;
    unsigned char *stub = 0;
    for (ULONG_PTR at = ((ULONG_PTR)k + nt->OptionalHeader.SizeOfImage + 0xFFFF) & ~(ULONG_PTR)0xFFFF; !stub; at += 0x10000)
        stub = (unsigned char *)VirtualAlloc((void *)at, 16, MEM_COMMIT | MEM_RESERVE, PAGE_EXECUTE_READWRITE);
    memcpy(stub, sizeof(void *) == 8 ? "\xFF\x25\0\0\0\0" : "\x68", sizeof(void *) == 8 ? 6 : 1); // jmp *0(%rip) / push
    memcpy(stub + (sizeof(void *) == 8 ? 6 : 1), &to, sizeof to);
    if (sizeof(void *) == 4) stub[5] = 0xC3; // ret
    DWORD *slot = &functions[((WORD *)(k + ex->AddressOfNameOrdinals))[i]], was;
    VirtualProtect(slot, 4, PAGE_READWRITE, &was);
    *slot = (DWORD)(stub - k);
    VirtualProtect(slot, 4, was, &was);
}

// The binder's first VirtualQuery holds it until released (never, for one
// that is to die there).
static HANDLE entered, released;
static LONG queries;
static SIZE_T WINAPI HeldQuery(LPCVOID p, PMEMORY_BASIC_INFORMATION m, SIZE_T n)
{
    if (InterlockedIncrement(&queries) == 1) SignalObjectAndWait(entered, released, INFINITE, FALSE);
    return VirtualQuery(p, m, n);
}

static HANDLE StartHeldBinder(DWORD *id)
{
    plus = Fn<PlusFn>("_qelPlus@8");
    entered = CreateEventA(0, TRUE, FALSE, 0);
    released = CreateEventA(0, TRUE, FALSE, 0);
    go = CreateEventA(0, TRUE, TRUE, 0);
    started = CreateEventA(0, TRUE, FALSE, 0);
    Redirect("kernel32.dll", "VirtualQuery", (void *)HeldQuery);
    HANDLE binder = CreateThread(0, 0, FirstCaller, 0, 0, id);
    CHECK(WaitForSingleObject(entered, 10000) == WAIT_OBJECT_0);
    return binder;
}

struct Caller {
    bool call;
    int result;
};
static DWORD WINAPI Call(void *p)
{
    Caller *c = (Caller *)p;
    if (c->call) WaitForSingleObject(go, INFINITE), c->result = plus(2, 3);
    return 0;
}

static INT_PTR Misplaced();

// The binder dies in the middle. A thread that gets its id (made by
// creating threads until one does) and four more call at once: one binds
// in its place, none waits for ever, every one gets the sum, and the image
// is relocated once.
static void DeadBinderFirst()
{
    DWORD dead, id = 0;
    HANDLE binder = StartHeldBinder(&dead);
    ResetEvent(go);
    TerminateThread(binder, 1);
    WaitForSingleObject(binder, INFINITE);
    CloseHandle(binder);
    Caller c[5] = {};
    HANDLE t[5];
    for (int i = 0; i < 5000 && id != dead; i++) {
        t[0] = CreateThread(0, 0, Call, &c[0], CREATE_SUSPENDED, &id);
        c[0].call = id == dead;
        ResumeThread(t[0]);
        if (id != dead) WaitForSingleObject(t[0], INFINITE), CloseHandle(t[0]);
    }
    CHECK(id == dead);
    for (int i = 1; i < 5; i++) c[i].call = true, t[i] = CreateThread(0, 0, Call, &c[i], 0, 0);
    SetEvent(go);
    CHECK(WaitForMultipleObjects(5, t, TRUE, 20000) == WAIT_OBJECT_0);
    for (const Caller &x : c) CHECK(x.result == 5);
    CHECK(Misplaced() == 0);
}

// While a binder works, neither opening a thread nor waiting can be had:
// a second thread gets 0 and binds nothing; the binder ends alone.
static HANDLE WINAPI NoThread(DWORD, BOOL, DWORD) { return SetLastError(ERROR_ACCESS_DENIED), (HANDLE)0; }
static LONG NTAPI NoWait(HANDLE, BOOLEAN, LARGE_INTEGER *) { return (LONG)0xC0000022; } // access denied

static void CannotWaitFirst()
{
    HANDLE binder = StartHeldBinder(0);
    Redirect("kernel32.dll", "OpenThread", (void *)NoThread);
    Redirect("ntdll.dll", "NtWaitForSingleObject", (void *)NoWait);
    CHECK(plus(2, 3) == 0);
    SetEvent(released);
    CHECK(WaitForSingleObject(binder, 10000) == WAIT_OBJECT_0 && otherResult == 5);
    CHECK(plus(2, 3) == 5 && Misplaced() == 0);
}

// Sixteen threads make their first uses of the system DLLs at once, each
// beginning with another DLL and naming each in the same buffer of its
// own: every one gets the right procedures.
static const char *const kSystemProcs[8][2] = {
    {"ole32.dll", "CoTaskMemFree"}, {"shell32.dll", "SHGetPathFromIDListA"}, {"comdlg32.dll", "GetOpenFileNameA"},
    {"advapi32.dll", "RegOpenKeyExA"}, {"version.dll", "GetFileVersionInfoSizeA"}, {"shlwapi.dll", "PathFileExistsA"},
    {"oleaut32.dll", "SysAllocString"}, {"winmm.dll", "timeGetTime"}};
static FARPROC found[16][8];

static DWORD WINAPI LookUp(void *p)
{
    int t = (int)(INT_PTR)p;
    WaitForSingleObject(go, INFINITE);
    char dll[32];
    for (int k = 0, d; k < 8; k++) {
        strcpy(dll, kSystemProcs[d = (t + k) % 8][0]);
        found[t][d] = qelSystemProc(dll, kSystemProcs[d][1]);
    }
    return 0;
}

static void SystemProcsFirst()
{
    go = CreateEventA(0, TRUE, FALSE, 0);
    HANDLE t[16];
    for (int i = 0; i < 16; i++) t[i] = CreateThread(0, 0, LookUp, (void *)(INT_PTR)i, 0, 0);
    Sleep(200);
    SetEvent(go);
    CHECK(WaitForMultipleObjects(16, t, TRUE, 30000) == WAIT_OBJECT_0);
    for (int d = 0; d < 8; d++) {
        FARPROC want = GetProcAddress(GetModuleHandleA(kSystemProcs[d][0]), kSystemProcs[d][1]);
        CHECK(want != 0 && qelSystemProc(kSystemProcs[d][0], kSystemProcs[d][1]) == want);
        for (int i = 0; i < 16; i++)
            if (found[i][d] != want) printf("thread %d: %s!%s wrong\n", i, kSystemProcs[d][0], kSystemProcs[d][1]), failures++;
    }
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

// Windows relocates an executable that it maps at a new base, and Wine
// does not; Wine does relocate a DLL. A copy marked as a DLL, with no entry
// point so that none of its start-up code runs, is therefore mapped the way
// Windows maps the executable: moved and relocated. Its imports are bound
// by Wine already; the library binds them again, harmlessly, and must not
// move any address a second time.
static std::string image; // the file's bytes

static std::string Read(const std::string &exe)
{
    HANDLE h = CreateFileA(exe.c_str(), GENERIC_READ, FILE_SHARE_READ, 0, OPEN_EXISTING, 0, 0);
    image.assign(GetFileSize(h, 0), '\0');
    DWORD got = 0;
    ReadFile(h, &image[0], (DWORD)image.size(), &got, 0);
    CloseHandle(h);
    return exe;
}

static std::string LoaderRelocatedCopy(const std::string &exe)
{
    Read(exe);
    IMAGE_NT_HEADERS *nt = (IMAGE_NT_HEADERS *)&image[((IMAGE_DOS_HEADER *)&image[0])->e_lfanew];
    nt->FileHeader.Characteristics |= IMAGE_FILE_DLL;
    nt->OptionalHeader.AddressOfEntryPoint = 0;
    char tmp[MAX_PATH];
    GetTempPathA(MAX_PATH, tmp);
    std::string copy = std::string(tmp) + "qvnrelocated.dll";
    HANDLE h = CreateFileA(copy.c_str(), GENERIC_WRITE, 0, 0, CREATE_ALWAYS, 0, 0);
    DWORD got = 0;
    WriteFile(h, image.data(), (DWORD)image.size(), &got, 0);
    CloseHandle(h);
    return copy;
}

// How far the module lies from its linked base.
static INT_PTR Moved()
{
    const char *f = image.data();
    IMAGE_NT_HEADERS *nt = (IMAGE_NT_HEADERS *)(f + ((IMAGE_DOS_HEADER *)f)->e_lfanew);
    return (char *)lib - (char *)nt->OptionalHeader.ImageBase;
}

// How far the module's absolute addresses were moved since the file (the
// first base relocation's target in memory against the same bytes in the
// file), less the distance the module was moved: 0 once relocated exactly once.
static INT_PTR Misplaced()
{
    const char *f = image.data();
    IMAGE_NT_HEADERS *nt = (IMAGE_NT_HEADERS *)(f + ((IMAGE_DOS_HEADER *)f)->e_lfanew);
    DWORD relocs = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_BASERELOC].VirtualAddress;
    IMAGE_BASE_RELOCATION *block = (IMAGE_BASE_RELOCATION *)((char *)lib + relocs);
    DWORD rva = block->VirtualAddress + (*(WORD *)(block + 1) & 0xFFF);
    IMAGE_SECTION_HEADER *section = IMAGE_FIRST_SECTION(nt);
    while (rva < section->VirtualAddress || rva >= section->VirtualAddress + section->SizeOfRawData) section++;
    ULONG_PTR inFile, inMemory;
    memcpy(&inFile, f + section->PointerToRawData + (rva - section->VirtualAddress), sizeof inFile);
    memcpy(&inMemory, (char *)lib + rva, sizeof inMemory);
    return (INT_PTR)(inMemory - inFile) - Moved();
}

// Every page's protection in the module, a written copy-on-write page
// counted as the writable page it has become, modifiers (a guard) kept.
static std::vector<DWORD> Protections()
{
    IMAGE_NT_HEADERS *nt = (IMAGE_NT_HEADERS *)((char *)lib + ((IMAGE_DOS_HEADER *)lib)->e_lfanew);
    std::vector<DWORD> pages;
    for (DWORD at = 0; at < nt->OptionalHeader.SizeOfImage; at += 0x1000) {
        MEMORY_BASIC_INFORMATION m = {};
        VirtualQuery((char *)lib + at, &m, sizeof m);
        DWORD p = (m.Protect & 0xFF) == PAGE_WRITECOPY ? PAGE_READWRITE
            : (m.Protect & 0xFF) == PAGE_EXECUTE_WRITECOPY ? PAGE_EXECUTE_READWRITE : m.Protect & 0xFF;
        pages.push_back(p | (m.Protect & ~0xFF));
    }
    return pages;
}

// A debugger's guard on the last page that the binder relocates (not the
// page Misplaced() reads).
static void GuardWrittenPage()
{
    IMAGE_NT_HEADERS *nt = (IMAGE_NT_HEADERS *)((char *)lib + ((IMAGE_DOS_HEADER *)lib)->e_lfanew);
    IMAGE_DATA_DIRECTORY *dir = &nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_BASERELOC];
    DWORD page = 0, first = ((IMAGE_BASE_RELOCATION *)((char *)lib + dir->VirtualAddress))->VirtualAddress;
    for (DWORD at = dir->VirtualAddress; at < dir->VirtualAddress + dir->Size;) {
        IMAGE_BASE_RELOCATION *block = (IMAGE_BASE_RELOCATION *)((char *)lib + at);
        if (block->VirtualAddress != first) page = block->VirtualAddress;
        at += block->SizeOfBlock;
    }
    MEMORY_BASIC_INFORMATION m;
    DWORD was;
    CHECK(page && VirtualQuery((char *)lib + page, &m, sizeof m) &&
          VirtualProtect((char *)lib + page, 1, m.Protect | PAGE_GUARD, &was));
}

int main(int argc, char **argv)
{
    std::string first = argc > 1 ? argv[1] : "all";
    std::string exe = Folder() + "InstallQvn.exe";
    lib = LoadLibraryA((first == "relocated" ? LoaderRelocatedCopy(exe) : Read(exe)).c_str());
    if (!lib) { printf("FAILED: cannot load InstallQvn.exe (%lu)\n", GetLastError()); return 1; }
    // One export of each family as the very first call of the process.
    static const struct {
        const char *name;
        void (*run)();
    } kFirst[] = {{"pure", PureFirst}, {"membank", MemBankFirst}, {"strings", StringsFirst},
                  {"convert", ConvertFirst}, {"time", TimeFirst}, {"fill", FillFirst},
                  {"controls", ControlsFirst}, {"filesize", FileSizeFirst},
                  {"sysdir", SysDirFirst}, {"filename", FileNameFirst}, {"loaderlock", LoaderLockFirst},
                  {"deadbinder", DeadBinderFirst}, {"cannotwait", CannotWaitFirst},
                  {"systemprocs", SystemProcsFirst}, {"guard", PureFirst}};
    void (*run)() = Everything;
    for (const auto &f : kFirst)
        if (first == f.name) run = f.run;
    bool relocated = first == "relocated";
    if (relocated) CHECK(Moved() != 0 && Misplaced() == 0); // the loader moved and relocated it
    if (first == "guard") GuardWrittenPage();
    std::vector<DWORD> loaded = Protections();
    run();
    if (relocated) CHECK(Misplaced() == 0); // and the library did not do it again
    // Binding gave every page back the protection the loader gave it.
    std::vector<DWORD> now = Protections();
    for (size_t i = 0; i < loaded.size(); i++)
        if (now[i] != loaded[i])
            printf("page %#x: protection %#lx, loaded as %#lx\n", (unsigned)i * 0x1000, now[i], loaded[i]);
    CHECK(now == loaded);
    printf("%s: %d passed, %d failed\n", first.c_str(), failures ? 0 : 1, failures ? 1 : 0);
    return failures ? 1 : 0;
}
