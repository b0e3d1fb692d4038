// The packed file format in memory: header plus one zlib stream.
#include "packcore.h"
#include "../lib/qel.h"

unsigned char *PackBlock(const ZlibCalls *z, const unsigned char *plain, unsigned size, unsigned *length)
{
    if (size == 0 || size > PACK_MAX_LENGTH) return 0;
    uLong bound = z->compressBound(size);
    if (bound > PACK_MAX_LENGTH - 4) return 0;
    unsigned char *out = (unsigned char *)qelMemBank(1, (intptr_t)(bound + 1024));
    if (!out) return 0;
    uLongf streamLen = bound;
    if (z->compress(out + 4, &streamLen, plain, size) != Z_OK || streamLen == 0) {
        qelMemBank(0, (intptr_t)out);
        return 0;
    }
    PackPutLength(out, size);
    *length = (unsigned)streamLen + 4;
    return out;
}

unsigned char *UnpackBlock(const ZlibCalls *z, const unsigned char *packed, unsigned size, unsigned *length)
{
    if (size < 4) return 0;
    unsigned plainLength = PackGetLength(packed);
    unsigned streamLength = size - 4;
    if (!PackLengthPlausible(plainLength, streamLength)) return 0;
    unsigned char *out = (unsigned char *)qelMemBank(1, (intptr_t)plainLength + 1024);
    if (!out) return 0;
    // zlib is told only the header's length, never the slack behind it.
    uLongf produced = plainLength;
    if (z->uncompress(out, &produced, packed + 4, streamLength) != Z_OK || produced != plainLength) {
        qelMemBank(0, (intptr_t)out);
        return 0;
    }
    *length = plainLength;
    return out;
}
