// The packed format in memory, natively under ASan and UBSan with the
// system's zlib, and with a recording zlib to see what the codec asks of it;
// and the icon image found in a program's bytes.
#include <gtest/gtest.h>
#include <stdio.h>
#include <string.h>
#include <algorithm>
#include <string>
#include <vector>
#include "packcore.h"
#include "peicon.h"
#include "qel.h"

namespace {

const ZlibCalls kZlib = {compress, uncompress, compressBound, inflateInit_, inflate, inflateEnd};

std::string Le32(unsigned v)
{
    return std::string{(char)v, (char)(v >> 8), (char)(v >> 16), (char)(v >> 24)};
}

std::string Pack(const std::string &plain)
{
    unsigned n = 0;
    unsigned char *p = PackBlock(&kZlib, (const unsigned char *)plain.data(), (unsigned)plain.size(), &n);
    if (!p) return "<failed>";
    std::string out((const char *)p, n);
    qelMemBank(0, (intptr_t)p);
    return out;
}

// Unpacks; "<refused>" when the codec gives nothing back.
std::string Unpack(const std::string &packed)
{
    unsigned n = 0;
    unsigned char *p = UnpackBlock(&kZlib, (const unsigned char *)packed.data(), (unsigned)packed.size(), &n);
    if (!p) return "<refused>";
    std::string out((const char *)p, n);
    qelMemBank(0, (intptr_t)p);
    return out;
}

TEST(PackCore, FormatIsLengthThenZlibStream)
{
    std::string p = Pack(std::string(300, 'a'));
    EXPECT_EQ(std::string("\x2c\x01\x00\x00\x78\x9c", 6), p.substr(0, 6));
    uLongf n = 300;
    unsigned char back[300];
    ASSERT_EQ(Z_OK, uncompress(back, &n, (const Bytef *)p.data() + 4, p.size() - 4));
    EXPECT_EQ(300u, n);
}

TEST(PackCore, RoundTrips)
{
    const size_t sizes[] = {1, 2, 3, 4, 5, 100, 4096, 200000};
    for (size_t n : sizes) {
        std::string s;
        for (size_t i = 0; i < n; i++) s += (char)((i * 131) ^ (i >> 3));
        EXPECT_EQ(s, Unpack(Pack(s))) << n;
    }
}

TEST(PackCore, EmptyInputIsNotPacked)
{
    unsigned n = 7;
    EXPECT_EQ(nullptr, PackBlock(&kZlib, (const unsigned char *)"", 0, &n));
}

TEST(PackCore, HostileInputIsRefused)
{
    std::string data(5000, 'q');
    for (int i = 0; i < 5000; i += 7) data[i] = (char)i;
    std::string p = Pack(data);
    std::string stream = p.substr(4);
    std::string corrupt = p;
    corrupt[20] ^= 0x40;
    const struct { const char *what; std::string bytes; } cases[] = {
        {"empty", ""},
        {"3 bytes", "\x05\x00\x00"},
        {"header only", Le32(5000)},
        {"length 0", Le32(0) + stream},
        {"length 1", Le32(1) + stream},
        {"length smaller", Le32(4999) + stream},
        {"length larger", Le32(5001) + stream},
        {"length 4294967295", Le32(0xFFFFFFFFu) + stream},
        {"length beyond any ratio", Le32(2000000000u) + stream.substr(0, 10)},
        {"truncated", p.substr(0, p.size() - 5)},
        {"corrupt", corrupt},
    };
    for (const auto &c : cases) EXPECT_EQ("<refused>", Unpack(c.bytes)) << c.what;
}

// A zlib that records what it is asked and answers as told.
struct Recorded {
    static uLong lastRoom;
    static int answer;
    static int Uncompress(Bytef *, uLongf *destLen, const Bytef *, uLong)
    {
        lastRoom = *destLen;
        return answer;
    }
    static int Compress(Bytef *, uLongf *destLen, const Bytef *, uLong)
    {
        if (answer == Z_OK) *destLen = 0;
        return answer;
    }
};
uLong Recorded::lastRoom;
int Recorded::answer;

TEST(PackCore, ZlibIsToldOnlyTheHeadersLength)
{
    ZlibCalls z = {Recorded::Compress, Recorded::Uncompress, compressBound};
    Recorded::answer = Z_OK;
    std::string packed = Le32(777) + std::string(100, 'x');
    unsigned n;
    // The recording zlib "succeeds" with 777 bytes of room: the codec must
    // have offered exactly the header's length, not the slack behind it.
    unsigned char *p = UnpackBlock(&z, (const unsigned char *)packed.data(), (unsigned)packed.size(), &n);
    EXPECT_EQ(777u, Recorded::lastRoom);
    ASSERT_NE(nullptr, p);
    EXPECT_EQ(777u, n);
    qelMemBank(0, (intptr_t)p);
}

TEST(PackCore, ZlibFailuresGiveNothing)
{
    ZlibCalls z = {Recorded::Compress, Recorded::Uncompress, compressBound};
    unsigned n;
    Recorded::answer = Z_DATA_ERROR;
    std::string packed = Le32(10) + std::string(10, 'x');
    EXPECT_EQ(nullptr, UnpackBlock(&z, (const unsigned char *)packed.data(), (unsigned)packed.size(), &n));
    EXPECT_EQ(nullptr, PackBlock(&z, (const unsigned char *)"abc", 3, &n));
    Recorded::answer = Z_OK; // compress "succeeds" with nothing produced
    EXPECT_EQ(nullptr, PackBlock(&z, (const unsigned char *)"abc", 3, &n));
}

// The streaming unpacker fed in chunks of the given size; what the sink
// received, or "<refused>". The sink fails once it has had failAfter bytes.
struct Streamed {
    std::string plain;
    std::vector<unsigned> pieces;
    size_t failAfter = (size_t)-1;
    static int Sink(void *context, const unsigned char *bytes, unsigned count)
    {
        Streamed *t = (Streamed *)context;
        if (t->plain.size() + count > t->failAfter) return 0;
        t->plain.append((const char *)bytes, count);
        t->pieces.push_back(count);
        return 1;
    }
    std::string Run(const std::string &packed, size_t chunk, unsigned long long declared = ~0ull)
    {
        PackStream s;
        if (!PackStreamBegin(&s, &kZlib, declared == ~0ull ? packed.size() : declared, Sink, this)) return "<no start>";
        bool fed = true;
        for (size_t at = 0; at < packed.size() && fed; at += chunk)
            fed = PackStreamFeed(&s, (const unsigned char *)packed.data() + at,
                                 (unsigned)std::min(chunk, packed.size() - at));
        return PackStreamEnd(&s) && fed ? plain : "<refused>";
    }
};

TEST(PackStream, UnpacksAnySplitInFixedPieces)
{
    std::string data;
    for (unsigned i = 0; data.size() < 3 * PACK_PIECE + 123; i++) data += (char)((i * 7) ^ (i >> 5));
    std::string p = Pack(data);
    // One byte at a time splits the header; 3 and 4097 cut it and the stream
    // at odd places; the whole file in one chunk.
    for (size_t chunk : {(size_t)1, (size_t)3, (size_t)4097, p.size()}) {
        Streamed t;
        EXPECT_EQ(data, t.Run(p, chunk)) << chunk;
        EXPECT_EQ((std::vector<unsigned>{PACK_PIECE, PACK_PIECE, PACK_PIECE, 123}), t.pieces) << chunk;
    }
}

TEST(PackStream, RefusesWhatUnpackBlockRefuses)
{
    std::string data(5000, 'q');
    for (int i = 0; i < 5000; i += 7) data[i] = (char)i;
    std::string p = Pack(data);
    std::string stream = p.substr(4);
    const struct { const char *what; std::string bytes; } cases[] = {
        {"empty", ""},
        {"header split, then nothing", Le32(5000).substr(0, 2)},
        {"header only", Le32(5000)},
        {"length 0", Le32(0) + stream},
        {"ends early: length larger", Le32(5001) + stream},
        {"runs long: length smaller", Le32(4999) + stream},
        {"beyond any ratio", Le32(0xFFFFFFFFu) + stream},
        {"truncated", p.substr(0, p.size() - 5)},
    };
    for (const auto &c : cases) {
        Streamed t;
        EXPECT_EQ("<refused>", t.Run(c.bytes, 7)) << c.what;
        EXPECT_EQ("<refused>", Unpack(c.bytes)) << c.what;
    }
    // Bytes after the zlib stream (uncompress, which the whole-block path
    // has, cannot see them), and fewer or more bytes than the packed size
    // the stream was started with.
    Streamed trailing, shorter, longer;
    EXPECT_EQ("<refused>", trailing.Run(p + "x", 7));
    EXPECT_EQ("<refused>", shorter.Run(p, 7, p.size() + 1));
    EXPECT_EQ("<refused>", longer.Run(p, 7, p.size() - 1));
}

TEST(PackStream, FailingSinkFailsTheStream)
{
    std::string data(3 * PACK_PIECE, 'w');
    Streamed t;
    t.failAfter = 2 * PACK_PIECE; // the third piece's write fails
    EXPECT_EQ("<refused>", t.Run(Pack(data), 1000));
    EXPECT_EQ(2 * PACK_PIECE, t.plain.size());
}

TEST(PackStream, LengthsBeyondTheWholeBlockLimitAreCountedIn64Bits)
{
    // A header of 4 GiB - 1 needs a stream of at least 4,161,791 bytes
    // (1032 to 1); one byte less is refused before inflating.
    EXPECT_TRUE(PackStreamPlausible(0xFFFFFFFFu, 4161791));
    EXPECT_FALSE(PackStreamPlausible(0xFFFFFFFFu, 4161790));
    EXPECT_FALSE(PackLengthPlausible(0xFFFFFFFFu, 1ull << 40));
    EXPECT_FALSE(PackStreamPlausible(0, 1ull << 40));
}

// The fuzzer's seeds: iQvn.exe as built (PE32 and PE32+), its headers and
// resource section alone, and that cut down with one fault each.
std::string Seed(const char *name)
{
    std::string path = __FILE__;
    path = path.substr(0, path.rfind('/')) + "/fuzz/corpus/peicon/" + name;
    std::string bytes;
    if (FILE *f = fopen(path.c_str(), "rb")) {
        char buffer[4096];
        size_t n;
        while ((n = fread(buffer, 1, sizeof buffer, f)) > 0) bytes.append(buffer, n);
        fclose(f);
    }
    return bytes;
}

TEST(PeIcon, ImageNearestTheWantedWidth)
{
    const struct {
        const char *seed;
        unsigned want, width; // width 0: refused
    } rows[] = {
        {"iqvn-win32", 32, 32}, {"iqvn-win32", 16, 16}, {"iqvn-win64", 32, 32}, {"mini-win32", 24, 32},
        {"mini-win32", 8, 16},  {"mini-win32", 48, 32}, {"mini-win32", 0xFFFF0014u, 32}, {"png", 32, 32},
        // A directory that points back at the root, or at itself, ends.
        {"loop-to-root", 32, 0}, {"loop-to-self", 16, 0}, {"count-past-room", 32, 0},
        {"length-absurd", 32, 0}, {"truncated", 16, 0},
    };
    for (const auto &row : rows) {
        std::string file = Seed(row.seed);
        ASSERT_FALSE(file.empty()) << row.seed;
        const unsigned char *image = (const unsigned char *)file.data();
        unsigned long offset = 1, length = 1;
        int found = PeIconFind(image, (unsigned long)file.size(), row.want, &offset, &length);
        if (!row.width) {
            EXPECT_EQ(0, found) << row.seed;
            EXPECT_EQ(0ul, offset + length) << row.seed;
            continue;
        }
        ASSERT_EQ(1, found) << row.seed << " " << row.want;
        ASSERT_LE(offset + length, file.size());
        // A PNG's width is big-endian in its IHDR; a bitmap's follows its
        // 40-byte header's size field.
        const unsigned char *p = image + offset;
        bool png = memcmp(p, "\x89PNG\r\n\x1a\n", 8) == 0;
        unsigned width = png ? (unsigned)p[18] << 8 | p[19] : p[4] | (unsigned)p[5] << 8;
        EXPECT_TRUE(png || (p[0] == 40 && !p[1] && !p[2] && !p[3])) << row.seed;
        EXPECT_EQ(row.width, width) << row.seed << " " << row.want;
    }
}

} // namespace
