/* Brannic.dll: zlib's compress, uncompress and compressBound for the setup
   program and the installed product. The functions come whole from the
   static zlib; this file only pulls them into the image. */
#include <windows.h>
#include <zlib.h>

void *const brannicExports[] = { (void *)compress, (void *)uncompress, (void *)compressBound };

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved)
{
    (void)instance; (void)reason; (void)reserved;
    return TRUE;
}
