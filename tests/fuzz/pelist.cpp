// Fuzz target: the medium tool's PE reader and list filler. The first two
// bytes choose the entries to fill (how many; how long each name is, and
// whether it holds a NUL), the rest is the image. Neither call may read or
// write outside the image; a refused fill leaves it as it was; a fill the
// entries should not pass (too many, a name that does not fit) is refused;
// an accepted fill reads back through the setup's own list reader, entry
// for entry, and changes no byte but the list and the checksum.
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <vector>
#include "medlist.h"
#include "pelist.h"

static void Fail(const char *what)
{
    fprintf(stderr, "%s\n", what);
    abort();
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 2) return 0;
    size_t count = data[0] % 20, length = data[1] & 63;
    bool nul = data[1] & 64;
    const unsigned char *image = data + 2;
    size_t n = size - 2;

    char names[20][64];
    unsigned char digests[20][MEDLIST_DIGEST];
    PeListEntry entries[20];
    for (size_t i = 0; i < count; i++) {
        memset(names[i], 'a', sizeof names[i]);
        names[i][0] = (char)('A' + i);
        if (nul && length > 1) names[i][length / 2] = 0;
        memset(digests[i], (int)i + 1, MEDLIST_DIGEST);
        entries[i] = {names[i], length, digests[i]};
    }

    size_t at = 0;
    int found = PeListFind(image, n, &at);
    const unsigned char *parsed;
    if (found == kPeListOk && (at > n || n - at < MEDLIST_SIZE || MedListParse(image + at, MEDLIST_SIZE, &parsed) < 0))
        Fail("a room that is not a list was found");
    if ((PeSigned(image, n) < 0) != (found == kPeListNotImage)) Fail("PeSigned and PeListFind disagree on the image");

    std::vector<unsigned char> copy(image, image + n);
    int filled = PeListFill(copy.data(), n, entries, count);
    bool badName = count > 0 && (length == 0 || length >= MEDLIST_NAME || (nul && length > 1));
    int expected = count > MEDLIST_ROOM ? kPeListTooMany : badName ? kPeListBadName : found;
    if (filled != expected) Fail("the fill's status differs from what its entries and the image call for");
    if (filled != kPeListOk) {
        if (n && memcmp(copy.data(), image, n) != 0) Fail("a refused fill changed the image");
        return 0;
    }
    const unsigned char *listed;
    if (MedListParse(copy.data() + at, MEDLIST_SIZE, &listed) != (int)count) Fail("the filled list does not read back");
    for (size_t i = 0; i < count; i++) {
        char name[MEDLIST_NAME];
        memcpy(name, names[i], length);
        name[length] = 0;
        const unsigned char *digest = MedListDigest(listed, (int)count, name);
        if (!digest || memcmp(digest, digests[i], MEDLIST_DIGEST) != 0) Fail("an entry reads back wrong");
    }
    // Outside the list only the checksum (4 bytes at the optional header's
    // offset 64) may change.
    size_t pe = image[0x3C] | image[0x3D] << 8 | image[0x3E] << 16 | (size_t)image[0x3F] << 24, sum = pe + 24 + 64;
    for (size_t i = 0; i < n; i++)
        if (copy[i] != image[i] && (i < at || i >= at + MEDLIST_SIZE) && (i < sum || i >= sum + 4))
            Fail("the fill changed a byte outside the list and the checksum");
    return 0;
}
