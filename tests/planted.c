/* A stand-in DLL for the planting tests: copied into the medium under the
   name of every DLL the setup loads, and as a Brannic.dll that the medium's
   list does not vouch for. It must never be loaded from there: when it is,
   it leaves a marker beside itself (NAME.loaded). Its zlib functions fail. */
#include <windows.h>

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved)
{
    char path[MAX_PATH + 8];
    DWORD n = GetModuleFileNameA(instance, path, MAX_PATH);
    (void)reserved;
    if (reason == DLL_PROCESS_ATTACH && n > 0 && n < MAX_PATH) {
        lstrcpyA(path + n, ".loaded");
        CloseHandle(CreateFileA(path, GENERIC_WRITE, 0, 0, CREATE_ALWAYS, 0, 0));
    }
    return TRUE;
}

__declspec(dllexport) int compress(void *d, unsigned long *dl, const void *s, unsigned long sl) { return -3; }
__declspec(dllexport) int uncompress(void *d, unsigned long *dl, const void *s, unsigned long sl) { return -3; }
__declspec(dllexport) unsigned long compressBound(unsigned long n) { return n + 64; }
