/* medlist.h: the medium's list, as the setup program carries it.
 *
 * The medium tool writes into the copy of InstallQvn.exe that it lays on a
 * medium the SHA-256 of every other file the setup reads from there (as the
 * file lies on the medium); that setup then uses only files that match. The
 * list is the RCDATA resource IDR_MEDIUM_LIST: MEDLIST_MAGIC (8 bytes), the
 * number of entries (4 bytes, little-endian), 4 zero bytes, then room for
 * MEDLIST_ROOM entries, each a name (MEDLIST_NAME bytes, NUL-padded, at
 * least one NUL) and its digest (32 bytes). The program as built carries
 * the magic and no entry: it trusts its medium as a medium laid by hand.
 * The resource compiler reads this too: it sees only the #define lines.
 */
#ifndef QVN_MEDLIST_H
#define QVN_MEDLIST_H

#define MEDLIST_MAGIC  "QVNLIST1"
#define MEDLIST_HEADER 16
#define MEDLIST_NAME   32
#define MEDLIST_DIGEST 32
#define MEDLIST_ENTRY  (MEDLIST_NAME + MEDLIST_DIGEST)
#define MEDLIST_ROOM   16
#define MEDLIST_SIZE   (MEDLIST_HEADER + MEDLIST_ROOM * MEDLIST_ENTRY)

#ifndef RC_INVOKED
/* Reads a list of size bytes at list (pure: no system call, so the setup,
   the medium tool and the fuzzer share it). Returns the number of entries
   (0 to MEDLIST_ROOM) with *entries at the first; -1 when the bytes are not
   a list as laid out above (too short, wrong magic, a count past the room,
   a name without its NUL): such a list vouches for nothing. */
int MedListParse(const unsigned char *list, unsigned long size, const unsigned char **entries);

/* The digest that count parsed entries give for name (compared exactly,
   case and all); 0 when they do not name it. */
const unsigned char *MedListDigest(const unsigned char *entries, int count, const char *name);
#endif

#endif
