// Unpacking to a file through a temporary file in the destination's folder,
// and unpacking held bytes, both through the codec core's streaming unpacker.
#include "unpack.h"
#include "../lib/qel.h"
#include "../lib/qelint.h"

namespace {

// The temporary file being written and what the caller watches with.
struct Target {
    const UnpackWatch *watch;
    HANDLE file;
    char path[MAX_PATH + 32];
};

int WriteAll(void *, HANDLE file, const unsigned char *bytes, unsigned count)
{
    DWORD written = 0;
    return WriteFile(file, bytes, count, &written, 0) && written == count;
}

// The core's sink: the plain bytes go to the temporary file.
int ToTarget(void *context, const unsigned char *bytes, unsigned count)
{
    Target *t = (Target *)context;
    return t->watch->write ? t->watch->write(t->watch->context, t->file, bytes, count)
                           : WriteAll(0, t->file, bytes, count);
}

// Creates a new temporary file beside destination, nobody else may open it
// for reading or writing. 0 when the folder takes none.
int OpenTemp(Target *t, const char *destination)
{
    int n = qelStrLen(destination), folder = n;
    while (folder > 0 && destination[folder - 1] != '\\' && destination[folder - 1] != '/') folder--;
    if (n == 0 || folder == n || folder + 24 > MAX_PATH) return 0;
    qelMemCopy(destination, t->path, folder);
    for (unsigned attempt = 0; attempt < 16; attempt++) {
        char *p = t->path + folder;
        *p++ = '~', *p++ = 'q', *p++ = 'v', *p++ = 'n';
        // Counters when the system's generator is not to be had: the name
        // is created exclusively, so a guessed name can only make a try
        // fail, never redirect the write.
        if (!RandomHex(p, 2)) {
            LARGE_INTEGER now;
            QueryPerformanceCounter(&now);
            IntToHexText((unsigned)now.HighPart ^ GetCurrentProcessId(), p);
            IntToHexText(now.LowPart ^ attempt, p + 8);
        }
        p += 16;
        *p++ = '.', *p++ = 't', *p++ = 'm', *p++ = 'p', *p = 0;
        t->file = CreateFileA(t->path, GENERIC_WRITE | DELETE | FILE_READ_ATTRIBUTES, FILE_SHARE_DELETE, 0, CREATE_NEW,
                              FILE_ATTRIBUTE_NORMAL, 0);
        if (t->file != INVALID_HANDLE_VALUE) return 1;
        if (GetLastError() != ERROR_FILE_EXISTS && GetLastError() != ERROR_ALREADY_EXISTS) return 0;
    }
    return 0;
}

// 1 when path names the file open at held. The file index alone is
// compared: a rename stays on its volume, and Wine gives a handle opened
// without read access no volume serial number.
int SameFile(HANDLE held, const char *path)
{
    HANDLE h = CreateFileA(path, FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, 0,
                           OPEN_EXISTING, 0, 0);
    if (h == INVALID_HANDLE_VALUE) return 0;
    BY_HANDLE_FILE_INFORMATION a, b;
    int same = GetFileInformationByHandle(held, &a) && GetFileInformationByHandle(h, &b) &&
               a.nFileIndexHigh == b.nFileIndexHigh && a.nFileIndexLow == b.nFileIndexLow;
    CloseHandle(h);
    return same;
}

// With ok, puts the temporary file in destination's place (on disk before
// it is named there); else, or when that fails, removes it through the
// handle, whatever its name has become meanwhile.
int Finish(Target *t, const char *destination, int ok)
{
    int moved = ok && FlushFileBuffers(t->file) &&
                MoveFileExA(t->path, destination, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
    if (!moved) {
        FILE_DISPOSITION_INFO gone = {TRUE};
        if (!SetFileInformationByHandle(t->file, FileDispositionInfo, &gone, sizeof gone)) DeleteFileA(t->path);
    }
    // The name was moved, not necessarily the file written: someone who may
    // write the folder could have put another in its place meanwhile. Then
    // the destination is not what was unpacked, though nothing is removed:
    // where the written file went is not known for sure.
    ok = moved && SameFile(t->file, destination);
    CloseHandle(t->file);
    return ok;
}

// Reads packed in chunks to its end: each one to the observer, the progress
// and then take; stops at the first chunk take refuses. 1 when all of the
// file was read and taken.
int ReadChunks(HANDLE packed, unsigned long long size, const UnpackWatch *watch,
               int (*take)(void *, const unsigned char *, unsigned), void *context)
{
    unsigned char *chunk = (unsigned char *)qelMemBank(1, UNPACK_CHUNK);
    if (!chunk) return 0;
    unsigned long long done = 0;
    DWORD got = 0;
    int ok;
    while ((ok = ReadFile(packed, chunk, UNPACK_CHUNK, &got, 0)) && got > 0) {
        done += got;
        if (watch->observe) watch->observe(watch->context, chunk, got);
        if (watch->progress) watch->progress(watch->context, done, size);
        if (!(ok = take(context, chunk, got))) break;
    }
    qelMemBank(0, (intptr_t)chunk);
    return ok && done == size;
}

int FeedStream(void *stream, const unsigned char *bytes, unsigned count)
{
    return PackStreamFeed((PackStream *)stream, bytes, count);
}

// The packed file: read from a handle the caller holds, or held in memory.
struct Source {
    HANDLE file;
    const unsigned char *held; // 0 for the file
    unsigned long long size;
    const UnpackWatch *watch;
};

// Hands the packed bytes to take in chunks, in order; stops at the first
// chunk take refuses. 1 when all of them were taken.
int Pass(const Source *from, int (*take)(void *, const unsigned char *, unsigned), void *context)
{
    if (!from->held) return ReadChunks(from->file, from->size, from->watch, take, context);
    int ok = 1;
    for (unsigned long long at = 0; ok && at < from->size; at += UNPACK_CHUNK)
        ok = take(context, from->held + at, from->size - at < UNPACK_CHUNK ? (unsigned)(from->size - at) : UNPACK_CHUNK);
    return ok;
}

// The whole packed file gathered in one block.
struct Gathered {
    unsigned char *block;
    unsigned long long have, size;
};

int Gather(void *context, const unsigned char *bytes, unsigned count)
{
    Gathered *g = (Gathered *)context;
    if (count > g->size - g->have) return 0;
    qelMemCopy(bytes, g->block + g->have, (int)count);
    g->have += count;
    return 1;
}

// Unpacks the packed file to the sink: streaming with z's streaming calls,
// else (a zlib without them) whole: the packed file gathered in one block
// unless it is held already, unpacked whole, and given to the sink in
// chunks.
int Unpack(const ZlibCalls *z, HANDLE file, const unsigned char *held, unsigned long long size,
           const UnpackWatch *watch, PackSink sink, void *context)
{
    const Source source = {file, held, size, watch}, *from = &source;
    if (z->inflate) {
        PackStream s;
        if (!PackStreamBegin(&s, z, from->size, sink, context)) return 0;
        int ok = Pass(from, FeedStream, &s);
        return PackStreamEnd(&s) && ok;
    }
    if (from->size < 4 || from->size > PACK_MAX_LENGTH) return 0;
    Gathered g = {(unsigned char *)from->held, 0, from->size};
    if (!g.block && !(g.block = (unsigned char *)qelMemBank(1, (intptr_t)from->size))) return 0;
    unsigned length = 0;
    unsigned char *plain = 0;
    if (from->held || Pass(from, Gather, &g)) plain = UnpackBlock(z, g.block, (unsigned)from->size, &length);
    if (!from->held) qelMemBank(0, (intptr_t)g.block);
    int ok = plain != 0;
    for (unsigned at = 0; ok && at < length; at += UNPACK_CHUNK)
        ok = sink(context, plain + at, length - at < UNPACK_CHUNK ? length - at : UNPACK_CHUNK);
    if (plain) qelMemBank(0, (intptr_t)plain);
    return ok;
}

// The plain bytes of a held document, copied while there is room.
struct Copied {
    unsigned char *buffer;
    unsigned capacity, have;
};

int CopyInto(void *context, const unsigned char *bytes, unsigned count)
{
    Copied *c = (Copied *)context;
    unsigned n = c->capacity - c->have < count ? c->capacity - c->have : count;
    qelMemCopy(bytes, c->buffer + c->have, (int)n);
    c->have += n;
    return 1;
}

} // namespace

int RandomHex(char *out, unsigned words)
{
    typedef BOOLEAN(WINAPI * RandomFn)(PVOID, ULONG);
    RandomFn random = (RandomFn)(void *)qelSystemProc("advapi32.dll", "SystemFunction036");
    unsigned noise[4];
    if (words > 4 || !random || !random(noise, words * sizeof *noise)) return 0;
    for (unsigned i = 0; i < words; i++) IntToHexText(noise[i], out + 8 * i);
    return 1;
}

int ReplaceWhole(const char *destination, const unsigned char *data, unsigned length)
{
    Target t;
    t.watch = 0;
    return OpenTemp(&t, destination) && Finish(&t, destination, WriteAll(0, t.file, data, length));
}

int UnpackToFile(const ZlibCalls *z, HANDLE packed, const UnpackWatch *watch, const char *destination)
{
    static const UnpackWatch kNone = {};
    if (!watch) watch = &kNone;
    LARGE_INTEGER size;
    if (!z || !destination || packed == INVALID_HANDLE_VALUE || !GetFileSizeEx(packed, &size) || size.QuadPart < 0)
        return 0;
    Target t;
    t.watch = watch;
    if (!OpenTemp(&t, destination)) return 0;
    int ok = Unpack(z, packed, 0, (unsigned long long)size.QuadPart, watch, ToTarget, &t);
    ok = ok && (!watch->accept || watch->accept(watch->context));
    return Finish(&t, destination, ok);
}

unsigned UnpackHeld(const ZlibCalls *z, const unsigned char *packed, unsigned long long size, void *buffer,
                    unsigned capacity)
{
    if (!z || !packed || !buffer) return 0;
    Copied c = {(unsigned char *)buffer, capacity, 0};
    int ok = Unpack(z, INVALID_HANDLE_VALUE, packed, size, 0, CopyInto, &c);
    if (!ok) qelMemFill(buffer, (int)c.have, 0);
    return ok ? c.have : 0;
}
