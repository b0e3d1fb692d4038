// InstallQvn.exe: process start-up and the page sequence.
#include "setup.h"
#include "medium.h"
#include "product.h"
#include "peicon.h"
#include "../lib/bindstate.h"

// Restricts where DLLs are searched for: the system folder only. 0 where
// Windows lacks the update that offers it (and LOAD_LIBRARY_SEARCH_SYSTEM32).
static int RestrictDllSearch(void)
{
    typedef BOOL(WINAPI * SetDirsFn)(DWORD);
    HMODULE kernel = GetModuleHandleA("kernel32.dll");
    SetDirsFn setDirs = (SetDirsFn)(void *)GetProcAddress(kernel, "SetDefaultDllDirectories");
    return setDirs && setDirs(LOAD_LIBRARY_SEARCH_SYSTEM32);
}

// The shell, COM and the common controls load further DLLs by name as they
// go, and not every loader keeps those loads to the system folder. Loading
// them from there first makes every later load by name find them already
// in the process.
static void PreloadSystemDlls(void)
{
    static const char kDlls[] =
        "uxtheme.dll\0msimg32.dll\0comctl32.dll\0shlwapi.dll\0shcore.dll\0shell32.dll\0rpcrt4.dll\0"
        "combase.dll\0ole32.dll\0oleaut32.dll\0propsys.dll\0windowscodecs.dll\0actxprxy.dll\0"
        "userenv.dll\0setupapi.dll\0version.dll\0dwmapi.dll\0apphelp.dll\0clbcatq.dll\0cryptbase.dll\0"
        "cryptsp.dll\0rsaenh.dll\0oleacc.dll\0profapi.dll\0ntmarta.dll\0sspicli.dll\0";
    for (const char *dll = kDlls; *dll; dll += qelStrLen(dll) + 1) qelLoadSystemDll(dll);
}

// The progress bar's window class lives in the common controls.
static void InitialiseCommonControls(void)
{
    typedef void(WINAPI * InitFn)(void);
    InitFn init = (InitFn)(void *)qelSystemProc("comctl32.dll", "InitCommonControls");
    if (init) init();
}

// The pages' icon is iQvn.exe's first icon, parsed out of the bytes read
// (and checked) from the medium; nothing of the medium reaches the shell.
// Without a usable one the setup program's own icon is shown.
static void LoadPageIcon(void)
{
    unsigned size;
    unsigned long at, length;
    HICON icon = 0;
    unsigned char *image = MediumTake(PRODUCT_ICON_FILE, PRODUCT_ICON_FILE, &size, 0);
    if (image && PeIconFind(image, size, (unsigned)GetSystemMetrics(SM_CXICON), &at, &length))
        icon = CreateIconFromResourceEx(image + at, length, TRUE, 0x00030000, 0, 0, LR_DEFAULTCOLOR);
    qelMemBank(0, (intptr_t)image);
    setup.pageIcon = icon ? icon : LoadIconA(setup.instance, MAKEINTRESOURCEA(IDI_QVN));
}

// The process entry: no C runtime start-up runs before it. Refuses to run
// where DLL loads cannot be kept to the system folder, then runs the four
// pages one after the other and ends the process: exit code 0 when
// everything was installed, 1 when the finish page had to report anything
// missing. A confirmed cancel ends the process earlier, with 2.
extern "C" void SetupMain(void)
{
    qelBindState[0] = QEL_BIND_BOUND; // the running program: the loader bound the imports
    setup.instance = GetModuleHandleA(0);
    if (!RestrictDllSearch()) {
        qelAlert("Quorvane Setup",
                 "Windows lacks the update it needs to load DLLs safely (KB2533623). "
                 "Install it, then run Setup again.",
                 0, 0, MB_OK | MB_ICONSTOP);
        SetupEnd(1);
    }
    PreloadSystemDlls();
    LoadPageIcon();
    InitialiseCommonControls();
    static const DLGPROC pages[] = {WelcomePageProc, AgreementPageProc, InstallPageProc, FinishPageProc};
    static const int ids[] = {IDD_WELCOME, IDD_LICENSE, IDD_INSTALL, IDD_FINISH};
    for (int i = 0; i < 4; i++)
        DialogBoxParamA(setup.instance, MAKEINTRESOURCEA(ids[i]), 0, pages[i], 0);
    SetupEnd(setup.runCompleted && setup.missingCount == 0 ? 0 : 1);
}
