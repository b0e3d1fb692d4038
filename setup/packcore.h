/* packcore.h: the packed file format in memory.
 *
 * A packed file is the plain file's length (4 bytes, unsigned, little-endian)
 * followed by one zlib stream of the whole plain file. This core turns a
 * block into the other form; PackFile adds the files around it, and the
 * medium tool uses it on Linux with the system's zlib.
 */
#ifndef PACKCORE_H
#define PACKCORE_H

#include <zlib.h>

/* The three zlib calls, taken from Brannic.dll on Windows. */
struct ZlibCalls {
    int (*compress)(Bytef *dest, uLongf *destLen, const Bytef *source, uLong sourceLen);
    int (*uncompress)(Bytef *dest, uLongf *destLen, const Bytef *source, uLong sourceLen);
    uLong (*compressBound)(uLong sourceLen);
};

/* Largest plain or packed length the codec handles: a memory bank request
   of that much plus 1024 bytes slack must fit a signed 32-bit size. */
#define PACK_MAX_LENGTH (0x7FFFFFFFu - 1024u)

/* The 4-byte length header, little-endian. (Inline: the medium tool
   reads and writes headers without the codec's memory bank.) */
static inline void PackPutLength(unsigned char *p, unsigned v)
{
    p[0] = (unsigned char)v;
    p[1] = (unsigned char)(v >> 8);
    p[2] = (unsigned char)(v >> 16);
    p[3] = (unsigned char)(v >> 24);
}

static inline unsigned PackGetLength(const unsigned char *p)
{
    return p[0] | (unsigned)p[1] << 8 | (unsigned)p[2] << 16 | (unsigned)p[3] << 24;
}

/* 1 when a header's plain length is one the codec unpacks from a stream of
   streamLength bytes: 1 to PACK_MAX_LENGTH, and no more than deflate can
   pack into that stream (it never packs better than 1032 to 1), so a
   hostile length is refused before any allocation; else 0. */
static inline int PackLengthPlausible(unsigned length, unsigned long long streamLength)
{
    return length != 0 && length <= PACK_MAX_LENGTH && length <= streamLength * 1032;
}

/* Packs size bytes (1 or more) at plain. Returns a memory bank block that
   holds header and stream, its length in *length; 0 on failure. */
unsigned char *PackBlock(const ZlibCalls *z, const unsigned char *plain, unsigned size, unsigned *length);

/* Unpacks size bytes at packed. Returns a memory bank block that holds the
   plain bytes, their number in *length; 0 when the block is shorter than
   the header, its length field is 0, impossible or too large, or the stream
   is corrupt or inflates to any other length than the field says. */
unsigned char *UnpackBlock(const ZlibCalls *z, const unsigned char *packed, unsigned size, unsigned *length);

#endif
