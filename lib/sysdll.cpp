// DLLs of the system folder, loaded by full path and remembered.
#include "qelint.h"

HMODULE qelLoadSystemDll(const char *dll)
{
    char path[MAX_PATH + 32];
    UINT n = GetSystemDirectoryA(path, MAX_PATH);
    int length = qelStrLen(dll);
    if (n == 0 || n >= MAX_PATH || length > 30) return 0;
    path[n++] = '\\';
    qelMemCopy(dll, path + n, length + 1);
    return LoadLibraryExA(path, 0, LOAD_WITH_ALTERED_SEARCH_PATH);
}

// The DLLs loaded so far. Threads may make their first use at once: an
// entry is claimed by one thread, filled (the name copied, so that the
// caller's text may change later) and only then marked ready; readers look
// at ready entries only. Two threads that load the same DLL at once may
// both keep it, which costs an entry, never a wrong answer.
enum { kFree, kClaimed, kReady };
static struct {
    volatile LONG state;
    char name[32];
    HMODULE module;
} systemDlls[8];

static HMODULE SystemModule(const char *dll)
{
    for (auto &e : systemDlls)
        if (__atomic_load_n(&e.state, __ATOMIC_ACQUIRE) == kReady && qelStrCmp(e.name, dll)) return e.module;
    HMODULE module = qelLoadSystemDll(dll); // also refuses a name longer than an entry holds
    if (!module) return 0;
    for (auto &e : systemDlls)
        if (__sync_bool_compare_and_swap(&e.state, kFree, kClaimed)) {
            qelMemCopy(dll, e.name, qelStrLen(dll) + 1);
            e.module = module;
            __atomic_store_n(&e.state, kReady, __ATOMIC_RELEASE);
            break;
        }
    return module;
}

FARPROC qelSystemProc(const char *dll, const char *name)
{
    HMODULE module = SystemModule(dll);
    return module ? GetProcAddress(module, name) : 0;
}
