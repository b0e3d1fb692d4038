// InstallQvn.exe: process start-up and the page sequence.
#include "setup.h"

// Restricts where DLLs are searched for: the system folder only. Where the
// platform does not offer it, DLLs the setup loads itself are loaded by
// full path anyway.
static void RestrictDllSearch(void)
{
    typedef BOOL(WINAPI * SetDirsFn)(DWORD);
    HMODULE kernel = GetModuleHandleA("kernel32.dll");
    SetDirsFn setDirs = (SetDirsFn)(void *)GetProcAddress(kernel, "SetDefaultDllDirectories");
    if (setDirs) setDirs(LOAD_LIBRARY_SEARCH_SYSTEM32);
}

// The progress bar's window class lives in the common controls.
static void InitialiseCommonControls(void)
{
    typedef void(WINAPI * InitFn)(void);
    InitFn init = (InitFn)(void *)qelSystemProc("comctl32.dll", "InitCommonControls");
    if (init) init();
}

// Runs the four pages one after the other and ends the process.
static void SetupMain(void)
{
    RestrictDllSearch();
    setup.instance = GetModuleHandleA(0);
    typedef HICON(WINAPI * ExtractFn)(HINSTANCE, LPSTR, WORD *);
    ExtractFn extract = (ExtractFn)(void *)qelSystemProc("shell32.dll", "ExtractAssociatedIconA");
    char iconFile[MAX_PATH] = "iQvn.exe";
    if (extract) setup.pageIcon = extract(setup.instance, iconFile, &setup.pageIconIndex);
    InitialiseCommonControls();
    DLGPROC pages[] = {WelcomePageProc, AgreementPageProc, InstallPageProc, FinishPageProc};
    int ids[] = {IDD_WELCOME, IDD_LICENSE, IDD_INSTALL, IDD_FINISH};
    for (int i = 0; i < 4; i++)
        DialogBoxParamA(setup.instance, MAKEINTRESOURCEA(ids[i]), 0, pages[i], 0);
    ExitProcess(0);
}

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int)
{
    qelBound = 1; // the running program: the loader bound the imports
    SetupMain();
    return 0;
}
