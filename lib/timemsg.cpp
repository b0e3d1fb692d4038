// Time, timers and message loops: the tick count, window timers, the local
// time and date appended as text, and three ways of pumping the calling
// thread's messages.
#include "qelint.h"

// Indexed by the local-time record's day of the week (0 = Sunday) and month
// (1 = January). Fixed-size rows keep the tables free of relocations.
static const char kWeekdays[7][10] = {"Sunday", "Monday", "Tuesday", "Wednesday",
                                      "Thursday", "Friday", "Saturday"};
static const char kMonths[13][10] = {"", "January", "February", "March", "April",
                                     "May", "June", "July", "August", "September",
                                     "October", "November", "December"};

unsigned QELAPI qelTimeTick(void) { return GetTickCount(); }

intptr_t QELAPI qelTimer(HWND window, intptr_t id, unsigned interval, TIMERPROC procedure)
{
    if (id == 0) return 0;
    if (interval == 0) {
        KillTimer(window, (UINT_PTR)id);
        return 0;
    }
    return (intptr_t)SetTimer(window, (UINT_PTR)id, interval, procedure);
}

// Takes one message if one is pending and dispatches it.
static bool PumpOne(MSG *msg)
{
    if (!PeekMessageA(msg, 0, 0, 0, PM_REMOVE)) return false;
    TranslateMessage(msg);
    DispatchMessageA(msg);
    return true;
}

// Polls without pause until duration has passed. The elapsed time is the
// unsigned difference of two tick counts, which stays right when the count
// wraps to 0 in between.
intptr_t QELAPI qelDoTask(unsigned duration)
{
    unsigned start = qelTimeTick();
    intptr_t last = 0;
    MSG msg;
    while (qelTimeTick() - start < duration)
        if (PumpOne(&msg)) last = (intptr_t)msg.wParam;
    return last;
}

// GetMessage gives -1 when it fails (an invalid window filter, which this
// loop never passes); the loop ends then too rather than spin on it.
intptr_t QELAPI qelGetMsg(HWND dialog)
{
    MSG msg;
    for (;;) {
        BOOL got = GetMessageA(&msg, 0, 0, 0);
        if (got == 0) return (intptr_t)msg.wParam;
        if (got == -1) return 0;
        if (!IsDialogMessageA(dialog, &msg)) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
    }
}

intptr_t QELAPI qelPeekMsg(void)
{
    MSG msg;
    return PumpOne(&msg) ? (intptr_t)msg.wParam : 0;
}

// Appends each number as qelStr writes it, then the separator after it.
static void AppendNumber(char *buffer, int value, const char *after)
{
    qelStrPlus(qelStr(value), buffer);
    qelStrPlus(after, buffer);
}

int QELAPI qelTime(int type, char *buffer)
{
    SYSTEMTIME t;
    GetLocalTime(&t);
    if (!buffer || type < 0 || type > 2) return 1;
    AppendNumber(buffer, t.wHour, ":");
    AppendNumber(buffer, t.wMinute, type == 2 ? "" : ":");
    if (type == 2) return 1;
    AppendNumber(buffer, t.wSecond, type == 0 ? "." : "");
    if (type == 0) AppendNumber(buffer, t.wMilliseconds, "");
    return 1;
}

int QELAPI qelDate(int type, char *buffer)
{
    SYSTEMTIME t;
    GetLocalTime(&t);
    if (!buffer) return 1;
    if (type == 0) {
        qelStrPlus(kWeekdays[t.wDayOfWeek % 7], buffer);
        qelStrPlus(", ", buffer);
        qelStrPlus(kMonths[t.wMonth % 13], buffer);
        qelStrPlus(" ", buffer);
        AppendNumber(buffer, t.wDay, ", ");
        AppendNumber(buffer, t.wYear, "");
    } else if (type == 1) {
        AppendNumber(buffer, t.wDay, "/");
        AppendNumber(buffer, t.wMonth, "/");
        AppendNumber(buffer, t.wYear, "");
    }
    return 1;
}
