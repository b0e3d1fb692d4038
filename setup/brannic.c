/* Brannic.dll: zlib for the setup program and the installed product:
   compress, uncompress and compressBound, and the streaming calls
   (deflateInit_, deflate, deflateEnd, inflateInit_, inflate, inflateEnd).
   zlib's own sources are linked beside this file, and the module
   definition exports the calls; this file gives zlib the four C library
   calls it makes, so the DLL needs no C runtime: no start-up code, no TLS,
   nothing but kernel32. */
#include <windows.h>
#include <zlib.h>

/* zlib allocates its state and window (zcalloc, zcfree) through these:
   the process heap is serialised, as the C runtime's heap is. */
void *malloc(size_t size)
{
    return HeapAlloc(GetProcessHeap(), 0, size);
}

void free(void *block)
{
    if (block) HeapFree(GetProcessHeap(), 0, block);
}

/* The string instructions copy and fill in a few bytes of code, and the
   compiler turns neither back into a call to itself. */
void *memcpy(void *destination, const void *source, size_t count)
{
    void *d = destination;
    __asm__ volatile("rep movsb" : "+D"(d), "+S"(source), "+c"(count) : : "memory");
    return destination;
}

void *memset(void *destination, int value, size_t count)
{
    void *d = destination;
    __asm__ volatile("rep stosb" : "+D"(d), "+c"(count) : "a"(value) : "memory");
    return destination;
}

/* CRC-32 bit by bit, in place of zlib's 9 KiB of tables. Only the gzip
   wrapper uses it, which none of the exported calls selects (their streams
   carry zlib's own header and Adler-32), so its speed does not matter;
   zlib's crc32.o, its one user of the tables, is then not linked. */
uLong ZEXPORT crc32(uLong crc, const Bytef *buf, uInt len)
{
    if (!buf) return 0;
    crc = ~crc & 0xFFFFFFFFul;
    while (len--) {
        crc ^= *buf++;
        for (int k = 0; k < 8; k++) crc = crc >> 1 ^ (0xEDB88320ul & (0 - (crc & 1)));
    }
    return ~crc & 0xFFFFFFFFul;
}

/* The entry: zlib keeps no per-process or per-thread state to set up. */
BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved)
{
    (void)instance; (void)reason; (void)reserved;
    return TRUE;
}
