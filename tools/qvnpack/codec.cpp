// The packed format both ways through zlib's deflate and inflate.
#include "codec.h"
#include <string.h>
#include <unistd.h>
#include "packcore.h"

// Files from this size on show their progress on a terminal.
static const unsigned long long kProgressFrom = 64ull << 20;
// deflate never packs better than 1032 to 1: a header that claims more
// than that from its stream is refused before anything is inflated.
static const unsigned long long kBestRatio = 1032;

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

bool Pack(const std::string &src, const Where &dst, std::string *sum)
{
    File in;
    if (!OpenInput(src, &in)) return false;
    unsigned long long size = (unsigned long long)in.st.st_size;
    if (size == 0) {
        fprintf(stderr, "qvnpack: %s is empty: the packed format holds 1 byte or more (the setup refuses "
                        "a plain length of 0)\n", src.c_str());
        return false;
    }
    if (size > kPlainMax) {
        fprintf(stderr, "qvnpack: %s is too large for the packed format: %llu bytes, its length field holds "
                        "at most %llu\n", src.c_str(), size, kPlainMax);
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
    unsigned long long read = 0;
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
    }
    deflateEnd(&z);
    if (ok && read != size) {
        fprintf(stderr, "qvnpack: %s changed while it was packed\n", src.c_str());
        ok = false;
    }
    if (!ok || !out.Finish()) return false;
    if (sum) *sum = sha.Hex();
    return true;
}

bool Unpack(const std::string &src, const char *dst)
{
    File in;
    if (!OpenInput(src, &in)) return false;
    unsigned long long size = (unsigned long long)in.st.st_size;
    unsigned char header[4];
    if (size < 4 || fread(header, 1, 4, in.f) != 4) {
        fprintf(stderr, "qvnpack: %s is not a valid packed file: shorter than its header\n", src.c_str());
        return false;
    }
    unsigned long long length = PackGetLength(header);
    if (length == 0 || length > (size - 4) * kBestRatio) {
        fprintf(stderr, "qvnpack: %s is not a valid packed file: the setup refuses a plain length of %llu "
                        "from %llu packed bytes\n", src.c_str(), length, size);
        return false;
    }
    Output out;
    if (dst && !out.Open(Where(dst), &in)) return false;
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
        fprintf(stderr, "qvnpack: %s is not a valid packed file: its header says %llu bytes, the stream "
                        "holds %s\n", src.c_str(), length, produced > length ? "more" : "fewer");
        return false;
    }
    return !dst || out.Finish();
}
