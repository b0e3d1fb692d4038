/* The program that qelShell's tests start.
   shellchild console MS CODE  sleeps MS ms and exits with CODE; it has no
                               window and no message queue.
   shellchild gui MS TITLE     shows a window called TITLE and serves its
                               messages for MS ms, then exits with 0. */
#include <windows.h>
#include <stdlib.h>
#include <string.h>

int main(int argc, char **argv)
{
    if (argc < 4) return 2;
    DWORD ms = (DWORD)atoi(argv[2]);
    if (!strcmp(argv[1], "console")) {
        Sleep(ms);
        return atoi(argv[3]);
    }
    HWND w = CreateWindowExA(0, "STATIC", argv[3], WS_POPUP | WS_VISIBLE, 0, 0, 50, 50, 0, 0,
                             GetModuleHandleA(0), 0);
    SetTimer(w, 1, ms, 0);
    MSG m;
    while (GetMessageA(&m, 0, 0, 0)) {
        if (m.message == WM_TIMER) break;
        DispatchMessageA(&m);
    }
    DestroyWindow(w);
    return 0;
}
