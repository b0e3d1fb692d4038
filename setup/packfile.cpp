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
    ZlibCalls found;
    found.compress = (decltype(found.compress))(void *)GetProcAddress(dll, "compress");
    found.uncompress = (decltype(found.uncompress))(void *)GetProcAddress(dll, "uncompress");
    found.compressBound = (decltype(found.compressBound))(void *)GetProcAddress(dll, "compressBound");
    if (!found.compress || !found.uncompress || !found.compressBound) return 0;
    zlib = found;
    return &zlib;
}

int WriteWhole(const char *destination, const unsigned char *data, unsigned length)
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
    const ZlibCalls *z;
    if (mode == -1) {
        result = UnpackBytes(in, size, 0, 0, destination);
    } else if (mode == 1 && (z = Zlib())) {
        unsigned length = 0;
        unsigned char *out = PackBlock(z, in, size, &length);
        if (out) {
            result = WriteWhole(destination, out, length);
            qelMemBank(0, (intptr_t)out);
        }
    }
    qelMemBank(0, (intptr_t)in);
    return result;
}

int UnpackBytes(const unsigned char *packed, unsigned size, void *buffer, unsigned capacity,
                const char *destination)
{
    const ZlibCalls *z = packed ? Zlib() : 0;
    unsigned length = 0;
    unsigned char *out = z ? UnpackBlock(z, packed, size, &length) : 0;
    if (!out) return 0;
    int result;
    if (destination) {
        result = WriteWhole(destination, out, length);
    } else {
        result = (int)(length < capacity ? length : capacity);
        qelMemCopy(out, buffer, result);
    }
    qelMemBank(0, (intptr_t)out);
    return result;
}
