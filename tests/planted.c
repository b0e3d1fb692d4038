/* A stand-in DLL for the planting test: copied into the medium under the
   name of every DLL the setup loads. It must never be loaded from there. */
#include <windows.h>

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved)
{
    (void)instance; (void)reason; (void)reserved;
    return TRUE;
}
