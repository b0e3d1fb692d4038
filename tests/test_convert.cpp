// Number and text conversions: the pure ones natively (ASan/UBSan) and under
// Wine, the character sets and the record file under Wine only.
#include <gtest/gtest.h>
#include <string.h>
#include <string>
#include "qelint.h"
#include "casebuffer.h"
#ifdef _WIN32
#include "winutil.h"
#endif

namespace {

// Each case names the conversion to text, to value, or both.
struct DigitCase {
    const char *text;
    int value;
    const char *digits;
    char *(QELAPI *toText)(int);
    int(QELAPI *toValue)(const char *);
};

const DigitCase kDigitCases[] = {
#define DEC(v, t) {"DEC(" #v ", " #t ")", v, t, qelStr, qelStrVal},
#define HEX(v, t) {"HEX(" #v ", " #t ")", v, t, qelHex, qelHexVal},
#define DECVAL(v, t) {"DECVAL(" #v ", " #t ")", v, t, 0, qelStrVal},
#define HEXVAL(v, t) {"HEXVAL(" #v ", " #t ")", v, t, 0, qelHexVal},
#define ASC(v, t) {"ASC(" #v ", " #t ")", v, t, 0, qelAsc},
#define CHR(v, t) {"CHR(" #v ", " #t ")", v, t, qelChr, 0},
#include "cases/convert.inc"
#undef DEC
#undef HEX
#undef DECVAL
#undef HEXVAL
#undef ASC
#undef CHR
};

TEST(Conversions, DigitTable)
{
    for (const DigitCase &t : kDigitCases) {
        if (t.toText) {
            EXPECT_STREQ(t.digits, t.toText(t.value)) << t.text;
        }
        if (t.toValue) {
            EXPECT_EQ(t.value, t.toValue(t.digits)) << t.text;
        }
    }
}

// The areas have fixed addresses, are overwritten by the next call and are
// cleared first, so a short text leaves no tail of a longer one.
TEST(Conversions, ResultAreasAreReusedAndCleared)
{
    char *first = qelStr(-2147483647 - 1);
    char *second = qelStr(5);
    EXPECT_EQ(first, second);
    EXPECT_STREQ("5", first);
    for (int i = 1; i < 256; i++) ASSERT_EQ(0, second[i]) << i;

    char *hex = qelHex(-1);
    EXPECT_EQ(hex, qelHex(0x1F));
    EXPECT_STREQ("0000001F", hex);
    for (int i = 8; i < 256; i++) ASSERT_EQ(0, hex[i]) << i;

    char *c = qelChr('x');
    EXPECT_EQ(c, qelChr('y'));
    EXPECT_EQ(0, memcmp(c, "y\0\0\0", 4));
    EXPECT_STREQ("", qelChr(0));
}

struct TextCase {
    int mode, length, result;
    const char *before;
    size_t beforeLength;
    const char *after;
    size_t afterLength;
};

const TextCase kTextCases[] = {
#define SPLIT(mode, length, result, before, after) \
    {mode, length, result, before, sizeof(before) - 1, after, sizeof(after) - 1},
#include "cases/splithex.inc"
#undef SPLIT
};

TEST(SplitHex, Table)
{
    for (const TextCase &t : kTextCases) {
        CaseBuffer<32> buf(t.before, t.beforeLength);
        std::string where = "qelText(" + std::to_string(t.mode) + ", \"" + t.before + "\", " +
                            std::to_string(t.length) + ")";
        EXPECT_EQ(t.result, qelText(t.mode, buf.bytes, t.length)) << where;
        EXPECT_EQ(buf.Expected(t.after, t.afterLength), buf.Actual()) << where;
    }
}

TEST(SplitHex, EveryByteValueRoundTrips)
{
    char buf[512];
    for (int i = 0; i < 256; i++) buf[i] = (char)i;
    memset(buf + 256, '~', 256);
    ASSERT_EQ(512, qelText(1, buf, 512));
    for (int i = 0; i < 512; i++) ASSERT_NE(nullptr, strchr("0123456789ABCDEF", buf[i])) << i;
    EXPECT_EQ('0', buf[0]);
    EXPECT_EQ('F', buf[255]);
    EXPECT_EQ('1', buf[256 + 0x31]);
    ASSERT_EQ(256, qelText(-1, buf, 512));
    for (int i = 0; i < 256; i++) ASSERT_EQ(i, (unsigned char)buf[i]) << i;
    for (int i = 256; i < 512; i++) ASSERT_EQ(0, buf[i]) << i;
}

#ifdef _WIN32
// The expected OEM text comes the long way round, through Unicode.
std::string ToOem(const std::string &ansi)
{
    wchar_t wide[64];
    int n = MultiByteToWideChar(CP_ACP, 0, ansi.data(), (int)ansi.size(), wide, 64);
    char oem[64];
    int m = WideCharToMultiByte(CP_OEMCP, 0, wide, n, oem, sizeof oem, 0, 0);
    return std::string(oem, m);
}

TEST(CharOEM, ConvertsOneWayByModeOnlyLengthCharacters)
{
    const std::string ansi = "Caf\xE9 \xC4pfel";
    const std::string oem = ToOem(ansi);
    ASSERT_EQ(ansi.size(), oem.size());
    ASSERT_NE(ansi, oem); // the code pages differ in these letters

    char a[16] = {0}, o[16];
    memcpy(a, ansi.data(), ansi.size());
    memset(o, '~', sizeof o);
    EXPECT_EQ(1, qelCharOEM(1, a, o, 5));
    EXPECT_EQ(oem.substr(0, 5) + std::string(11, '~'), std::string(o, 16));
    EXPECT_EQ(ansi, std::string(a)); // the ANSI side stays

    memset(a, '~', sizeof a);
    memcpy(o, oem.data(), oem.size());
    o[oem.size()] = 0;
    EXPECT_EQ(1, qelCharOEM(0, a, o, (unsigned)oem.size() + 1));
    EXPECT_EQ(ansi, std::string(a));

    char before[16];
    memcpy(before, a, 16);
    EXPECT_EQ(1, qelCharOEM(2, a, o, 10));
    EXPECT_EQ(1, qelCharOEM(-1, a, o, 10));
    EXPECT_EQ(0, memcmp(before, a, 16));
    EXPECT_EQ(oem, std::string(o));
}

class RecordFile : public ::testing::Test {
protected:
    ScratchDir dir;
    std::string f = dir / "record.dat";
    char buf[16] = {0};
    void Put(const char *bytes, size_t n) { memcpy(buf, bytes, n); }
    std::string Buf() const { return std::string(buf, sizeof buf); }
};

TEST_F(RecordFile, SaveWritesSplitHexAndRestoresTheRecord)
{
    Put("abc", 3);
    EXPECT_EQ(1, qelEnvironIO(1, f.c_str(), buf, 6));
    EXPECT_EQ("666123", Slurp(f));
    EXPECT_EQ(Padded("abc", 3, 16), Buf());

    memset(buf, 0, sizeof buf);
    EXPECT_EQ(1, qelEnvironIO(-1, f.c_str(), buf, 6));
    EXPECT_EQ(Padded("abc", 3, 16), Buf());
}

TEST_F(RecordFile, SaveOverALongerFileKeepsItsTail)
{
    Spit(f, "XXXXXXXXXX");
    Put("abc", 3);
    EXPECT_EQ(1, qelEnvironIO(1, f.c_str(), buf, 6));
    EXPECT_EQ("666123XXXX", Slurp(f));
}

TEST_F(RecordFile, LoadKeepsWhatTheFileDoesNotCover)
{
    // A missing file: the buffer's own text is decoded.
    Put("666123~~", 8);
    EXPECT_EQ(1, qelEnvironIO(-1, (dir / "missing").c_str(), buf, 6));
    EXPECT_EQ(Padded("abc\0\0\0~~", 8, 16), Buf());
    EXPECT_FALSE(Exists(dir / "missing"));

    // A short file covers only its bytes.
    memset(buf, 0, sizeof buf);
    Spit(f, "66");
    Put("006123", 6);
    EXPECT_EQ(1, qelEnvironIO(-1, f.c_str(), buf, 6));
    EXPECT_EQ(Padded("abc", 3, 16), Buf());
}

TEST_F(RecordFile, OddShortAndUnknownLengthsAndModes)
{
    Put("abc\0\0\0~", 7);
    EXPECT_EQ(1, qelEnvironIO(1, f.c_str(), buf, 7)); // as 6
    EXPECT_EQ("666123", Slurp(f));
    EXPECT_EQ(Padded("abc\0\0\0~", 7, 16), Buf());

    std::string g = dir / "other.dat";
    EXPECT_EQ(1, qelEnvironIO(1, g.c_str(), buf, 1));
    EXPECT_EQ(1, qelEnvironIO(0, g.c_str(), buf, 6));
    EXPECT_EQ(1, qelEnvironIO(2, g.c_str(), buf, 6));
    EXPECT_FALSE(Exists(g));
    Spit(g, "414243");
    EXPECT_EQ(1, qelEnvironIO(-1, g.c_str(), buf, 0));
    EXPECT_EQ(1, qelEnvironIO(-2, g.c_str(), buf, 6));
    EXPECT_EQ(Padded("abc\0\0\0~", 7, 16), Buf());
}
#endif

} // namespace
