// Fuzz target: the medium's list. MedListParse must never read past the
// buffer; a list it accepts has its entries inside the input, each name
// ends within its field, and every digest MedListDigest gives lies inside
// the input and belongs to the first entry of exactly that name. A name
// too long for a field never matches.
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include "medlist.h"

static void Fail(const char *what)
{
    fprintf(stderr, "%s\n", what);
    abort();
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const unsigned char *entries = data;
    int count = MedListParse(data, (unsigned long)size, &entries);
    if (count < 0) {
        if (count != -1 || entries) Fail("a refused list left entries behind");
        return 0;
    }
    if (count > MEDLIST_ROOM || size < MEDLIST_SIZE) Fail("accepted a list without room for it");
    if (entries != data + MEDLIST_HEADER) Fail("entries are not behind the header");
    for (int i = 0; i < count; i++) {
        const char *name = (const char *)entries + i * MEDLIST_ENTRY;
        size_t n = strnlen(name, MEDLIST_NAME);
        if (n == MEDLIST_NAME) Fail("accepted a name without its NUL");
        const unsigned char *digest = MedListDigest(entries, count, name);
        if (!digest) Fail("a listed name has no digest");
        if (digest < entries + MEDLIST_NAME || digest + MEDLIST_DIGEST > data + size ||
            (digest - entries - MEDLIST_NAME) % MEDLIST_ENTRY != 0)
            Fail("digest outside the entries");
        if (digest > (const unsigned char *)name + MEDLIST_NAME) Fail("not the first entry of the name");
        if (memcmp(digest - MEDLIST_NAME, name, n + 1) != 0) Fail("digest of another name");
        // The same name with one byte more than a field holds.
        char longer[MEDLIST_NAME + 2];
        memcpy(longer, name, n);
        memset(longer + n, 'x', sizeof longer - 1 - n);
        longer[sizeof longer - 1] = 0;
        if (MedListDigest(entries, count, longer)) Fail("an over-long name matched");
    }
    return 0;
}
