// PackFile: the packed file format on disk, through the file primitives.
#include "packfile.h"
#include "packcore.h"
#include "medium.h"
#include "product.h"

// zlib lives in Brannic.dll beside the module that holds this code. It is
// loaded by full path on first use, never through the import table (a
// program that loads the executable as a library need not have it) and
// never through the default search path (a planted copy elsewhere must not
// be picked up). When the medium's list is filled, only the file it names
// is loaded: read whole and checked through a handle that nobody may write,
// rename or delete through until the process ends, so the bytes checked
// are the bytes loaded and, later, the bytes installed.
static ZlibCalls zlib;
static unsigned char *brannicBytes;
static unsigned brannicSize;

static const ZlibCalls *Zlib(void)
{
    if (zlib.uncompress) return &zlib;
    char path[MAX_PATH + 16];
    DWORD n = GetModuleFileNameA(qelModule(), path, MAX_PATH);
    if (n == 0 || n >= MAX_PATH) return 0;
    while (n > 0 && path[n - 1] != '\\' && path[n - 1] != '/') n--;
    const char *name = PRODUCT_BRANNIC;
    for (int i = 0; name[i]; i++) path[n++] = name[i];
    path[n] = 0;
    HANDLE held = INVALID_HANDLE_VALUE;
    unsigned char *bytes = 0;
    unsigned size = 0;
    if (MediumListed() && !(bytes = MediumReadHeld(path, name, &size, &held))) return 0;
    HMODULE dll = LoadLibraryExA(path, 0, LOAD_WITH_ALTERED_SEARCH_PATH);
    ZlibCalls found = {};
    if (dll) {
        found.compress = (decltype(found.compress))(void *)GetProcAddress(dll, "compress");
        found.uncompress = (decltype(found.uncompress))(void *)GetProcAddress(dll, "uncompress");
        found.compressBound = (decltype(found.compressBound))(void *)GetProcAddress(dll, "compressBound");
        // The streaming calls, all or none (an older Brannic.dll has none).
        found.inflateInit_ = (decltype(found.inflateInit_))(void *)GetProcAddress(dll, "inflateInit_");
        found.inflate = (decltype(found.inflate))(void *)GetProcAddress(dll, "inflate");
        found.inflateEnd = (decltype(found.inflateEnd))(void *)GetProcAddress(dll, "inflateEnd");
        if (!found.inflateInit_ || !found.inflate || !found.inflateEnd)
            found.inflateInit_ = 0, found.inflate = 0, found.inflateEnd = 0;
    }
    if (!found.compress || !found.uncompress || !found.compressBound) {
        if (dll) FreeLibrary(dll);
        if (bytes) qelMemBank(0, (intptr_t)bytes);
        if (held != INVALID_HANDLE_VALUE) CloseHandle(held);
        return 0;
    }
    zlib = found;
    brannicBytes = bytes;
    brannicSize = size;
    return &zlib;
}

// Writes the whole result from the first byte and cuts any longer old
// content. A write that falls short is a failure: the incomplete file is
// removed unless the write never touched an existing one.
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
// size in *size; 0 when it is missing, empty, too large or not read whole,
// or, read for unpacking, not vouched for by the medium's list.
static unsigned char *ReadWhole(const char *source, unsigned *size, bool unpacking)
{
    int n = qelFileSize(source);
    if (n <= 0 || (unsigned)n > PACK_MAX_LENGTH) return 0;
    unsigned char *in = (unsigned char *)qelMemBank(1, n + 1024);
    if (!in) return 0;
    if (qelReadFile(source, 1, in, (unsigned)n) != n || (unpacking && !MediumVouches(source, in, (unsigned)n))) {
        qelMemBank(0, (intptr_t)in);
        return 0;
    }
    *size = (unsigned)n;
    return in;
}

int PackFile(int mode, const char *source, const char *destination)
{
    if (!source || !destination) return 0;
    unsigned size = 0;
    unsigned char *in = ReadWhole(source, &size, mode == -1);
    if (!in) return 0;
    int result = 0;
    const ZlibCalls *z;
    if ((mode == 1 || mode == -1) && (z = Zlib())) {
        unsigned length = 0;
        unsigned char *out = mode == 1 ? PackBlock(z, in, size, &length) : UnpackBlock(z, in, size, &length);
        if (out) {
            result = WriteWhole(destination, out, length);
            qelMemBank(0, (intptr_t)out);
        }
    }
    qelMemBank(0, (intptr_t)in);
    return result;
}

int UnpackInto(const char *source, void *buffer, unsigned capacity)
{
    if (!source || !buffer) return 0;
    unsigned size = 0;
    unsigned char *in = ReadWhole(source, &size, true);
    if (!in) return 0;
    int copied = 0;
    const ZlibCalls *z = Zlib();
    unsigned length = 0;
    unsigned char *out = z ? UnpackBlock(z, in, size, &length) : 0;
    if (out) {
        copied = (int)(length < capacity ? length : capacity);
        qelMemCopy(out, buffer, copied);
        qelMemBank(0, (intptr_t)out);
    }
    qelMemBank(0, (intptr_t)in);
    return copied;
}

int InstallBrannic(const char *destination)
{
    if (!destination || !Zlib() || !brannicBytes) return 0;
    return WriteWhole(destination, brannicBytes, brannicSize);
}

const ZlibCalls *BrannicCalls(void)
{
    return Zlib();
}
