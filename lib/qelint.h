/* qelint.h: the library's internal operations, shared between families. */
#ifndef QELINT_H
#define QELINT_H

#include "qel.h"
#include "bindstate.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Forward search from 1-based start: a position, 0 for none, -1 when sub
   is not shorter than s, -2 when start < 1 or past the last position sub can
   begin at. */
int FindSubstring(int start, const char *s, const char *sub);
/* Turn a-z into A-Z (resp. A-Z into a-z) in place; return s. */
char *UpperCaseAscii(char *s);
char *LowerCaseAscii(char *s);
/* Length of s, four bytes at a time, never past the word that holds the
   terminator (so never across a page). */
int ScanLength(const char *s);

/* Digit work of the conversions. IntToDecText writes at most 12 bytes,
   IntToHexText exactly 8 digits and the terminator; both return out. */
char *IntToDecText(int value, char *out);
char *IntToHexText(unsigned value, char *out);
int DecTextToInt(const char *text);
unsigned HexTextToInt(const char *text);

#ifdef _WIN32
/* [0] is QEL_BIND_BOUND (bindstate.h) once the module's imports are known
   to be bound: at once when this executable is the running program, after
   qelBindImports when another program loaded it. [1] is the mutex every
   binding is made under. */
extern volatile LONG_PTR qelBindState[2];
/* Relocates the image and binds its import table when the module was
   loaded as a library and that has not been done; every export's entry
   thunk calls it first and returns 0 without entering the function when it
   gives 0: binding failed (nothing of the image was written and a later
   call tries again), a system call it needs failed, a binder died while
   writing the image, or another thread binds and the caller is the
   binding thread itself or owns the loader lock, so waiting could never
   end. A thread that finds a binder at work waits for it; when the binder
   died before writing, one waiter binds in its place. */
int qelBindImports(void);
/* The window that (window, id) names: id 0 the window itself, any other
   id the dialog item with that id (0 when there is none). Every window and
   control function addresses its target through this. */
HWND qelControl(HWND window, int id);

/* The module that holds the library (the executable, or whatever program
   links the library's objects). */
HMODULE qelModule(void);

/* A function of a DLL in the system folder, the DLL loaded by its full path
   on first use and kept. The library imports statically only DLLs that
   Windows protects as known DLLs; everything else, and whatever pulls in
   further DLLs (common dialogs, shell, COM), is reached this way, so that
   no DLL beside the program or in the current folder is ever picked up.
   0 when the DLL or the function cannot be had. Safe for threads that make
   their first use at once. */
FARPROC qelSystemProc(const char *dll, const char *name);
/* Loads a DLL of the system folder by its full path; 0 when it cannot. */
HMODULE qelLoadSystemDll(const char *dll);

/* 1 when a directory search for name (a file, a folder or a pattern) finds
   at least one entry, else 0. */
int IsFileFound(const char *name);
/* Cuts file name to length bytes when it is longer; 1 on success. */
int CutFile(const char *name, unsigned length);
#endif

#ifdef __cplusplus
}
#endif

#endif
