/* setup.h: the setup state the wizard's pages share, and its routines. */
#ifndef SETUP_H
#define SETUP_H

#include "qelint.h"
#include "resources/resource.h"

#define TEXT_SIZE 256
#define DOCUMENT_SIZE 16384
/* The finish text: the document, the fixed lines and, after a failed run,
   the names of what is missing. */
#define FINISH_SIZE (DOCUMENT_SIZE + 8192)

struct SetupState {
    HINSTANCE instance;
    HICON pageIcon;
    HWND currentPage;
    char windowsFolder[TEXT_SIZE];
    char tempFolder[TEXT_SIZE];
    char installFolder[TEXT_SIZE];
    char serverFolder[TEXT_SIZE];
    char clipFolder[TEXT_SIZE];
    char menuFolder[TEXT_SIZE];
    char sourceName[TEXT_SIZE];
    char destinationPath[TEXT_SIZE];
    char workText[TEXT_SIZE];
    char documentText[DOCUMENT_SIZE + 1];
    /* What the install run could not install, one name a line, and how
       many; kept from the run for the finish page. */
    char missing[4096];
    int missingCount;
    /* 1 once the install run has gone through to its end: the finish page
       reports success only after such a run. */
    int runCompleted;
};

extern SetupState setup;

/* Clears sourceName, destinationPath, workText and documentText. */
void ClearScratch(void);

/* The page frame: what every page does with its messages. */
struct Page;
INT_PTR PageFrame(const Page *page, HWND window, UINT message, WPARAM wParam);

INT_PTR CALLBACK WelcomePageProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK AgreementPageProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK InstallPageProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK FinishPageProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

/* One page of the wizard: template, caption, buttons, confirmation, and
   its own initialisation and forward action. */
struct Page {
    int id;
    const char *caption;
    int focus;
    bool focusFirst;               /* focus before the page's own initialisation */
    int forward;
    int cancel;                    /* 0: the page has no cancel */
    const char *confirmCaption;
    const char *confirmText;
    void (*initialise)(HWND page); /* may be 0 */
    void (*onForward)(HWND page);  /* may be 0: then the page just ends */
};

/* Takes the pages' icon (setup.pageIcon) from the medium's iQvn.exe, or
   the setup program's own when there is no usable one. */
void LoadPageIcon(void);

/* The page initialisations and the install run. */
void InitialiseWelcome(HWND page);
void InitialiseInstall(HWND page);
void RunInstall(HWND page);
void InitialiseAgreement(HWND page);
void InitialiseFinish(HWND page);

/* Ends the setup with the given exit code (0 everything installed, 1 not
   all installed or no safe start, 2 a confirmed cancel), removing what it
   made for itself on the way. */
void SetupEnd(UINT code) __attribute__((noreturn));

/* Writes a shell shortcut to target (also its icon source, at iconIndex)
   starting in workingFolder. 1 when the shortcut file was saved, else 0. */
int MakeShortcut(const char *target, const char *workingFolder, const char *shortcutPath, int iconIndex);

#endif
