// qvnpack: makes and reads packed files on Linux, and lays out and checks a
// distribution medium.
//
//   qvnpack pack SOURCE DESTINATION
//   qvnpack unpack SOURCE DESTINATION
//   qvnpack sample FOLDER                 write the built-in sample product
//   qvnpack medium PRODUCT MEDIUM BRANNIC [FILE...] [--sign CERT KEY | --sign-command 'CMD {in} {out}']
//       create MEDIUM, pack every product file of the install plan and both
//       documents from PRODUCT into it, copy BRANNIC under the name
//       Brannic.dll, copy each further FILE (the setup program, iQvn.exe) as
//       it is, and write SHA256SUMS (sha256sum -c checks it) over all of them.
//       The setup program's copy (InstallQvn.exe) gets the medium's list:
//       the SHA-256 of Brannic.dll, iQvn.exe and every packed file, as they
//       lie on the medium; that setup uses no file of its medium that does
//       not match. With --sign, Brannic.dll is signed (Authenticode, SHA-256,
//       by osslsigncode) before its digest is taken, and the setup program
//       after its list is filled; --sign-command runs CMD (by the shell, with
//       {in} and {out} replaced by quoted paths) at the same two points.
//   qvnpack verify MEDIUM [--ca CERT]
//       every packed file of the plan unpacks as the setup would unpack it,
//       to the length its header gives, SHA256SUMS lists Brannic.dll and
//       every packed file and matches every file it lists, and a setup
//       program with a filled list finds every file of it as listed. With
//       --ca, Brannic.dll and InstallQvn.exe must carry valid signatures
//       that chain to CERT; without, it says whether each is signed.
//
// Both directions stream through zlib's deflate and inflate in fixed chunks,
// so memory stays small whatever the file's size. The packed format is the
// setup's: the plain length (4 bytes, little-endian) and one zlib stream,
// made as zlib's compress makes it; files the setup cannot unpack are refused.
//
// Inputs must be regular files. A regular output is written to a temporary
// file beside it and renamed into place only when complete, so a failure
// leaves what was there; a device node or FIFO is written directly.
#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <nettle/sha2.h>
#include <algorithm>
#include <iterator>
#include <map>
#include <string>
#include <vector>
#include "packcore.h"
#include "medlist.h"
#include "product.h"

// The files the setup unpacks, in install order, then its two documents.
static std::vector<std::string> PackedNames()
{
    std::vector<std::string> names;
    for (const ProductFile &row : kProductPlan)
        if (row.action == kUnpack) names.push_back(row.name);
    names.insert(names.end(), std::begin(kProductDocuments), std::end(kProductDocuments));
    return names;
}
static const std::vector<std::string> kPacked = PackedNames();
// The setup loads zlib from this file beside it; without it nothing unpacks.
static const char kBrannic[] = PRODUCT_BRANNIC;
// The setup program, which carries the medium's list, and its icon file.
static const char kSetup[] = PRODUCT_SETUP;
static const char kIcon[] = PRODUCT_ICON_FILE;

static const size_t kChunk = 256 * 1024;
// Files from this size on show their progress on a terminal.
static const unsigned long long kProgressFrom = 64ull << 20;
// The 32-bit setup reads a packed file whole into one block and inflates it
// into another of the plain size, each with 1 KiB of slack, both at once in
// at most 2 GiB of address space that the program, its DLLs, heaps, stacks
// and their scattering share. Up to 1 GiB for the two together leaves the
// other half for those; past it the setup may find no room and install
// nothing. Such files draw a warning: a larger address space would hold them.
static const unsigned long long kSetupHolds = 1ull << 30;

// SHA-256 of a stream of bytes, for SHA256SUMS (in hexadecimal) and the
// setup's list (the digest's bytes, which Hex gives back with FromHex).
struct Sha256 {
    sha256_ctx ctx;
    Sha256() { sha256_init(&ctx); }
    void Add(const unsigned char *p, size_t n) { sha256_update(&ctx, n, p); }
    std::string Hex()
    {
        unsigned char digest[SHA256_DIGEST_SIZE];
        sha256_digest(&ctx, sizeof digest, digest);
        static const char digits[] = "0123456789abcdef";
        std::string out;
        for (unsigned char b : digest) out += digits[b >> 4], out += digits[b & 15];
        return out;
    }
    static std::string FromHex(const std::string &hex)
    {
        std::string out;
        for (size_t i = 0; i + 1 < hex.size(); i += 2) out += (char)std::stoi(hex.substr(i, 2), 0, 16);
        return out;
    }
};

// ---- Files --------------------------------------------------------------

// An input: a regular file, open, its status in st.
struct File {
    FILE *f = 0;
    struct stat st;
    ~File() { if (f) fclose(f); }
};

static const char *Kind(mode_t mode)
{
    return S_ISDIR(mode) ? "a folder" : S_ISFIFO(mode) ? "a FIFO" : S_ISCHR(mode) || S_ISBLK(mode) ? "a device"
           : S_ISSOCK(mode) ? "a socket" : "of another kind";
}

// Opens path for reading; false with a message unless it is a regular file.
// Opened without blocking, so a FIFO is refused rather than waited on;
// flags adds to open's (O_NOFOLLOW).
static bool OpenInput(const std::string &path, File *in, int flags = 0)
{
    int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | flags);
    if (fd < 0 || fstat(fd, &in->st) != 0) {
        fprintf(stderr, "qvnpack: cannot read %s: %s\n", path.c_str(), strerror(errno));
        if (fd >= 0) close(fd);
        return false;
    }
    if (!S_ISREG(in->st.st_mode)) {
        fprintf(stderr, "qvnpack: cannot read %s: it is %s, not a regular file\n", path.c_str(), Kind(in->st.st_mode));
        close(fd);
        return false;
    }
    if (fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK) != 0 || !(in->f = fdopen(fd, "rb"))) {
        fprintf(stderr, "qvnpack: cannot read %s: %s\n", path.c_str(), strerror(errno));
        close(fd);
        return false;
    }
    return true;
}

// Reads up to kChunk bytes; *n is 0 at the end. False with a message on error.
static bool ReadChunk(File &in, const std::string &name, unsigned char *buf, size_t *n)
{
    *n = fread(buf, 1, kChunk, in.f);
    if (!ferror(in.f)) return true;
    fprintf(stderr, "qvnpack: cannot read %s: %s\n", name.c_str(), strerror(errno));
    return false;
}

// True, with a message, when dst (its status st) is the file in.
static bool SameFile(const File &in, const struct stat &st, const std::string &dst)
{
    if (st.st_dev != in.st.st_dev || st.st_ino != in.st.st_ino) return false;
    fprintf(stderr, "qvnpack: %s is the same file as its input; it is left as it is\n", dst.c_str());
    return true;
}

// Where a command writes. A regular file, or a name not yet taken, is
// written to a temporary file in the same folder and renamed onto it by
// Finish; on failure only that temporary is removed, so the old file stays
// whole. A device node or FIFO is written directly and never removed. Each
// failure is reported once, with the system's reason; the caller stops there.
struct Output {
    std::string path, target, temp;   // as given; the file replaced; the temporary
    FILE *f = 0;

    ~Output()
    {
        if (f) fclose(f);
        if (!temp.empty()) unlink(temp.c_str());
    }

    bool Fail(int err)
    {
        fprintf(stderr, "qvnpack: cannot write %s: %s\n", path.c_str(), strerror(err));
        return false;
    }

    // input: the file this output is made from, or null; an output that is
    // the same file is refused.
    bool Open(const std::string &dst, const File *input)
    {
        path = target = dst;
        mode_t mask = umask(0);
        umask(mask);
        mode_t mode = 0666 & ~mask;
        struct stat st;
        if (stat(dst.c_str(), &st) == 0) {
            if (input && SameFile(*input, st, dst)) return false;
            if (S_ISDIR(st.st_mode)) {
                fprintf(stderr, "qvnpack: cannot write %s: it is a folder\n", dst.c_str());
                return false;
            }
            if (!S_ISREG(st.st_mode)) {
                int fd = open(dst.c_str(), O_WRONLY | O_CLOEXEC);
                if (fd >= 0 && (f = fdopen(fd, "wb"))) return true;
                int err = errno;
                if (fd >= 0) close(fd);
                return Fail(err);
            }
            // Through a symbolic link: the file it names is replaced.
            if (char *real = realpath(dst.c_str(), 0)) target = real, free(real);
            mode = st.st_mode & 07777;
        }
        size_t slash = target.find_last_of('/') + 1;    // 0 without a slash
        std::string name = target.substr(0, slash) + "." + target.substr(slash) + ".XXXXXX";
        int fd = mkstemp(&name[0]);
        if (fd < 0) return Fail(errno);
        temp = name;
        if (fchmod(fd, mode) == 0 && (f = fdopen(fd, "wb"))) return true;
        int err = errno;
        close(fd);
        return Fail(err);
    }

    bool Write(const unsigned char *p, size_t n)
    {
        return fwrite(p, 1, n, f) == n || Fail(errno);
    }

    // Flushes, syncs a regular file to disk, closes and renames it into
    // place. False with a message if any of that fails (a full disk often
    // shows only here).
    bool Finish()
    {
        if (fflush(f) != 0 || (!temp.empty() && fsync(fileno(f)) != 0)) return Fail(errno);
        int rc = fclose(f);
        f = 0;
        if (rc != 0 || (!temp.empty() && rename(temp.c_str(), target.c_str()) != 0)) return Fail(errno);
        temp.clear();
        return true;
    }
};

// Progress of one large file on a terminal: "name  42%", rewritten in place.
struct Progress {
    const char *name;
    unsigned long long total;
    int shown = -1;
    bool on;
    Progress(const char *n, unsigned long long t) : name(n), total(t), on(t >= kProgressFrom && isatty(2)) {}
    void At(unsigned long long done)
    {
        if (!on) return;
        int pct = (int)(done * 100 / total);
        if (pct != shown) fprintf(stderr, "\r%s %3d%%", name, shown = pct);
    }
    ~Progress() { if (on) fprintf(stderr, "\n"); }
};

// Warns when the 32-bit setup may not find room for a packed file and its
// plain bytes (kSetupHolds).
static void WarnIfLarge(const std::string &name, unsigned long long packed, unsigned long long plain)
{
    if (packed + plain + 2048 > kSetupHolds)
        fprintf(stderr, "qvnpack: warning: %s: %llu packed and %llu plain bytes, more than the 32-bit setup "
                        "can be sure to hold at once (%llu together); it may install nothing\n",
                name.c_str(), packed, plain, kSetupHolds);
}

// Packs src into dst; false with a message on any failure (dst as it was).
static bool Pack(const std::string &src, const std::string &dst, std::string *sum = 0)
{
    File in;
    if (!OpenInput(src, &in)) return false;
    unsigned long long size = (unsigned long long)in.st.st_size;
    if (size == 0) {
        fprintf(stderr, "qvnpack: %s is empty: the packed format holds 1 byte or more (the setup refuses "
                        "a plain length of 0)\n", src.c_str());
        return false;
    }
    if (size > PACK_MAX_LENGTH) {
        fprintf(stderr, "qvnpack: %s is too large for the setup: %llu bytes, it unpacks at most %u\n",
                src.c_str(), size, PACK_MAX_LENGTH);
        return false;
    }
    Output out;
    if (!out.Open(dst, &in)) return false;
    // The same stream as zlib's compress: default level, window and memory.
    z_stream z;
    memset(&z, 0, sizeof z);
    int rc = deflateInit(&z, Z_DEFAULT_COMPRESSION);
    if (rc != Z_OK) {
        fprintf(stderr, "qvnpack: cannot pack %s: zlib's deflateInit failed: %s\n", src.c_str(), zError(rc));
        return false;
    }
    std::vector<unsigned char> ibuf(kChunk), obuf(kChunk);
    unsigned char header[4];
    PackPutLength(header, (unsigned)size);
    Sha256 sha;
    unsigned long long read = 0, written = 4;
    bool ok = out.Write(header, 4);
    sha.Add(header, 4);
    Progress progress(src.c_str(), size);
    int flush = Z_NO_FLUSH;
    while (ok && rc != Z_STREAM_END) {
        if (z.avail_in == 0 && flush == Z_NO_FLUSH) {
            size_t n;
            if (!(ok = ReadChunk(in, src, ibuf.data(), &n))) break;
            read += n;
            progress.At(read);
            z.next_in = ibuf.data(), z.avail_in = (uInt)n;
            if (n == 0 || read >= size) flush = Z_FINISH;
        }
        z.next_out = obuf.data(), z.avail_out = (uInt)kChunk;
        rc = deflate(&z, flush);
        if (rc == Z_STREAM_ERROR) {
            fprintf(stderr, "qvnpack: cannot pack %s: zlib's deflate failed\n", src.c_str());
            ok = false;
            break;
        }
        size_t have = kChunk - z.avail_out;
        ok = out.Write(obuf.data(), have);
        sha.Add(obuf.data(), have);
        written += have;
    }
    deflateEnd(&z);
    // The file changed under us, or packs to more than the setup reads.
    if (ok && read != size) {
        fprintf(stderr, "qvnpack: %s changed while it was packed\n", src.c_str());
        ok = false;
    } else if (ok && written > PACK_MAX_LENGTH) {
        fprintf(stderr, "qvnpack: %s packs to %llu bytes, more than the setup reads (%u)\n",
                src.c_str(), written, PACK_MAX_LENGTH);
        ok = false;
    }
    if (!ok || !out.Finish()) return false;
    WarnIfLarge(src, written, size);
    if (sum) *sum = sha.Hex();
    return true;
}

// Inflates the packed file src as the setup does, to dst unless null.
// Accepts exactly what the setup accepts: a length of 1 to PACK_MAX_LENGTH
// that the stream can hold, a packed file the setup can read whole, and one
// complete zlib stream that inflates to that length. Returns false with a
// message saying why not (dst as it was).
static bool Unpack(const std::string &src, const char *dst)
{
    File in;
    if (!OpenInput(src, &in)) return false;
    unsigned long long size = (unsigned long long)in.st.st_size;
    unsigned char header[4];
    if (size < 4 || fread(header, 1, 4, in.f) != 4) {
        fprintf(stderr, "qvnpack: %s is not a valid packed file: shorter than its header\n", src.c_str());
        return false;
    }
    unsigned length = PackGetLength(header);
    if (size > PACK_MAX_LENGTH || !PackLengthPlausible(length, size - 4)) {
        fprintf(stderr, "qvnpack: %s is not a valid packed file: the setup refuses a plain length of %u "
                        "from %llu packed bytes\n", src.c_str(), length, size);
        return false;
    }
    Output out;
    if (dst && !out.Open(dst, &in)) return false;
    z_stream z;
    memset(&z, 0, sizeof z);
    int rc = inflateInit(&z);
    if (rc != Z_OK) {
        fprintf(stderr, "qvnpack: cannot unpack %s: zlib's inflateInit failed: %s\n", src.c_str(), zError(rc));
        return false;
    }
    std::vector<unsigned char> ibuf(kChunk), obuf(kChunk);
    unsigned long long produced = 0;
    bool ok = true, corrupt = false, eof = false;
    Progress progress(src.c_str(), length);
    while (ok && rc != Z_STREAM_END) {
        if (z.avail_in == 0) {
            size_t n;
            if (!(ok = ReadChunk(in, src, ibuf.data(), &n))) break;
            if (n == 0) { eof = true; break; }
            z.next_in = ibuf.data(), z.avail_in = (uInt)n;
        }
        z.next_out = obuf.data(), z.avail_out = (uInt)kChunk;
        rc = inflate(&z, Z_NO_FLUSH);
        if (rc != Z_OK && rc != Z_STREAM_END && rc != Z_BUF_ERROR) { corrupt = true; break; }
        size_t have = kChunk - z.avail_out;
        produced += have;
        if (produced > length) break;
        if (dst) ok = out.Write(obuf.data(), have);
        progress.At(produced);
    }
    inflateEnd(&z);
    if (!ok) return false;
    if (corrupt || eof) {
        fprintf(stderr, "qvnpack: %s is not a valid packed file: the stream is %s\n", src.c_str(),
                corrupt ? "corrupt" : "cut short");
        return false;
    }
    if (produced != length) {
        fprintf(stderr, "qvnpack: %s is not a valid packed file: its header says %u bytes, the stream "
                        "holds %s\n", src.c_str(), length, produced > length ? "more" : "fewer");
        return false;
    }
    if (dst && !out.Finish()) return false;
    WarnIfLarge(src, size, length);
    return true;
}

// Reads all of in, to out unless null; its SHA-256 into *sum.
static bool Stream(File &in, const std::string &name, Output *out, std::string *sum)
{
    std::vector<unsigned char> buf(kChunk);
    Sha256 sha;
    size_t n;
    do {
        if (!ReadChunk(in, name, buf.data(), &n) || (out && !out->Write(buf.data(), n))) return false;
        sha.Add(buf.data(), n);
    } while (n > 0);
    *sum = sha.Hex();
    return true;
}

// Copies src to dst as it is; its SHA-256 into *sum.
static bool Copy(const std::string &src, const std::string &dst, std::string *sum)
{
    File in;
    Output out;
    return OpenInput(src, &in) && out.Open(dst, &in) && Stream(in, src, &out, sum) && out.Finish();
}

static bool WriteText(const std::string &path, const std::string &s)
{
    Output out;
    return out.Open(path, 0) && out.Write((const unsigned char *)s.data(), s.size()) && out.Finish();
}

// mkdir -p.
static bool MakeFolders(const std::string &path)
{
    for (size_t i = 1; i <= path.size(); i++)
        if (i == path.size() || path[i] == '/')
            if (mkdir(path.substr(0, i).c_str(), 0777) != 0 && errno != EEXIST) return false;
    struct stat st;
    return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

static std::string BaseName(const std::string &path)
{
    size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// Deterministic filler with some structure, so that it packs like real data.
static std::string Filler(const char *magic, size_t n, unsigned seed)
{
    std::string s = magic;
    while (s.size() < n) {
        seed = seed * 1664525u + 1013904223u;
        if ((seed >> 29) == 0) s += std::string(8 + (seed >> 20) % 24, (char)(seed >> 8));
        else s += (char)(seed >> 16);
    }
    s.resize(n);
    return s;
}

static bool Sample(const std::string &dir)
{
    const std::string crlf = "\r\n";
    std::string ini = "[Ostrel]" + crlf + "Server=Vell" + crlf + "Clips=KQ" + crlf + "Language=English" + crlf;
    std::string pdf = "%PDF-1.4" + crlf + "1 0 obj << /Type /Catalog /Pages 2 0 R >> endobj" + crlf +
                      "2 0 obj << /Type /Pages /Kids [] /Count 0 >> endobj" + crlf +
                      "trailer << /Root 1 0 R >>" + crlf + "%%EOF" + crlf;
    std::string license =
        "QUORVANE END USER LICENSE AGREEMENT" + crlf + crlf +
        "1. You may install and use one copy of Quorvane on one computer." + crlf +
        "2. You may not rent, lease or lend the software." + crlf +
        "3. The software is provided as is, without warranty of any kind." + crlf + crlf +
        "Click Yes to accept these terms." + crlf;
    std::string readme =
        "Thank you for choosing Quorvane." + crlf +
        "Start Ostrel from the Start Menu folder Quorvane." + crlf;
    struct { const char *name; std::string data; } files[] = {
        {"Ostrel.exe", Filler("MZ", 24576, 1)},
        {"Ov.INI", ini},
        {"VELLSVR.exe", Filler("MZ", 12288, 2)},
        {"KQSVR.exe", Filler("MZ", 8192, 3)},
        {"OsGuide.pdf", pdf},
        {"KQ1.avi", Filler("RIFF", 32768, 4)},
        {"KQ2.avi", Filler("RIFF", 24576, 5)},
        {"KQ3.avi", Filler("RIFF", 16384, 6)},
        {PRODUCT_LICENSE, license},
        {PRODUCT_READ_FIRST, readme},
    };
    if (!MakeFolders(dir)) {
        fprintf(stderr, "qvnpack: cannot create the folder %s\n", dir.c_str());
        return false;
    }
    for (const auto &f : files)
        if (!WriteText(dir + "/" + f.name, f.data)) return false;
    return true;
}

// ---- The setup program's list and signatures ------------------------------

// A PE image in memory, read with every offset checked.
struct Image {
    std::vector<unsigned char> bytes;
    size_t u16(size_t at) const { return at + 2 <= bytes.size() ? bytes[at] | bytes[at + 1] << 8 : 0; }
    size_t u32(size_t at) const { return at + 4 <= bytes.size() ? (size_t)PackGetLength(&bytes[at]) : 0; }
    size_t optional = 0;                        // the optional header; 0: not a PE image
    bool Parse()
    {
        size_t pe = u32(0x3C);
        if (u16(0) != 0x5A4D || u32(pe) != 0x4550 || pe == 0) return false;
        optional = pe + 24;
        return u16(optional) == 0x10B || u16(optional) == 0x20B;
    }
    // Data directory i: its address and size.
    size_t DirRva(int i) const { return u32(optional + (u16(optional) == 0x20B ? 112 : 96) + 8 * i); }
    size_t DirSize(int i) const { return u32(optional + (u16(optional) == 0x20B ? 116 : 100) + 8 * i); }
    // The file offset of length bytes at rva; 0 when no section holds them.
    size_t Offset(size_t rva, size_t length) const
    {
        size_t pe = optional - 24, table = optional + u16(pe + 20);
        for (size_t i = 0, n = u16(pe + 6); i < n; i++) {
            size_t sec = table + 40 * i, va = u32(sec + 12), raw = u32(sec + 16), at = u32(sec + 20);
            if (rva >= va && rva - va + length <= raw && at + raw <= bytes.size()) return at + rva - va;
        }
        return 0;
    }
    // In the resource directory at dir (relative to the section at root), the
    // entry with this id: a subdirectory (sub) or a data entry.
    size_t Find(size_t root, size_t dir, unsigned id, bool sub) const
    {
        size_t named = u16(root + dir + 12), ids = u16(root + dir + 14);
        for (size_t e = root + dir + 16 + 8 * named, i = 0; i < ids; i++, e += 8) {
            size_t to = u32(e + 4);
            if (u32(e) == id && ((to >> 31) != 0) == sub) return to & 0x7FFFFFFF;
        }
        return SIZE_MAX;
    }
    // The file offset of the medium's list (RCDATA IDR_MEDIUM_LIST, as the
    // build lays it out); 0 when the image has none.
    size_t List() const
    {
        size_t root = Offset(DirRva(2), 16);
        if (!root) return 0;
        size_t type = Find(root, 0, 10, true), name = type == SIZE_MAX ? type : Find(root, type, 300, true);
        if (name == SIZE_MAX || u16(root + name + 14) == 0) return 0;
        size_t first = u32(root + name + 16 + 8 * u16(root + name + 12) + 4);
        if (first >> 31) return 0;
        size_t at = Offset(u32(root + first), MEDLIST_SIZE);
        if (!at || u32(root + first + 4) < MEDLIST_SIZE || memcmp(&bytes[at], MEDLIST_MAGIC, 8) != 0) return 0;
        return at;
    }
    // The image checksum as Windows computes it, stored where the linker
    // put one.
    void Checksum()
    {
        size_t field = optional + 64;
        if (u32(field) == 0) return;
        unsigned long long sum = 0;
        for (size_t i = 0; i < bytes.size(); i += 2) {
            if (i == field || i == field + 2) continue;
            sum += bytes[i] | (i + 1 < bytes.size() ? bytes[i + 1] << 8 : 0);
            sum = (sum & 0xFFFF) + (sum >> 16);
        }
        PackPutLength(&bytes[field], (unsigned)(sum + bytes.size()));
    }
};

static bool ReadImage(const std::string &path, Image *image)
{
    File in;
    if (!OpenInput(path, &in)) return false;
    image->bytes.resize((size_t)in.st.st_size);
    if (fread(image->bytes.data(), 1, image->bytes.size(), in.f) != image->bytes.size()) {
        fprintf(stderr, "qvnpack: cannot read %s: %s\n", path.c_str(), ferror(in.f) ? strerror(errno) : "cut short");
        return false;
    }
    return true;
}

// The files a list holds, by name, with their digests in hexadecimal.
typedef std::map<std::string, std::string> Sums;

static bool FillList(Image &image, const std::string &path, const Sums &sums)
{
    size_t at = image.Parse() ? image.List() : 0;
    if (!at) {
        fprintf(stderr, "qvnpack: %s has no room for the medium's list: not a setup program built with it\n",
                path.c_str());
        return false;
    }
    if (sums.size() > MEDLIST_ROOM) {
        fprintf(stderr, "qvnpack: %zu files for a list of %d\n", sums.size(), MEDLIST_ROOM);
        return false;
    }
    unsigned char *list = &image.bytes[at];
    memset(list + 8, 0, MEDLIST_SIZE - 8);
    PackPutLength(list + 8, (unsigned)sums.size());
    unsigned char *entry = list + MEDLIST_HEADER;
    for (const auto &e : sums) {
        memcpy(entry, e.first.data(), e.first.size());
        std::string digest = Sha256::FromHex(e.second);
        memcpy(entry + MEDLIST_NAME, digest.data(), MEDLIST_DIGEST);
        entry += MEDLIST_ENTRY;
    }
    image.Checksum();
    return true;
}

// How programs are signed: osslsigncode with a certificate and key, or the
// release engineer's own command; neither: not signed.
struct Signer {
    std::string cert, key, command;
    bool On() const { return !cert.empty() || !command.empty(); }
};

static std::string ShellQuoted(const std::string &s)
{
    std::string q = "'";
    for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

// Runs argv; true when it exits 0. What it prints is shown only when it
// fails, on standard error.
static bool Run(const std::vector<std::string> &argv)
{
    std::vector<char *> args;
    for (const std::string &a : argv) args.push_back((char *)a.c_str());
    args.push_back(0);
    FILE *said = tmpfile();
    if (!said) return false;
    fflush(0);
    pid_t pid = fork();
    if (pid == 0) {
        dup2(fileno(said), 1);
        dup2(fileno(said), 2);
        execvp(args[0], args.data());
        fprintf(stderr, "qvnpack: cannot run %s: %s\n", args[0], strerror(errno));
        _exit(127);
    }
    int status = 0;
    bool ok = pid > 0 && waitpid(pid, &status, 0) == pid && WIFEXITED(status) && WEXITSTATUS(status) == 0;
    if (!ok) {
        rewind(said);
        char buf[4096];
        for (size_t n; (n = fread(buf, 1, sizeof buf, said)) > 0;) fwrite(buf, 1, n, stderr);
    }
    fclose(said);
    return ok;
}

// Signs the program at src into dst; dst is written whole or not at all.
// The signer writes into a folder of its own beside dst, so a failure
// leaves what was there.
static bool Sign(const Signer &signer, const std::string &src, const std::string &dst)
{
    size_t slash = dst.find_last_of('/') + 1;
    std::string folder = dst.substr(0, slash) + ".qvnsign.XXXXXX";
    if (!mkdtemp(&folder[0])) {
        fprintf(stderr, "qvnpack: cannot sign %s: %s\n", dst.c_str(), strerror(errno));
        return false;
    }
    std::string out = folder + "/" + dst.substr(slash);
    std::vector<std::string> argv = {"osslsigncode", "sign", "-certs", signer.cert, "-key", signer.key,
                                     "-h", "sha256", "-in", src, "-out", out};
    if (!signer.command.empty()) {
        std::string cmd = signer.command;
        for (size_t at; (at = cmd.find("{in}")) != std::string::npos;) cmd.replace(at, 4, ShellQuoted(src));
        for (size_t at; (at = cmd.find("{out}")) != std::string::npos;) cmd.replace(at, 5, ShellQuoted(out));
        argv = {"/bin/sh", "-c", cmd};
    }
    struct stat st;
    bool ok = Run(argv) && stat(out.c_str(), &st) == 0 && S_ISREG(st.st_mode) && st.st_size > 0;
    if (!ok) fprintf(stderr, "qvnpack: signing %s failed\n", dst.c_str());
    else if (rename(out.c_str(), dst.c_str()) != 0) ok = false, fprintf(stderr, "qvnpack: cannot write %s: %s\n", dst.c_str(), strerror(errno));
    unlink(out.c_str());
    rmdir(folder.c_str());
    return ok;
}

// SHA-256 of a whole file, in hexadecimal.
static bool SumOf(const std::string &path, std::string *sum)
{
    File in;
    return OpenInput(path, &in, O_NOFOLLOW) && Stream(in, path, 0, sum);
}

// Puts the program src on the medium as dst, signed when asked; its
// SHA-256 as it lies there into *sum.
static bool PutProgram(const Signer &signer, const std::string &src, const std::string &dst, std::string *sum)
{
    if (!signer.On()) return Copy(src, dst, sum);
    File in;
    struct stat st;
    if (!OpenInput(src, &in) || (stat(dst.c_str(), &st) == 0 && SameFile(in, st, dst))) return false;
    return Sign(signer, src, dst) && SumOf(dst, sum);
}

static bool Medium(const std::string &product, const std::string &medium, char **extra, int nExtra,
                   const Signer &signer)
{
    if (!MakeFolders(medium)) {
        fprintf(stderr, "qvnpack: cannot create the folder %s\n", medium.c_str());
        return false;
    }
    Sums sums, listed;
    for (const std::string &name : kPacked)
        if (!Pack(product + "/" + name, medium + "/" + name, &sums[name])) return false;
    // The first file is Brannic.dll on the medium, whatever its own name;
    // the setup program comes last, when every digest of its list is known.
    const char *setup = 0;
    for (int i = 0; i < nExtra; i++) {
        std::string name = i == 0 ? kBrannic : BaseName(extra[i]);
        if (sums.count(name) || name == "SHA256SUMS" || (name == kSetup && setup)) {
            fprintf(stderr, "qvnpack: %s would replace the medium's %s\n", extra[i], name.c_str());
            return false;
        }
        if (name == kSetup) {
            setup = extra[i];
            continue;
        }
        std::string dst = medium + "/" + name;
        if (!(i == 0 ? PutProgram(signer, extra[i], dst, &sums[name]) : Copy(extra[i], dst, &sums[name])))
            return false;
    }
    // The list names what the setup reads from its medium.
    for (const auto &e : sums)
        if (e.first == kBrannic || e.first == kIcon ||
            std::find(kPacked.begin(), kPacked.end(), e.first) != kPacked.end())
            listed.insert(e);
    if (setup) {
        // The list goes into a copy beside the medium's setup program, which
        // is then signed or renamed into place.
        Image image;
        std::string dst = medium + "/" + kSetup, unsigned_ = medium + "/." + kSetup + ".unsigned";
        File in;
        struct stat st;
        if (!OpenInput(setup, &in) || (stat(dst.c_str(), &st) == 0 && SameFile(in, st, dst))) return false;
        Output out;
        bool ok = ReadImage(setup, &image) && FillList(image, setup, listed) &&
                  out.Open(signer.On() ? unsigned_ : dst, 0) && out.Write(image.bytes.data(), image.bytes.size()) &&
                  out.Finish() && (!signer.On() || Sign(signer, unsigned_, dst)) && SumOf(dst, &sums[kSetup]);
        if (signer.On()) unlink(unsigned_.c_str());
        if (!ok) return false;
    }
    std::string list;
    for (const auto &s : sums) list += s.second + "  " + s.first + "\n";
    return WriteText(medium + "/SHA256SUMS", list);
}

// A name SHA256SUMS may give: a file directly in the medium folder.
static bool PlainName(const std::string &name)
{
    return !name.empty() && name != "." && name != ".." && name.find('/') == std::string::npos;
}

// Every packed file of the plan unpacks as the setup would unpack it, and
// SHA256SUMS lists them and Brannic.dll and matches every file it lists.
// Only plain names of regular files in the medium folder are read; any other
// line is a fault. Reports each fault.
static bool Verify(const std::string &medium, const std::string &ca)
{
    bool ok = true;
    for (const std::string &name : kPacked)
        if (!Unpack(medium + "/" + name, 0)) ok = false;
    File f;
    if (!OpenInput(medium + "/SHA256SUMS", &f)) return false;
    std::map<std::string, std::string> listed;
    char line[4096];
    while (fgets(line, sizeof line, f.f)) {
        std::string l(line);
        while (!l.empty() && (l.back() == '\n' || l.back() == '\r')) l.pop_back();
        if (l.size() < 67 || l.find_first_not_of("0123456789abcdef") != 64 || l[64] != ' ' ||
            (l[65] != ' ' && l[65] != '*')) {
            fprintf(stderr, "qvnpack: SHA256SUMS: bad line %s\n", l.c_str());
            ok = false;
        } else if (!PlainName(l.substr(66))) {
            fprintf(stderr, "qvnpack: SHA256SUMS: %s is not a name in the medium folder\n", l.c_str() + 66);
            ok = false;
        } else {
            listed[l.substr(66)] = l.substr(0, 64);
        }
    }
    std::vector<std::string> required(kPacked);
    required.push_back(kBrannic);
    for (const std::string &name : required)
        if (!listed.count(name)) {
            fprintf(stderr, "qvnpack: SHA256SUMS does not list %s\n", name.c_str());
            ok = false;
        }
    for (const auto &e : listed) {
        std::string path = medium + "/" + e.first, sum;
        struct stat st;
        File in;
        if (lstat(path.c_str(), &st) == 0 && !S_ISREG(st.st_mode)) {
            fprintf(stderr, "qvnpack: %s: listed in SHA256SUMS, is %s\n", e.first.c_str(),
                    S_ISLNK(st.st_mode) ? "a symbolic link" : Kind(st.st_mode));
            ok = false;
        } else if (!OpenInput(path, &in, O_NOFOLLOW) || !Stream(in, path, 0, &sum)) {
            ok = false;
        } else if (sum != e.second) {
            fprintf(stderr, "qvnpack: %s: SHA-256 differs from SHA256SUMS\n", e.first.c_str());
            ok = false;
        }
    }
    // The setup program's own list, where it has one, must find the medium
    // as it is; and both programs' signatures.
    std::string setup = medium + "/" + kSetup;
    Image image;
    size_t at = 0;
    if (access(setup.c_str(), F_OK) == 0 && ReadImage(setup, &image) && image.Parse() && (at = image.List())) {
        unsigned n = PackGetLength(&image.bytes[at + 8]);
        if (n == 0) printf("%s: its list is empty: it trusts whatever lies beside it\n", kSetup);
        for (unsigned i = 0; i < n && i < MEDLIST_ROOM; i++) {
            const unsigned char *e = &image.bytes[at + MEDLIST_HEADER + i * MEDLIST_ENTRY];
            std::string name((const char *)e, strnlen((const char *)e, MEDLIST_NAME)), sum;
            if (!PlainName(name) || !SumOf(medium + "/" + name, &sum) ||
                Sha256::FromHex(sum) != std::string((const char *)e + MEDLIST_NAME, MEDLIST_DIGEST)) {
                fprintf(stderr, "qvnpack: %s: the setup program's list does not match it\n", name.c_str());
                ok = false;
            }
        }
        if (n > MEDLIST_ROOM) fprintf(stderr, "qvnpack: %s: its list is damaged\n", kSetup), ok = false;
    }
    for (const char *program : {kSetup, kBrannic}) {
        std::string path = medium + "/" + program;
        Image pe;
        if (access(path.c_str(), F_OK) != 0) continue;
        if (!ca.empty()) {
            if (!Run({"osslsigncode", "verify", "-CAfile", ca, "-in", path})) {
                fprintf(stderr, "qvnpack: %s: no valid signature that chains to %s\n", program, ca.c_str());
                ok = false;
            }
        } else if (ReadImage(path, &pe) && pe.Parse()) {
            printf("%s: %s\n", program, pe.DirSize(4) ? "signed (not checked: no --ca)" : "not signed");
        }
    }
    if (ok) printf("%s: %zu files verified\n", medium.c_str(), listed.size());
    return ok;
}

int main(int argc, char **argv)
{
    // The options, wherever they stand; the rest stays in order.
    Signer signer;
    std::string ca;
    int n = 0;
    bool bad = false;
    for (int i = 0; i < argc; i++) {
        std::string a = argv[i];
        if (a == "--sign" && i + 2 < argc) signer.cert = argv[++i], signer.key = argv[++i];
        else if (a == "--sign-command" && i + 1 < argc) signer.command = argv[++i];
        else if (a == "--ca" && i + 1 < argc) ca = argv[++i];
        else if (a.rfind("--", 0) == 0) bad = true;
        else argv[n++] = argv[i];
    }
    argc = bad || (!signer.cert.empty() && !signer.command.empty()) ? 0 : n;
    std::string cmd = argc > 1 ? argv[1] : "";
    bool plain = !signer.On() && ca.empty(), ok;
    if (cmd == "pack" && argc == 4 && plain)
        ok = Pack(argv[2], argv[3]);
    else if (cmd == "unpack" && argc == 4 && plain)
        ok = Unpack(argv[2], argv[3]);
    else if (cmd == "sample" && argc == 3 && plain)
        ok = Sample(argv[2]);
    else if (cmd == "medium" && argc >= 5 && ca.empty())
        ok = Medium(argv[2], argv[3], argv + 4, argc - 4, signer);
    else if (cmd == "verify" && argc == 3 && !signer.On())
        ok = Verify(argv[2], ca);
    else {
        fprintf(stderr, "usage: qvnpack pack|unpack SOURCE DESTINATION\n"
                        "       qvnpack sample FOLDER\n"
                        "       qvnpack medium PRODUCT MEDIUM BRANNIC [FILE...] [--sign CERT KEY | --sign-command 'CMD {in} {out}']\n"
                        "       qvnpack verify MEDIUM [--ca CERT]\n"
                        "A file whose packed and plain sizes together pass %llu bytes (1 GiB) draws a\n"
                        "warning: the 32-bit setup holds both at once and may find no room for them.\n",
                kSetupHolds);
        return 2;
    }
    return ok ? 0 : 1;
}
