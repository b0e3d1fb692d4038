// The installation information page and the install run behind "Install".
#include "setup.h"
#include "packfile.h"
#include "medium.h"
#include "unpack.h"
#include "product.h"

static const char kCrLf[] = "\r\n";

// Each shortcut's target is the file of a plan row (Ostrel.exe, OsGuide.pdf).
static const struct {
    int row;
    const char *file;
} kShortcuts[] = {
    {0, "Ostrel.lnk"},
    {4, "Ostrel Guide.lnk"},
};

// A fixed path moved to the drive of the Windows folder.
static void PlaceOnWindowsDrive(char *field, const char *path)
{
    qelStrPlus(path, field);
    qelLStr(setup.windowsFolder, field, 1);
}

void InitialiseInstall(HWND page)
{
    PlaceOnWindowsDrive(setup.installFolder, "C:\\Program Files\\Ostrel");
    PlaceOnWindowsDrive(setup.serverFolder, "C:\\Program Files\\Ostrel\\Vell");
    PlaceOnWindowsDrive(setup.clipFolder, "C:\\Program Files\\Ostrel\\KQ");
    PlaceOnWindowsDrive(setup.menuFolder,
                        "C:\\Documents and Settings\\All Users\\Start Menu\\Programs\\Quorvane");
    // The summary: the install folder between fixed lines.
    ClearScratch();
    qelStrPlus("Setup will use the following data:\r\n\r\n\r\n\r\nInstall folder:   ", setup.workText);
    qelStrPlus(setup.installFolder, setup.workText);
    qelStrPlus("\r\n\r\nStart Menu folder:   Quorvane\r\n\r\n"
               "Total installed size:   2,074,712 Bytes\r\n\r\n\r\n"
               "Please, make sure you have enough hard disk space.\r\n\r\n\r\n"
               "Installation progress", setup.workText);
    qelWriteStr(page, IDC_INSTALL_INFO, setup.workText);
}

// Notes an item the run could not install, for the finish page.
static void Missing(const char *name)
{
    if (qelStrLen(setup.missing) + qelStrLen(name) + 2 >= (int)sizeof setup.missing) return;
    qelStrPlus(name, setup.missing);
    qelStrPlus(kCrLf, setup.missing);
    setup.missingCount++;
}

static void MakeFolder(const char *folder)
{
    qelMakDir(folder);
    if (!IsFileFound(folder)) Missing(folder);
}

// One packed file on its way to its destination: checked as it streams by,
// the bar moved within the file's share of it.
struct Unpacking {
    MediumPass pass;
    HWND page;
    int from, to; // the plan's steps before and after the file
};

static void SeeChunk(void *context, const unsigned char *bytes, unsigned count)
{
    MediumSee(&((Unpacking *)context)->pass, bytes, count);
}

static int Vouched(void *context)
{
    return MediumVouches(&((Unpacking *)context)->pass);
}

// Within a file the bar moves in thousandths of a step, and the page
// repaints: the run holds the page's thread, but a long file must not
// leave a frozen window. Only painting is done here; input waits, so no
// button can act in the middle of the run.
static void ShowProgress(void *context, unsigned long long done, unsigned long long total)
{
    Unpacking *u = (Unpacking *)context;
    if (done >= total) return; // the step itself is shown after the file
    while (total >> 22) total >>= 1, done >>= 1; // 32-bit arithmetic from here
    int within = (int)((unsigned)done * 1000u / (unsigned)total);
    qelProgressBar(u->page, IDC_INSTALL_PROGRESS, u->from * 1000 + (u->to - u->from) * within,
                   PRODUCT_STEPS * 1000);
    MSG message;
    while (PeekMessageA(&message, 0, WM_PAINT, WM_PAINT, PM_REMOVE)) DispatchMessageA(&message);
}

// Streams the packed file name of the medium to destination: the old file
// there is replaced only by a whole, vouched-for one.
static bool InstallPacked(HWND page, const char *name, const char *destination, int from, int to)
{
    Unpacking u = {{}, page, from, to};
    const UnpackWatch watch = {&u, SeeChunk, Vouched, ShowProgress, 0};
    bool done = MediumBegin(&u.pass, name, name) && UnpackToFile(BrannicCalls(), u.pass.file, &watch, destination);
    MediumEnd(&u.pass);
    return done;
}

void RunInstall(HWND page)
{
    qelProgressBar(page, IDC_INSTALL_PROGRESS, 0, 0);
    MakeFolder(setup.installFolder);
    MakeFolder(setup.serverFolder);
    MakeFolder(setup.clipFolder);
    qelProgressBar(page, IDC_INSTALL_PROGRESS, 1, PRODUCT_STEPS);

    bool installed[PRODUCT_PLAN_ROWS];
    int step = 1;
    for (int i = 0; i < PRODUCT_PLAN_ROWS; i++) {
        const auto &row = kProductPlan[i];
        ClearScratch();
        qelStrPlus(row.name, setup.workText);
        const char *folder = row.folder == kInstallFolder ? setup.installFolder : setup.clipFolder;
        qelPathPlus(folder, setup.workText, setup.destinationPath);
        // Brannic.dll is installed from the very bytes that were checked
        // and loaded, or not at all.
        const unsigned char *bytes;
        unsigned size;
        bool done = row.action == kUnpack ? InstallPacked(page, row.name, setup.destinationPath, step, row.step)
                                          : MediumBrannic(&bytes, &size) && ReplaceWhole(setup.destinationPath, bytes, size);
        installed[i] = done;
        if (!done) Missing(row.name);
        qelProgressBar(page, IDC_INSTALL_PROGRESS, step = row.step, PRODUCT_STEPS);
    }

    // A shortcut to a file that was not installed is written all the same,
    // but it is no working shortcut: it is reported with the file.
    MakeFolder(setup.menuFolder);
    for (const auto &link : kShortcuts) {
        ClearScratch();
        qelStrPlus(kProductPlan[link.row].name, setup.workText);
        qelPathPlus(setup.installFolder, setup.workText, setup.sourceName);
        qelPathPlus(setup.menuFolder, link.file, setup.destinationPath);
        bool saved = MakeShortcut(setup.sourceName, setup.installFolder, setup.destinationPath, 0);
        if (!saved || !installed[link.row]) Missing(link.file);
    }
    qelProgressBar(page, IDC_INSTALL_PROGRESS, 0, 0);
    setup.runCompleted = 1;
}
