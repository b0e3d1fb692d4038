// The medium's list in a PE image: the headers, the section table and the
// resource tree read from a byte range, each read checked against its end.
#include "pelist.h"
#include <stdint.h>
#include <string.h>

namespace {

const unsigned kRcData = 10;        // RT_RCDATA
const unsigned kListId = 300;       // IDR_MEDIUM_LIST
const size_t kDirectory = 16, kEntry = 8, kSection = 40;

struct Image {
    const unsigned char *p;
    size_t n;
    size_t pe = 0, optional = 0, table = 0;
    unsigned sections = 0;
    bool plus = false;

    // True when len bytes from at lie within the image.
    bool Has(uint64_t at, uint64_t len) const { return at <= n && len <= n - at; }
    // Fields outside the image read as 0, which no check below accepts.
    uint32_t U16(uint64_t at) const { return Has(at, 2) ? p[at] | (uint32_t)p[at + 1] << 8 : 0; }
    uint32_t U32(uint64_t at) const
    {
        return Has(at, 4) ? p[at] | (uint32_t)p[at + 1] << 8 | (uint32_t)p[at + 2] << 16 | (uint32_t)p[at + 3] << 24
                          : 0;
    }

    bool Parse()
    {
        if (U16(0) != 0x5A4D) return false;
        pe = U32(0x3C);
        if (pe == 0 || !Has(pe, 24) || U32(pe) != 0x4550) return false;
        optional = pe + 24;
        uint32_t magic = U16(optional), size = U16(pe + 20);
        plus = magic == 0x20B;
        if (magic != 0x10B && !plus) return false;
        // The directories up to the certificate table (4) must lie in the
        // optional header, and the header in the image.
        if (size < DirAt(5) - optional || !Has(optional, size)) return false;
        table = optional + size;
        sections = U16(pe + 6);
        return Has(table, (uint64_t)sections * kSection);
    }
    uint64_t DirAt(int i) const { return optional + (plus ? 112 : 96) + 8 * (uint64_t)i; }
    bool HasDir(int i) const { return (uint64_t)i < U32(optional + (plus ? 108 : 92)); }
    uint32_t DirRva(int i) const { return HasDir(i) ? U32(DirAt(i)) : 0; }
    uint32_t DirSize(int i) const { return HasDir(i) ? U32(DirAt(i) + 4) : 0; }

    // The file offset of len bytes at rva, all in one section's raw data.
    bool Offset(uint64_t rva, uint64_t len, size_t *at) const
    {
        for (unsigned i = 0; i < sections; i++) {
            uint64_t sec = table + kSection * i, va = U32(sec + 12), raw = U32(sec + 16), ptr = U32(sec + 20);
            if (rva < va || rva - va >= raw || len > raw - (rva - va)) continue;
            if (!Has(ptr + (rva - va), len)) return false;
            *at = (size_t)(ptr + (rva - va));
            return true;
        }
        return false;
    }
};

// In the resource tree (its root at rva root), the entry with this id in
// the directory at dir (relative to root): its target, relative to root,
// with the subdirectory bit in *sub. -1: no such id; -2: unreadable.
int64_t FindId(const Image &im, uint64_t root, uint32_t dir, unsigned id, bool *sub)
{
    size_t at;
    if (!im.Offset(root + dir, kDirectory, &at)) return -2;
    uint32_t named = im.U16(at + 12), ids = im.U16(at + 14);
    if (!im.Offset(root + dir, kDirectory + kEntry * ((uint64_t)named + ids), &at)) return -2;
    for (uint32_t i = 0; i < named + ids; i++) {
        size_t e = at + kDirectory + kEntry * i;
        // id 0xFFFFFFFF asks for the first entry, named or not.
        if (id != 0xFFFFFFFFu && (i < named || im.U32(e) != id)) continue;
        uint32_t to = im.U32(e + 4);
        *sub = (to >> 31) != 0;
        return to & 0x7FFFFFFF;
    }
    return -1;
}

int Find(const Image &im, size_t *at)
{
    uint64_t root = im.DirRva(2);
    if (!root || !im.DirSize(2)) return kPeListMissing;
    bool sub = false;
    int64_t type = FindId(im, root, 0, kRcData, &sub);
    if (type == -2 || (type >= 0 && !sub)) return kPeListMalformed;
    if (type < 0) return kPeListMissing;
    int64_t name = FindId(im, root, (uint32_t)type, kListId, &sub);
    if (name == -2 || (name >= 0 && !sub)) return kPeListMalformed;
    if (name < 0) return kPeListMissing;
    int64_t data = FindId(im, root, (uint32_t)name, 0xFFFFFFFFu, &sub);
    if (data < 0 || sub) return data == -1 ? kPeListMissing : kPeListMalformed;
    size_t entry;
    if (!im.Offset(root + (uint64_t)data, 16, &entry)) return kPeListMalformed;
    if (im.U32(entry + 4) < MEDLIST_SIZE || !im.Offset(im.U32(entry), MEDLIST_SIZE, at)) return kPeListTooSmall;
    const unsigned char *entries;
    return MedListParse(im.p + *at, MEDLIST_SIZE, &entries) < 0 ? kPeListMalformed : kPeListOk;
}

// The image checksum as Windows computes it, stored where the linker put
// one (its field is the same in both optional header forms).
void Checksum(unsigned char *p, size_t n, size_t field)
{
    if (!(p[field] | p[field + 1] | p[field + 2] | p[field + 3])) return;
    uint64_t sum = 0;
    for (size_t i = 0; i < n; i += 2) {
        if (i == field || i == field + 2) continue;
        sum += p[i] | (i + 1 < n ? (uint32_t)p[i + 1] << 8 : 0);
        sum = (sum & 0xFFFF) + (sum >> 16);
    }
    uint32_t v = (uint32_t)(sum + n);
    for (int k = 0; k < 4; k++) p[field + k] = (unsigned char)(v >> 8 * k);
}

}  // namespace

const char *PeListReason(int status)
{
    switch (status) {
    case kPeListOk: return "fine";
    case kPeListNotImage: return "not a PE image, so no room for the medium's list";
    case kPeListMissing: return "no room for the medium's list: not a setup program built with it";
    case kPeListTooSmall: return "the room for the medium's list is too small";
    case kPeListMalformed: return "the room for the medium's list is malformed";
    case kPeListTooMany: return "more files than the medium's list holds";
    default: return "a file name that does not fit the medium's list";
    }
}

int PeListFind(const unsigned char *image, size_t size, size_t *at)
{
    Image im{image, size};
    return im.Parse() ? Find(im, at) : kPeListNotImage;
}

int PeListFill(unsigned char *image, size_t size, const PeListEntry *entries, size_t count)
{
    if (count > MEDLIST_ROOM) return kPeListTooMany;
    for (size_t i = 0; i < count; i++)
        if (entries[i].length == 0 || entries[i].length >= MEDLIST_NAME ||
            memchr(entries[i].name, 0, entries[i].length))
            return kPeListBadName;
    Image im{image, size};
    size_t at;
    if (!im.Parse()) return kPeListNotImage;
    int status = Find(im, &at);
    if (status != kPeListOk) return status;
    unsigned char *list = image + at;
    memset(list + 8, 0, MEDLIST_SIZE - 8);
    for (int k = 0; k < 4; k++) list[8 + k] = (unsigned char)(count >> 8 * k);
    for (size_t i = 0; i < count; i++) {
        unsigned char *e = list + MEDLIST_HEADER + MEDLIST_ENTRY * i;
        memcpy(e, entries[i].name, entries[i].length);
        memcpy(e + MEDLIST_NAME, entries[i].digest, MEDLIST_DIGEST);
    }
    Checksum(image, size, im.optional + 64);
    return kPeListOk;
}

int PeSigned(const unsigned char *image, size_t size)
{
    Image im{image, size};
    return im.Parse() ? im.DirSize(4) != 0 : -1;
}
