// String helpers: native (ASan/UBSan) and under Wine.
#include <gtest/gtest.h>
#include <string.h>
#include <string>
#include "qelint.h"
#include "casebuffer.h"
#ifdef _WIN32
#include <windows.h>
#else
#include <sys/mman.h>
#include <unistd.h>
#endif

namespace {

struct IntCase {
    const char *text;
    int want;
    int (*call)();
};

const IntCase kIntCases[] = {
#define N1(f, w, a) {#f "(" #a ")", w, [] { return (int)f(a); }},
#define N2(f, w, a, b) {#f "(" #a ", " #b ")", w, [] { return (int)f(a, b); }},
#define FIND(f, w, start, s, sub) {#f "(" #start ", " #s ", " #sub ")", w, [] { return (int)f(start, s, sub); }},
#include "cases/strings.inc"
#undef N1
#undef N2
#undef FIND
};

TEST(Strings, IntegerResults)
{
    for (const IntCase &t : kIntCases) EXPECT_EQ(t.want, t.call()) << t.text;
}

struct CopyCase {
    const char *text;
    bool returnsDestination;
    const char *after;
    size_t afterLength;
    const char *before;
    size_t beforeLength;
    char *(*call)(char *d);
};

const CopyCase kCopyCases[] = {
#define COPY(text, ok, after, before, expr) \
    {text, ok, after, sizeof(after) - 1, before, sizeof(before) - 1, [](char *d) -> char * { return expr; }},
#define MID(ok, after, before, src, p, n) COPY("qelStrMid(" #src ", " #p ", " #n ")", ok, after, before, qelStrMid(src, d, p, n))
#define LSTR(ok, after, before, src, n) COPY("qelLStr(" #src ", " #n ")", ok, after, before, qelLStr(src, d, n))
#define RSTR(ok, after, before, src, n) COPY("qelRStr(" #src ", " #n ")", ok, after, before, qelRStr(src, d, n))
#define LPART(ok, after, before, s, sep, inc) \
    COPY("qelStrLPart(" #s ", " #sep ", " #inc ")", ok, after, before, qelStrLPart(s, d, sep, inc))
#define RPART(ok, after, before, s, sep, inc) \
    COPY("qelStrRPart(" #s ", " #sep ", " #inc ")", ok, after, before, qelStrRPart(s, d, sep, inc))
#define PLUS(ok, after, before, text) COPY("qelStrPlus(" #text ", " #before ")", ok, after, before, qelStrPlus(text, d))
#define PATH(ok, after, before, folder, name) \
    COPY("qelPathPlus(" #folder ", " #name ")", ok, after, before, qelPathPlus(folder, name, d))
#define INS(ok, after, before, text, pos) \
    COPY("qelStrIns(" #text ", " #before ", " #pos ")", ok, after, before, qelStrIns(text, d, pos))
#include "cases/strcopy.inc"
#undef COPY
#undef MID
#undef LSTR
#undef RSTR
#undef LPART
#undef RPART
#undef PLUS
#undef PATH
#undef INS
};

TEST(Strings, Copies)
{
    for (const CopyCase &t : kCopyCases) {
        CaseBuffer<32> buf(t.before, t.beforeLength);
        char *r = t.call(buf.bytes);
        EXPECT_EQ(t.returnsDestination ? buf.bytes : nullptr, r) << t.text;
        EXPECT_EQ(buf.Expected(t.after, t.afterLength), buf.Actual()) << t.text;
    }
}

struct FoldCase {
    const char *text, *after, *before;
    char *(*fold)(char *);
    int upperEqual;
    const char *b, *bAfter;
};

const FoldCase kFoldCases[] = {
#define FOLD(f, after, before) {#f "(" #before ")", after, before, f, -1, 0, 0},
#define UPEQ(w, a, b, a2, b2) {"qelIsStrEqual(" #a ", " #b ")", a2, a, 0, w, b, b2},
#include "cases/strfold.inc"
#undef FOLD
#undef UPEQ
};

TEST(Strings, CaseFoldingInPlace)
{
    for (const FoldCase &t : kFoldCases) {
        char a[32] = {0}, b[32] = {0};
        strcpy(a, t.before);
        if (t.fold) {
            EXPECT_EQ(a, t.fold(a)) << t.text;
        } else {
            strcpy(b, t.b);
            EXPECT_EQ(t.upperEqual, qelIsStrEqual(a, b)) << t.text;
            EXPECT_STREQ(t.bAfter, b) << t.text;
        }
        EXPECT_STREQ(t.after, a) << t.text;
    }
}

TEST(Strings, AppendToNullDestinationWritesNothing)
{
    EXPECT_EQ(nullptr, qelStrPlus("abc", nullptr));
}

TEST(Strings, PathOntoTheFoldersOwnBuffer)
{
    char b[32] = "C:\\dir";
    EXPECT_EQ(b, qelPathPlus(b, "f.txt", b));
    EXPECT_STREQ("C:\\dir\\f.txt", b);
}

// Sets longer than the 255 characters the scratch buffer holds count with
// their first 255 only; the sanitizer run shows that nothing overflows.
TEST(Strings, AllowedSetBeyond255CharactersIsCut)
{
    std::string set(255, 'x');
    EXPECT_EQ(1, qelIsChrValid("xX", (set + "y").c_str()));
    EXPECT_EQ(0, qelIsChrValid("y", (set + "y").c_str()));
    EXPECT_EQ(0, qelIsChrValid("z", (set + std::string(700, 'z')).c_str()));
    set[254] = 'q';
    EXPECT_EQ(1, qelIsChrValid("Q", (set + "y").c_str()));
    // The next call sees an empty scratch again.
    EXPECT_EQ(0, qelIsChrValid("x", "y"));
}

// A readable page followed by one that may not be touched: a string whose
// terminator is the last readable byte shows any read past its storage.
class GuardedPage {
public:
    GuardedPage()
    {
#ifdef _WIN32
        SYSTEM_INFO si;
        GetSystemInfo(&si);
        size_ = si.dwPageSize;
        base_ = (char *)VirtualAlloc(0, 2 * size_, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE);
        DWORD old;
        if (base_) VirtualProtect(base_ + size_, size_, PAGE_NOACCESS, &old);
#else
        size_ = (size_t)sysconf(_SC_PAGESIZE);
        void *p = mmap(0, 2 * size_, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        base_ = p == MAP_FAILED ? 0 : (char *)p;
        if (base_) mprotect(base_ + size_, size_, PROT_NONE);
#endif
    }
    ~GuardedPage()
    {
#ifdef _WIN32
        if (base_) VirtualFree(base_, 0, MEM_RELEASE);
#else
        if (base_) munmap(base_, 2 * size_);
#endif
    }
    char *base() const { return base_; }
    char *end() const { return base_ + size_; }

private:
    char *base_;
    size_t size_;
};

TEST(ScanLength, MatchesByteCountAtEveryAlignment)
{
    char buf[64];
    for (int offset = 0; offset < 8; offset++) {
        for (int len = 0; len < 40; len++) {
            memset(buf, 0x80, sizeof buf); // bytes that look like a zero to a careless test
            char *s = buf + offset;
            for (int i = 0; i < len; i++) s[i] = (char)(i % 3 == 0 ? 0x80 : 0x01 + i);
            s[len] = 0;
            EXPECT_EQ(len, ScanLength(s)) << offset << "/" << len;
            EXPECT_EQ(len, qelStrLen(s)) << offset << "/" << len;
        }
    }
}

TEST(ScanLength, NeverReadsPastTheLastPage)
{
    GuardedPage page;
    ASSERT_NE(nullptr, page.base());
    for (int len = 0; len < 12; len++) {
        char *s = page.end() - len - 1;
        for (int i = 0; i < len; i++) s[i] = 'a' + i;
        s[len] = 0;
        EXPECT_EQ(len, ScanLength(s)) << len;
        if (len >= 2) {
            EXPECT_EQ(len, FindSubstring(1, s, s + len - 1)) << len;
            EXPECT_EQ(len - 1, qelRInstr(len - 1, s, s + len - 2)) << len;
        }
    }
}

} // namespace
