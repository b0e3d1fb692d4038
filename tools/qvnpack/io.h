// io.h: the medium tool's files: inputs opened once and checked, outputs
// written whole or not at all, SHA-256 of the bytes as they pass.
#ifndef QVNPACK_IO_H
#define QVNPACK_IO_H

#include <stdio.h>
#include <stddef.h>
#include <sys/stat.h>
#include <nettle/sha2.h>
#include <string>
#include <vector>

// Bytes read or written per step.
const size_t kChunk = 256 * 1024;

// SHA-256 of a stream of bytes: in hexadecimal for SHA256SUMS, as the
// digest's bytes for the setup's list.
struct Sha256 {
    sha256_ctx ctx;
    Sha256() { sha256_init(&ctx); }
    void Add(const unsigned char *p, size_t n) { sha256_update(&ctx, n, p); }
    std::string Hex();
    static std::string Of(const std::vector<unsigned char> &bytes);
    static std::string FromHex(const std::string &hex);
};

// An input: a regular file, open, its status in st.
struct File {
    FILE *f = 0;
    struct stat st;
    ~File() { if (f) fclose(f); }
};

// "a folder", "a FIFO", ... for a message about a file of this mode.
const char *Kind(mode_t mode);

// Opens path for reading; false with a message unless it is a regular file.
// Opened without blocking, so a FIFO is refused rather than waited on;
// flags adds to open's (O_NOFOLLOW).
bool OpenInput(const std::string &path, File *in, int flags = 0);
// Reads up to kChunk bytes; *n is 0 at the end. False with a message on error.
bool ReadChunk(File &in, const std::string &name, unsigned char *buf, size_t *n);
// Reads the rest of in into *bytes, through the descriptor held.
bool ReadAll(File &in, const std::string &name, std::vector<unsigned char> *bytes);

// Where an output goes: a path (dir < 0), or a name that is created new in
// the folder open as dir (O_EXCL | O_NOFOLLOW: an existing name or a
// planted link fails). shown names it in messages.
struct Where {
    int dir = -1;
    std::string name, shown;
    Where(const std::string &path) : name(path), shown(path) {}
    Where(int folder, const std::string &n, const std::string &s) : dir(folder), name(n), shown(s) {}
};

// Where a command writes. By path: a regular file, or a name not yet taken,
// is written to a temporary file in the same folder and renamed onto it by
// Finish; on failure only that temporary is removed, so the old file stays
// whole. A device node or FIFO is written directly and never removed. In a
// folder: a new file, which the caller's folder takes away on failure. Each
// failure is reported once, with the system's reason; the caller stops there.
struct Output {
    std::string path, target, temp;   // as shown; the file replaced; the temporary
    FILE *f = 0;

    ~Output();
    bool Fail(int err);
    // input: the file this output is made from, or null; an output that is
    // the same file is refused.
    bool Open(const Where &dst, const File *input);
    bool Write(const unsigned char *p, size_t n);
    // Flushes, syncs a regular file to disk, closes and renames it into
    // place. False with a message if any of that fails (a full disk often
    // shows only here).
    bool Finish();
};

// Reads all of in, to out unless null; its SHA-256 into *sum.
bool Stream(File &in, const std::string &name, Output *out, std::string *sum);
// Copies the rest of in (name: its path) to dst as it is; the SHA-256 of
// the bytes written into *sum.
bool Copy(File &in, const std::string &name, const Where &dst, std::string *sum);
// Writes bytes to dst whole.
bool WriteBytes(const Where &dst, const unsigned char *p, size_t n);
bool WriteText(const Where &dst, const std::string &s);
// mkdir -p.
bool MakeFolders(const std::string &path);
std::string BaseName(const std::string &path);
// Removes everything in the folder open as dir, never following a link.
bool EmptyFolder(int dir);

#endif
