// The licence agreement and finish pages: documents unpacked from the
// medium through the temporary folder.
#include "setup.h"
#include "packfile.h"

static const char kCrLf[] = "\r\n";

// Unpacks a packed document into the temporary folder, reads at most
// DOCUMENT_SIZE bytes of it into documentText and deletes the copy. The
// text taken ends at its first NUL byte, or after the bytes read.
static void FetchDocument(const char *name)
{
    ClearScratch();
    qelStrPlus(name, setup.workText);
    qelStrPlus(setup.workText, setup.sourceName);
    qelPathPlus(setup.tempFolder, setup.workText, setup.destinationPath);
    PackFile(-1, setup.sourceName, setup.destinationPath);
    qelReadFile(setup.destinationPath, 1, setup.documentText, DOCUMENT_SIZE);
    qelDelFile(setup.destinationPath);
}

void InitialiseAgreement(HWND page)
{
    FetchDocument("LicenseQvn.txt");
    qelWriteStr(page, IDC_LICENSE_TEXT, setup.documentText);
}

static char finishText[FINISH_SIZE];

void InitialiseFinish(HWND page)
{
    FetchDocument("ReadfirstQvn.txt");
    qelMemClr(finishText, FINISH_SIZE);
    if (setup.missingCount == 0) {
        qelStrPlus("Setup has successfully installed Quorvane.", finishText);
        for (int i = 0; i < 3; i++) qelStrPlus(kCrLf, finishText);
    } else {
        // Never claim success for an installation with parts missing.
        qelStrPlus("Setup could not install all of Quorvane. Not installed:", finishText);
        qelStrPlus(kCrLf, finishText);
        qelStrPlus(setup.missing, finishText);
        for (int i = 0; i < 2; i++) qelStrPlus(kCrLf, finishText);
    }
    qelStrPlus(setup.documentText, finishText);
    qelStrPlus(kCrLf, finishText);
    qelStrPlus("Click Finish to exit Setup.", finishText);
    qelStrPlus(kCrLf, finishText);
    qelWriteStr(page, IDC_FINISH_TEXT, finishText);
}
