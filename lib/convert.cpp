// Number and text conversions: decimal and hexadecimal digits, one-character
// texts, the ANSI and OEM character sets, and the split-hex form in which a
// record is written as all its high hexadecimal digits, then all its low ones.
#include "qelint.h"

// Result areas: each call overwrites its own.
static char charArea[4];
static char hexArea[256];
static char decArea[256];

static const char kHexDigits[] = "0123456789ABCDEF";

char *IntToDecText(int value, char *out)
{
    if (value == 0) {
        out[0] = '0';
        out[1] = 0;
        return out;
    }
    char *p = out;
    unsigned magnitude = (unsigned)value;
    if (value < 0) {
        *p++ = '-';
        magnitude = 0u - magnitude;
    }
    char *first = p;
    for (; magnitude; magnitude /= 10) *p++ = (char)('0' + magnitude % 10);
    *p = 0;
    for (char *last = p - 1; first < last; first++, last--) {
        char c = *first;
        *first = *last;
        *last = c;
    }
    return out;
}

char *IntToHexText(unsigned value, char *out)
{
    out[8] = 0;
    for (int i = 7; i >= 0; i--, value >>= 4) out[i] = kHexDigits[value & 15];
    return out;
}

// Every byte counts as a digit, (code - 48) mod 256; the value wraps.
int DecTextToInt(const char *text)
{
    const unsigned char *p = (const unsigned char *)text;
    bool negative = *p == '-';
    if (negative) p++;
    unsigned value = 0;
    for (; *p; p++) value = value * 10u + (unsigned char)(*p - 48);
    return (int)(negative ? 0u - value : value);
}

// 0-9, A-F and a-f give their usual values; any other byte gives its code
// (or code + 9, from A on) mod 16.
unsigned HexTextToInt(const char *text)
{
    unsigned value = 0;
    for (const unsigned char *p = (const unsigned char *)text; *p; p++)
        value = (value << 4) | (*p < 65 ? *p & 15u : (*p + 9u) & 15u);
    return value;
}

int QELAPI qelAsc(const char *text) { return (unsigned char)text[0]; }

char *QELAPI qelChr(int value)
{
    charArea[0] = (char)value;
    return charArea;
}

char *QELAPI qelHex(int value)
{
    qelMemClr(hexArea, sizeof hexArea);
    return IntToHexText((unsigned)value, hexArea);
}

char *QELAPI qelStr(int value)
{
    qelMemClr(decArea, sizeof decArea);
    return IntToDecText(value, decArea);
}

int QELAPI qelHexVal(const char *text) { return (int)HexTextToInt(text); }
int QELAPI qelStrVal(const char *text) { return DecTextToInt(text); }

// The split-hex conversion in a work block of at least length bytes that the
// caller provides. length is even. Returns the count produced.
static int SplitHex(int mode, unsigned char *buffer, int length, unsigned char *work)
{
    int half = length / 2;
    int count = 0;
    if (mode == 1) {
        for (int i = 0; i < half; i++) {
            work[i] = (unsigned char)kHexDigits[buffer[i] >> 4];
            work[half + i] = (unsigned char)kHexDigits[buffer[i] & 15];
            count += 2;
        }
    } else {
        // Each pair is read as a text: a zero low digit ends it early, as
        // the digit rules have it.
        char pair[4] = {0, 0, 0, 0};
        for (int i = 0; i < half; i++) {
            pair[0] = (char)buffer[i];
            pair[1] = (char)buffer[half + i];
            work[i] = (unsigned char)HexTextToInt(pair);
            count++;
        }
    }
    qelMemClr(buffer, length);
    qelMemCopy(work, buffer, count);
    return count;
}

// The work block qelText uses: length plus 1024 bytes, zero-filled. 0 when
// it cannot be had (also when the size would pass the 32-bit range).
static unsigned char *TakeWorkBlock(int length)
{
    if (length > 0x7FFFFFFF - 1024) return 0;
    unsigned char *work = (unsigned char *)qelMemBank(1, length + 1024);
    if (work) qelMemClr(work, length + 1024);
    return work;
}

// An odd length counts as the even length below it; below 2 there is no
// record to convert and the buffer stays as it is.
int QELAPI qelText(int mode, char *buffer, int length)
{
    if (mode != 1 && mode != -1) return 0;
    length &= ~1;
    if (length < 2) return 0;
    unsigned char *work = TakeWorkBlock(length);
    if (!work) return 0;
    int count = SplitHex(mode, (unsigned char *)buffer, length, work);
    qelMemBank(0, (intptr_t)work);
    return count;
}

#ifdef _WIN32
int QELAPI qelCharOEM(int mode, char *ansiText, char *oemText, unsigned length)
{
    if (mode == 1) CharToOemBuffA(ansiText, oemText, length);
    else if (mode == 0) OemToCharBuffA(oemText, ansiText, length);
    return 1;
}

// One work block serves the whole call, taken before the file is touched:
// when none can be had, neither the file nor the buffer changes.
int QELAPI qelEnvironIO(int mode, const char *fileName, char *buffer, int length)
{
    if (mode != 1 && mode != -1) return 1;
    length &= ~1;
    if (length < 2) return 1;
    unsigned char *work = TakeWorkBlock(length);
    if (!work) return 1;
    unsigned char *b = (unsigned char *)buffer;
    if (mode == 1) {
        SplitHex(1, b, length, work);
        qelWriteFile(fileName, 1, buffer, (unsigned)length);
    } else {
        qelReadFile(fileName, 1, buffer, (unsigned)length);
    }
    SplitHex(-1, b, length, work);
    qelMemBank(0, (intptr_t)work);
    return 1;
}
#endif
