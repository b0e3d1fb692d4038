// The medium's files as the setup reads, checks and holds them, and
// Brannic.dll loaded from the checked bytes. SHA-256 comes from the
// system's CryptoAPI, loaded by full path from the system folder like
// every other DLL the setup loads itself.
#include "medium.h"
#include "medlist.h"
#include "packcore.h"
#include "unpack.h"
#include "product.h"
#include "resources/resource.h"
#include <wincrypt.h>

// The list's entries and how many: 0 when the program carries no list or
// an empty one; -1 when its list is not as the build laid it out, which
// then vouches for nothing.
static const unsigned char *Entries(int *count)
{
    HMODULE module = qelModule();
    HRSRC found = FindResourceA(module, MAKEINTRESOURCEA(IDR_MEDIUM_LIST), MAKEINTRESOURCEA(10) /* RT_RCDATA */);
    HGLOBAL loaded = found ? LoadResource(module, found) : 0;
    const unsigned char *list = loaded ? (const unsigned char *)LockResource(loaded) : 0;
    const unsigned char *entries = 0;
    *count = list ? MedListParse(list, SizeofResource(module, found), &entries) : 0;
    return entries;
}

int MediumListed(void)
{
    int count;
    Entries(&count);
    return count != 0;
}

// The digest the list gives for name; 0 when it names no such file.
static const unsigned char *Expected(const char *name)
{
    int count;
    const unsigned char *entries = Entries(&count);
    return MedListDigest(entries, count, name);
}

// CryptoAPI's calls, loaded once, all or none.
enum { kAcquire, kCreateHash, kHashData, kGetParam, kDestroyHash, kRelease, kCryptCalls };
static FARPROC crypt[kCryptCalls];
typedef BOOL(WINAPI * AcquireFn)(HCRYPTPROV *, LPCSTR, LPCSTR, DWORD, DWORD);
typedef BOOL(WINAPI * CreateHashFn)(HCRYPTPROV, ALG_ID, HCRYPTKEY, DWORD, HCRYPTHASH *);
typedef BOOL(WINAPI * HashDataFn)(HCRYPTHASH, const BYTE *, DWORD, DWORD);
typedef BOOL(WINAPI * GetParamFn)(HCRYPTHASH, DWORD, BYTE *, DWORD *, DWORD);
typedef BOOL(WINAPI * DestroyFn)(ULONG_PTR);
typedef BOOL(WINAPI * ReleaseFn)(HCRYPTPROV, DWORD);

static int CryptCalls(void)
{
    static const char kNames[] = "CryptAcquireContextA\0CryptCreateHash\0CryptHashData\0"
                                 "CryptGetHashParam\0CryptDestroyHash\0CryptReleaseContext\0";
    if (crypt[kRelease]) return 1;
    FARPROC found[kCryptCalls];
    const char *name = kNames;
    for (FARPROC &f : found) {
        if (!(f = qelSystemProc("advapi32.dll", name))) return 0;
        name += qelStrLen(name) + 1;
    }
    qelMemCopy(found, crypt, sizeof crypt);
    return 1;
}

// States through the debugger channel why a file of the medium (a name of
// the product's table) is refused.
static void Refuse(const char *name, const char *why)
{
    char line[128];
    qelMemClr(line, sizeof line);
    qelStrPlus("InstallQvn: refused ", line);
    qelStrPlus(name, line);
    qelStrPlus(": ", line);
    qelStrPlus(why, line);
    qelStrPlus("\n", line);
    OutputDebugStringA(line);
}

int MediumBegin(MediumPass *p, const char *path, const char *name)
{
    qelMemClr(p, sizeof *p);
    p->name = name;
    // Shared for reading only: no writer, renamer or deleter while open.
    p->file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, 0, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, 0);
    if (p->file == INVALID_HANDLE_VALUE) {
        Refuse(name, "cannot be read");
        return 0;
    }
    if ((p->listed = MediumListed()) && (p->want = Expected(name)) && CryptCalls() &&
        ((AcquireFn)(void *)crypt[kAcquire])(&p->provider, 0, 0, PROV_RSA_AES, CRYPT_VERIFYCONTEXT | CRYPT_SILENT))
        ((CreateHashFn)(void *)crypt[kCreateHash])(p->provider, CALG_SHA_256, 0, 0, &p->hash);
    return 1;
}

void MediumSee(MediumPass *p, const unsigned char *bytes, unsigned count)
{
    if (p->hash && !((HashDataFn)(void *)crypt[kHashData])(p->hash, bytes, count, 0)) p->failed = 1;
}

int MediumVouches(MediumPass *p)
{
    if (!p->listed) return 1;
    unsigned char got[MEDLIST_DIGEST];
    DWORD length = MEDLIST_DIGEST;
    const char *why = !p->want ? "not listed"
                      : p->failed || !p->hash ||
                              !((GetParamFn)(void *)crypt[kGetParam])(p->hash, HP_HASHVAL, got, &length, 0) ||
                              length != MEDLIST_DIGEST
                          ? "no SHA-256 from the system"
                          : 0;
    if (!why) {
        int same = 1;
        for (int i = 0; i < MEDLIST_DIGEST; i++) same &= got[i] == p->want[i];
        if (same) return 1;
        why = "digest differs";
    }
    Refuse(p->name, why);
    return 0;
}

void MediumEnd(MediumPass *p)
{
    if (p->hash) ((DestroyFn)(void *)crypt[kDestroyHash])(p->hash);
    if (p->provider) ((ReleaseFn)(void *)crypt[kRelease])(p->provider, 0);
    if (p->file != INVALID_HANDLE_VALUE && p->file) CloseHandle(p->file);
    qelMemClr(p, sizeof *p);
}

unsigned char *MediumTake(const char *path, const char *name, unsigned *size, HANDLE *held)
{
    MediumPass p;
    unsigned char *data = 0;
    if (MediumBegin(&p, path, name)) {
        DWORD high = 0, n = GetFileSize(p.file, &high), got = 0;
        if (high == 0 && n != 0 && n <= PACK_MAX_LENGTH && (data = (unsigned char *)qelMemBank(1, (intptr_t)n)) &&
            (!ReadFile(p.file, data, n, &got, 0) || got != n)) {
            data = (unsigned char *)qelMemBank(0, (intptr_t)data);
            Refuse(name, "cannot be read");
        }
        if (data) MediumSee(&p, data, n);
        if (data && !MediumVouches(&p)) data = (unsigned char *)qelMemBank(0, (intptr_t)data);
        *size = n;
        if (data && held) {
            *held = p.file;
            p.file = INVALID_HANDLE_VALUE;
        }
    }
    MediumEnd(&p);
    return data;
}

static HMODULE brannic;
static unsigned char *brannicBytes;
static unsigned brannicSize;
// Brannic.dll's path in its private folder, and the length of the
// folder's path in it; empty (0) while there is none.
static char privateFile[MAX_PATH + 64];
static int privateFolder;

// A self-relative security descriptor with a protected DACL that gives
// SYSTEM and the Administrators full control, inherited by what the folder
// holds, and nobody else any access. Constant data: nothing to build or free.
alignas(4) static const unsigned char kPrivateAccess[] = {
    1, 0, 0x04, 0x90,                              // revision, control: self-relative, DACL present and protected
    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 20, 0, 0, 0, // no owner, group or SACL; the DACL at 20
    2, 0, 52, 0, 2, 0, 0, 0,                       // ACL revision 2, 52 bytes, 2 entries
    0, 3, 20, 0, 0xFF, 0x01, 0x1F, 0x00,           // allow, inherited by files and folders: FILE_ALL_ACCESS
    1, 1, 0, 0, 0, 0, 0, 5, 18, 0, 0, 0,           //   S-1-5-18 (SYSTEM)
    0, 3, 24, 0, 0xFF, 0x01, 0x1F, 0x00,           // the same for
    1, 2, 0, 0, 0, 0, 0, 5, 32, 0, 0, 0, 0x20, 2, 0, 0, //   S-1-5-32-544 (Administrators)
};

// Writes size bytes at data as Brannic.dll into a new folder of the
// temporary folder whose name holds 128 random bits, created with the
// access above; a name that exists already fails. 1 on success, with
// privateFile the DLL's full path.
static int WritePrivateCopy(const unsigned char *data, unsigned size)
{
    char path[sizeof privateFile];
    qelMemClr(path, sizeof path);
    DWORD n = GetTempPathA(MAX_PATH, path);
    if (n == 0 || n >= MAX_PATH) return 0;
    qelStrPlus("Qvn", path);
    if (!RandomHex(path + n + 3, 4)) return 0;
    static const SECURITY_ATTRIBUTES kAccess = {sizeof kAccess, (void *)kPrivateAccess, FALSE};
    // Only a folder this process made is ever removed.
    if (!CreateDirectoryA(path, (SECURITY_ATTRIBUTES *)&kAccess)) return 0;
    privateFolder = qelStrLen(path);
    qelStrPlus("\\" PRODUCT_BRANNIC, path);
    qelMemCopy(path, privateFile, sizeof path);
    HANDLE file = CreateFileA(path, GENERIC_WRITE, 0, 0, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, 0);
    DWORD wrote = 0;
    BOOL done = WriteFile(file, data, size, &wrote, 0) && wrote == size;
    CloseHandle(file);
    return done;
}

HMODULE MediumBrannic(const unsigned char **bytes, unsigned *size)
{
    if (!brannic) {
        char path[MAX_PATH + 16];
        qelMemClr(path, sizeof path);
        DWORD n = GetModuleFileNameA(qelModule(), path, MAX_PATH);
        if (n == 0 || n >= MAX_PATH) return 0;
        while (n > 0 && path[n - 1] != '\\' && path[n - 1] != '/') path[--n] = 0;
        qelStrPlus(PRODUCT_BRANNIC, path);
        // The medium's file stays held until the process ends: without a
        // list it is the file that is loaded.
        HANDLE held;
        unsigned char *data = MediumTake(path, PRODUCT_BRANNIC, &brannicSize, &held);
        if (!data) return 0;
        if (!MediumListed() || WritePrivateCopy(data, brannicSize))
            brannic = LoadLibraryExA(privateFolder ? privateFile : path, 0, LOAD_LIBRARY_SEARCH_SYSTEM32);
        if (!brannic) {
            qelMemBank(0, (intptr_t)data);
            CloseHandle(held);
            MediumRelease();
            return 0;
        }
        brannicBytes = data;
    }
    *bytes = brannicBytes;
    *size = brannicSize;
    return brannic;
}

void MediumRelease(void)
{
    if (brannic) FreeLibrary(brannic);
    brannic = 0;
    if (!privateFolder) return;
    if (!DeleteFileA(privateFile)) MoveFileExA(privateFile, 0, MOVEFILE_DELAY_UNTIL_REBOOT);
    privateFile[privateFolder] = 0;
    if (!RemoveDirectoryA(privateFile)) MoveFileExA(privateFile, 0, MOVEFILE_DELAY_UNTIL_REBOOT);
    privateFile[0] = 0;
    privateFolder = 0;
}
