// The shortcut writer: one .lnk file through the shell-link object.
#include "setup.h"
#include <shlobj.h>

// The three identifiers, written out here: the platform's identifier
// library would bring in kilobytes of others.
static const GUID kShellLink = {0x00021401, 0, 0, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
static const GUID kShellLinkA = {0x000214EE, 0, 0, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
static const GUID kPersistFile = {0x0000010B, 0, 0, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};

typedef HRESULT(WINAPI *CoInitializeFn)(LPVOID);
typedef HRESULT(WINAPI *CoCreateInstanceFn)(REFCLSID, LPUNKNOWN, DWORD, REFIID, LPVOID *);
typedef void(WINAPI *CoUninitializeFn)(void);

int MakeShortcut(const char *target, const char *workingFolder, const char *shortcutPath, int iconIndex)
{
    CoInitializeFn initialize = (CoInitializeFn)(void *)qelSystemProc("ole32.dll", "CoInitialize");
    CoCreateInstanceFn create = (CoCreateInstanceFn)(void *)qelSystemProc("ole32.dll", "CoCreateInstance");
    CoUninitializeFn uninitialize = (CoUninitializeFn)(void *)qelSystemProc("ole32.dll", "CoUninitialize");
    if (!initialize || !create || !uninitialize) return 0;
    int saved = 0;
    initialize(0);
    WCHAR *wide = (WCHAR *)qelMemBank(1, 2048 + 1024);
    IShellLinkA *link = 0;
    if (wide && SUCCEEDED(create(kShellLink, 0, CLSCTX_INPROC_SERVER, kShellLinkA, (void **)&link))) {
        IPersistFile *file = 0;
        if (SUCCEEDED(link->QueryInterface(kPersistFile, (void **)&file))) {
            link->SetPath(target);
            link->SetWorkingDirectory(workingFolder);
            link->SetIconLocation(target, iconIndex);
            if (MultiByteToWideChar(CP_ACP, 0, shortcutPath, -1, wide, 260) > 0)
                saved = SUCCEEDED(file->Save(wide, TRUE)) && IsFileFound(shortcutPath);
            file->Release();
        }
        link->Release();
    }
    qelMemBank(0, (intptr_t)wide);
    uninitialize();
    return saved;
}
