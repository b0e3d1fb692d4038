/* An outside program that uses the library the ordinary way: it includes
   qel.h, links the import library of InstallQvn.exe (no GetProcAddress)
   and calls functions of every family. The Windows loader binds all 101
   functions when the program starts, from the executable beside it.
   Prints the checks and exits with 0 when all of them hold. */
#include <stdio.h>
#include <string.h>
#include <windows.h>
#include "qel.h"

static int passed, failed;

static void Check(int ok, const char *what, int line)
{
    if (ok) {
        passed++;
    } else {
        failed++;
        printf("FAILED: %s (line %d)\n", what, line);
    }
}
#define CHECK(cond) Check((cond) != 0, #cond, __LINE__)

/* Every function of the interface, by the names qel.h gives them: the link
   fails when a declaration does not match its export (on i686 the argument
   count is part of the name). Kept external so that the table, and with it
   every import, stays in the program. */
void *const qvnClientFunctions[] = {
#define QEL_FUNCTION(name, argBytes) (void *)&name,
#include "functions.inc"
#undef QEL_FUNCTION
};

static void Memory(void)
{
    CHECK(qelDivide(100, 24) == 5);
    CHECK(qelDivide(7, -2) == -4);
    char *block = (char *)qelMemBank(1, 10);
    CHECK(block != 0 && block[11] == 0);
    CHECK(qelMemFill(block, 3, 'q') == 3 && strcmp(block, "qqq") == 0);
    CHECK(qelMemBank(0, (intptr_t)block) == 0);
}

static void Strings(void)
{
    char path[64] = {0};
    CHECK(qelPathPlus("C:\\dir", "f.txt", path) == path);
    CHECK(strcmp(path, "C:\\dir\\f.txt") == 0);
    CHECK(qelStrLen(path) == 12);
    qelStrPlus(".bak", path);
    CHECK(strcmp(path, "C:\\dir\\f.txt.bak") == 0);
    CHECK(qelLInstr(1, path, "f.") == 8);
}

static void Conversions(void)
{
    CHECK(strcmp(qelHex(255), "000000FF") == 0);
    CHECK(strcmp(qelStr(-42), "-42") == 0);
    CHECK(qelHexVal("ff") == 255);
    CHECK(qelStrVal("1234") == 1234);
}

static void Time(void)
{
    unsigned before = GetTickCount();
    unsigned tick = qelTimeTick();
    CHECK(tick - before < 1000);
    char text[64] = {0};
    CHECK(qelTime(0, text) == 1 && text[0] != 0);
}

static void Files(const char *folder)
{
    char name[MAX_PATH] = {0};
    qelPathPlus(folder, "client.bin", name);
    CHECK(qelWriteFile(name, 1, "hello", 5) == 5);
    CHECK(qelFileSize(name) == 5);
    char back[8] = {0};
    CHECK(qelReadFile(name, 2, back, 3) == 3 && strcmp(back, "ell") == 0);
    CHECK(qelDelFile(name) == 1);
    CHECK(qelFileSize(name) == -1);
}

static void Folders(const char *folder)
{
    char win[MAX_PATH], want[MAX_PATH];
    GetWindowsDirectoryA(want, MAX_PATH);
    CHECK(qelGetWinDir(win, MAX_PATH) == 1 && strcmp(win, want) == 0);
    char sub[MAX_PATH] = {0};
    qelPathPlus(folder, "client dir", sub);
    CHECK(qelMakDir(sub) == 1);
    CHECK(qelMakDir(sub) == 0);
    char pattern[MAX_PATH] = {0};
    qelPathPlus(folder, "client d*", pattern);
    char *found = qelFindFile(pattern, 1);
    CHECK(found != 0 && strcmp(found, "client dir") == 0);
    CHECK(qelFindFile(0, 0) == 0);
    CHECK(qelRemDir(sub) == 1);
    CHECK(GetFileAttributesA(sub) == INVALID_FILE_ATTRIBUTES);
}

static LRESULT CALLBACK Proc(HWND w, UINT msg, WPARAM wp, LPARAM lp)
{
    return DefWindowProcA(w, msg, wp, lp);
}

static void WindowsAndControls(void)
{
    HINSTANCE self = GetModuleHandleA(0);
    CHECK(qelWndRegister("QvnClientWindow", 0, Proc, self, 0, 0, 0, 0) != 0);
    HWND w = CreateWindowExA(0, "QvnClientWindow", "", WS_POPUP, 0, 0, 120, 80, 0, 0, self, 0);
    HWND list = CreateWindowExA(0, "LISTBOX", "", WS_CHILD, 0, 0, 100, 60, w, (HMENU)7, self, 0);
    CHECK(w != 0 && list != 0);
    CHECK(GetClassLongA(w, GCL_CBWNDEXTRA) == 30);
    CHECK(qelGetRGB(0x12, 0x34, 0x56) == 0x563412);
    CHECK(qelAbsXX(-1) == 31999);
    int record[6] = {(int)(intptr_t)w, 0, 0, 0, 0, 9};
    CHECK(qelWndPosition(0, 0, 800, 600, record, 0, 0) == 1);
    CHECK(record[1] == 340 && record[2] == 260 && record[3] == 120 && record[5] == 9);

    CHECK(qelWriteStr(w, 0, "client") != 0);
    char text[16] = {0};
    CHECK(qelReadStr(w, 0, text, sizeof text) == 6 && strcmp(text, "client") == 0);
    CHECK(qelWriteLst(w, 7, "one", 11) == 0);
    CHECK(qelWriteLst(w, 7, "two", 22) == 1);
    CHECK(qelSetLst(w, 7, "TWO") == 1);
    CHECK(qelReadLst(w, 7, text) == 22 && strcmp(text, "two") == 0);
    DestroyWindow(w);
}

int main(void)
{
    int count = (int)(sizeof qvnClientFunctions / sizeof qvnClientFunctions[0]), bound = 0;
    for (int i = 0; i < count; i++) bound += qvnClientFunctions[i] != 0;
    CHECK(count == 101 && bound == 101);
    HMODULE lib = GetModuleHandleA("InstallQvn.exe");
    CHECK(lib != 0);
    CHECK(GetProcAddress(lib, "_qelDivide@8") != 0);

    char folder[MAX_PATH] = {0}, tmp[MAX_PATH];
    GetTempPathA(MAX_PATH, tmp);
    sprintf(folder, "%sqvnclient%lu", tmp, GetCurrentProcessId());
    CreateDirectoryA(folder, 0);

    Memory();
    Strings();
    Conversions();
    Time();
    Files(folder);
    Folders(folder);
    WindowsAndControls();

    RemoveDirectoryA(folder);
    printf("%d passed, %d failed\n", passed, failed);
    return failed ? 1 : 0;
}
