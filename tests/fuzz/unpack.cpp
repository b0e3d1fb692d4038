// Fuzz target: the packed-file core with the system zlib. UnpackBlock must
// never crash; a block it returns is as long as the 4-byte header says, and
// packing it again and unpacking gives the same bytes. The streaming
// unpacker, fed the input in chunks of random sizes, gives the same verdict
// and bytes, but for packed bytes after the zlib stream, which it alone
// refuses.
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include "packcore.h"
#include "qel.h"

static const ZlibCalls kZlib = {compress, uncompress, compressBound, inflateInit_, inflate, inflateEnd};

static unsigned Header(const uint8_t *p)
{
    return p[0] | (unsigned)p[1] << 8 | (unsigned)p[2] << 16 | (unsigned)p[3] << 24;
}

static void Fail(const char *what)
{
    fprintf(stderr, "%s\n", what);
    abort();
}

// What the streaming unpacker's sink has seen so far.
struct Seen {
    unsigned char *plain;
    unsigned long long length, count;
};

static int Compare(void *context, const unsigned char *bytes, unsigned count)
{
    Seen *seen = (Seen *)context;
    if (count == 0 || count > PACK_PIECE) Fail("a piece of no bytes or past the buffer");
    if (seen->plain && (seen->count + count > seen->length || memcmp(seen->plain + seen->count, bytes, count) != 0))
        Fail("the stream gave other bytes than UnpackBlock");
    seen->count += count;
    return 1;
}

// Streams data in chunks whose sizes come from the input's own bytes.
static bool Stream(const uint8_t *data, size_t size, Seen *seen)
{
    PackStream s;
    if (!PackStreamBegin(&s, &kZlib, size, Compare, seen)) Fail("PackStreamBegin failed");
    unsigned state = 2166136261u;
    for (size_t i = 0; i < size && i < 64; i++) state = (state ^ data[i]) * 16777619u;
    bool fed = true;
    for (size_t at = 0; at < size && fed;) {
        state = state * 1103515245u + 12345u;
        size_t chunk = 1 + (state >> 16) % ((state & 1) ? 7 : 70000);
        if (chunk > size - at) chunk = size - at;
        fed = PackStreamFeed(&s, data + at, (unsigned)chunk);
        at += chunk;
    }
    return PackStreamEnd(&s) && fed;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    unsigned length = 0;
    unsigned char *plain = UnpackBlock(&kZlib, data, (unsigned)size, &length);
    Seen seen = {plain, length, 0};
    bool streamed = Stream(data, size, &seen);
    if (streamed && (!plain || seen.count != length)) Fail("the stream accepted what UnpackBlock refused");
    if (!plain) return 0;
    if (length != Header(data)) Fail("length differs from the header");
    if (!streamed) {
        // Only bytes after the stream's end may tell the two apart.
        uLongf room = length;
        uLong consumed = (uLong)size - 4;
        unsigned char *again = (unsigned char *)malloc(length);
        if (uncompress2(again, &room, data + 4, &consumed) != Z_OK || consumed == size - 4)
            Fail("the stream refused what UnpackBlock accepted");
        free(again);
    }

    unsigned packedLength = 0;
    unsigned char *packed = PackBlock(&kZlib, plain, length, &packedLength);
    if (!packed) Fail("PackBlock refused an unpacked block");
    unsigned againLength = 0;
    unsigned char *again = UnpackBlock(&kZlib, packed, packedLength, &againLength);
    if (!again) Fail("UnpackBlock refused a packed block");
    if (againLength != length || memcmp(again, plain, length) != 0) Fail("round trip changed the bytes");
    qelMemBank(0, (intptr_t)again);
    qelMemBank(0, (intptr_t)packed);
    qelMemBank(0, (intptr_t)plain);
    return 0;
}

// zlib is not instrumented, so coverage alone rarely leads past a corrupt
// stream. Half the mutations therefore change the plain bytes of a block
// that unpacks and pack them again (now and then with a header one off);
// the other half change the packed bytes as they are.
extern "C" size_t LLVMFuzzerMutate(uint8_t *data, size_t size, size_t maxSize);

extern "C" size_t LLVMFuzzerCustomMutator(uint8_t *data, size_t size, size_t maxSize, unsigned seed)
{
    if ((seed & 1) == 0 || size < 4) return LLVMFuzzerMutate(data, size, maxSize);
    uLongf plainLength = Header(data);
    if (plainLength == 0 || plainLength > (1u << 20)) return LLVMFuzzerMutate(data, size, maxSize);
    uLongf capacity = plainLength + 4096;
    Bytef *plain = (Bytef *)malloc(capacity);
    uLongf got = plainLength;
    size_t result;
    if (uncompress(plain, &got, data + 4, size - 4) != Z_OK || got != plainLength) {
        result = LLVMFuzzerMutate(data, size, maxSize);
    } else {
        got = LLVMFuzzerMutate(plain, got, capacity);
        Bytef packed[4096 * 2];
        uLongf packedLength = sizeof packed;
        unsigned header = (unsigned)got + ((seed & 6) == 6 ? ((seed & 8) ? 1u : 0u - 1u) : 0u);
        if (got == 0 || compress(packed, &packedLength, plain, got) != Z_OK || packedLength + 4 > maxSize) {
            result = LLVMFuzzerMutate(data, size, maxSize);
        } else {
            data[0] = (uint8_t)header;
            data[1] = (uint8_t)(header >> 8);
            data[2] = (uint8_t)(header >> 16);
            data[3] = (uint8_t)(header >> 24);
            memcpy(data + 4, packed, packedLength);
            result = packedLength + 4;
        }
    }
    free(plain);
    return result;
}
