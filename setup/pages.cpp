// The page frame every page shares, the four page procedures and the
// welcome page; the shared setup state.
#include "setup.h"
#include "medium.h"
#include "peicon.h"
#include "product.h"

SetupState setup;

void SetupEnd(UINT code)
{
    MediumRelease();
    ExitProcess(code);
}

// The four buffers lie one after the other: one clear for all of them.
static_assert(offsetof(SetupState, destinationPath) == offsetof(SetupState, sourceName) + TEXT_SIZE &&
                  offsetof(SetupState, workText) == offsetof(SetupState, destinationPath) + TEXT_SIZE &&
                  offsetof(SetupState, documentText) == offsetof(SetupState, workText) + TEXT_SIZE,
              "the scratch buffers are contiguous");

void ClearScratch(void)
{
    qelMemClr(setup.sourceName, 3 * TEXT_SIZE + DOCUMENT_SIZE);
}

static const Page kWelcome = {
    IDD_WELCOME, "Quorvane Setup", IDC_WELCOME_NEXT, false, IDC_WELCOME_NEXT, IDC_WELCOME_CANCEL,
    "Exit Setup", "You have chosen to exit Setup. Exit Setup?", InitialiseWelcome, 0};
static const Page kAgreement = {
    IDD_LICENSE, "Quorvane License Agreement", IDC_LICENSE_NO, true, IDC_LICENSE_YES, IDC_LICENSE_NO,
    "Quorvane License Agreement",
    "You have chosen to disagree with the License. This will exit Setup. Exit Setup?",
    InitialiseAgreement, 0};
static const Page kInstall = {
    IDD_INSTALL, "Installation Information", IDC_INSTALL_INSTALL, false, IDC_INSTALL_INSTALL,
    IDC_INSTALL_CANCEL, "Installation Information", "You have chosen to cancel Setup. Terminate Setup?",
    InitialiseInstall, RunInstall};
static const Page kFinish = {
    IDD_FINISH, "Installation Successful", IDC_FINISH_FINISH, true, IDC_FINISH_FINISH, 0, 0, 0,
    InitialiseFinish, 0};

INT_PTR PageFrame(const Page *p, HWND window, UINT message, WPARAM wParam)
{
    switch (message) {
    case WM_INITDIALOG: {
        setup.currentPage = window;
        HWND page = setup.currentPage;
        SendMessageA(page, WM_SETICON, ICON_BIG, (LPARAM)setup.pageIcon);
        qelWriteStr(page, 0, p->caption);
        if (p->focusFirst) qelSetFocus(page, p->focus);
        if (p->initialise) p->initialise(page);
        if (!p->focusFirst) qelSetFocus(page, p->focus);
        return 1;
    }
    case WM_PAINT:
    {
        // Begin painting, an etched edge around the client area, end.
        HWND page = setup.currentPage;
        qelPaintRCPAINT(1, page, 0, 0);
        qelPaintRCPAINT(1, page, 0, 0);
        qelPaintRCPAINT(0, page, 0, 0);
        return 1;
    }
    case WM_TIMER:
        return 1;
    case WM_COMMAND: {
        HWND page = setup.currentPage;
        int id = qelGetLoW((intptr_t)wParam);
        if (id == p->forward) {
            if (p->onForward) p->onForward(page);
            EndDialog(page, 0);
        } else if (p->cancel && id == p->cancel) {
            if (qelAlert(p->confirmCaption, p->confirmText, page, 0, MB_YESNO | MB_ICONQUESTION) == IDYES) {
                EndDialog(page, 0);
                SetupEnd(2);
            }
        }
        return 1; // every command is handled, known or not
    }
    }
    return 0;
}

INT_PTR CALLBACK WelcomePageProc(HWND w, UINT m, WPARAM wp, LPARAM) { return PageFrame(&kWelcome, w, m, wp); }
INT_PTR CALLBACK AgreementPageProc(HWND w, UINT m, WPARAM wp, LPARAM) { return PageFrame(&kAgreement, w, m, wp); }
INT_PTR CALLBACK InstallPageProc(HWND w, UINT m, WPARAM wp, LPARAM) { return PageFrame(&kInstall, w, m, wp); }
INT_PTR CALLBACK FinishPageProc(HWND w, UINT m, WPARAM wp, LPARAM) { return PageFrame(&kFinish, w, m, wp); }

// The temporary folder lies on the Windows drive: only its drive letter
// follows the real Windows folder.
void InitialiseWelcome(HWND page)
{
    qelGetWinDir(setup.windowsFolder, TEXT_SIZE - 1);
    qelStrPlus("C:\\WINDOWS\\Temp", setup.tempFolder);
    qelLStr(setup.windowsFolder, setup.tempFolder, 1);
    qelMakDir(setup.tempFolder);
}

// The pages' icon is iQvn.exe's first icon, parsed out of the bytes read
// (and checked) from the medium; nothing of the medium reaches the shell.
// Without a usable one the setup program's own icon is shown.
void LoadPageIcon(void)
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
