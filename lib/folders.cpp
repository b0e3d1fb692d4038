// Folders, drives, the directory search, the choosers and starting other
// programs. Folder operations look for the name first (IsFileFound) and
// report what they found, not whether the platform call succeeded.
#include "qelint.h"
#include <commdlg.h>
#include <shlobj.h>

// The folder queries clear the caller's size bytes first: a name that does
// not fit leaves an empty text, since the platform then writes nothing. A
// size below 1 names no room at all (a negative one would read as a huge
// capacity to the platform): nothing is written.
int QELAPI qelGetDir(char *buffer, int size)
{
    if (size < 1) return 1;
    qelMemClr(buffer, size);
    GetCurrentDirectoryA((DWORD)size, buffer);
    return 1;
}

int QELAPI qelGetSysDir(char *buffer, int size)
{
    if (size < 1) return 1;
    qelMemClr(buffer, size);
    GetSystemDirectoryA(buffer, (UINT)size);
    return 1;
}

int QELAPI qelGetWinDir(char *buffer, int size)
{
    if (size < 1) return 1;
    qelMemClr(buffer, size);
    GetWindowsDirectoryA(buffer, (UINT)size);
    return 1;
}

// The first n bytes of source, whatever they are, and a terminator.
static char *CopyPrefix(const char *source, char *destination, int n)
{
    qelMemCopy(source, destination, n);
    destination[n] = 0;
    return destination;
}

int QELAPI qelGetDrive(char *buffer, int size)
{
    char folder[256];
    qelGetDir(folder, 255);
    folder[255] = 0;
    qelMemClr(buffer, size);
    CopyPrefix(folder, buffer, 3);
    return 1;
}

// "D", "D:" and every name on drive D give the root "D:\".
struct DriveRoot {
    char text[4];
};

static DriveRoot RootOf(const char *name)
{
    DriveRoot r = {{name[0], ':', '\\', 0}};
    return r;
}

// No name is no drive: no root, and nothing changes.
int QELAPI qelGetDriveType(const char *name)
{
    if (!name) return DRIVE_NO_ROOT_DIR;
    return (int)GetDriveTypeA(RootOf(name).text);
}

int QELAPI qelSetDrive(const char *name)
{
    if (!name) return 1;
    SetCurrentDirectoryA(RootOf(name).text);
    return 1;
}

int QELAPI qelMakDir(const char *name)
{
    if (IsFileFound(name)) return 0;
    CreateDirectoryA(name, 0);
    return 1;
}

int QELAPI qelChgDir(const char *name)
{
    if (!IsFileFound(name)) return 0;
    SetCurrentDirectoryA(name);
    return 1;
}

int QELAPI qelRemDir(const char *name)
{
    if (!IsFileFound(name)) return 0;
    RemoveDirectoryA(name);
    return 1;
}

// The directory search: one per process, open from a first call until a
// next call finds nothing or a close call. findRecord holds the last entry
// found (the find data up to its short name, 318 bytes).
static WIN32_FIND_DATAA findRecord;
static HANDLE searchHandle; // 0 when no search is open
static const int kFindRecordSize = 318;
static const int kFindBlockSize = kFindRecordSize + 1024;

static void CloseSearch(void)
{
    if (searchHandle) FindClose(searchHandle);
    searchHandle = 0;
}

// Copies an entry out of the working block; its name's address, or 0 for
// an empty name.
static char *Found(const void *block)
{
    qelMemCopy(block, &findRecord, kFindRecordSize);
    return qelIsStrNull(findRecord.cFileName) ? 0 : findRecord.cFileName;
}

char *QELAPI qelFindFile(const char *name, int mode)
{
    if (mode != 1 && mode != 0) {
        qelMemClr(&findRecord, kFindRecordSize);
        if (mode == -1) CloseSearch();
        return 0;
    }
    // First and next need a working block for the platform's find data;
    // without one nothing changes, the open search included.
    WIN32_FIND_DATAA *block = (WIN32_FIND_DATAA *)qelMemBank(1, kFindBlockSize);
    if (!block) return 0;
    qelMemClr(&findRecord, kFindRecordSize);
    char *result = 0;
    if (mode == 1) {
        CloseSearch();
        HANDLE h = FindFirstFileA(name, block);
        if (h != INVALID_HANDLE_VALUE) {
            searchHandle = h;
            result = Found(block);
        }
    } else if (searchHandle) {
        if (FindNextFileA(searchHandle, block)) result = Found(block);
        else CloseSearch();
    }
    qelMemBank(0, (intptr_t)block);
    return result;
}

// Called by the folder chooser when it starts and at every change of the
// selection: keeps the chooser's caption.
static int CALLBACK FolderCaptionProc(HWND chooser, UINT notification, LPARAM value, LPARAM caption)
{
    SetWindowTextA(chooser, (const char *)caption);
    return 0;
}

// The choosers live in the shell, the common dialogs and COM: reached by
// full path from the system folder when first used.
typedef LPITEMIDLIST(WINAPI *BrowseFn)(LPBROWSEINFOA);
typedef BOOL(WINAPI *PathFromIdFn)(LPCITEMIDLIST, LPSTR);
typedef void(WINAPI *TaskMemFreeFn)(LPVOID);
typedef BOOL(WINAPI *FileNameFn)(LPOPENFILENAMEA);

static int BrowseFolder(HWND owner, char *buffer, const char *caption, const char *instruction)
{
    BrowseFn browse = (BrowseFn)(void *)qelSystemProc("shell32.dll", "SHBrowseForFolderA");
    PathFromIdFn pathFromId = (PathFromIdFn)(void *)qelSystemProc("shell32.dll", "SHGetPathFromIDListA");
    TaskMemFreeFn taskMemFree = (TaskMemFreeFn)(void *)qelSystemProc("ole32.dll", "CoTaskMemFree");
    if (!browse || !pathFromId || !taskMemFree) return 0;
    BROWSEINFOA info;
    qelMemClr(&info, sizeof info);
    info.hwndOwner = owner;
    info.lpszTitle = instruction;
    info.ulFlags = BIF_RETURNONLYFSDIRS | BIF_DONTGOBELOWDOMAIN;
    info.lpfn = FolderCaptionProc;
    info.lParam = (LPARAM)caption;
    LPITEMIDLIST item = browse(&info);
    if (!item) return 0;
    pathFromId(item, buffer);
    taskMemFree(item);
    return 1;
}

int QELAPI qelGetDirName(HWND owner, char *buffer)
{
    BrowseFolder(owner, buffer, "Browse For Folder", "Select A Folder");
    return 1;
}

// The two choosers' results, each kept until the next chooser of its kind.
static char openResult[260];
static char saveResult[260];

static char *Choose(bool save, HWND owner, HINSTANCE instance, const char *title)
{
    char *result = save ? saveResult : openResult;
    qelMemClr(result, 260);
    OPENFILENAMEA ofn;
    qelMemClr(&ofn, sizeof ofn);
    ofn.lStructSize = OPENFILENAME_SIZE_VERSION_400A;
    ofn.hwndOwner = owner;
    ofn.hInstance = instance;
    ofn.lpstrFilter = "All Files\0*.*\0";
    ofn.lpstrFile = result;
    ofn.nMaxFile = 260;
    ofn.lpstrTitle = title;
    FileNameFn choose = (FileNameFn)(void *)qelSystemProc("comdlg32.dll", save ? "GetSaveFileNameA" : "GetOpenFileNameA");
    ofn.Flags = save ? OFN_LONGNAMES | OFN_EXPLORER | OFN_HIDEREADONLY | OFN_OVERWRITEPROMPT
                     : OFN_LONGNAMES | OFN_EXPLORER | OFN_FILEMUSTEXIST | OFN_HIDEREADONLY;
    // A chooser that fails leaves no name: one that was too long for the
    // result gets the length it needs written into its first bytes.
    if (!choose || !choose(&ofn)) qelMemClr(result, 260);
    return result;
}

char *QELAPI qelGetFileName(int mode, HWND owner, HINSTANCE instance, char *buffer)
{
    if (!buffer) return 0;
    char *result;
    if (mode == 1) result = Choose(true, owner, instance, "Enter A Filename");
    else if (mode == -1) result = Choose(false, owner, instance, "Select A File");
    else return 0;
    if (qelIsStrNull(result)) return 0;
    qelMemCopy(result, buffer, 260);
    return result;
}

HANDLE QELAPI qelShell(const char *program, const char *commandLine, int wait)
{
    STARTUPINFOA startup;
    PROCESS_INFORMATION process;
    qelMemClr(&startup, sizeof startup);
    qelMemClr(&process, sizeof process);
    startup.cb = sizeof startup;
    // The ANSI call works on its own copy of the command line.
    if (!CreateProcessA(program, (char *)commandLine, 0, 0, FALSE, 0, 0, 0, &startup, &process))
        return 0;
    CloseHandle(process.hThread);
    if (wait == 1) {
        // Polls until the program ends. An exit code of STILL_ACTIVE would
        // read as running forever: the process object tells the end apart.
        DWORD code = STILL_ACTIVE;
        while (GetExitCodeProcess(process.hProcess, &code) && code == STILL_ACTIVE &&
               WaitForSingleObject(process.hProcess, 0) == WAIT_TIMEOUT)
            Sleep(0);
    } else if (wait == 0) {
        // Until the program waits for input, 30 s at most. A program with no
        // message queue (a console program) makes the wait fail at once:
        // that ends it too.
        WaitForInputIdle(process.hProcess, 30000);
    }
    return process.hProcess;
}
