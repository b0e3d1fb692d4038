// qvnpack: makes and reads packed files on Linux, and lays out and checks a
// distribution medium.
//
//   qvnpack pack SOURCE DESTINATION
//   qvnpack unpack SOURCE DESTINATION
//   qvnpack sample FOLDER                 write the built-in sample product
//   qvnpack medium PRODUCT MEDIUM BRANNIC [FILE...]
//       create MEDIUM, pack every product file of the install plan and both
//       documents from PRODUCT into it, copy BRANNIC (Brannic.dll) as it is,
//       copy each further FILE (the setup program, iQvn.exe) as it is, and
//       write SHA256SUMS (sha256sum -c checks it) over all of them.
//   qvnpack verify MEDIUM
//       every packed file of the plan unpacks as the setup would unpack it,
//       to the length its header gives, and SHA256SUMS matches every file.
//
// Both directions stream through zlib's deflate and inflate in fixed chunks,
// so memory stays small whatever the file's size. The packed format is the
// setup's: the plain length (4 bytes, little-endian) and one zlib stream,
// made as zlib's compress makes it; files the setup cannot unpack are refused.
#include <errno.h>
#include <stdio.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>
#include <algorithm>
#include <map>
#include <string>
#include <vector>
#include "packcore.h"

// The files the setup unpacks, in install order, then its two documents.
static const char *const kPacked[] = {
    "Ostrel.exe", "Ov.INI", "VELLSVR.exe", "KQSVR.exe", "OsGuide.pdf",
    "KQ1.avi", "KQ2.avi", "KQ3.avi", "LicenseQvn.txt", "ReadfirstQvn.txt",
};

static const size_t kChunk = 256 * 1024;
// Files from this size on show their progress on a terminal.
static const unsigned long long kProgressFrom = 64ull << 20;

// ---- SHA-256 (FIPS 180-4), for SHA256SUMS ---------------------------------

struct Sha256 {
    uint32_t h[8] = {0x6a09e667, 0xbb67ae85, 0x3c6ef372, 0xa54ff53a,
                     0x510e527f, 0x9b05688c, 0x1f83d9ab, 0x5be0cd19};
    unsigned char block[64];
    size_t used = 0;
    unsigned long long total = 0;

    static uint32_t Rot(uint32_t x, int n) { return x >> n | x << (32 - n); }

    void Compress(const unsigned char *p)
    {
        static const uint32_t k[64] = {
            0x428a2f98, 0x71374491, 0xb5c0fbcf, 0xe9b5dba5, 0x3956c25b, 0x59f111f1, 0x923f82a4, 0xab1c5ed5,
            0xd807aa98, 0x12835b01, 0x243185be, 0x550c7dc3, 0x72be5d74, 0x80deb1fe, 0x9bdc06a7, 0xc19bf174,
            0xe49b69c1, 0xefbe4786, 0x0fc19dc6, 0x240ca1cc, 0x2de92c6f, 0x4a7484aa, 0x5cb0a9dc, 0x76f988da,
            0x983e5152, 0xa831c66d, 0xb00327c8, 0xbf597fc7, 0xc6e00bf3, 0xd5a79147, 0x06ca6351, 0x14292967,
            0x27b70a85, 0x2e1b2138, 0x4d2c6dfc, 0x53380d13, 0x650a7354, 0x766a0abb, 0x81c2c92e, 0x92722c85,
            0xa2bfe8a1, 0xa81a664b, 0xc24b8b70, 0xc76c51a3, 0xd192e819, 0xd6990624, 0xf40e3585, 0x106aa070,
            0x19a4c116, 0x1e376c08, 0x2748774c, 0x34b0bcb5, 0x391c0cb3, 0x4ed8aa4a, 0x5b9cca4f, 0x682e6ff3,
            0x748f82ee, 0x78a5636f, 0x84c87814, 0x8cc70208, 0x90befffa, 0xa4506ceb, 0xbef9a3f7, 0xc67178f2};
        uint32_t w[64];
        for (int i = 0; i < 16; i++)
            w[i] = (uint32_t)p[4 * i] << 24 | (uint32_t)p[4 * i + 1] << 16 | (uint32_t)p[4 * i + 2] << 8 | p[4 * i + 3];
        for (int i = 16; i < 64; i++) {
            uint32_t s0 = Rot(w[i - 15], 7) ^ Rot(w[i - 15], 18) ^ (w[i - 15] >> 3);
            uint32_t s1 = Rot(w[i - 2], 17) ^ Rot(w[i - 2], 19) ^ (w[i - 2] >> 10);
            w[i] = w[i - 16] + s0 + w[i - 7] + s1;
        }
        uint32_t a = h[0], b = h[1], c = h[2], d = h[3], e = h[4], f = h[5], g = h[6], hh = h[7];
        for (int i = 0; i < 64; i++) {
            uint32_t t1 = hh + (Rot(e, 6) ^ Rot(e, 11) ^ Rot(e, 25)) + ((e & f) ^ (~e & g)) + k[i] + w[i];
            uint32_t t2 = (Rot(a, 2) ^ Rot(a, 13) ^ Rot(a, 22)) + ((a & b) ^ (a & c) ^ (b & c));
            hh = g; g = f; f = e; e = d + t1; d = c; c = b; b = a; a = t1 + t2;
        }
        h[0] += a; h[1] += b; h[2] += c; h[3] += d; h[4] += e; h[5] += f; h[6] += g; h[7] += hh;
    }

    void Add(const unsigned char *p, size_t n)
    {
        total += n;
        while (n > 0) {
            size_t take = std::min(n, sizeof block - used);
            memcpy(block + used, p, take);
            used += take, p += take, n -= take;
            if (used == sizeof block) Compress(block), used = 0;
        }
    }

    std::string Hex()
    {
        unsigned long long bits = total * 8;
        unsigned char pad[72] = {0x80};
        size_t padLen = (used < 56 ? 56 : 120) - used;
        for (int i = 0; i < 8; i++) pad[padLen + i] = (unsigned char)(bits >> (56 - 8 * i));
        Add(pad, padLen + 8);
        static const char digits[] = "0123456789abcdef";
        std::string out;
        for (uint32_t v : h)
            for (int shift = 28; shift >= 0; shift -= 4) out += digits[(v >> shift) & 15];
        return out;
    }
};

// ---- Files --------------------------------------------------------------

struct File {
    FILE *f = 0;
    ~File() { if (f) fclose(f); }
};

static bool FileSize(FILE *f, unsigned long long *size)
{
    struct stat st;
    if (fstat(fileno(f), &st) != 0 || !S_ISREG(st.st_mode)) return false;
    *size = (unsigned long long)st.st_size;
    return true;
}

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

// Packs src into dst; false with a message on any failure (dst removed).
static bool Pack(const std::string &src, const std::string &dst, std::string *sum = 0)
{
    File in, out;
    unsigned long long size = 0;
    if (!(in.f = fopen(src.c_str(), "rb")) || !FileSize(in.f, &size) || size == 0) {
        fprintf(stderr, "qvnpack: cannot read %s\n", src.c_str());
        return false;
    }
    if (size > PACK_MAX_LENGTH) {
        fprintf(stderr, "qvnpack: %s is too large for the setup: %llu bytes, it unpacks at most %u\n",
                src.c_str(), size, PACK_MAX_LENGTH);
        return false;
    }
    if (!(out.f = fopen(dst.c_str(), "wb"))) {
        fprintf(stderr, "qvnpack: cannot write %s\n", dst.c_str());
        return false;
    }
    // The same stream as zlib's compress: default level, window and memory.
    z_stream z;
    memset(&z, 0, sizeof z);
    if (deflateInit(&z, Z_DEFAULT_COMPRESSION) != Z_OK) return false;
    std::vector<unsigned char> ibuf(kChunk), obuf(kChunk);
    unsigned char header[4];
    PackPutLength(header, (unsigned)size);
    Sha256 sha;
    unsigned long long read = 0, written = 4;
    bool ok = fwrite(header, 1, 4, out.f) == 4;
    sha.Add(header, 4);
    Progress progress(src.c_str(), size);
    int flush = Z_NO_FLUSH, rc = Z_OK;
    while (ok && rc != Z_STREAM_END) {
        if (z.avail_in == 0 && flush == Z_NO_FLUSH) {
            size_t n = fread(ibuf.data(), 1, kChunk, in.f);
            if (ferror(in.f)) { ok = false; break; }
            read += n;
            progress.At(read);
            z.next_in = ibuf.data(), z.avail_in = (uInt)n;
            if (n == 0 || read >= size) flush = Z_FINISH;
        }
        z.next_out = obuf.data(), z.avail_out = (uInt)kChunk;
        rc = deflate(&z, flush);
        if (rc == Z_STREAM_ERROR) { ok = false; break; }
        size_t have = kChunk - z.avail_out;
        ok = fwrite(obuf.data(), 1, have, out.f) == have;
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
    } else if (!ok) {
        fprintf(stderr, "qvnpack: cannot pack %s to %s\n", src.c_str(), dst.c_str());
    }
    ok = fclose(out.f) == 0 && ok;
    out.f = 0;
    if (!ok) remove(dst.c_str());
    else if (sum) *sum = sha.Hex();
    return ok;
}

// Inflates the packed file src as the setup does, to dst unless null.
// Accepts exactly what the setup accepts: a length of 1 to PACK_MAX_LENGTH
// that the stream can hold, a packed file the setup can read whole, and one
// complete zlib stream that inflates to that length. Returns false with a
// message saying why not (dst removed).
static bool Unpack(const std::string &src, const char *dst, std::string *sum = 0)
{
    File in, out;
    unsigned long long size = 0;
    unsigned char header[4];
    if (!(in.f = fopen(src.c_str(), "rb")) || !FileSize(in.f, &size)) {
        fprintf(stderr, "qvnpack: cannot read %s\n", src.c_str());
        return false;
    }
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
    if (dst && !(out.f = fopen(dst, "wb"))) {
        fprintf(stderr, "qvnpack: cannot write %s\n", dst);
        return false;
    }
    z_stream z;
    memset(&z, 0, sizeof z);
    if (inflateInit(&z) != Z_OK) return false;
    std::vector<unsigned char> ibuf(kChunk), obuf(kChunk);
    Sha256 sha;
    unsigned long long produced = 0;
    int rc = Z_OK;
    bool ok = true, eof = false;
    Progress progress(src.c_str(), length);
    while (ok && rc != Z_STREAM_END) {
        if (z.avail_in == 0) {
            size_t n = fread(ibuf.data(), 1, kChunk, in.f);
            if (ferror(in.f)) { ok = false; break; }
            if (n == 0) { eof = true; break; }
            z.next_in = ibuf.data(), z.avail_in = (uInt)n;
        }
        z.next_out = obuf.data(), z.avail_out = (uInt)kChunk;
        rc = inflate(&z, Z_NO_FLUSH);
        if (rc != Z_OK && rc != Z_STREAM_END && rc != Z_BUF_ERROR) { ok = false; break; }
        size_t have = kChunk - z.avail_out;
        produced += have;
        if (produced > length) break;
        if (out.f && fwrite(obuf.data(), 1, have, out.f) != have) {
            fprintf(stderr, "qvnpack: cannot write %s\n", dst);
            inflateEnd(&z);
            fclose(out.f), out.f = 0, remove(dst);
            return false;
        }
        sha.Add(obuf.data(), have);
        progress.At(produced);
    }
    inflateEnd(&z);
    bool valid = ok && rc == Z_STREAM_END && produced == length;
    if (!valid && (!ok || eof))
        fprintf(stderr, "qvnpack: %s is not a valid packed file: the stream is %s\n", src.c_str(),
                !ok ? "corrupt" : "cut short");
    else if (!valid)
        fprintf(stderr, "qvnpack: %s is not a valid packed file: its header says %u bytes, the stream "
                        "holds %s\n", src.c_str(), length, produced > length ? "more" : "fewer");
    if (out.f) {
        valid = fclose(out.f) == 0 && valid;
        out.f = 0;
        if (!valid) remove(dst);
    }
    if (valid && sum) *sum = sha.Hex();
    return valid;
}

// Copies src to dst as it is; its SHA-256 into *sum.
static bool Copy(const std::string &src, const std::string &dst, std::string *sum)
{
    File in, out;
    bool ok = (in.f = fopen(src.c_str(), "rb")) && (out.f = fopen(dst.c_str(), "wb"));
    std::vector<unsigned char> buf(kChunk);
    Sha256 sha;
    size_t n;
    while (ok && (n = fread(buf.data(), 1, kChunk, in.f)) > 0) {
        ok = fwrite(buf.data(), 1, n, out.f) == n;
        sha.Add(buf.data(), n);
    }
    ok = ok && !ferror(in.f);
    if (out.f) ok = fclose(out.f) == 0 && ok, out.f = 0;
    if (!ok) {
        fprintf(stderr, "qvnpack: cannot copy %s to %s\n", src.c_str(), dst.c_str());
        return false;
    }
    *sum = sha.Hex();
    return true;
}

static bool HashFile(const std::string &path, std::string *sum)
{
    File in;
    if (!(in.f = fopen(path.c_str(), "rb"))) return false;
    std::vector<unsigned char> buf(kChunk);
    Sha256 sha;
    size_t n;
    while ((n = fread(buf.data(), 1, kChunk, in.f)) > 0) sha.Add(buf.data(), n);
    if (ferror(in.f)) return false;
    *sum = sha.Hex();
    return true;
}

static bool WriteText(const std::string &path, const std::string &s)
{
    File f;
    if (!(f.f = fopen(path.c_str(), "wb"))) return false;
    bool ok = fwrite(s.data(), 1, s.size(), f.f) == s.size();
    ok = fclose(f.f) == 0 && ok;
    f.f = 0;
    return ok;
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
        {"LicenseQvn.txt", license},
        {"ReadfirstQvn.txt", readme},
    };
    if (!MakeFolders(dir)) {
        fprintf(stderr, "qvnpack: cannot create the folder %s\n", dir.c_str());
        return false;
    }
    for (const auto &f : files)
        if (!WriteText(dir + "/" + f.name, f.data)) {
            fprintf(stderr, "qvnpack: cannot write %s/%s\n", dir.c_str(), f.name);
            return false;
        }
    return true;
}

static bool Medium(const std::string &product, const std::string &medium, char **extra, int nExtra)
{
    if (!MakeFolders(medium)) {
        fprintf(stderr, "qvnpack: cannot create the folder %s\n", medium.c_str());
        return false;
    }
    std::map<std::string, std::string> sums;
    for (const char *name : kPacked)
        if (!Pack(product + "/" + name, medium + "/" + name, &sums[name])) return false;
    for (int i = 0; i < nExtra; i++) {
        std::string name = BaseName(extra[i]);
        if (!Copy(extra[i], medium + "/" + name, &sums[name])) return false;
    }
    std::string list;
    for (const auto &s : sums) list += s.second + "  " + s.first + "\n";
    if (!WriteText(medium + "/SHA256SUMS", list)) {
        fprintf(stderr, "qvnpack: cannot write %s/SHA256SUMS\n", medium.c_str());
        return false;
    }
    return true;
}

// Every packed file of the plan unpacks as the setup would unpack it, and
// SHA256SUMS lists them and matches every file it lists. Reports each fault.
static bool Verify(const std::string &medium)
{
    bool ok = true;
    for (const char *name : kPacked)
        if (!Unpack(medium + "/" + name, 0)) ok = false;
    File f;
    if (!(f.f = fopen((medium + "/SHA256SUMS").c_str(), "rb"))) {
        fprintf(stderr, "qvnpack: %s has no SHA256SUMS\n", medium.c_str());
        return false;
    }
    std::map<std::string, std::string> listed;
    char line[4096];
    while (fgets(line, sizeof line, f.f)) {
        std::string l(line);
        while (!l.empty() && (l.back() == '\n' || l.back() == '\r')) l.pop_back();
        if (l.size() < 67 || l.find_first_not_of("0123456789abcdef") != 64 || l[64] != ' ' ||
            (l[65] != ' ' && l[65] != '*')) {
            fprintf(stderr, "qvnpack: SHA256SUMS: bad line %s\n", l.c_str());
            ok = false;
            continue;
        }
        listed[l.substr(66)] = l.substr(0, 64);
    }
    for (const char *name : kPacked)
        if (!listed.count(name)) {
            fprintf(stderr, "qvnpack: SHA256SUMS does not list %s\n", name);
            ok = false;
        }
    for (const auto &e : listed) {
        std::string sum;
        if (!HashFile(medium + "/" + e.first, &sum)) {
            fprintf(stderr, "qvnpack: %s: listed in SHA256SUMS, cannot be read\n", e.first.c_str());
            ok = false;
        } else if (sum != e.second) {
            fprintf(stderr, "qvnpack: %s: SHA-256 differs from SHA256SUMS\n", e.first.c_str());
            ok = false;
        }
    }
    if (ok) printf("%s: %zu files verified\n", medium.c_str(), listed.size());
    return ok;
}

int main(int argc, char **argv)
{
    std::string cmd = argc > 1 ? argv[1] : "";
    bool ok;
    if (cmd == "pack" && argc == 4)
        ok = Pack(argv[2], argv[3]);
    else if (cmd == "unpack" && argc == 4)
        ok = Unpack(argv[2], argv[3]);
    else if (cmd == "sample" && argc == 3)
        ok = Sample(argv[2]);
    else if (cmd == "medium" && argc >= 5)
        ok = Medium(argv[2], argv[3], argv + 4, argc - 4);
    else if (cmd == "verify" && argc == 3)
        ok = Verify(argv[2]);
    else {
        fprintf(stderr, "usage: qvnpack pack|unpack SOURCE DESTINATION\n"
                        "       qvnpack sample FOLDER\n"
                        "       qvnpack medium PRODUCT MEDIUM BRANNIC [FILE...]\n"
                        "       qvnpack verify MEDIUM\n");
        return 2;
    }
    return ok ? 0 : 1;
}
