// The licence agreement and finish pages: documents unpacked from the
// medium in memory.
#include "setup.h"
#include "medium.h"
#include "packfile.h"
#include "product.h"
#include "unpack.h"

static const char kCrLf[] = "\r\n";

// Unpacks a packed document of the current directory into documentText, at
// most DOCUMENT_SIZE bytes of it; the text taken ends at its first NUL byte,
// or after the bytes unpacked. Nothing goes through the temporary folder:
// whatever lies there under the document's name (a left-over, or a file or
// link planted by another user) is never shown, written or followed.
static void FetchDocument(const char *name)
{
    ClearScratch();
    unsigned size;
    unsigned char *packed = MediumTake(name, name, &size, 0);
    if (packed) UnpackHeld(BrannicCalls(), packed, size, setup.documentText, DOCUMENT_SIZE);
    qelMemBank(0, (intptr_t)packed);
}

void InitialiseAgreement(HWND page)
{
    FetchDocument(PRODUCT_LICENSE);
    qelWriteStr(page, IDC_LICENSE_TEXT, setup.documentText);
}

static char finishText[FINISH_SIZE];

// The missing list takes at most this many lines: all names when they fit,
// else the first ones and "and N more". The finish text's control shows 16
// lines in the page's font (measured under Wine: lines of 12 pixels in a
// control 203 pixels high); the heading, the list, the gaps and the closing
// line take ten, which leaves six for the read-first text (five lines with
// their line ends), so a long list never pushes the closing line out of
// sight.
static const int kListLines = 6;

static void AppendMissing(void)
{
    int shown = setup.missingCount <= kListLines ? setup.missingCount : kListLines - 1;
    int length = 0; // of the first `shown` lines of the list
    for (int line = 0; line < shown && setup.missing[length];)
        if (setup.missing[length++] == '\n') line++;
    qelLStr(setup.missing, finishText + qelStrLen(finishText), length);
    if (shown < setup.missingCount) {
        qelStrPlus("and ", finishText);
        qelStrPlus(qelStr(setup.missingCount - shown), finishText);
        qelStrPlus(" more", finishText);
        qelStrPlus(kCrLf, finishText);
    }
}

void InitialiseFinish(HWND page)
{
    FetchDocument(PRODUCT_READ_FIRST);
    qelMemClr(finishText, FINISH_SIZE);
    if (setup.runCompleted && setup.missingCount == 0) {
        qelStrPlus("Setup has successfully installed Quorvane.", finishText);
        for (int i = 0; i < 3; i++) qelStrPlus(kCrLf, finishText);
    } else {
        // Never claim success for an installation with parts missing, nor
        // for one whose run did not go through.
        qelWriteStr(page, 0, "Installation Incomplete");
        if (setup.runCompleted) {
            qelStrPlus("Setup could not install all of Quorvane. Not installed:", finishText);
            qelStrPlus(kCrLf, finishText);
            AppendMissing();
            for (int i = 0; i < 2; i++) qelStrPlus(kCrLf, finishText);
        } else {
            qelStrPlus("Setup could not install Quorvane.", finishText);
            for (int i = 0; i < 3; i++) qelStrPlus(kCrLf, finishText);
        }
    }
    qelStrPlus(setup.documentText, finishText);
    qelStrPlus(kCrLf, finishText);
    qelStrPlus("Click Finish to exit Setup.", finishText);
    qelStrPlus(kCrLf, finishText);
    qelWriteStr(page, IDC_FINISH_TEXT, finishText);
}
