// Buffers for table cases that write into memory: the row's before bytes
// followed by zeros, compared whole afterwards with the row's after bytes
// followed by zeros, so a stray terminator or a byte written past the
// expected ones shows.
#ifndef CASEBUFFER_H
#define CASEBUFFER_H

#include <string.h>
#include <string>

// n bytes at p, then zeros up to size.
inline std::string Padded(const char *p, size_t n, size_t size)
{
    std::string s(p, n);
    s.resize(size, '\0');
    return s;
}

template <size_t N> struct CaseBuffer {
    char bytes[N];
    CaseBuffer(const char *before, size_t n)
    {
        memset(bytes, 0, N);
        memcpy(bytes, before, n);
    }
    std::string Expected(const char *after, size_t n) const { return Padded(after, n, N); }
    std::string Actual() const { return std::string(bytes, N); }
};

#endif
