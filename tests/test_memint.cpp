// Memory blocks and integer helpers: native (ASan/UBSan) and under Wine.
#include <gtest/gtest.h>
#include <string.h>
#include "casebuffer.h"
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

// Each case works on a 16-byte block and compares all of it afterwards, so
// a byte written outside the range shows.
struct BlockCase {
    const char *text;
    int want;
    const char *after;
    size_t afterLength;
    const char *before;
    size_t beforeLength;
    int (*call)(char *block);
};

const BlockCase kBlockCases[] = {
#define BLOCK(text, w, after, before, expr) \
    {text, w, after, sizeof(after) - 1, before, sizeof(before) - 1, [](char *b) { return (int)(expr); }},
#define CLR(w, after, before, at, n) BLOCK("qelMemClr(" #before ", " #at ", " #n ")", w, after, before, qelMemClr(b + at, n))
#define FILL(w, after, before, at, n, v) \
    BLOCK("qelMemFill(" #before ", " #at ", " #n ", " #v ")", w, after, before, qelMemFill(b + at, n, v))
#define COPY(w, after, before, from, to, n) \
    BLOCK("qelMemCopy(" #before ", " #from ", " #to ", " #n ")", w, after, before, qelMemCopy(b + from, b + to, n))
#define INFO(gives, base, offset, size)
#include "cases/memblock.inc"
#undef BLOCK
#undef CLR
#undef FILL
#undef COPY
#undef INFO
};

TEST(MemBlocks, Table)
{
    for (const BlockCase &t : kBlockCases) {
        CaseBuffer<16> b(t.before, t.beforeLength);
        EXPECT_EQ(t.want, t.call(b.bytes)) << t.text;
        EXPECT_EQ(b.Expected(t.after, t.afterLength), b.Actual()) << t.text;
    }
}

struct InfoCase { int gives, base, offset; unsigned size; };
const InfoCase kInfoCases[] = {
#define CLR(w, after, before, at, n)
#define FILL(w, after, before, at, n, v)
#define COPY(w, after, before, from, to, n)
#define INFO(gives, base, offset, size) {gives, base, offset, size},
#include "cases/memblock.inc"
#undef CLR
#undef FILL
#undef COPY
#undef INFO
};

TEST(InfoAddr, Table)
{
    char b[16];
    for (const InfoCase &t : kInfoCases) {
        void *base = t.base < 0 ? nullptr : b + t.base;
        void *want = t.gives < 0 ? nullptr : b + t.gives;
        EXPECT_EQ(want, qelInfoAddr(base, t.offset, t.size))
            << "qelInfoAddr(" << t.base << ", " << t.offset << ", " << t.size << ")";
    }
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
