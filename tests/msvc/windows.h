/* The Windows types that qel.h names, for tests/msvc_client.c: the client
   is compiled in Visual C++ mode, whose Windows headers this machine does
   not have (MinGW's do not compile in that mode). Only what qel.h needs. */
#ifndef QVN_MSVC_WINDOWS_H
#define QVN_MSVC_WINDOWS_H

#include <stdint.h>

typedef void *HANDLE;
typedef struct HWND__ *HWND;
typedef struct HINSTANCE__ *HINSTANCE;
typedef struct HICON__ *HICON;
typedef HICON HCURSOR;
typedef struct HBRUSH__ *HBRUSH;
typedef struct HFONT__ *HFONT;
typedef struct HMENU__ *HMENU;
typedef struct HDC__ *HDC;
typedef struct tagRECT { long left, top, right, bottom; } RECT;
typedef intptr_t(__stdcall *WNDPROC)(HWND, unsigned, uintptr_t, intptr_t);
typedef void(__stdcall *TIMERPROC)(HWND, unsigned, uintptr_t, unsigned long);

#endif
