// The icon image of a program file, read from its bytes. Every field is read
// as little-endian bytes and every offset and length is checked against the
// buffer before use, with no sum that can wrap; the resource tree is walked
// exactly three levels down (type, name, language), never by following
// whatever a directory points at, so a tree that points into itself ends.
#include "peicon.h"

namespace {

const unsigned kRtIcon = 3;
const unsigned kRtGroupIcon = 14;

// A byte range [off, off + len) inside a buffer of size bytes.
bool Inside(unsigned long size, unsigned long off, unsigned long len)
{
    return off <= size && len <= size - off;
}

unsigned Get16(const unsigned char *p)
{
    return p[0] | (unsigned)p[1] << 8;
}

unsigned long Get32(const unsigned char *p)
{
    return p[0] | (unsigned long)p[1] << 8 | (unsigned long)p[2] << 16 | (unsigned long)p[3] << 24;
}

// The file as its headers describe it.
struct Image {
    const unsigned char *bytes;
    unsigned long size;
    unsigned long sections;  // file offset of the section table
    unsigned count;          // its entries
    unsigned long resources; // file offset of the resource directory
    unsigned long room;      // bytes from there to the end of its section's data
};

// Maps len bytes at rva to a file offset, through the one section whose
// data on disk holds them all. Returns 0 when none does.
bool MapRva(const Image &im, unsigned long rva, unsigned long len, unsigned long *off,
            unsigned long *room)
{
    for (unsigned i = 0; i < im.count; i++) {
        const unsigned char *s = im.bytes + im.sections + i * 40ul;
        unsigned long virtualSize = Get32(s + 8), address = Get32(s + 12);
        unsigned long rawSize = Get32(s + 16), raw = Get32(s + 20);
        // Past its virtual size a section is zeros in memory, whatever
        // the file holds there.
        if (virtualSize != 0 && virtualSize < rawSize) rawSize = virtualSize;
        if (rva < address || rva - address >= rawSize) continue;
        unsigned long into = rva - address;
        if (!Inside(im.size, raw, rawSize) || !Inside(rawSize, into, len)) return false;
        *off = raw + into;
        if (room) *room = rawSize - into;
        return true;
    }
    return false;
}

bool ReadHeaders(const unsigned char *bytes, unsigned long size, Image *im)
{
    im->bytes = bytes;
    im->size = size;
    if (!bytes || size < 64 || bytes[0] != 'M' || bytes[1] != 'Z') return false;
    unsigned long pe = Get32(bytes + 0x3C);
    if (!Inside(size, pe, 24) || Get32(bytes + pe) != 0x4550) return false; // "PE\0\0"
    unsigned sectionCount = Get16(bytes + pe + 6);
    unsigned long optionalSize = Get16(bytes + pe + 20);
    unsigned long optional = pe + 24;
    if (!Inside(size, optional, optionalSize) || optionalSize < 2) return false;
    unsigned long directories, directoryCount;
    switch (Get16(bytes + optional)) {
    case 0x10B: directories = 96; break;  // PE32
    case 0x20B: directories = 112; break; // PE32+
    default: return false;
    }
    // The resource table is data directory 2 (8 bytes each).
    if (optionalSize < directories + 3 * 8) return false;
    directoryCount = Get32(bytes + optional + directories - 4);
    if (directoryCount < 3) return false;
    unsigned long rva = Get32(bytes + optional + directories + 2 * 8);
    if (rva == 0) return false;
    im->sections = optional + optionalSize;
    im->count = sectionCount;
    if (!Inside(size, im->sections, sectionCount * 40ul)) return false;
    // The root directory's fixed part must lie in the file; every offset
    // inside the tree is then checked against the room behind it.
    return MapRva(*im, rva, 16, &im->resources, &im->room);
}

// The entry of the resource directory at dir (an offset into the tree) whose
// id is id, or the first entry when id is ~0u; *target is what it points at
// and *isDirectory whether that is another directory. Returns 0 when the
// directory or its entries leave the tree, or no entry matches.
bool FindEntry(const Image &im, unsigned long dir, unsigned id, unsigned long *target, bool *isDirectory)
{
    if (!Inside(im.room, dir, 16)) return false;
    const unsigned char *d = im.bytes + im.resources + dir;
    unsigned long entries = (unsigned long)Get16(d + 12) + Get16(d + 14);
    if (!Inside(im.room, dir + 16, entries * 8)) return false;
    for (unsigned long i = 0; i < entries; i++) {
        const unsigned char *e = d + 16 + i * 8;
        unsigned long name = Get32(e);
        bool named = (name & 0x80000000ul) != 0;
        if (id != ~0u && (named || name != id)) continue;
        unsigned long to = Get32(e + 4);
        *isDirectory = (to & 0x80000000ul) != 0;
        *target = to & 0x7FFFFFFFul;
        return true;
    }
    return false;
}

// The data of resource type/id (id ~0u: the first of its type), first
// language: its file offset and length.
bool FindData(const Image &im, unsigned type, unsigned id, unsigned long *off, unsigned long *len)
{
    unsigned long at = 0;
    bool isDirectory = false;
    if (!FindEntry(im, 0, type, &at, &isDirectory) || !isDirectory) return false;
    if (!FindEntry(im, at, id, &at, &isDirectory) || !isDirectory) return false;
    if (!FindEntry(im, at, ~0u, &at, &isDirectory) || isDirectory) return false;
    if (!Inside(im.room, at, 16)) return false;
    const unsigned char *data = im.bytes + im.resources + at;
    unsigned long rva = Get32(data), length = Get32(data + 4);
    if (length > PEICON_MAX_IMAGE) return false;
    if (!MapRva(im, rva, length, off, 0)) return false;
    *len = length;
    return true;
}

// Whether len bytes at p are an icon image Windows can take: a PNG file, or
// a BITMAPINFOHEADER followed by the palette, the colour rows and the mask
// rows it announces (row lengths as any reader computes them, for any bit
// count up to 32).
bool PlausibleImage(const unsigned char *p, unsigned long len)
{
    static const unsigned char png[] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n', 0, 0, 0, 13, 'I', 'H', 'D', 'R'};
    // The signature, then the IHDR chunk: length 13, type, data, CRC.
    if (len >= 8 + 25 && p[0] == png[0]) {
        for (int i = 0; i < 16; i++)
            if (p[i] != png[i]) return false;
        return true;
    }
    if (len < 40 || Get32(p) != 40) return false;
    unsigned long width = Get32(p + 4), height = Get32(p + 8), bits = Get16(p + 14), used = Get32(p + 32);
    // Width 1 to 256; the height counts the colour rows and the mask rows
    // together (x - 1 > n: x outside 1 to n + 1, 0 included).
    if (width - 1 > 255 || height - 1 > 511 || Get16(p + 12) != 1 || bits - 1 > 31 || Get32(p + 16) != 0 ||
        used > 256)
        return false;
    // The palette as long as any reader may take it: the count the header
    // gives, else a full one for 8 bits or fewer.
    unsigned long palette = used ? used : bits <= 8 ? 1ul << bits : 0;
    // At most 40 + 1024 + 256 * 1024 + 256 * 32 bytes: no sum can wrap.
    unsigned long rows = height / 2;
    return len >= 40 + palette * 4 + rows * ((width * bits + 31) / 32 * 4 + (width + 31) / 32 * 4);
}

// How well an entry of width have serves want: lower is better. The exact
// size first; then the smallest larger one (scaling down looks better than
// scaling up); then the largest smaller one.
unsigned Distance(unsigned have, unsigned want)
{
    if (have == want) return 0;
    if (have > want) return have - want;
    return 0x10000u + (want - have);
}

} // namespace

int PeIconFind(const unsigned char *image, unsigned long size, unsigned want, unsigned long *offset,
               unsigned long *length)
{
    *offset = 0;
    *length = 0;
    // No image is wider than 256: a wider want is served as that.
    if (want > 256) want = 256;
    Image im;
    if (!ReadHeaders(image, size, &im)) return 0;
    unsigned long groupAt, groupLength;
    if (!FindData(im, kRtGroupIcon, ~0u, &groupAt, &groupLength)) return 0;
    // GRPICONDIR: reserved 0, type 1, count, then count entries of 14
    // bytes: width, height, colours, reserved, planes, bits, bytes, id.
    const unsigned char *group = image + groupAt;
    if (groupLength < 6 || Get16(group) != 0 || Get16(group + 2) != 1) return 0;
    unsigned long count = Get16(group + 4);
    if (count == 0 || 6 + count * 14 > groupLength) return 0;
    const unsigned char *best = 0;
    unsigned bestDistance = 0;
    unsigned bestBits = 0;
    for (unsigned long i = 0; i < count; i++) {
        const unsigned char *e = group + 6 + i * 14;
        unsigned width = e[0] ? e[0] : 256;
        unsigned distance = Distance(width, want);
        unsigned bits = Get16(e + 6);
        // Of two images of the same size, the one with more colours.
        if (!best || distance < bestDistance || (distance == bestDistance && bits > bestBits)) {
            best = e;
            bestDistance = distance;
            bestBits = bits;
        }
    }
    unsigned long at, len;
    if (!FindData(im, kRtIcon, Get16(best + 12), &at, &len)) return 0;
    if (!PlausibleImage(image + at, len)) return 0;
    *offset = at;
    *length = len;
    return 1;
}
