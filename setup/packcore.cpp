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

// The stream's states: the header is coming, inflating, the zlib stream has
// ended (only End may follow), or failed.
enum { kHeader, kInflating, kEnded, kFailed };

// zlib's state and window come from the memory bank as well.
static voidpf BankAlloc(voidpf, uInt items, uInt size)
{
    unsigned long long n = (unsigned long long)items * size;
    return n > 0x7FFFFFFF ? Z_NULL : qelMemBank(1, (intptr_t)n);
}

static void BankFree(voidpf, voidpf block)
{
    qelMemBank(0, (intptr_t)block);
}

int PackStreamBegin(PackStream *s, const ZlibCalls *z, unsigned long long packedSize, PackSink sink, void *context)
{
    qelMemFill(s, sizeof *s, 0);
    if (!z->inflateInit_ || !z->inflate || !z->inflateEnd || !sink) return 0;
    s->piece = (unsigned char *)qelMemBank(1, PACK_PIECE);
    if (!s->piece) return 0;
    s->z = z;
    s->sink = sink;
    s->context = context;
    s->packedSize = packedSize;
    s->state = kHeader;
    return 1;
}

// Hands the waiting plain bytes to the sink.
static int Deliver(PackStream *s)
{
    unsigned n = s->have;
    s->have = 0;
    return n == 0 || s->sink(s->context, s->piece, n);
}

static int Fail(PackStream *s)
{
    s->state = kFailed;
    return 0;
}

int PackStreamFeed(PackStream *s, const unsigned char *bytes, unsigned count)
{
    if (s->state == kFailed) return 0;
    if (count == 0) return 1;
    if (s->state == kEnded || count > s->packedSize - s->fed) return Fail(s);
    s->fed += count;
    while (s->state == kHeader && count > 0) {
        s->header[s->headerHave++] = *bytes++;
        count--;
        if (s->headerHave < 4) continue;
        s->plainLength = PackGetLength(s->header);
        if (!PackStreamPlausible((unsigned)s->plainLength, s->packedSize - 4)) return Fail(s);
        s->zs.zalloc = BankAlloc;
        s->zs.zfree = BankFree;
        if (s->z->inflateInit_(&s->zs, ZLIB_VERSION, (int)sizeof s->zs) != Z_OK) return Fail(s);
        s->zlibOpen = 1;
        s->state = kInflating;
    }
    s->zs.next_in = (Bytef *)bytes;
    s->zs.avail_in = count;
    while (s->state == kInflating) {
        if (s->have == PACK_PIECE && !Deliver(s)) return Fail(s);
        unsigned room = PACK_PIECE - s->have;
        unsigned before = s->zs.avail_in;
        s->zs.next_out = s->piece + s->have;
        s->zs.avail_out = room;
        int r = s->z->inflate(&s->zs, Z_NO_FLUSH);
        unsigned got = room - s->zs.avail_out;
        s->have += got;
        s->produced += got;
        // Plain bytes past the header's length are never handed on.
        if (s->produced > s->plainLength) return Fail(s);
        if (r == Z_STREAM_END) {
            // The stream ends exactly at the header's length, and nothing
            // may follow it, in this chunk or a later one.
            if (s->zs.avail_in != 0 || s->produced != s->plainLength || !Deliver(s)) return Fail(s);
            s->state = kEnded;
        } else if (r != Z_OK && !(r == Z_BUF_ERROR && got == 0 && before == s->zs.avail_in)) {
            return Fail(s);
        } else if (s->zs.avail_in == 0 && s->zs.avail_out != 0) {
            break; // all input taken and no output held back: wants more
        } else if (got == 0 && before == s->zs.avail_in) {
            return Fail(s); // no progress with input and room: never loops
        }
    }
    s->zs.next_in = 0;
    return s->state != kFailed;
}

int PackStreamEnd(PackStream *s)
{
    int ok = s->state == kEnded && s->fed == s->packedSize && s->produced == s->plainLength;
    if (s->zlibOpen) s->z->inflateEnd(&s->zs);
    if (s->piece) qelMemBank(0, (intptr_t)s->piece);
    qelMemFill(s, sizeof *s, 0);
    s->state = kFailed;
    return ok;
}
