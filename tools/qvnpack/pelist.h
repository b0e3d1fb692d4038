/* pelist.h: the medium's list inside a setup program's PE image, found and
 * filled over a byte range. Pure: no system call and no allocation, so the
 * medium tool and the fuzzer run the same code on whatever bytes they are
 * given. Every offset is checked against the range before it is read.
 */
#ifndef QVNPACK_PELIST_H
#define QVNPACK_PELIST_H

#include <stddef.h>
#include "medlist.h"

enum PeListStatus {
    kPeListOk,
    kPeListNotImage,   /* not a PE image */
    kPeListMissing,    /* no RCDATA resource IDR_MEDIUM_LIST */
    kPeListTooSmall,   /* the resource, or the bytes its section holds, shorter than MEDLIST_SIZE */
    kPeListMalformed,  /* the resource tree cannot be read, or the room does not read as a list */
    kPeListTooMany,    /* more entries than the room holds */
    kPeListBadName,    /* a name that is empty, holds a NUL or does not fit its field */
};

/* Why a status refuses, in words for a message. */
const char *PeListReason(int status);

/* One entry to fill: a name of length bytes (1 to MEDLIST_NAME - 1, no
   NUL) and its SHA-256. */
struct PeListEntry {
    const char *name;
    size_t length;
    const unsigned char *digest;
};

/* The offset of the list's room (MEDLIST_SIZE bytes) in the image of size
   bytes into *at. The room must be the first language of RCDATA 300, as
   large as a list, and read as one (MedListParse). */
int PeListFind(const unsigned char *image, size_t size, size_t *at);

/* Writes count entries into the image's room, zeroes the rest of it and
   updates the image checksum where the linker stored one. Checks every
   entry first: on any status but kPeListOk the image is left as it was. */
int PeListFill(unsigned char *image, size_t size, const PeListEntry *entries, size_t count);

/* 1 when the image has a certificate table (is signed), 0 when not, -1
   when it is not a PE image. */
int PeSigned(const unsigned char *image, size_t size);

#endif
