/* medium.h: which files of its medium the setup trusts.
 *
 * A setup program laid on a medium by the medium tool carries the SHA-256
 * of every other file it reads from there (medlist.h). Each such file is
 * then checked before it is loaded, unpacked, installed or shown, and one
 * that does not match, or that the list does not name, is treated as
 * missing. A setup program without a filled list (as built, or laid by
 * hand or by another tool) trusts its medium as it is.
 */
#ifndef MEDIUM_H
#define MEDIUM_H

#include "../lib/qelint.h"

/* 1 when the setup program carries a filled list. */
int MediumListed(void);

/* 1 when size bytes at data are the file name as the list gives it, or
   when there is no list; 0 when the list does not name it, it does not
   match, or SHA-256 cannot be had from the system. */
int MediumVouches(const char *name, const unsigned char *data, unsigned size);

/* Opens path for reading such that nobody can write, rename or delete it
   while the handle is open, reads it whole and checks it as name. Returns
   its bytes in a memory bank block (its size in *size) and the open handle
   in *held, which the caller keeps for as long as the file must stay as it
   was checked; 0 (and no handle) when it cannot be opened or read whole or
   is not vouched for. */
unsigned char *MediumReadHeld(const char *path, const char *name, unsigned *size, HANDLE *held);

#endif
