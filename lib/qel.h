/*
 * qel.h: the utility library that InstallQvn.exe exports.
 *
 * Every function uses the standard-call convention and is exported under
 * its decorated name (_qelPlus@8 for qelPlus). Link against the import
 * library libqel.a (made from the export list), or LoadLibrary the
 * executable and take the decorated names with GetProcAddress.
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

#ifdef __cplusplus
extern "C" {
#endif

/* ---- Memory blocks and integer helpers ---------------------------------- */

/* Clears count bytes at buf, one at a time upwards. Returns count. */
int QELAPI qelMemClr(void *buf, int count);
/* Copies count bytes from src to dst one at a time in ascending order, also
   where the ranges overlap (copying a,b,c,d one byte forward with count 3
   gives a,a,a,a). Returns count. */
int QELAPI qelMemCopy(const void *src, void *dst, int count);
/* Sets count bytes at buf to the low 8 bits of value. Returns count. */
int QELAPI qelMemFill(void *buf, int count, int value);
/* The memory bank, the library's one allocator.
   mode 1: a zero-filled block of size rounded up to a multiple of 4, plus 4
           bytes (so at least 4 zero bytes follow the size requested);
           0 when no memory could be had.
   mode 0: hands block back; 0 when released (or block was 0), block itself
           when the release failed. Any other mode: 0, nothing done. */
void *QELAPI qelMemBank(int mode, intptr_t sizeOrBlock);
/* 32-bit wrapping addition, subtraction and low 32 bits of the product. */
int QELAPI qelPlus(int a, int b);
int QELAPI qelMinus(int a, int b);
int QELAPI qelMultiply(int a, int b);
/* Quotient with the sign of the true quotient and magnitude rounded up:
   100/24 = 5, 7/-2 = -4. A divisor of 0 gives 0; -2147483648/-1 gives
   -2147483648 (the quotient wraps). */
int QELAPI qelDivide(int a, int b);
/* qelDivide(value AND mask, mask): 1 when value has any bit of a positive
   mask, else 0. A mask of 0 gives 0. */
int QELAPI qelMask(int value, int mask);
/* -1 if value < low, else 1 if value > high, else 0 (signed, inclusive). */
int QELAPI qelNumRange(int value, int low, int high);
/* Processor feature word: family (CPUID 1, EAX bits 8-11) in bits 8-11, the
   other bits those of CPUID 1 EDX. 0 without CPUID. */
int QELAPI qelPentium(void);
/* Pass a 32-bit value (integer, address, handle) through unchanged. */
intptr_t QELAPI qelEquDW(intptr_t x);
/* Low 16 bits of x, zero-extended (qelEquW and qelGetLoW are the same). */
int QELAPI qelEquW(intptr_t x);
int QELAPI qelGetLoW(intptr_t x);
/* High 16 bits of the low 32 bits of x, zero-extended. */
int QELAPI qelGetHiW(intptr_t x);
/* base + offset when base, offset and size are all non-zero, else 0. */
void *QELAPI qelInfoAddr(void *base, int offset, unsigned size);

/* ---- String helpers ------------------------------------------------------ */

/* Length of s, counted a byte at a time. */
int QELAPI qelStrLen(const char *s);
/* 1 when a and b have the same length and the same bytes (case counts). */
int QELAPI qelStrCmp(const char *a, const char *b);
/* 1 when s (a valid address) is empty. */
int QELAPI qelIsStrNull(const char *s);
/* Upper-cases the ASCII letters of a and b in place (both stay so), then
   1 when they are equal. Bytes above 127 are never folded. */
int QELAPI qelIsStrEqual(char *a, char *b);
/* Copies count bytes from 1-based position pos of source to destination, as
   they lie (no length test, no terminator). Returns destination. */
char *QELAPI qelStrMid(const char *source, char *destination, int pos, int count);
/* The first (qelLStr) or last (qelRStr) count characters of source to the
   start of destination, no terminator; destination, or 0 with nothing
   written unless 1 <= count <= length(source). */
char *QELAPI qelLStr(const char *source, char *destination, int count);
char *QELAPI qelRStr(const char *source, char *destination, int count);
/* Forward search: the first position at or after start (out of range: 1)
   where sub begins; 0 for none, -1 when sub is longer than s, -2 when start
   lies past the last position sub can begin at. Equal lengths: 1 when equal,
   else 0. */
int QELAPI qelLInstr(int start, const char *s, const char *sub);
/* Backward search: forward searches from start (out of range: length(s)),
   start - 1, ... 1, the first non-zero answer returned. So -2 whenever start
   lies past the last position sub can begin at (for a sub of two or more
   characters with start = length(s)); 0 when sub is longer than s or absent;
   equal lengths as qelLInstr. */
int QELAPI qelRInstr(int start, const char *s, const char *sub);
/* The part of s before the first separator (include: up to and including
   its first character) to destination, no terminator. Returns destination,
   or 0 with nothing written when there is no separator. */
char *QELAPI qelStrLPart(const char *s, char *destination, const char *separator, int include);
/* The part of s after the last separator (include: from it) to destination,
   terminated. Only one-character separators (or one equal to s) are found.
   Returns destination, or 0 with nothing written. */
char *QELAPI qelStrRPart(const char *s, char *destination, const char *separator, int include);
/* Appends text at destination's terminator, adding none. An empty text or a
   null destination writes nothing. Returns destination. */
char *QELAPI qelStrPlus(const char *text, char *destination);
/* Writes folder, a backslash and name to destination (which may be folder's
   own buffer), no terminator. Returns destination. */
char *QELAPI qelPathPlus(const char *folder, const char *name, char *destination);
/* Overwrites destination's characters from 1-based position with text when
   it lies wholly inside them; else nothing. Returns destination. */
char *QELAPI qelStrIns(const char *text, char *destination, int position);
/* 1 when every character of s is among the first 255 characters of allowed
   (ASCII letters without regard to case), else 0; 0 for an empty set. */
int QELAPI qelIsChrValid(const char *s, const char *allowed);
/* 1 when b, less one leading "0" or "+", is a tail of a, less one leading
   "0" or "+"; else 0 (also when either has nothing after that character). */
int QELAPI qelVerifyGPIN(const char *a, const char *b);

/* ---- Number and text conversions ---------------------------------------- */

/* ---- Time, timers and message loops -------------------------------------- */

#ifdef _WIN32
/* ---- Windows, painting and dialogs --------------------------------------- */

/* ---- Control text, list boxes and combo boxes ---------------------------- */

/* ---- File content -------------------------------------------------------- */

/* Overwrites count bytes at 1-based position pos (0 counts as 1) of file
   name, created when missing, never shortened; flushed before return.
   Returns the bytes written; 0 when the file cannot be opened. */
int QELAPI qelWriteFile(const char *name, unsigned pos, const void *buf, unsigned count);
/* Reads up to count bytes from position pos; adds no terminator. Returns
   the bytes read (fewer at the end of the file, 0 past it); 0 when the
   file cannot be opened, the buffer then untouched. */
int QELAPI qelReadFile(const char *name, unsigned pos, void *buf, unsigned count);
/* mode 1 writes (pos -1 appends at the end), mode -1 reads: a position past
   the last byte gives -1. The file is created empty when missing, in every
   mode. Any other mode: 0. 0 when the file cannot be opened. */
int QELAPI qelWriteReadFile(int mode, const char *name, unsigned pos, void *buf, unsigned count);
/* Size in bytes; -1 when the file cannot be opened (missing, or held open
   by another opener). */
int QELAPI qelFileSize(const char *name);
/* Copies source over destination (replacing it). Always 1. */
int QELAPI qelCopyFile(const char *source, const char *destination);
/* Deletes name when a directory search finds it: 1 (attempted), else 0. */
int QELAPI qelDelFile(const char *name);
/* Renames oldName to newName unless newName exists: 0 then, else 1
   (attempted, whether or not oldName existed). */
int QELAPI qelRenFile(const char *oldName, const char *newName);

/* ---- Folders, drives, search, choosers and processes --------------------- */

#endif /* _WIN32 */

#ifdef __cplusplus
}
#endif

#endif /* QEL_H */
