// The medium's list read from its bytes, with every offset checked.
#include "medlist.h"

int MedListParse(const unsigned char *list, unsigned long size, const unsigned char **entries)
{
    *entries = 0;
    if (!list || size < MEDLIST_SIZE) return -1;
    for (int i = 0; i < 8; i++)
        if (list[i] != (unsigned char)MEDLIST_MAGIC[i]) return -1;
    unsigned long count = list[8] | (unsigned long)list[9] << 8 | (unsigned long)list[10] << 16 |
                          (unsigned long)list[11] << 24;
    if (count > MEDLIST_ROOM) return -1;
    const unsigned char *first = list + MEDLIST_HEADER;
    // A name fills its field at most up to a last NUL: no name runs into
    // its own digest.
    for (unsigned long i = 0; i < count; i++)
        if (first[i * MEDLIST_ENTRY + MEDLIST_NAME - 1] != 0) return -1;
    *entries = first;
    return (int)count;
}

const unsigned char *MedListDigest(const unsigned char *entries, int count, const char *name)
{
    for (int i = 0; i < count; i++, entries += MEDLIST_ENTRY) {
        int k = 0;
        while (k < MEDLIST_NAME - 1 && name[k] && entries[k] == (unsigned char)name[k]) k++;
        if (!name[k] && !entries[k]) return entries + MEDLIST_NAME;
    }
    return 0;
}
