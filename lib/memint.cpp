// Memory blocks and integer helpers: the lowest layer of the library.
#include "qelint.h"

#ifndef _WIN32
#include <stdlib.h>
#endif
#if defined(__i386__) || defined(__x86_64__)
#include <cpuid.h>
#endif

// The block operations work a byte at a time in ascending order. The build
// forbids turning these loops into library calls, so qelMemCopy keeps its
// forward-propagating overlap and none of them needs an import.
int QELAPI qelMemClr(void *buf, int count)
{
    unsigned char *p = (unsigned char *)buf;
    for (int i = 0; i < count; i++) p[i] = 0;
    return count;
}

int QELAPI qelMemCopy(const void *src, void *dst, int count)
{
    const unsigned char *s = (const unsigned char *)src;
    unsigned char *d = (unsigned char *)dst;
    for (int i = 0; i < count; i++) d[i] = s[i];
    return count;
}

int QELAPI qelMemFill(void *buf, int count, int value)
{
    unsigned char *p = (unsigned char *)buf;
    for (int i = 0; i < count; i++) p[i] = (unsigned char)value;
    return count;
}

void *QELAPI qelMemBank(int mode, intptr_t sizeOrBlock)
{
    if (mode == 1) {
        int n = (int)sizeOrBlock;
        if (n < 0) return 0;
        // n up to the next multiple of 4, plus 4: at most 2^31 + 4, which
        // fits the unsigned 32-bit size.
        unsigned size = (unsigned)qelDivide(n, 4) * 4u + 4u;
#ifdef _WIN32
        return (void *)GlobalAlloc(GMEM_FIXED | GMEM_ZEROINIT, size);
#else
        return calloc(size, 1);
#endif
    }
    if (mode == 0) {
        void *block = (void *)sizeOrBlock;
        if (!block) return 0;
#ifdef _WIN32
        return (void *)GlobalFree((HGLOBAL)block);
#else
        free(block);
        return 0;
#endif
    }
    return 0;
}

// Wrapping arithmetic goes through unsigned values: signed overflow is
// undefined in C++, and the library's integers wrap modulo 2^32.
int QELAPI qelPlus(int a, int b) { return (int)((unsigned)a + (unsigned)b); }
int QELAPI qelMinus(int a, int b) { return (int)((unsigned)a - (unsigned)b); }
int QELAPI qelMultiply(int a, int b) { return (int)((unsigned)a * (unsigned)b); }

// The quotient with the sign of the true quotient and its magnitude rounded
// up. Worked on unsigned magnitudes, so -2^31 has one, and the result wraps
// to 32 bits (-2^31 / -1 gives -2^31). A divisor of 0 gives 0 instead of
// faulting the calling program.
int QELAPI qelDivide(int a, int b)
{
    if (b == 0) return 0;
    unsigned ua = a < 0 ? 0u - (unsigned)a : (unsigned)a;
    unsigned ub = b < 0 ? 0u - (unsigned)b : (unsigned)b;
    unsigned q = ua / ub + (ua % ub != 0);
    return (int)((a < 0) != (b < 0) ? 0u - q : q);
}

// 1 when value has any bit of a positive mask, else 0. The mask of bit 31
// alone reports its bit as -1, the sign it stands for. A mask of 0 gives 0
// instead of a division fault.
int QELAPI qelMask(int value, int mask)
{
    if (mask == (int)0x80000000u) return (value & mask) ? -1 : 0;
    return mask ? qelDivide(value & mask, mask) : 0;
}

int QELAPI qelNumRange(int value, int low, int high)
{
    if (value < low) return -1;
    return value > high ? 1 : 0;
}

int QELAPI qelPentium(void)
{
#if defined(__i386__) || defined(__x86_64__)
    // __get_cpuid_max flips the ID flag first on i386 and gives 0 when the
    // processor has no CPUID.
    unsigned eax, ebx, ecx, edx;
    if (__get_cpuid_max(0, 0) == 0) return 0;
    __cpuid(1, eax, ebx, ecx, edx);
    return (int)((eax & 0xF00u) | (edx & ~0xF00u));
#else
    return 0;
#endif
}

intptr_t QELAPI qelEquDW(intptr_t x) { return x; }
int QELAPI qelEquW(intptr_t x) { return (int)((uintptr_t)x & 0xFFFFu); }
int QELAPI qelGetLoW(intptr_t x) { return (int)((uintptr_t)x & 0xFFFFu); }
int QELAPI qelGetHiW(intptr_t x) { return (int)(((uint32_t)(uintptr_t)x >> 16) & 0xFFFFu); }

void *QELAPI qelInfoAddr(void *base, int offset, unsigned size)
{
    if (!base || !offset || size < 1) return 0;
    return (unsigned char *)base + offset;
}
