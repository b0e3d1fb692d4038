/* A program built as Visual C++ builds one (clang in its Microsoft mode),
   without a C runtime, linked by lld-link with its default options against
   InstallQvn.lib: once with QEL_DLLIMPORT, once without. It calls functions
   of four families, two of them returning addresses, and ends with an exit
   code with one bit per wrong result (0: all right), named also in its
   closing line. */
#include "qel.h"

/* The only other things it calls. */
__declspec(dllimport) void __stdcall ExitProcess(unsigned code);
__declspec(dllimport) unsigned __stdcall GetSystemDirectoryA(char *buffer, unsigned size);
__declspec(dllimport) void *__stdcall GetStdHandle(unsigned which);
__declspec(dllimport) int __stdcall WriteFile(void *file, const void *data, unsigned size,
                                              unsigned *written, void *overlapped);

static int Same(const char *a, const char *b)
{
    while (*a && *a == *b) a++, b++;
    return *a == *b;
}

void ClientMain(void)
{
    unsigned wrong = 0;
    if (qelPlus(2, 3) != 5) wrong |= 1;
    if (qelStrLen("Quorvane") != 8) wrong |= 2;
    if (!Same(qelHex(255), "000000FF")) wrong |= 4;
    char *block = (char *)qelMemBank(1, 10);
    if (!block || block[11] != 0 || qelMemBank(0, (intptr_t)block) != 0) wrong |= 8;
    char got[260], want[260];
    if (qelGetSysDir(got, sizeof got) != 1 || !GetSystemDirectoryA(want, sizeof want) || !Same(got, want))
        wrong |= 16;
    static char line[] = "msvc_client: 5 checks, wrong: 00\r\n";
    line[30] = "0123456789ABCDEF"[wrong >> 4];
    line[31] = "0123456789ABCDEF"[wrong & 15];
    unsigned written;
    WriteFile(GetStdHandle((unsigned)-11), line, sizeof line - 1, &written, 0);
    ExitProcess(wrong);
}
