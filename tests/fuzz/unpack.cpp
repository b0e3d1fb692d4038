// Fuzz target: the packed-file core with the system zlib. UnpackBlock must
// never crash; a block it returns is as long as the 4-byte header says, and
// packing it again and unpacking gives the same bytes.
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include "packcore.h"
#include "qel.h"

static const ZlibCalls kZlib = {compress, uncompress, compressBound};

static unsigned Header(const uint8_t *p)
{
    return p[0] | (unsigned)p[1] << 8 | (unsigned)p[2] << 16 | (unsigned)p[3] << 24;
}

static void Fail(const char *what)
{
    fprintf(stderr, "%s\n", what);
    abort();
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    unsigned length = 0;
    unsigned char *plain = UnpackBlock(&kZlib, data, (unsigned)size, &length);
    if (!plain) return 0;
    if (length != Header(data)) Fail("length differs from the header");

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
