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

// The shell, COM and the common controls load further DLLs by name as they
// go, and not every loader keeps those loads to the system folder. Loading
// them from there first makes every later load by name find them already
// in the process.
static void PreloadSystemDlls(void)
{
    static const char *const dlls[] = {
        "uxtheme.dll", "msimg32.dll", "comctl32.dll", "shlwapi.dll", "shcore.dll", "shell32.dll",
        "rpcrt4.dll", "combase.dll", "ole32.dll", "oleaut32.dll", "propsys.dll", "windowscodecs.dll",
        "actxprxy.dll", "userenv.dll", "setupapi.dll", "version.dll", "dwmapi.dll", "apphelp.dll",
        "clbcatq.dll", "cryptbase.dll", "oleacc.dll", "profapi.dll", "ntmarta.dll", "sspicli.dll",
    };
    for (const char *dll : dlls) qelLoadSystemDll(dll);
}

// The progress bar's window class lives in the common controls.
static void InitialiseCommonControls(void)
{
    typedef void(WINAPI * InitFn)(void);
    InitFn init = (InitFn)(void *)qelSystemProc("comctl32.dll", "InitCommonControls");
    if (init) init();
}

// The process entry: no C runtime start-up runs before it. Runs the four
// pages one after the other and ends the process: exit code 0 when
// everything was installed, 1 when the finish page had to report anything
// missing. A confirmed cancel ends the process earlier, with 0.
extern "C" void SetupMain(void)
{
    qelBindState[0] = 2; // the running program: the loader bound the imports
    RestrictDllSearch();
    PreloadSystemDlls();
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
    ExitProcess(setup.runCompleted && setup.missingCount == 0 ? 0 : 1);
}
