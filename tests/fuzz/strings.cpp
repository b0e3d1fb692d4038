// Fuzz target: the searches, the splits, the allowed-set test and the
// number-tail test against small models written from their rules. Strings
// lie in blocks of their exact size, so the sanitizer sees any read past a
// terminator.
#include <fuzzer/FuzzedDataProvider.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <algorithm>
#include <string>
#include "qelint.h"

namespace {

void Check(bool ok, const char *what, const std::string &s, const std::string &sub, int start, long got,
           long want)
{
    if (ok) return;
    fprintf(stderr, "%s: start %d, \"%s\", \"%s\": got %ld, want %ld\n", what, start, s.c_str(), sub.c_str(),
            got, want);
    abort();
}

// The forward search: a start out of 1..length counts as 1; equal lengths
// compare the strings; a longer sub is -1; a start past the last place sub
// can begin is -2; else the first occurrence at or after start, or 0.
long LInstr(int start, const std::string &s, const std::string &sub)
{
    long n = (long)s.size(), m = (long)sub.size();
    if (start < 1 || start > n) start = 1;
    if (m == n) return s == sub;
    if (m > n) return -1;
    if (start > n - m + 1) return -2;
    size_t at = s.find(sub, (size_t)start - 1);
    return at == std::string::npos ? 0 : (long)at + 1;
}

// The backward search: a start out of range counts as the length; a longer
// sub is 0; -2 as forward; else the first occurrence at or after start, or
// failing that the last one before it, or 0.
long RInstr(int start, const std::string &s, const std::string &sub)
{
    long n = (long)s.size(), m = (long)sub.size();
    if (start < 1 || start > n) start = (int)n;
    if (m == n) return s == sub;
    if (m > n) return 0;
    if (start > n - m + 1) return -2;
    size_t at = s.find(sub, (size_t)start - 1);
    if (at != std::string::npos) return (long)at + 1;
    if (start >= 2) at = s.rfind(sub, (size_t)start - 2);
    return at == std::string::npos ? 0 : (long)at + 1;
}

std::string Upper(std::string s)
{
    for (char &c : s)
        if (c >= 'a' && c <= 'z') c = (char)(c - 32);
    return s;
}

// 1 when every character of s is among the first 255 of allowed, ASCII
// letters in either case.
int AllowedOnly(const std::string &s, const std::string &allowed)
{
    std::string set = Upper(allowed.substr(0, 255));
    for (char c : Upper(s))
        if (set.find(c) == std::string::npos) return 0;
    return 1;
}

// 1 when b's significant part (less one leading 0 or +) is a tail of a's;
// a number with no significant part gives 0.
int TailOf(const std::string &a, const std::string &b)
{
    auto significant = [](const std::string &x) {
        return !x.empty() && (x[0] == '0' || x[0] == '+') ? x.substr(1) : x;
    };
    std::string sa = significant(a), sb = significant(b);
    if (sa.empty() || sb.empty() || sb.size() > sa.size()) return 0;
    return sa.compare(sa.size() - sb.size(), sb.size(), sb) == 0;
}

struct Block {
    char *p;
    explicit Block(const std::string &s) : p((char *)malloc(s.size() + 1))
    {
        memcpy(p, s.c_str(), s.size() + 1);
    }
    ~Block() { free(p); }
};

// Many matches need few letters: in small-alphabet inputs every byte becomes
// one of five characters.
std::string Text(FuzzedDataProvider &in, size_t most, bool small)
{
    std::string s = in.ConsumeRandomLengthString(most);
    s.resize(strlen(s.c_str()));
    if (small)
        for (char &c : s) c = "ab\\:A"[(unsigned char)c % 5];
    return s;
}

const int kDest = 96;
const char kFill = '\x5A';

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzedDataProvider in(data, size);
    bool small = in.ConsumeBool();
    bool include = in.ConsumeBool();
    int start = in.ConsumeBool() ? in.ConsumeIntegralInRange<int>(-2, 70) : in.ConsumeIntegral<int>();
    std::string sub = Text(in, 6, small);
    std::string s = Text(in, 64, small);
    Block S(s), Sub(sub);

    // An empty sub in a longer string has no defined answer: run, don't judge.
    bool judged = !(sub.empty() && !s.empty());
    long got = qelLInstr(start, S.p, Sub.p);
    if (judged) Check(got == LInstr(start, s, sub), "qelLInstr", s, sub, start, got, LInstr(start, s, sub));
    got = qelRInstr(start, S.p, Sub.p);
    if (judged) Check(got == RInstr(start, s, sub), "qelRInstr", s, sub, start, got, RInstr(start, s, sub));

    // Splits at sub into a filled buffer: only the part may change.
    char dest[kDest];
    memset(dest, kFill, sizeof dest);
    char *r = qelStrLPart(S.p, dest, Sub.p, include);
    if (judged) {
        long p = LInstr(1, s, sub);
        std::string want(kDest, kFill);
        // With include the part ends with the separator's first character;
        // an empty separator equal to an empty s "begins" at the terminator.
        size_t n = include ? p : p - 1;
        if (p > 0) want.replace(0, n, std::string(s.c_str(), n));
        Check((r != 0) == (p > 0), "qelStrLPart result", s, sub, include, r != 0, p > 0);
        Check(want == std::string(dest, kDest), "qelStrLPart bytes", s, sub, include, 0, 0);
    }
    memset(dest, kFill, sizeof dest);
    r = qelStrRPart(S.p, dest, Sub.p, include);
    if (judged) {
        long p = RInstr((int)s.size(), s, sub);
        std::string want(kDest, kFill);
        if (p > 0) {
            // From the separator on, or after it (nothing when s ends there).
            std::string part = s.substr(std::min((size_t)(include ? p - 1 : p), s.size()));
            want.replace(0, part.size() + 1, part + '\0');
        }
        Check((r != 0) == (p > 0), "qelStrRPart result", s, sub, include, r != 0, p > 0);
        Check(want == std::string(dest, kDest), "qelStrRPart bytes", s, sub, include, 0, 0);
    }

    // The longer text doubles as an allowed set (cut at 255) and as numbers.
    std::string allowed = s + s + s + s + sub;
    Block A(allowed);
    if (!sub.empty()) {
        got = qelIsChrValid(Sub.p, A.p);
        Check(got == AllowedOnly(sub, allowed), "qelIsChrValid", sub, allowed, 0, got, AllowedOnly(sub, allowed));
    }
    got = qelVerifyGPIN(S.p, Sub.p);
    Check(got == TailOf(s, sub), "qelVerifyGPIN", s, sub, 0, got, TailOf(s, sub));
    return 0;
}
