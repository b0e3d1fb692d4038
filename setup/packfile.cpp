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
    // The streaming calls, all or none (an older Brannic.dll has none).
    found.inflateInit_ = (decltype(found.inflateInit_))(void *)GetProcAddress(dll, "inflateInit_");
    found.inflate = (decltype(found.inflate))(void *)GetProcAddress(dll, "inflate");
    found.inflateEnd = (decltype(found.inflateEnd))(void *)GetProcAddress(dll, "inflateEnd");
    if (!found.inflateInit_ || !found.inflate || !found.inflateEnd)
        found.inflateInit_ = 0, found.inflate = 0, found.inflateEnd = 0;
    zlib = found;
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
