/* unpack.h: a packed file unpacked to its destination in constant memory,
 * the destination replaced whole or not at all.
 *
 * The packed bytes are read once, in fixed chunks, from a handle the caller
 * holds; the plain bytes go to a new temporary file in the destination's
 * folder, which replaces the destination only when the stream ended exactly
 * at its header's length and the caller accepted what it saw. Otherwise the
 * temporary file is removed and an old destination stays as it was.
 * Plain files up to 4,294,967,295 bytes, packed files of any size.
 */
#ifndef UNPACK_H
#define UNPACK_H

#include <windows.h>
#include "packcore.h"

/* Packed bytes read at a time. */
#define UNPACK_CHUNK (256u * 1024u)

/* What the caller sees of an unpacking and says about it. Any member but
   context may be 0. */
struct UnpackWatch {
    void *context;
    /* Every packed chunk as it is read, in order, each byte once (the
       medium's list digest is taken over them). */
    void (*observe)(void *context, const unsigned char *bytes, unsigned count);
    /* Asked once, after the stream ended well and before the destination
       is replaced: 1 to install, 0 to refuse (a digest that did not
       match). 0 as a member means yes. */
    int (*accept)(void *context);
    /* Packed bytes read so far of the packed file's size, after each chunk
       (the bar; a chance to pump messages). */
    void (*progress)(void *context, unsigned long long done, unsigned long long total);
    /* Writes count plain bytes to the temporary file; 1 when all were
       written. 0 as a member means WriteFile. */
    int (*write)(void *context, HANDLE file, const unsigned char *bytes, unsigned count);
};

/* Unpacks the packed file open for reading at packed (positioned at its
   start) to destination with z's calls: streaming when z has them, else
   whole in memory (UnpackBlock, and its PACK_MAX_LENGTH). Returns 1 when
   destination now holds the plain file; 0 on any failure, with no
   temporary file left behind and an existing destination unchanged. */
int UnpackToFile(const ZlibCalls *z, HANDLE packed, const UnpackWatch *watch, const char *destination);

/* Writes length bytes at data to destination the same way: through a new
   temporary file that replaces it only when written whole. 1 when
   destination now holds them. */
int ReplaceWhole(const char *destination, const unsigned char *data, unsigned length);

/* Unpacks size packed bytes already held in memory (a document) through
   the same core and copies at most capacity plain bytes to buffer. Returns
   the bytes copied; 0 when the packed bytes are refused, with nothing left
   in buffer. */
unsigned UnpackHeld(const ZlibCalls *z, const unsigned char *packed, unsigned long long size, void *buffer,
                    unsigned capacity);

/* Writes words (at most 4) times 32 unpredictable bits from the system's
   generator at out as 8 hex digits each, and a terminator. 0, with nothing
   promised at out, when the generator is not to be had. */
int RandomHex(char *out, unsigned words);

#endif
