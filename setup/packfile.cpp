// PackFile: the packed file format on disk, through the file primitives.
#include "packfile.h"
#include "packcore.h"
#include "medium.h"

// zlib lives in Brannic.dll, loaded on first use (MediumBrannic), never
// through the import table: a program that loads the executable as a
// library need not have it.
static ZlibCalls zlib;

static const ZlibCalls *Zlib(void)
{
    if (zlib.uncompress) return &zlib;
    const unsigned char *bytes;
    unsigned size;
    HMODULE dll = MediumBrannic(&bytes, &size);
    if (!dll) return 0;
    // The classic calls first, then the streaming ones, in the order of
    // ZlibCalls' members.
    static const char kNames[] = "compress\0uncompress\0compressBound\0inflateInit_\0inflate\0inflateEnd\0";
    FARPROC found[6];
    static_assert(sizeof found == sizeof zlib, "one address for each member of ZlibCalls");
    int missing = 0;
    const char *name = kNames;
    for (int i = 0; i < 6; i++, name += qelStrLen(name) + 1)
        if (!(found[i] = GetProcAddress(dll, name))) missing |= i < 3 ? 1 : 2;
    if (missing & 1) return 0;
    // The streaming calls, all or none (an older Brannic.dll has none).
    if (missing & 2) found[3] = found[4] = found[5] = 0;
    qelMemCopy(found, &zlib, sizeof zlib);
    return &zlib;
}

// Writes length bytes at data to destination from its first byte and cuts
// any longer old content. Returns length, or 0 when the file could not be
// written whole (an incomplete file is then removed unless the write never
// touched an existing one).
static int WriteWhole(const char *destination, const unsigned char *data, unsigned length)
{
    int existed = IsFileFound(destination);
    int written = qelWriteFile(destination, 1, data, length);
    // A new file holds exactly what was written: only an old one may be longer.
    if ((unsigned)written == length && (!existed || CutFile(destination, length))) return (int)length;
    if (!existed || written > 0) DeleteFileA(destination);
    return 0;
}

// The whole of source in a memory bank block (with slack behind it), its
// size in *size; 0 when it is missing, empty, too large or not read whole.
static unsigned char *ReadWhole(const char *source, unsigned *size)
{
    int n = qelFileSize(source);
    if (n <= 0 || (unsigned)n > PACK_MAX_LENGTH) return 0;
    unsigned char *in = (unsigned char *)qelMemBank(1, n + 1024);
    if (in && qelReadFile(source, 1, in, (unsigned)n) != n) in = (unsigned char *)qelMemBank(0, (intptr_t)in);
    *size = (unsigned)n;
    return in;
}

int PackFile(int mode, const char *source, const char *destination)
{
    if (!source || !destination) return 0;
    unsigned size = 0;
    unsigned char *in = ReadWhole(source, &size);
    if (!in) return 0;
    int result = 0;
    const ZlibCalls *z = Zlib();
    unsigned length = 0;
    unsigned char *out = !z ? 0 : mode == 1 ? PackBlock(z, in, size, &length) : mode == -1 ? UnpackBlock(z, in, size, &length) : 0;
    if (out) {
        result = WriteWhole(destination, out, length);
        qelMemBank(0, (intptr_t)out);
    }
    qelMemBank(0, (intptr_t)in);
    return result;
}

const ZlibCalls *BrannicCalls(void)
{
    return Zlib();
}
