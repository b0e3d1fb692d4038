/* medium.h: the one place where the setup opens files of its medium.
 *
 * A setup program laid on a medium by the medium tool carries the SHA-256
 * of every other file it reads from there (medlist.h). Each such file is
 * read once, through a handle that nobody may write, rename or delete
 * through, and checked over the very bytes the setup uses: a product file
 * as it streams to its destination (which it replaces only when it
 * matched), the documents, iQvn.exe and Brannic.dll read whole. Nothing is
 * taken again by its name. A file that does not match, or that the
 * list does not name, is refused, and the reason is stated through
 * OutputDebugStringA. A setup program without a filled list (as built, or
 * laid by hand or by another tool) trusts its medium as it is.
 *
 * MediumBegin, MediumSee, MediumVouches and MediumEnd are those steps one
 * by one, for a file read in parts; MediumTake does them all for one read
 * whole.
 */
#ifndef MEDIUM_H
#define MEDIUM_H

#include "../lib/qelint.h"

/* 1 when the setup program carries a filled list. */
int MediumListed(void);

/* A file of the medium as it is read: held open such that nobody can
   write, rename or delete it, and its digest taken over the bytes as they
   pass, so each byte is read once and checked where it is used. */
struct MediumPass {
    const char *name;              /* as the product's table names it */
    HANDLE file;
    const unsigned char *want;     /* the list's digest; 0 when not listed */
    ULONG_PTR provider, hash;      /* CryptoAPI's; 0 when none */
    int listed, failed;
};

/* Opens path (the file name) held and begins its digest. 0, with the
   reason stated, when it cannot be opened; MediumEnd is due either way. */
int MediumBegin(MediumPass *p, const char *path, const char *name);

/* The next count bytes of the file, in order. */
void MediumSee(MediumPass *p, const unsigned char *bytes, unsigned count);

/* 1 when the bytes seen are the file as the list gives it, or when there
   is no list; else 0, with the reason stated. */
int MediumVouches(MediumPass *p);

/* Closes the file (unless its handle was taken) and ends the digest. */
void MediumEnd(MediumPass *p);

/* Opens, reads whole and checks path as name. Returns its bytes (the
   caller frees them with qelMemBank); the open handle goes to *held when
   held is not 0, else it is closed. 0 (and no handle) when the file is
   empty, too large to hold, cannot be read whole or is refused. */
unsigned char *MediumTake(const char *path, const char *name, unsigned *size, HANDLE *held);

/* Brannic.dll from the setup program's folder, read, checked and held
   until the process ends. With a filled list its bytes are written into a
   fresh folder that only SYSTEM and the Administrators may write, and the
   DLL is loaded from there; without one it is loaded from the setup
   program's folder. Either way by full path, its own imports from the
   system folder only. The checked bytes go to *bytes and *size. 0 when it
   is refused or cannot be loaded. */
HMODULE MediumBrannic(const unsigned char **bytes, unsigned *size);

/* Unloads Brannic.dll and removes its private folder, or marks the folder
   for removal at the next restart when it cannot be removed now. */
void MediumRelease(void);

#endif
