// The licence agreement and finish pages: documents unpacked from the
// medium in memory.
#include "setup.h"
#include "medium.h"
#include "packfile.h"
#include "product.h"
#include "unpack.h"

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

// Appends text to the finish text. Out of line: one place holds the
// buffer's address rather than every call.
__attribute__((noinline)) static void Add(const char *text)
{
    qelStrPlus(text, finishText);
}

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
        Add("and ");
        Add(qelStr(setup.missingCount - shown));
        Add(" more\r\n");
    }
}

void InitialiseFinish(HWND page)
{
    FetchDocument(PRODUCT_READ_FIRST);
    qelMemClr(finishText, FINISH_SIZE);
    if (setup.runCompleted && setup.missingCount == 0) {
        Add("Setup has successfully installed Quorvane.\r\n\r\n\r\n");
    } else {
        // Never claim success for an installation with parts missing, nor
        // for one whose run did not go through.
        qelWriteStr(page, 0, "Installation Incomplete");
        if (setup.runCompleted) {
            Add("Setup could not install all of Quorvane. Not installed:\r\n");
            AppendMissing();
            Add("\r\n\r\n");
        } else {
            Add("Setup could not install Quorvane.\r\n\r\n\r\n");
        }
    }
    Add(setup.documentText);
    Add("\r\nClick Finish to exit Setup.\r\n");
    qelWriteStr(page, IDC_FINISH_TEXT, finishText);
}
