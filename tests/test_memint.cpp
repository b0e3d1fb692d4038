// Memory blocks and integer helpers: native (ASan/UBSan) and under Wine.
#include <gtest/gtest.h>
#include <string.h>
#include "qel.h"

namespace {

struct IntCase {
    const char *name;
    int (*call)(int, int, int);
    int a, b, c, want;
};

const IntCase kIntCases[] = {
#define I1(f, w, x) {#f, [](int a, int, int) { return (int)f(a); }, x, 0, 0, w},
#define I2(f, w, x, y) {#f, [](int a, int b, int) { return (int)f(a, b); }, x, y, 0, w},
#define I3(f, w, x, y, z) {#f, [](int a, int b, int c) { return (int)f(a, b, c); }, x, y, z, w},
#include "cases/memint.inc"
#undef I1
#undef I2
#undef I3
};

TEST(Integers, Table)
{
    for (const IntCase &t : kIntCases)
        EXPECT_EQ(t.want, t.call(t.a, t.b, t.c)) << t.name << "(" << t.a << ", " << t.b << ", " << t.c << ")";
}

struct BankCase { int request, granted; };
const BankCase kBankCases[] = {
#define BANK(n, g) {n, g},
#include "cases/membank.inc"
#undef BANK
};

TEST(MemBank, GrantsZeroFilledBlocksOfTheRoundedSize)
{
    for (const BankCase &t : kBankCases) {
        unsigned char *p = (unsigned char *)qelMemBank(1, t.request);
        ASSERT_NE(nullptr, p) << t.request;
#ifdef _WIN32
        EXPECT_EQ((SIZE_T)t.granted, GlobalSize((HGLOBAL)p)) << t.request;
#endif
        // Every granted byte is zero and writable (the sanitizer checks the
        // bound natively).
        int nonzero = 0;
        for (int i = 0; i < t.granted; i++) nonzero += p[i] != 0;
        EXPECT_EQ(0, nonzero) << t.request;
        memset(p, 0xAB, t.granted);
        EXPECT_EQ(nullptr, qelMemBank(0, (intptr_t)p)) << t.request;
    }
}

TEST(MemBank, OtherModesAndNullDoNothing)
{
    EXPECT_EQ(nullptr, qelMemBank(0, 0));
    EXPECT_EQ(nullptr, qelMemBank(2, 100));
    EXPECT_EQ(nullptr, qelMemBank(-1, 100));
    EXPECT_EQ(nullptr, qelMemBank(1, -5));
}

TEST(MemBank, RefusesWhatCannotBeHad)
{
#if defined(_WIN32) && !defined(_WIN64)
    EXPECT_EQ(nullptr, qelMemBank(1, 2147483647));
#endif
    EXPECT_EQ(nullptr, qelMemBank(1, -2147483647 - 1));
}

TEST(MemBlocks, ClearFillCopyWriteExactlyCountBytes)
{
    unsigned char b[8];
    memset(b, 'x', sizeof b);
    EXPECT_EQ(3, qelMemClr(b + 1, 3));
    EXPECT_EQ(0, memcmp(b, "x\0\0\0xxxx", 8));

    memset(b, 'x', sizeof b);
    EXPECT_EQ(3, qelMemFill(b + 2, 3, 321)); // only the low 8 bits: 65 'A'
    EXPECT_EQ(0, memcmp(b, "xxAAAxxx", 8));

    memcpy(b, "abcdefgh", 8);
    EXPECT_EQ(2, qelMemCopy(b + 5, b, 2));
    EXPECT_EQ(0, memcmp(b, "fgcdefgh", 8));
}

TEST(MemBlocks, ZeroCountWritesNothing)
{
    unsigned char b[4] = {'a', 'b', 'c', 'd'};
    EXPECT_EQ(0, qelMemClr(b, 0));
    EXPECT_EQ(0, qelMemFill(b, 0, 'z'));
    EXPECT_EQ(0, qelMemCopy("zz", b, 0));
    EXPECT_EQ(0, memcmp(b, "abcd", 4));
}

TEST(MemBlocks, ForwardOverlapPropagatesTheFirstByte)
{
    unsigned char b[4] = {'a', 'b', 'c', 'd'};
    EXPECT_EQ(3, qelMemCopy(b, b + 1, 3));
    EXPECT_EQ(0, memcmp(b, "aaaa", 4));
}

TEST(MemBlocks, BackwardOverlapCopiesThrough)
{
    unsigned char b[4] = {'a', 'b', 'c', 'd'};
    EXPECT_EQ(3, qelMemCopy(b + 1, b, 3));
    EXPECT_EQ(0, memcmp(b, "bcdd", 4));
}

TEST(InfoAddr, NeedsBaseOffsetAndSize)
{
    char b[16];
    EXPECT_EQ(b + 8, qelInfoAddr(b, 8, 1));
    EXPECT_EQ(b, qelInfoAddr(b + 8, -8, 1));
    EXPECT_EQ(nullptr, qelInfoAddr(b, 0, 1));
    EXPECT_EQ(nullptr, qelInfoAddr(nullptr, 8, 1));
    EXPECT_EQ(nullptr, qelInfoAddr(b, 8, 0));
    EXPECT_EQ(b + 8, qelInfoAddr(b, 8, 0x80000000u)); // size is tested unsigned
}

TEST(Pentium, FamilyAndFeatureBits)
{
    int w = qelPentium();
#if defined(__i386__) || defined(__x86_64__)
    ASSERT_NE(0, w);
    unsigned family = ((unsigned)w >> 8) & 15;
    EXPECT_GE(family, 5u);
    EXPECT_NE(0, w & 1); // every x86-64 processor has the FPU flag (bit 0)
#ifdef __x86_64__
    EXPECT_NE(0, w & (1 << 26)); // and SSE2
#endif
#else
    EXPECT_EQ(0, w);
#endif
}

} // namespace
