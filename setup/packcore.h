/* packcore.h: the packed file format in memory.
 *
 * A packed file is the plain file's length (4 bytes, unsigned, little-endian)
 * followed by one zlib stream of the whole plain file. This core turns a
 * block into the other form, or unpacks a stream fed in chunks of any size;
 * PackFile and UnpackToFile add the files around it, and the medium tool
 * uses it on Linux with the system's zlib.
 *
 * Limits: the largest plain file is 4,294,967,295 bytes, what the length
 * field holds (PACK_MAX_PLAIN); the streaming unpacker takes any such length
 * and a packed file of any size (counted in 64 bits), in constant memory.
 * The whole-block calls hold both forms in memory and stop at
 * PACK_MAX_LENGTH.
 */
#ifndef PACKCORE_H
#define PACKCORE_H

#include <zlib.h>

/* The zlib calls, taken from Brannic.dll on Windows. The streaming ones are
   0 when the DLL has only the three classic exports (a medium laid by an
   older tool): its files then take the whole-block path, UnpackBlock. */
struct ZlibCalls {
    int (*compress)(Bytef *dest, uLongf *destLen, const Bytef *source, uLong sourceLen);
    int (*uncompress)(Bytef *dest, uLongf *destLen, const Bytef *source, uLong sourceLen);
    uLong (*compressBound)(uLong sourceLen);
    int (*inflateInit_)(z_streamp strm, const char *version, int streamSize);
    int (*inflate)(z_streamp strm, int flush);
    int (*inflateEnd)(z_streamp strm);
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

/* The largest plain length: all the 32-bit length field holds. */
#define PACK_MAX_PLAIN 0xFFFFFFFFu

/* 1 when a stream of streamLength bytes can hold a header's plain length:
   1 or more, and no more than deflate can pack into that stream (it never
   packs better than 1032 to 1), so a hostile length is refused before any
   allocation or inflating; else 0. */
static inline int PackStreamPlausible(unsigned length, unsigned long long streamLength)
{
    // 4,161,791 stream bytes can hold any 32-bit length; below that the
    // product fits 32 bits. (No 64-bit division: the setup has no helper
    // library for it.)
    return length != 0 && (streamLength >= 4161791u || length <= (unsigned)streamLength * 1032u);
}

/* As PackStreamPlausible, and no more than PACK_MAX_LENGTH: a length the
   whole-block calls unpack. */
static inline int PackLengthPlausible(unsigned length, unsigned long long streamLength)
{
    return length <= PACK_MAX_LENGTH && PackStreamPlausible(length, streamLength);
}

/* Packs size bytes (1 or more) at plain. Returns a memory bank block that
   holds header and stream, its length in *length; 0 on failure. */
unsigned char *PackBlock(const ZlibCalls *z, const unsigned char *plain, unsigned size, unsigned *length);

/* Unpacks size bytes at packed. Returns a memory bank block that holds the
   plain bytes, their number in *length; 0 when the block is shorter than
   the header, its length field is 0, impossible or too large, or the stream
   is corrupt or inflates to any other length than the field says. */
unsigned char *UnpackBlock(const ZlibCalls *z, const unsigned char *packed, unsigned size, unsigned *length);

/* Streaming unpacker. The plain bytes go to the sink in pieces of
   PACK_PIECE bytes (the last one shorter) from one fixed buffer, so the
   memory taken is the same whatever the file's size. The sink returns 1 to
   go on, 0 to fail the stream. */
#define PACK_PIECE 65536u
typedef int (*PackSink)(void *context, const unsigned char *bytes, unsigned count);

struct PackStream {
    const ZlibCalls *z;
    PackSink sink;
    void *context;
    z_stream zs;
    unsigned char *piece;     /* PACK_PIECE bytes, a memory bank block */
    unsigned have;            /* plain bytes waiting in piece */
    unsigned char header[4];
    unsigned headerHave;
    int state;                /* see packcore.cpp */
    int zlibOpen;             /* inflateInit_ succeeded: inflateEnd is due */
    unsigned long long packedSize, fed, plainLength, produced;
};

/* Starts unpacking a packed file of packedSize bytes (header included) with
   z's streaming calls, which must be there. Returns 1, or 0 when it cannot
   start (nothing to end then). */
int PackStreamBegin(PackStream *s, const ZlibCalls *z, unsigned long long packedSize, PackSink sink, void *context);

/* Feeds the next count packed bytes, any split of the file (the header may
   come in several). Returns 0 once the stream has failed: a header length
   of 0 or one the packed size cannot hold (refused before inflating), a
   corrupt stream, more plain bytes than the header says, packed bytes after
   the stream's end, more bytes than packedSize, or a failed sink. */
int PackStreamFeed(PackStream *s, const unsigned char *bytes, unsigned count);

/* Ends the stream and frees what it holds. Returns 1 only when exactly
   packedSize bytes were fed, the zlib stream ended with the last of them,
   it gave exactly the header's length and every sink call succeeded;
   else 0. */
int PackStreamEnd(PackStream *s);

#endif
