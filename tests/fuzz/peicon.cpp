// Fuzz target: the icon image found in a program file's bytes. PeIconFind
// must never read past the buffer; an image it returns lies inside it, is
// no longer than the limit and long enough for the smallest header.
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include "peicon.h"

static void Fail(const char *what)
{
    fprintf(stderr, "%s\n", what);
    abort();
}

static unsigned Check(const uint8_t *data, size_t size, unsigned want)
{
    unsigned long offset = 1, length = 1;
    if (!PeIconFind(data, (unsigned long)size, want, &offset, &length)) {
        if (offset != 0 || length != 0) Fail("a refusal left a place behind");
        return 0;
    }
    if (offset > size || length > size - offset) Fail("image outside the buffer");
    if (length > PEICON_MAX_IMAGE || length < 33) Fail("image length out of range");
    // Touch both ends: AddressSanitizer sees a range that is not the input's.
    return data[offset] + data[offset + length - 1];
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    volatile unsigned sink = Check(data, size, 32) + Check(data, size, 16);
    (void)sink;
    return 0;
}
