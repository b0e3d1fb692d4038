/*
 * qel.h: the utility library that InstallQvn.exe exports.
 *
 * Every function uses the standard-call convention and is exported under
 * its decorated name (_qelPlus@8 for qelPlus). A C or C++ program includes
 * this header and links one of the import libraries that the build makes
 * from the export list (bin/, for i686 and for x86_64): libInstallQvn.a for
 * GNU's linker, InstallQvn.lib for Microsoft's and LLVM's; the loader then
 * takes the functions from InstallQvn.exe beside the program. A program
 * that defines QEL_DLLIMPORT before including this header gets them
 * declared __declspec(dllimport): each call goes through its import address
 * slot directly instead of through the linker's jump. Or it loads the
 * executable with LoadLibrary and takes the decorated names with
 * GetProcAddress. The executable binds its own imports on the first call
 * (and relocates itself where the loader did not): make that first call
 * outside the loader lock, never from a DllMain or a TLS callback, since
 * binding loads DLLs. Should binding fail (a system DLL or function that
 * cannot be had), the function called returns 0 without running, nothing
 * of the image is written, and the next call tries again. While one thread
 * binds, a call from another waits for it, except from the thread that
 * holds the loader lock (the binding may be waiting for that lock) or from
 * the binding thread itself, re-entered: those return 0 at once, not bound
 * yet, try again. A waiter whose binding thread has ended (terminated, or
 * left the binder by an exception and ended) takes the binding over.
 *
 * Conventions shared by all families:
 *  - Integers are 32-bit; values that may be an address or a handle are
 *    pointer-sized (32 bits in the shipped i686 build).
 *  - Texts are zero-terminated ANSI. Destination buffers carry no size: the
 *    caller provides the room. Copies write exactly the bytes they copy and
 *    no terminator, so build text in zero-filled buffers.
 *  - Positions in strings and files are 1-based; for files 0 counts as 1.
 *  - Truth results are 1 and 0. Functions that write into a destination
 *    return its address, or 0 when an argument was out of range.
 *  - Process-wide result areas are valid until the next call of the same
 *    function. The library is for one thread at a time.
 */
#ifndef QEL_H
#define QEL_H

#include <stdint.h>

#ifdef _WIN32
#include <windows.h>
#define QELAPI __stdcall
#else
#define QELAPI
#endif
#if defined(_WIN32) && defined(QEL_DLLIMPORT)
#define QELIMPORT __declspec(dllimport)
#else
#define QELIMPORT
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* ---- Memory blocks and integer helpers ---------------------------------- */

/* Clears count bytes at buf, one at a time upwards. Returns count. */
QELIMPORT int QELAPI qelMemClr(void *buf, int count);
/* Copies count bytes from src to dst one at a time in ascending order, also
   where the ranges overlap (copying a,b,c,d one byte forward with count 3
   gives a,a,a,a). Returns count. */
QELIMPORT int QELAPI qelMemCopy(const void *src, void *dst, int count);
/* Sets count bytes at buf to the low 8 bits of value. Returns count. */
QELIMPORT int QELAPI qelMemFill(void *buf, int count, int value);
/* The memory bank, the library's one allocator.
   mode 1: a zero-filled block of size rounded up to a multiple of 4, plus 4
           bytes (so at least 4 zero bytes follow the size requested);
           0 when no memory could be had.
   mode 0: hands block back; 0 when released (or block was 0), block itself
           when the release failed. Any other mode: 0, nothing done. */
QELIMPORT void *QELAPI qelMemBank(int mode, intptr_t sizeOrBlock);
/* 32-bit wrapping addition, subtraction and low 32 bits of the product. */
QELIMPORT int QELAPI qelPlus(int a, int b);
QELIMPORT int QELAPI qelMinus(int a, int b);
QELIMPORT int QELAPI qelMultiply(int a, int b);
/* Quotient with the sign of the true quotient and magnitude rounded up:
   100/24 = 5, 7/-2 = -4. A divisor of 0 gives 0; -2147483648/-1 gives
   -2147483648 (the quotient wraps). */
QELIMPORT int QELAPI qelDivide(int a, int b);
/* qelDivide(value AND mask, mask): 1 when value has any bit of a positive
   mask, else 0. A mask of 0 gives 0. */
QELIMPORT int QELAPI qelMask(int value, int mask);
/* -1 if value < low, else 1 if value > high, else 0 (signed, inclusive). */
QELIMPORT int QELAPI qelNumRange(int value, int low, int high);
/* Processor feature word: family (CPUID 1, EAX bits 8-11) in bits 8-11, the
   other bits those of CPUID 1 EDX. 0 without CPUID. */
QELIMPORT int QELAPI qelPentium(void);
/* Pass a 32-bit value (integer, address, handle) through unchanged. */
QELIMPORT intptr_t QELAPI qelEquDW(intptr_t x);
/* Low 16 bits of x, zero-extended (qelEquW and qelGetLoW are the same). */
QELIMPORT int QELAPI qelEquW(intptr_t x);
QELIMPORT int QELAPI qelGetLoW(intptr_t x);
/* High 16 bits of the low 32 bits of x, zero-extended. */
QELIMPORT int QELAPI qelGetHiW(intptr_t x);
/* base + offset when base, offset and size are all non-zero, else 0. */
QELIMPORT void *QELAPI qelInfoAddr(void *base, int offset, unsigned size);

/* ---- String helpers ------------------------------------------------------ */

/* Length of s, counted a byte at a time. */
QELIMPORT int QELAPI qelStrLen(const char *s);
/* 1 when a and b have the same length and the same bytes (case counts). */
QELIMPORT int QELAPI qelStrCmp(const char *a, const char *b);
/* 1 when s (a valid address) is empty. */
QELIMPORT int QELAPI qelIsStrNull(const char *s);
/* Upper-cases the ASCII letters of a and b in place (both stay so), then
   1 when they are equal. Bytes above 127 are never folded. */
QELIMPORT int QELAPI qelIsStrEqual(char *a, char *b);
/* Copies count bytes from 1-based position pos of source to destination, as
   they lie (no length test, no terminator). Returns destination. */
QELIMPORT char *QELAPI qelStrMid(const char *source, char *destination, int pos, int count);
/* The first (qelLStr) or last (qelRStr) count characters of source to the
   start of destination, no terminator; destination, or 0 with nothing
   written unless 1 <= count <= length(source). */
QELIMPORT char *QELAPI qelLStr(const char *source, char *destination, int count);
QELIMPORT char *QELAPI qelRStr(const char *source, char *destination, int count);
/* Forward search: the first position at or after start (out of range: 1)
   where sub begins; 0 for none, -1 when sub is longer than s, -2 when start
   lies past the last position sub can begin at. Equal lengths: 1 when equal,
   else 0. */
QELIMPORT int QELAPI qelLInstr(int start, const char *s, const char *sub);
/* Backward search: forward searches from start (out of range: length(s)),
   start - 1, ... 1, the first non-zero answer returned. So -2 whenever start
   lies past the last position sub can begin at (for a sub of two or more
   characters with start = length(s)); 0 when sub is longer than s or absent;
   equal lengths as qelLInstr. */
QELIMPORT int QELAPI qelRInstr(int start, const char *s, const char *sub);
/* The part of s before the first separator (include: up to and including
   its first character) to destination, no terminator. Returns destination,
   or 0 with nothing written when there is no separator. */
QELIMPORT char *QELAPI qelStrLPart(const char *s, char *destination,
                                   const char *separator, int include);
/* The part of s after the last separator (include: from it) to destination,
   terminated. Only one-character separators (or one equal to s) are found.
   Returns destination, or 0 with nothing written. */
QELIMPORT char *QELAPI qelStrRPart(const char *s, char *destination,
                                   const char *separator, int include);
/* Appends text at destination's terminator, adding none. An empty text or a
   null destination writes nothing. Returns destination. */
QELIMPORT char *QELAPI qelStrPlus(const char *text, char *destination);
/* Writes folder, a backslash and name to destination (which may be folder's
   own buffer), no terminator. Returns destination. */
QELIMPORT char *QELAPI qelPathPlus(const char *folder, const char *name, char *destination);
/* Overwrites destination's characters from 1-based position with text when
   it lies wholly inside them; else nothing. Returns destination. */
QELIMPORT char *QELAPI qelStrIns(const char *text, char *destination, int position);
/* 1 when every character of s is among the first 255 characters of allowed
   (ASCII letters without regard to case), else 0; 0 for an empty set. */
QELIMPORT int QELAPI qelIsChrValid(const char *s, const char *allowed);
/* 1 when b, less one leading "0" or "+", is a tail of a, less one leading
   "0" or "+"; else 0 (also when either has nothing after that character). */
QELIMPORT int QELAPI qelVerifyGPIN(const char *a, const char *b);

/* ---- Number and text conversions ---------------------------------------- */

/* Code of text's first byte, 0 to 255 (0 for an empty text). */
QELIMPORT int QELAPI qelAsc(const char *text);
/* A one-character text of value's low byte (empty for 0), in a 4-byte area
   that the next call overwrites. */
QELIMPORT char *QELAPI qelChr(int value);
/* The 8 upper-case hexadecimal digits of value's 32-bit pattern (255 gives
   000000FF), in a 256-byte area that the next call overwrites. */
QELIMPORT char *QELAPI qelHex(int value);
/* The signed decimal text of value (no padding, "-" for negatives), in a
   256-byte area that the next call overwrites. */
QELIMPORT char *QELAPI qelStr(int value);
/* Value of a text of hexadecimal digits, either case; no byte is rejected
   (each counts by its low four bits, letters shifted by 9). Exact up to 8
   digits; an empty text gives 0. */
QELIMPORT int QELAPI qelHexVal(const char *text);
/* Value of a decimal text with an optional leading "-"; every other byte
   counts as the digit (code - 48) mod 256; wraps modulo 2^32. */
QELIMPORT int QELAPI qelStrVal(const char *text);
/* Split-hex form of the record in the first half of buffer. mode 1 turns
   the length / 2 record bytes into length characters (all high digits, then
   all low digits) and returns length; mode -1 turns them back, leaves zeros
   in the second half and returns length / 2. An odd length counts as the
   even length below it. Another mode, a length below 2 or no memory: 0,
   buffer unchanged. */
QELIMPORT int QELAPI qelText(int mode, char *buffer, int length);
#ifdef _WIN32
/* mode 1: CharToOemBuff from ansiText into oemText; mode 0: OemToCharBuff
   from oemText into ansiText; length characters. Always 1. */
QELIMPORT int QELAPI qelCharOEM(int mode, char *ansiText, char *oemText, unsigned length);
/* Record file in split-hex form. mode 1 writes the length characters of the
   encoded record from the file's first byte (created when missing, never
   shortened); mode -1 reads up to length bytes from there and decodes them,
   bytes not read keeping the buffer's content. Either way the buffer then
   holds the record and zeros after it. Lengths as qelText; nothing is done
   without memory. Always 1, file failures included. */
QELIMPORT int QELAPI qelEnvironIO(int mode, const char *fileName, char *buffer, int length);
#endif

/* ---- Time, timers and message loops -------------------------------------- */

#ifdef _WIN32
/* Milliseconds since the system started; wraps after 2^32. */
QELIMPORT unsigned QELAPI qelTimeTick(void);
/* id and interval not 0: SetTimer(window, id, interval, procedure) and its
   result; id not 0, interval 0: kills that timer, 0; id 0: nothing, 0. */
QELIMPORT intptr_t QELAPI qelTimer(HWND window, intptr_t id, unsigned interval,
                                   TIMERPROC procedure);
/* Takes and dispatches the thread's messages (the quit message too) until
   duration milliseconds have passed, busy all the while; correct across the
   tick count's wrap. wParam of the last message taken, 0 if none. 0 returns
   at once. */
QELIMPORT intptr_t QELAPI qelDoTask(unsigned duration);
/* Message loop that offers each message to dialog first, until the quit
   message; returns its wParam (the exit code). Ends also when GetMessage
   fails, with 0. */
QELIMPORT intptr_t QELAPI qelGetMsg(HWND dialog);
/* Takes and dispatches at most one pending message; its wParam, 0 if none. */
QELIMPORT intptr_t QELAPI qelPeekMsg(void);
/* Appends the local time to buffer's text, unpadded: type 0 H:M:S.ms,
   1 H:M:S, 2 H:M; any other type or a null buffer: nothing. Always 1. */
QELIMPORT int QELAPI qelTime(int type, char *buffer);
/* Appends the local date to buffer's text: type 0 "Monday, March 2, 2009",
   1 "2/3/2009" (day first); any other type or a null buffer: nothing.
   Always 1. */
QELIMPORT int QELAPI qelDate(int type, char *buffer);
#endif

#ifdef _WIN32
/* ---- Windows, painting and dialogs --------------------------------------- */
/* A (window, id) pair names a window: id 0 the window itself, any other id
   the dialog item with that id. A pair that names no window makes the
   platform calls fail quietly; each function still gives its usual result. */

/* Registers a window class (RegisterClassExA): 30 extra bytes per window, no
   class bytes, the icon also as the small icon. menuName may be a resource
   identifier. Returns the class atom, 0 on failure. */
QELIMPORT int QELAPI qelWndRegister(const char *className, unsigned style, WNDPROC proc,
                                    HINSTANCE instance, HICON icon, HCURSOR cursor,
                                    HBRUSH background, const char *menuName);
/* mode -1: the addressed window's window procedure. mode 1 with a non-zero
   proc: installs proc, returns the previous procedure. Any other call
   changes nothing and returns the addressed window's handle. */
QELIMPORT intptr_t QELAPI qelWndProcAddr(int mode, HWND window, int id, WNDPROC proc);
/* mode 0 hides, mode 1 shows: returns ShowWindow's result (non-zero when it
   was visible). Any other mode: nothing, returns the addressed handle. */
QELIMPORT intptr_t QELAPI qelShowWnd(HWND window, int id, int mode);
/* mode 0 disables, mode 1 enables: returns EnableWindow's result (non-zero
   when it was disabled). Any other mode: nothing, returns the handle. */
QELIMPORT intptr_t QELAPI qelEnableWnd(HWND window, int id, int mode);
/* Focuses the addressed window; returns the window that had the focus. */
QELIMPORT HWND QELAPI qelSetFocus(HWND window, int id);
/* Message box owned by window (also when id names a control) with text,
   caption and MessageBoxA style; afterwards the focus goes to the
   addressed window. Returns the button pressed (IDYES 6, IDNO 7, ...), 0
   when the box could not be shown. */
QELIMPORT int QELAPI qelAlert(const char *caption, const char *text, HWND window,
                              int id, unsigned style);
/* The COLORREF of the low 8 bits of each component: red | green << 8 |
   blue << 16. */
QELIMPORT unsigned QELAPI qelGetRGB(int red, int green, int blue);
/* mode is lower-cased in place (so it must be writable when it holds
   capitals). "[1]": creates a font: height and width in logical units (0:
   the platform's choice), weightClass 1-6 = 100, 300, 400, 500, 700, 900
   (else 0), italic when non-zero, setClass 1 ANSI, 2 OEM, else DEFAULT,
   TrueType precision, proof quality; faceOrFont is the face name. Returns
   the font (the caller's, deleted with "[0]"), 0 when refused. "[0]":
   deletes the font faceOrFont, returns non-zero on success. Else 0. */
QELIMPORT intptr_t QELAPI qelGetFont(char *mode, int height, int width, int weightClass,
                                     int italic, int setClass, intptr_t faceOrFont);
/* Sends WM_SETFONT (no redraw) to window itself (no id); returns the
   message's result. */
QELIMPORT intptr_t QELAPI qelSetFont(HWND window, HFONT font);
/* Loads menu menuName of instance and attaches it to window (no id), also
   when the load failed: the window is then left without a menu. Returns
   the menu, 0 when not loaded. */
QELIMPORT HMENU QELAPI qelMenu(HINSTANCE instance, HWND window, const char *menuName);
/* Item item (a command identifier) of menu: mode 1 enables, 0 greys, -1
   disables without greying. Returns the previous state as EnableMenuItem
   gives it, -1 when there is no such item. Any other mode changes nothing
   and returns the current state in the same form. */
QELIMPORT int QELAPI qelSetMenuItem(int mode, HMENU menu, int item);
/* One step of a paint, for a window procedure handling WM_PAINT; the two
   functions share one paint state for the whole process. mode 1 when not
   painting: BeginPaint (the begin call). mode 1 while painting: the edge
   call: a device context for the addressed window, and an edge along its
   client area: edge -1 sunken, 0 etched, 1 raised, -101 bump, other none.
   mode 0 while painting: EndPaint (the end call; name the same window as
   at the begin call). Anything else does nothing.
   qelPaintHDC returns the last device context obtained: the paint's after
   a begin call, the edge call's after an edge call. The edge call's
   context belongs to the paint: draw with it but do not release it; the
   next edge call or the end call gives it back.
   qelPaintRCPAINT returns, in every case, the one fixed address of the
   paint record's rcPaint (the area to paint, as of the last begin call);
   its edge calls give their context back at once. */
QELIMPORT HDC QELAPI qelPaintHDC(int mode, HWND window, int id, int edge);
QELIMPORT RECT *QELAPI qelPaintRCPAINT(int mode, HWND window, int id, int edge);
/* Fills rect (client coordinates; right and bottom edges excluded) with a
   solid colour. Returns 1. */
QELIMPORT int QELAPI qelFill(HWND window, int id, unsigned colour, const RECT *rect);
/* A coordinate brought into the non-negative range: values >= 0 unchanged,
   negative ones have 32000 added until >= 0 (-1 gives 31999, -32000 0).
   The two are one operation. */
QELIMPORT int QELAPI qelAbsXX(int coordinate);
QELIMPORT int QELAPI qelAbsYY(int coordinate);
/* Draws bitmap resource bitmapName of instance unscaled at the top left of
   the addressed window's client area, cut to it. The bitmap stays loaded
   until the next call, which deletes it. Returns the success flag of
   deleting the memory device context. */
QELIMPORT int QELAPI qelPutImage(HWND window, int id, const char *bitmapName, HINSTANCE instance);
/* Computes a placement, moves nothing. record: six ints, window (in), left,
   top, width, height (out), reserved (kept). left/top/right/bottom come
   from GetWindowRect, normalised as qelAbsXX. A non-zero areaWidth centres:
   left = (areaWidth - width) / 2 + x, rounded away from zero as qelDivide
   (101 wide in 800: 350; in 100: -1); likewise areaHeight and y. Then
   offsetX, offsetY are added. A null record or window 0: nothing written.
   Returns 1. */
QELIMPORT int QELAPI qelWndPosition(int x, int y, int areaWidth, int areaHeight, int *record,
                                    int offsetX, int offsetY);
/* Progress bar control: step and steps both 0 set the range 0..100 and the
   position 0; otherwise the position becomes step * 100 / steps, rounded
   away from zero (1 of 24: 5; 21 of 24: 88), the range unchanged. steps 0
   with another step gives position 0. Returns 1. */
QELIMPORT int QELAPI qelProgressBar(HWND window, int id, int step, int steps);

/* ---- Control text, list boxes and combo boxes ---------------------------- */
/* Controls are named by (window, id) as above. */

/* Appends text to one process-wide 512-byte text, shared by every control
   written this way, and shows the whole of it in the addressed window.
   clear 1 first empties that text and the window's; newline 1 appends
   "\r\n" after text. Whatever would take the text past 511 characters is
   cut off. Returns SetWindowTextA's success flag; with a null text nothing
   is appended or shown: the flag of the emptying when clear was 1, else the
   addressed window's handle. */
QELIMPORT intptr_t QELAPI qelWriteTxt(HWND window, int id, const char *text,
                                      int clear, int newline);
/* Sets the window text in two changes, first empty, then text. Returns the
   success flag of the second; a null text: nothing, 0. */
QELIMPORT int QELAPI qelWriteStr(HWND window, int id, const char *text);
/* Zeroes the string the buffer holds, then copies the window text into it,
   at most maxCount - 1 characters and a terminator. Returns the characters
   copied; 0 with a null buffer. */
QELIMPORT int QELAPI qelReadStr(HWND window, int id, char *buffer, int maxCount);
/* Empties the window text; returns the success flag. */
QELIMPORT int QELAPI qelClearStr(HWND window, int id);
/* List box (Lst) and combo box (Cbo) twins. Item data 0 means no data: add
   and insert attach data only when it is non-zero. Add, select and insert
   with a text move the focus to the control whatever it answered; a null
   text makes them return 0 at once.
   qelWriteLst/Cbo: adds text (sorted controls sort it); returns its index,
   negative when refused. */
QELIMPORT int QELAPI qelWriteLst(HWND window, int id, const char *text, intptr_t data);
QELIMPORT int QELAPI qelWriteCbo(HWND window, int id, const char *text, intptr_t data);
/* Copies the selected item's text into buffer (unless null; no size: it
   must hold the longest item) and returns its data; -1 with nothing
   selected, the buffer untouched. */
QELIMPORT intptr_t QELAPI qelReadLst(HWND window, int id, char *buffer);
QELIMPORT intptr_t QELAPI qelReadCbo(HWND window, int id, char *buffer);
/* Selects the item whose whole text equals text, letter case ignored;
   returns its index, -1 when none matches (selection kept). The list box
   searches from item 1 and tries item 0 last; the combo box from item 0. */
QELIMPORT int QELAPI qelSetLst(HWND window, int id, const char *text);
QELIMPORT int QELAPI qelSetCbo(HWND window, int id, const char *text);
/* Deletes the selected item: returns the count left, -1 with nothing
   selected, 0 when the control refuses (so also when the last item went). */
QELIMPORT int QELAPI qelDeleteLst(HWND window, int id);
QELIMPORT int QELAPI qelDeleteCbo(HWND window, int id);
/* Inserts text at the selected index, moving the selected item and those
   after it down; returns that index, -1 with nothing selected (nothing
   inserted). */
QELIMPORT int QELAPI qelInsertLst(HWND window, int id, const char *text, intptr_t data);
QELIMPORT int QELAPI qelInsertCbo(HWND window, int id, const char *text, intptr_t data);

/* ---- File content -------------------------------------------------------- */

/* Overwrites count bytes at 1-based position pos (0 counts as 1) of file
   name, created when missing, never shortened; flushed before return.
   Returns the bytes written; 0 when the file cannot be opened. */
QELIMPORT int QELAPI qelWriteFile(const char *name, unsigned pos, const void *buf, unsigned count);
/* Reads up to count bytes from position pos; adds no terminator. Returns
   the bytes read (fewer at the end of the file, 0 past it); 0 when the
   file cannot be opened, the buffer then untouched. */
QELIMPORT int QELAPI qelReadFile(const char *name, unsigned pos, void *buf, unsigned count);
/* mode 1 writes (pos -1 appends at the end), mode -1 reads: a position past
   the last byte gives -1. The file is created empty when missing, in every
   mode. Any other mode: 0. 0 when the file cannot be opened. */
QELIMPORT int QELAPI qelWriteReadFile(int mode, const char *name, unsigned pos,
                                      void *buf, unsigned count);
/* Size in bytes; -1 when the file cannot be opened (missing, or held open
   by another opener). */
QELIMPORT int QELAPI qelFileSize(const char *name);
/* Copies source over destination (replacing it). Always 1. */
QELIMPORT int QELAPI qelCopyFile(const char *source, const char *destination);
/* Deletes name when a directory search finds it: 1 (attempted), else 0. */
QELIMPORT int QELAPI qelDelFile(const char *name);
/* Renames oldName to newName unless newName exists: 0 then, else 1
   (attempted, whether or not oldName existed). */
QELIMPORT int QELAPI qelRenFile(const char *oldName, const char *newName);

/* ---- Folders, drives, search, choosers and processes --------------------- */

/* Clear size bytes of buffer (size >= 1), then write the current, system or
   Windows folder into it (no trailing backslash unless a root). A name that
   does not fit leaves an empty text. Return 1. */
QELIMPORT int QELAPI qelGetDir(char *buffer, int size);
QELIMPORT int QELAPI qelGetSysDir(char *buffer, int size);
QELIMPORT int QELAPI qelGetWinDir(char *buffer, int size);
/* The current folder's first three characters (its root, "C:\") and a
   terminator, after clearing size bytes; buffer holds at least 4 bytes.
   Returns 1. */
QELIMPORT int QELAPI qelGetDrive(char *buffer, int size);
/* Only the first character of name counts: the drive type (GetDriveTypeA)
   of that letter's root; 1 (DRIVE_NO_ROOT_DIR) for a letter with no drive. */
QELIMPORT int QELAPI qelGetDriveType(const char *name);
/* Makes the root of name's drive letter the current folder. Returns 1. */
QELIMPORT int QELAPI qelSetDrive(const char *name);
/* Folder operations behind a directory search for name (which never finds
   a root or a name ending in a backslash). qelMakDir: 0 when found, else
   creates the last level and returns 1 whether or not that worked.
   qelChgDir and qelRemDir: 0 when not found, else 1 (the change or the
   removal of an empty folder attempted). */
QELIMPORT int QELAPI qelMakDir(const char *name);
QELIMPORT int QELAPI qelChgDir(const char *name);
QELIMPORT int QELAPI qelRemDir(const char *name);
/* The folder chooser owned by owner; the chosen full name goes into buffer
   (260 bytes), untouched on cancel. Returns 1 always. */
QELIMPORT int QELAPI qelGetDirName(HWND owner, char *buffer);
/* mode 1 the save chooser, -1 the open chooser (an existing file), "All
   Files" (*.*). Returns the address of that chooser's own 260-byte result,
   valid until its next use, and copies those 260 bytes into buffer; 0 on
   cancel (buffer untouched) or for another mode (no chooser). */
QELIMPORT char *QELAPI qelGetFileName(int mode, HWND owner, HINSTANCE instance, char *buffer);
/* The directory search, one per process. mode 1: starts a search for name
   (a folder, or a pattern in its last part), giving up any open one. mode 0:
   the next entry; the search closes by itself after the last. mode -1:
   closes it. Returns the found entry's name, always at the same process-
   wide address that each call overwrites (so an earlier name reads empty
   after a call that finds nothing), or 0: nothing (more) found, mode -1,
   or no memory for the call (then nothing changes). Files and folders
   come alike, "." and ".." included. */
QELIMPORT char *QELAPI qelFindFile(const char *name, int mode);
/* Starts program with commandLine (either may be null as CreateProcessA
   allows). wait 1: until the program ends; 0: until it waits for input, at
   most 30 s, and not at all for a program with no message queue (a console
   program); other: no wait. Returns the process handle, which the caller
   closes; 0 when the program could not be started (no wait then). */
QELIMPORT HANDLE QELAPI qelShell(const char *program, const char *commandLine, int wait);

#endif /* _WIN32 */

/* ---- Visual C++ on x86_64 ----------------------------------------------- */

/* On x86_64 a Visual C++ caller names the undecorated function (qelPlus),
   while InstallQvn.lib imports each export by its own name (_qelPlus@8),
   as on i686: of the import format's name types that linkers read, none
   maps the one to the other. So the function's name and its import slot's
   name (__imp_qelPlus, which QEL_DLLIMPORT callers use) stand for the
   decorated ones; the linker takes an alternate name only where nothing
   else defines the name. GNU's tools link libInstallQvn.a, which maps the
   names itself. */
#if defined(_MSC_VER) && defined(_WIN64)
#pragma comment(linker, "/alternatename:qelAbsXX=_qelAbsXX@4 /alternatename:__imp_qelAbsXX=__imp__qelAbsXX@4")
#pragma comment(linker, "/alternatename:qelAbsYY=_qelAbsYY@4 /alternatename:__imp_qelAbsYY=__imp__qelAbsYY@4")
#pragma comment(linker, "/alternatename:qelAlert=_qelAlert@20 /alternatename:__imp_qelAlert=__imp__qelAlert@20")
#pragma comment(linker, "/alternatename:qelAsc=_qelAsc@4 /alternatename:__imp_qelAsc=__imp__qelAsc@4")
#pragma comment(linker, "/alternatename:qelCharOEM=_qelCharOEM@16 /alternatename:__imp_qelCharOEM=__imp__qelCharOEM@16")
#pragma comment(linker, "/alternatename:qelChgDir=_qelChgDir@4 /alternatename:__imp_qelChgDir=__imp__qelChgDir@4")
#pragma comment(linker, "/alternatename:qelChr=_qelChr@4 /alternatename:__imp_qelChr=__imp__qelChr@4")
#pragma comment(linker, "/alternatename:qelClearStr=_qelClearStr@8 /alternatename:__imp_qelClearStr=__imp__qelClearStr@8")
#pragma comment(linker, "/alternatename:qelCopyFile=_qelCopyFile@8 /alternatename:__imp_qelCopyFile=__imp__qelCopyFile@8")
#pragma comment(linker, "/alternatename:qelDate=_qelDate@8 /alternatename:__imp_qelDate=__imp__qelDate@8")
#pragma comment(linker, "/alternatename:qelDelFile=_qelDelFile@4 /alternatename:__imp_qelDelFile=__imp__qelDelFile@4")
#pragma comment(linker, "/alternatename:qelDeleteCbo=_qelDeleteCbo@8 /alternatename:__imp_qelDeleteCbo=__imp__qelDeleteCbo@8")
#pragma comment(linker, "/alternatename:qelDeleteLst=_qelDeleteLst@8 /alternatename:__imp_qelDeleteLst=__imp__qelDeleteLst@8")
#pragma comment(linker, "/alternatename:qelDivide=_qelDivide@8 /alternatename:__imp_qelDivide=__imp__qelDivide@8")
#pragma comment(linker, "/alternatename:qelDoTask=_qelDoTask@4 /alternatename:__imp_qelDoTask=__imp__qelDoTask@4")
#pragma comment(linker, "/alternatename:qelEnableWnd=_qelEnableWnd@12 /alternatename:__imp_qelEnableWnd=__imp__qelEnableWnd@12")
#pragma comment(linker, "/alternatename:qelEnvironIO=_qelEnvironIO@16 /alternatename:__imp_qelEnvironIO=__imp__qelEnvironIO@16")
#pragma comment(linker, "/alternatename:qelEquDW=_qelEquDW@4 /alternatename:__imp_qelEquDW=__imp__qelEquDW@4")
#pragma comment(linker, "/alternatename:qelEquW=_qelEquW@4 /alternatename:__imp_qelEquW=__imp__qelEquW@4")
#pragma comment(linker, "/alternatename:qelFileSize=_qelFileSize@4 /alternatename:__imp_qelFileSize=__imp__qelFileSize@4")
#pragma comment(linker, "/alternatename:qelFill=_qelFill@16 /alternatename:__imp_qelFill=__imp__qelFill@16")
#pragma comment(linker, "/alternatename:qelFindFile=_qelFindFile@8 /alternatename:__imp_qelFindFile=__imp__qelFindFile@8")
#pragma comment(linker, "/alternatename:qelGetDir=_qelGetDir@8 /alternatename:__imp_qelGetDir=__imp__qelGetDir@8")
#pragma comment(linker, "/alternatename:qelGetDirName=_qelGetDirName@8 /alternatename:__imp_qelGetDirName=__imp__qelGetDirName@8")
#pragma comment(linker, "/alternatename:qelGetDrive=_qelGetDrive@8 /alternatename:__imp_qelGetDrive=__imp__qelGetDrive@8")
#pragma comment(linker, "/alternatename:qelGetDriveType=_qelGetDriveType@4 /alternatename:__imp_qelGetDriveType=__imp__qelGetDriveType@4")
#pragma comment(linker, "/alternatename:qelGetFileName=_qelGetFileName@16 /alternatename:__imp_qelGetFileName=__imp__qelGetFileName@16")
#pragma comment(linker, "/alternatename:qelGetFont=_qelGetFont@28 /alternatename:__imp_qelGetFont=__imp__qelGetFont@28")
#pragma comment(linker, "/alternatename:qelGetHiW=_qelGetHiW@4 /alternatename:__imp_qelGetHiW=__imp__qelGetHiW@4")
#pragma comment(linker, "/alternatename:qelGetLoW=_qelGetLoW@4 /alternatename:__imp_qelGetLoW=__imp__qelGetLoW@4")
#pragma comment(linker, "/alternatename:qelGetMsg=_qelGetMsg@4 /alternatename:__imp_qelGetMsg=__imp__qelGetMsg@4")
#pragma comment(linker, "/alternatename:qelGetRGB=_qelGetRGB@12 /alternatename:__imp_qelGetRGB=__imp__qelGetRGB@12")
#pragma comment(linker, "/alternatename:qelGetSysDir=_qelGetSysDir@8 /alternatename:__imp_qelGetSysDir=__imp__qelGetSysDir@8")
#pragma comment(linker, "/alternatename:qelGetWinDir=_qelGetWinDir@8 /alternatename:__imp_qelGetWinDir=__imp__qelGetWinDir@8")
#pragma comment(linker, "/alternatename:qelHex=_qelHex@4 /alternatename:__imp_qelHex=__imp__qelHex@4")
#pragma comment(linker, "/alternatename:qelHexVal=_qelHexVal@4 /alternatename:__imp_qelHexVal=__imp__qelHexVal@4")
#pragma comment(linker, "/alternatename:qelInfoAddr=_qelInfoAddr@12 /alternatename:__imp_qelInfoAddr=__imp__qelInfoAddr@12")
#pragma comment(linker, "/alternatename:qelInsertCbo=_qelInsertCbo@16 /alternatename:__imp_qelInsertCbo=__imp__qelInsertCbo@16")
#pragma comment(linker, "/alternatename:qelInsertLst=_qelInsertLst@16 /alternatename:__imp_qelInsertLst=__imp__qelInsertLst@16")
#pragma comment(linker, "/alternatename:qelIsChrValid=_qelIsChrValid@8 /alternatename:__imp_qelIsChrValid=__imp__qelIsChrValid@8")
#pragma comment(linker, "/alternatename:qelIsStrEqual=_qelIsStrEqual@8 /alternatename:__imp_qelIsStrEqual=__imp__qelIsStrEqual@8")
#pragma comment(linker, "/alternatename:qelIsStrNull=_qelIsStrNull@4 /alternatename:__imp_qelIsStrNull=__imp__qelIsStrNull@4")
#pragma comment(linker, "/alternatename:qelLInstr=_qelLInstr@12 /alternatename:__imp_qelLInstr=__imp__qelLInstr@12")
#pragma comment(linker, "/alternatename:qelLStr=_qelLStr@12 /alternatename:__imp_qelLStr=__imp__qelLStr@12")
#pragma comment(linker, "/alternatename:qelMakDir=_qelMakDir@4 /alternatename:__imp_qelMakDir=__imp__qelMakDir@4")
#pragma comment(linker, "/alternatename:qelMask=_qelMask@8 /alternatename:__imp_qelMask=__imp__qelMask@8")
#pragma comment(linker, "/alternatename:qelMemBank=_qelMemBank@8 /alternatename:__imp_qelMemBank=__imp__qelMemBank@8")
#pragma comment(linker, "/alternatename:qelMemClr=_qelMemClr@8 /alternatename:__imp_qelMemClr=__imp__qelMemClr@8")
#pragma comment(linker, "/alternatename:qelMemCopy=_qelMemCopy@12 /alternatename:__imp_qelMemCopy=__imp__qelMemCopy@12")
#pragma comment(linker, "/alternatename:qelMemFill=_qelMemFill@12 /alternatename:__imp_qelMemFill=__imp__qelMemFill@12")
#pragma comment(linker, "/alternatename:qelMenu=_qelMenu@12 /alternatename:__imp_qelMenu=__imp__qelMenu@12")
#pragma comment(linker, "/alternatename:qelMinus=_qelMinus@8 /alternatename:__imp_qelMinus=__imp__qelMinus@8")
#pragma comment(linker, "/alternatename:qelMultiply=_qelMultiply@8 /alternatename:__imp_qelMultiply=__imp__qelMultiply@8")
#pragma comment(linker, "/alternatename:qelNumRange=_qelNumRange@12 /alternatename:__imp_qelNumRange=__imp__qelNumRange@12")
#pragma comment(linker, "/alternatename:qelPaintHDC=_qelPaintHDC@16 /alternatename:__imp_qelPaintHDC=__imp__qelPaintHDC@16")
#pragma comment(linker, "/alternatename:qelPaintRCPAINT=_qelPaintRCPAINT@16 /alternatename:__imp_qelPaintRCPAINT=__imp__qelPaintRCPAINT@16")
#pragma comment(linker, "/alternatename:qelPathPlus=_qelPathPlus@12 /alternatename:__imp_qelPathPlus=__imp__qelPathPlus@12")
#pragma comment(linker, "/alternatename:qelPeekMsg=_qelPeekMsg@0 /alternatename:__imp_qelPeekMsg=__imp__qelPeekMsg@0")
#pragma comment(linker, "/alternatename:qelPentium=_qelPentium@0 /alternatename:__imp_qelPentium=__imp__qelPentium@0")
#pragma comment(linker, "/alternatename:qelPlus=_qelPlus@8 /alternatename:__imp_qelPlus=__imp__qelPlus@8")
#pragma comment(linker, "/alternatename:qelProgressBar=_qelProgressBar@16 /alternatename:__imp_qelProgressBar=__imp__qelProgressBar@16")
#pragma comment(linker, "/alternatename:qelPutImage=_qelPutImage@16 /alternatename:__imp_qelPutImage=__imp__qelPutImage@16")
#pragma comment(linker, "/alternatename:qelRInstr=_qelRInstr@12 /alternatename:__imp_qelRInstr=__imp__qelRInstr@12")
#pragma comment(linker, "/alternatename:qelRStr=_qelRStr@12 /alternatename:__imp_qelRStr=__imp__qelRStr@12")
#pragma comment(linker, "/alternatename:qelReadCbo=_qelReadCbo@12 /alternatename:__imp_qelReadCbo=__imp__qelReadCbo@12")
#pragma comment(linker, "/alternatename:qelReadFile=_qelReadFile@16 /alternatename:__imp_qelReadFile=__imp__qelReadFile@16")
#pragma comment(linker, "/alternatename:qelReadLst=_qelReadLst@12 /alternatename:__imp_qelReadLst=__imp__qelReadLst@12")
#pragma comment(linker, "/alternatename:qelReadStr=_qelReadStr@16 /alternatename:__imp_qelReadStr=__imp__qelReadStr@16")
#pragma comment(linker, "/alternatename:qelRemDir=_qelRemDir@4 /alternatename:__imp_qelRemDir=__imp__qelRemDir@4")
#pragma comment(linker, "/alternatename:qelRenFile=_qelRenFile@8 /alternatename:__imp_qelRenFile=__imp__qelRenFile@8")
#pragma comment(linker, "/alternatename:qelSetCbo=_qelSetCbo@12 /alternatename:__imp_qelSetCbo=__imp__qelSetCbo@12")
#pragma comment(linker, "/alternatename:qelSetDrive=_qelSetDrive@4 /alternatename:__imp_qelSetDrive=__imp__qelSetDrive@4")
#pragma comment(linker, "/alternatename:qelSetFocus=_qelSetFocus@8 /alternatename:__imp_qelSetFocus=__imp__qelSetFocus@8")
#pragma comment(linker, "/alternatename:qelSetFont=_qelSetFont@8 /alternatename:__imp_qelSetFont=__imp__qelSetFont@8")
#pragma comment(linker, "/alternatename:qelSetLst=_qelSetLst@12 /alternatename:__imp_qelSetLst=__imp__qelSetLst@12")
#pragma comment(linker, "/alternatename:qelSetMenuItem=_qelSetMenuItem@12 /alternatename:__imp_qelSetMenuItem=__imp__qelSetMenuItem@12")
#pragma comment(linker, "/alternatename:qelShell=_qelShell@12 /alternatename:__imp_qelShell=__imp__qelShell@12")
#pragma comment(linker, "/alternatename:qelShowWnd=_qelShowWnd@12 /alternatename:__imp_qelShowWnd=__imp__qelShowWnd@12")
#pragma comment(linker, "/alternatename:qelStr=_qelStr@4 /alternatename:__imp_qelStr=__imp__qelStr@4")
#pragma comment(linker, "/alternatename:qelStrCmp=_qelStrCmp@8 /alternatename:__imp_qelStrCmp=__imp__qelStrCmp@8")
#pragma comment(linker, "/alternatename:qelStrIns=_qelStrIns@12 /alternatename:__imp_qelStrIns=__imp__qelStrIns@12")
#pragma comment(linker, "/alternatename:qelStrLPart=_qelStrLPart@16 /alternatename:__imp_qelStrLPart=__imp__qelStrLPart@16")
#pragma comment(linker, "/alternatename:qelStrLen=_qelStrLen@4 /alternatename:__imp_qelStrLen=__imp__qelStrLen@4")
#pragma comment(linker, "/alternatename:qelStrMid=_qelStrMid@16 /alternatename:__imp_qelStrMid=__imp__qelStrMid@16")
#pragma comment(linker, "/alternatename:qelStrPlus=_qelStrPlus@8 /alternatename:__imp_qelStrPlus=__imp__qelStrPlus@8")
#pragma comment(linker, "/alternatename:qelStrRPart=_qelStrRPart@16 /alternatename:__imp_qelStrRPart=__imp__qelStrRPart@16")
#pragma comment(linker, "/alternatename:qelStrVal=_qelStrVal@4 /alternatename:__imp_qelStrVal=__imp__qelStrVal@4")
#pragma comment(linker, "/alternatename:qelText=_qelText@12 /alternatename:__imp_qelText=__imp__qelText@12")
#pragma comment(linker, "/alternatename:qelTime=_qelTime@8 /alternatename:__imp_qelTime=__imp__qelTime@8")
#pragma comment(linker, "/alternatename:qelTimeTick=_qelTimeTick@0 /alternatename:__imp_qelTimeTick=__imp__qelTimeTick@0")
#pragma comment(linker, "/alternatename:qelTimer=_qelTimer@16 /alternatename:__imp_qelTimer=__imp__qelTimer@16")
#pragma comment(linker, "/alternatename:qelVerifyGPIN=_qelVerifyGPIN@8 /alternatename:__imp_qelVerifyGPIN=__imp__qelVerifyGPIN@8")
#pragma comment(linker, "/alternatename:qelWndPosition=_qelWndPosition@28 /alternatename:__imp_qelWndPosition=__imp__qelWndPosition@28")
#pragma comment(linker, "/alternatename:qelWndProcAddr=_qelWndProcAddr@16 /alternatename:__imp_qelWndProcAddr=__imp__qelWndProcAddr@16")
#pragma comment(linker, "/alternatename:qelWndRegister=_qelWndRegister@32 /alternatename:__imp_qelWndRegister=__imp__qelWndRegister@32")
#pragma comment(linker, "/alternatename:qelWriteCbo=_qelWriteCbo@16 /alternatename:__imp_qelWriteCbo=__imp__qelWriteCbo@16")
#pragma comment(linker, "/alternatename:qelWriteFile=_qelWriteFile@16 /alternatename:__imp_qelWriteFile=__imp__qelWriteFile@16")
#pragma comment(linker, "/alternatename:qelWriteLst=_qelWriteLst@16 /alternatename:__imp_qelWriteLst=__imp__qelWriteLst@16")
#pragma comment(linker, "/alternatename:qelWriteReadFile=_qelWriteReadFile@20 /alternatename:__imp_qelWriteReadFile=__imp__qelWriteReadFile@20")
#pragma comment(linker, "/alternatename:qelWriteStr=_qelWriteStr@12 /alternatename:__imp_qelWriteStr=__imp__qelWriteStr@12")
#pragma comment(linker, "/alternatename:qelWriteTxt=_qelWriteTxt@20 /alternatename:__imp_qelWriteTxt=__imp__qelWriteTxt@20")
#endif

#ifdef __cplusplus
}
#endif

#endif /* QEL_H */
