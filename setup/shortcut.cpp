// The shortcut writer: one .lnk file through the shell-link object.
#include "setup.h"
#include <shlobj.h>

int MakeShortcut(const char *target, const char *workingFolder, const char *shortcutPath, int iconIndex)
{
    int saved = 0;
    CoInitialize(0);
    WCHAR *wide = (WCHAR *)qelMemBank(1, 2048 + 1024);
    IShellLinkA *link = 0;
    if (wide && SUCCEEDED(CoCreateInstance(CLSID_ShellLink, 0, CLSCTX_INPROC_SERVER, IID_IShellLinkA,
                                           (void **)&link))) {
        IPersistFile *file = 0;
        if (SUCCEEDED(link->QueryInterface(IID_IPersistFile, (void **)&file))) {
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
    CoUninitialize();
    return saved;
}
