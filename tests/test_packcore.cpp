// The packed format in memory, natively under ASan and UBSan with the
// system's zlib, and with a recording zlib to see what the codec asks of it.
#include <gtest/gtest.h>
#include <string.h>
#include <string>
#include "packcore.h"
#include "qel.h"

namespace {

const ZlibCalls kZlib = {compress, uncompress, compressBound};

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

} // namespace
