// String helpers: length, comparison, copies by position, searches, splits,
// appending and path joining. Copies write exactly the bytes they copy; the
// caller builds text in zero-filled buffers, whose zeros terminate it.
#include "qelint.h"

// The 256-byte set buffer of qelIsChrValid is all zeros between calls, so a
// copy of at most 255 characters into it is always terminated.
static char allowedSet[256];
static char testedChar[4];

int QELAPI qelStrLen(const char *s)
{
    int n = 0;
    while (s[n]) n++;
    return n;
}

int QELAPI qelStrCmp(const char *a, const char *b)
{
    int n = qelStrLen(a);
    if (n != qelStrLen(b)) return 0;
    for (int i = 0; i <= n; i++)
        if (a[i] != b[i]) return 0;
    return 1;
}

int QELAPI qelIsStrNull(const char *s) { return s[0] == 0; }

int QELAPI qelIsStrEqual(char *a, char *b)
{
    UpperCaseAscii(a);
    UpperCaseAscii(b);
    return qelStrCmp(a, b);
}

// Takes the bytes as they lie, the terminator and what follows included: the
// caller keeps the range inside the source's storage. A count of 0 or less
// copies nothing.
char *QELAPI qelStrMid(const char *source, char *destination, int pos, int count)
{
    qelMemCopy(source + ((intptr_t)pos - 1), destination, count);
    return destination;
}

char *QELAPI qelLStr(const char *source, char *destination, int count)
{
    if (qelNumRange(count, 1, qelStrLen(source)) != 0) return 0;
    return qelStrMid(source, destination, 1, count);
}

char *QELAPI qelRStr(const char *source, char *destination, int count)
{
    int n = qelStrLen(source);
    if (qelNumRange(count, 1, n) != 0) return 0;
    return qelStrMid(source, destination, n - count + 1, count);
}

int QELAPI qelLInstr(int start, const char *s, const char *sub)
{
    int n = qelStrLen(s);
    if (qelNumRange(start, 1, n) != 0) start = 1;
    if (qelStrLen(sub) == n) return qelStrCmp(s, sub);
    return FindSubstring(start, s, sub);
}

// Forward searches from start, start - 1, ... 1: the first that answers
// decides. So an occurrence at or after start wins, else the last one before
// it; a start past the last place sub can begin answers -2 at once.
int QELAPI qelRInstr(int start, const char *s, const char *sub)
{
    int n = qelStrLen(s);
    int m = qelStrLen(sub);
    if (qelNumRange(start, 1, n) != 0) start = n;
    if (m == n) return qelStrCmp(s, sub);
    if (m > n) return 0;
    for (int p = start; p >= 1; p--) {
        int r = FindSubstring(p, s, sub);
        if (r != 0) return r;
    }
    return 0;
}

char *QELAPI qelStrLPart(const char *s, char *destination, const char *separator, int include)
{
    int p = qelLInstr(1, s, separator);
    if (qelNumRange(p, 0, 0) != 1) return 0;
    return qelStrMid(s, destination, 1, include ? p : p - 1);
}

// The one copy that writes its terminator. Only a one-character separator
// (or one equal to the whole string) is found: the backward search answers
// -2 for longer ones.
char *QELAPI qelStrRPart(const char *s, char *destination, const char *separator, int include)
{
    int n = qelStrLen(s);
    int p = qelRInstr(n, s, separator);
    if (p <= 0) return 0;
    int q = include ? p : p + 1;
    // An empty separator "matches" at the terminator; start no further out.
    if (q > n + 1) q = n + 1;
    qelMemCopy(s + q - 1, destination, n - q + 2);
    return destination;
}

char *QELAPI qelStrPlus(const char *text, char *destination)
{
    if (qelIsStrNull(text) || !destination) return destination;
    qelMemCopy(text, destination + qelStrLen(destination), qelStrLen(text));
    return destination;
}

// The destination may be the folder's own buffer: both lengths are taken
// before anything is written.
char *QELAPI qelPathPlus(const char *folder, const char *name, char *destination)
{
    int nf = qelStrLen(folder);
    int nn = qelStrLen(name);
    qelMemCopy(folder, destination, nf);
    destination[nf] = '\\';
    qelMemCopy(name, destination + nf + 1, nn);
    return destination;
}

// Overwrites in place, only where the text lies wholly inside the
// destination's current characters; the length never changes.
char *QELAPI qelStrIns(const char *text, char *destination, int position)
{
    int nt = qelStrLen(text);
    int nd = qelStrLen(destination);
    if (nt == 0 || nd == 0) return destination;
    if (position < 1 || position > nd - nt + 1) return destination;
    qelMemCopy(text, destination + position - 1, nt);
    return destination;
}

// The set is copied and upper-cased in the scratch buffer, each character of
// s is upper-cased on its own and looked up there. Only the first 255 allowed
// characters count, so that the copy stays inside the buffer and terminated.
int QELAPI qelIsChrValid(const char *s, const char *allowed)
{
    int n = qelStrLen(allowed);
    if (n > 255) n = 255;
    qelMemCopy(allowed, allowedSet, n);
    UpperCaseAscii(allowedSet);
    int result = 1;
    int len = qelStrLen(s);
    for (int i = 0; i < len; i++) {
        testedChar[0] = s[i];
        testedChar[1] = 0;
        UpperCaseAscii(testedChar);
        if (qelLInstr(1, allowedSet, testedChar) <= 0) {
            result = 0;
            break;
        }
    }
    qelMemClr(allowedSet, sizeof allowedSet);
    return result;
}

static int FirstSignificant(const char *number)
{
    return number[0] == '0' || number[0] == '+' ? 2 : 1;
}

// 1 when b's significant part is a tail of a's. The tails are compared whole
// at every step, growing one character at a time from the end.
int QELAPI qelVerifyGPIN(const char *a, const char *b)
{
    int fa = FirstSignificant(a), fb = FirstSignificant(b);
    int i = qelStrLen(a), j = qelStrLen(b);
    // A number with nothing after its skipped character has no tail to
    // compare; answering 0 keeps the walk inside both strings.
    if (i < fa || j < fb) return 0;
    for (;;) {
        if (!qelStrCmp(a + i - 1, b + j - 1)) return 0;
        if (j == fb) return 1;
        if (i == fa) return 0;
        i--;
        j--;
    }
}

int FindSubstring(int start, const char *s, const char *sub)
{
    if (start < 1) return -2;
    int n = ScanLength(s);
    int m = ScanLength(sub);
    if (m >= n) return -1;
    int last = n - m + 1;
    if (start > last) return -2;
    for (int p = start; p <= last; p++) {
        const char *at = s + p - 1;
        if (at[0] != sub[0]) continue;
        int k = m - 1;
        while (k > 0 && at[k] == sub[k]) k--;
        if (k <= 0) return p;
    }
    return 0;
}

char *UpperCaseAscii(char *s)
{
    for (unsigned char *p = (unsigned char *)s; *p; p++)
        if (*p >= 'a' && *p <= 'z') *p = (unsigned char)(*p - 32);
    return s;
}

char *LowerCaseAscii(char *s)
{
    for (unsigned char *p = (unsigned char *)s; *p; p++)
        if (*p >= 'A' && *p <= 'Z') *p = (unsigned char)(*p + 32);
    return s;
}

// A 32-bit word read through this type may alias the string's bytes.
typedef uint32_t __attribute__((may_alias)) AliasWord;

// Reads single bytes up to a 4-byte boundary, then aligned words only. An
// aligned word never crosses a page, so the scan never touches memory that
// is not mapped, but the word holding the terminator may reach up to three
// bytes past the string's allocation. AddressSanitizer would report those
// bytes, which are read and ignored; it is switched off for this function
// alone, and the tests check the result and the page bound instead.
#if !defined(_WIN32) && defined(__clang__)
__attribute__((no_sanitize("address")))
#endif
int ScanLength(const char *s)
{
    const char *p = s;
    while (((uintptr_t)p & 3) != 0) {
        if (*p == 0) return (int)(p - s);
        p++;
    }
    for (;;) {
        uint32_t w = *(const AliasWord *)p;
        // Non-zero exactly when w holds a zero byte; the lowest flagged byte
        // is the first zero (flags above it may be false).
        uint32_t zero = (w - 0x01010101u) & ~w & 0x80808080u;
        if (zero) return (int)(p - s) + (int)(__builtin_ctz(zero) >> 3);
        p += 4;
    }
}
