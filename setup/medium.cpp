// The medium's list (medlist.h) and the checks made against it. SHA-256
// comes from the system's CryptoAPI, loaded by full path from the system
// folder like every other DLL the setup loads itself.
#include "medium.h"
#include "medlist.h"
#include "packcore.h"
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

// SHA-256 of size bytes at data into digest; 0 when the system has none.
static int Sha256(const unsigned char *data, unsigned size, unsigned char *digest)
{
    // CryptoAPI's calls, in the order of the table below.
    static const char kNames[] = "CryptAcquireContextA\0CryptCreateHash\0CryptHashData\0"
                                 "CryptGetHashParam\0CryptDestroyHash\0CryptReleaseContext\0";
    FARPROC call[6];
    const char *name = kNames;
    for (FARPROC &f : call) {
        if (!(f = qelSystemProc("advapi32.dll", name))) return 0;
        name += qelStrLen(name) + 1;
    }
    typedef BOOL(WINAPI * AcquireFn)(HCRYPTPROV *, LPCSTR, LPCSTR, DWORD, DWORD);
    typedef BOOL(WINAPI * CreateHashFn)(HCRYPTPROV, ALG_ID, HCRYPTKEY, DWORD, HCRYPTHASH *);
    typedef BOOL(WINAPI * HashDataFn)(HCRYPTHASH, const BYTE *, DWORD, DWORD);
    typedef BOOL(WINAPI * GetParamFn)(HCRYPTHASH, DWORD, BYTE *, DWORD *, DWORD);
    typedef BOOL(WINAPI * DestroyFn)(ULONG_PTR);
    typedef BOOL(WINAPI * ReleaseFn)(HCRYPTPROV, DWORD);
    HCRYPTPROV provider;
    if (!((AcquireFn)(void *)call[0])(&provider, 0, 0, PROV_RSA_AES, CRYPT_VERIFYCONTEXT | CRYPT_SILENT)) return 0;
    HCRYPTHASH hash;
    int done = 0;
    if (((CreateHashFn)(void *)call[1])(provider, CALG_SHA_256, 0, 0, &hash)) {
        DWORD length = MEDLIST_DIGEST;
        done = ((HashDataFn)(void *)call[2])(hash, data, size, 0) &&
               ((GetParamFn)(void *)call[3])(hash, HP_HASHVAL, digest, &length, 0) && length == MEDLIST_DIGEST;
        ((DestroyFn)(void *)call[4])(hash);
    }
    ((ReleaseFn)(void *)call[5])(provider, 0);
    return done;
}

int MediumVouches(const char *name, const unsigned char *data, unsigned size)
{
    if (!MediumListed()) return 1;
    const unsigned char *want = Expected(name);
    unsigned char got[MEDLIST_DIGEST];
    if (!want || !Sha256(data, size, got)) return 0;
    int same = 1;
    for (int i = 0; i < MEDLIST_DIGEST; i++) same &= got[i] == want[i];
    return same;
}

unsigned char *MediumReadHeld(const char *path, const char *name, unsigned *size, HANDLE *held)
{
    *held = INVALID_HANDLE_VALUE;
    // Shared for reading only: no writer, renamer or deleter while open.
    HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, 0, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, 0);
    if (file == INVALID_HANDLE_VALUE) return 0;
    DWORD high = 0, n = GetFileSize(file, &high), got = 0;
    unsigned char *data = 0;
    if (high == 0 && n <= PACK_MAX_LENGTH) data = (unsigned char *)qelMemBank(1, (intptr_t)n);
    if (data && ReadFile(file, data, n, &got, 0) && got == n && MediumVouches(name, data, n)) {
        *size = n;
        *held = file;
        return data;
    }
    if (data) qelMemBank(0, (intptr_t)data);
    CloseHandle(file);
    return 0;
}
