// Binding the module's own imports when another program loads it.
//
// Windows and Wine map an executable loaded with LoadLibrary without binding
// its import table and without running its start-up code; Wine does not
// apply its base relocations either when it maps it at a new address. Every
// exported name enters through a thunk that calls qelBindImports before the
// function proper; when the executable is the running program the loader
// has done everything already and nothing is done here. Until the image is
// relocated and bound this file may call nothing through the imports and
// use no absolute address: x86_64 code addresses relative to the
// instruction pointer anyway; i686 code addresses absolutely, so there the
// image finds itself with call/pop and link-time offsets from its own base
// (.rva, which the loader never touches), and the few literals needed before
// relocating are moved by hand (Here). kernel32 is found through the
// process's loader data and its exports are read by hand.
#include "qelint.h"

// 0 untouched, 1 being bound by some thread, 2 bound.
volatile LONG qelBindState = 0;

struct LoaderName {
    USHORT length;
    USHORT capacity;
    WCHAR *buffer;
};
// The leading fields of the loader's records, which have kept their layout
// on every version of Windows and in Wine.
struct LoaderEntry {
    LIST_ENTRY inLoadOrder;
    LIST_ENTRY inMemoryOrder;
    LIST_ENTRY inInitOrder;
    void *base;
    void *entryPoint;
    ULONG imageSize;
    LoaderName fullName;
    LoaderName baseName;
};
struct LoaderData {
    ULONG length;
    BOOLEAN initialized;
    void *ssHandle;
    LIST_ENTRY inLoadOrder;
};
struct ProcessBlock {
    BYTE flags[4];
    void *mutant;
    void *imageBase;
    LoaderData *loader;
};

static ProcessBlock *CurrentProcessBlock(void)
{
    ProcessBlock *peb;
#ifdef __x86_64__
    __asm__("movq %%gs:0x60, %0" : "=r"(peb));
#else
    __asm__("movl %%fs:0x30, %0" : "=r"(peb));
#endif
    return peb;
}

#ifdef __x86_64__
static unsigned char *ActualBase(void)
{
    unsigned char *p;
    __asm__("leaq __ImageBase(%%rip), %0" : "=r"(p));
    return p;
}

static volatile LONG *BindState(void) { return &qelBindState; }
#else
// Where the image lies now: the run-time address of a label less its offset.
static unsigned char *ActualBase(void)
{
    unsigned char *p;
    __asm__("call 1f\n"
            "1:\tpopl %0\n"
            "\tsubl 2f-1b(%0), %0\n"
            "\tjmp 3f\n"
            "2:\t.rva 1b\n"
            "3:"
            : "=r"(p));
    return p;
}

// The bind state, found the same way: it must be right before relocating.
static volatile LONG *BindState(void)
{
    unsigned char *p, *label;
    __asm__("call 1f\n"
            "1:\tpopl %1\n"
            "\tmovl %1, %0\n"
            "\tsubl 2f-1b(%1), %0\n"
            "\taddl 2f+4-1b(%1), %0\n"
            "\tjmp 3f\n"
            "2:\t.rva 1b, _qelBindState\n"
            "3:"
            : "=&r"(p), "=&r"(label));
    return (volatile LONG *)p;
}
#endif

// Where the image's absolute addresses say it lies: the link-time base until
// the image is relocated, the actual one after.
static unsigned char *LinkedBase(void)
{
    unsigned char *p;
#ifdef __x86_64__
    __asm__ __volatile__("movabsq $__ImageBase, %0" : "=r"(p));
#else
    __asm__ __volatile__("movl $___ImageBase, %0" : "=r"(p));
#endif
    return p;
}

// The true address of a literal of this image, before or after relocating
// (linked is LinkedBase() read in the same state). x86_64 code reaches its
// literals relative to the instruction pointer: they are right already.
static const char *Here(const char *literal, unsigned char *self, unsigned char *linked)
{
#ifdef __x86_64__
    return literal;
#else
    return (const char *)(self + ((const unsigned char *)literal - linked));
#endif
}

HMODULE qelModule(void) { return (HMODULE)ActualBase(); }

static unsigned char *Rva(void *base, DWORD rva) { return (unsigned char *)base + rva; }

static IMAGE_DATA_DIRECTORY *Directory(void *base, int index)
{
    IMAGE_DOS_HEADER *dos = (IMAGE_DOS_HEADER *)base;
    IMAGE_NT_HEADERS *nt = (IMAGE_NT_HEADERS *)Rva(base, dos->e_lfanew);
    return &nt->OptionalHeader.DataDirectory[index];
}

static char Lower(char c) { return (c >= 'A' && c <= 'Z') ? (char)(c + 32) : c; }

// Compares a module's base name with an ASCII name, ignoring case; name
// ends at its terminator or at stop (for the "dll.function" forwarders).
static bool SameModule(const LoaderName *u, const char *name, char stop)
{
    unsigned n = u->length / 2, i = 0;
    for (; i < n && name[i] && name[i] != stop; i++)
        if (u->buffer[i] > 127 || Lower((char)u->buffer[i]) != Lower(name[i])) return false;
    if (i == n && (!name[i] || name[i] == stop)) return true;
    // A forwarder names the module without ".dll" (spelt out: no literal
    // may be read before relocating).
    const unsigned dll = '.' | 'd' << 8 | 'l' << 16 | 'l' << 24;
    for (unsigned k = 0; k < 4; k++, i++)
        if (i >= n || Lower((char)u->buffer[i]) != (char)(dll >> 8 * k)) return false;
    return i == n;
}

static void *LoadedModule(const char *name, char stop)
{
    LIST_ENTRY *head = &CurrentProcessBlock()->loader->inLoadOrder;
    for (LIST_ENTRY *e = head->Flink; e != head; e = e->Flink) {
        LoaderEntry *m = (LoaderEntry *)e;
        if (m->baseName.buffer && SameModule(&m->baseName, name, stop)) return m->base;
    }
    return 0;
}

static bool SameText(const char *a, const char *b)
{
    while (*a && *a == *b) a++, b++;
    return *a == *b;
}

// Looks a name up in a loaded module's export table, following forwarders
// to modules that are loaded already.
static void *Export(void *base, const char *name, int depth)
{
    if (!base || depth > 4) return 0;
    IMAGE_DATA_DIRECTORY *dir = Directory(base, IMAGE_DIRECTORY_ENTRY_EXPORT);
    IMAGE_EXPORT_DIRECTORY *ex = (IMAGE_EXPORT_DIRECTORY *)Rva(base, dir->VirtualAddress);
    DWORD *names = (DWORD *)Rva(base, ex->AddressOfNames);
    WORD *ordinals = (WORD *)Rva(base, ex->AddressOfNameOrdinals);
    DWORD *functions = (DWORD *)Rva(base, ex->AddressOfFunctions);
    for (DWORD i = 0; i < ex->NumberOfNames; i++) {
        if (!SameText((const char *)Rva(base, names[i]), name)) continue;
        DWORD rva = functions[ordinals[i]];
        if (rva < dir->VirtualAddress || rva >= dir->VirtualAddress + dir->Size)
            return Rva(base, rva);
        const char *fwd = (const char *)Rva(base, rva);
        const char *dot = fwd;
        while (*dot && *dot != '.') dot++;
        if (!*dot) return 0;
        return Export(LoadedModule(fwd, '.'), dot + 1, depth + 1);
    }
    return 0;
}

typedef BOOL(WINAPI *VirtualProtectFn)(LPVOID, SIZE_T, DWORD, PDWORD);

// Applies the image's base relocations for the distance it was moved.
static void Relocate(unsigned char *self, unsigned char *linked, VirtualProtectFn protect)
{
    ULONG_PTR delta = (ULONG_PTR)(self - linked);
    IMAGE_DATA_DIRECTORY *dir = Directory(self, IMAGE_DIRECTORY_ENTRY_BASERELOC);
    if (!delta || !dir->VirtualAddress) return;
    unsigned char *at = Rva(self, dir->VirtualAddress), *end = at + dir->Size;
    while (at < end) {
        IMAGE_BASE_RELOCATION *block = (IMAGE_BASE_RELOCATION *)at;
        if (block->SizeOfBlock < sizeof *block) break;
        unsigned char *page = Rva(self, block->VirtualAddress);
        WORD *entry = (WORD *)(block + 1);
        unsigned count = (block->SizeOfBlock - sizeof *block) / sizeof(WORD);
        DWORD old = 0;
        // A fix-up may straddle into the next page.
        protect(page, 0x1008, PAGE_EXECUTE_READWRITE, &old);
        // No switch: its jump table would be read through absolute addresses
        // while this very code is being patched.
        for (unsigned i = 0; i < count; i++) {
            unsigned char *p = page + (entry[i] & 0xFFF);
            unsigned type = entry[i] >> 12;
            if (type == IMAGE_REL_BASED_DIR64) *(ULONG64 *)p += delta;
            else if (type == IMAGE_REL_BASED_HIGHLOW) *(DWORD *)p += (DWORD)delta;
        }
        protect(page, 0x1008, old, &old);
        at += block->SizeOfBlock;
    }
}

typedef FARPROC(WINAPI *GetProcAddressFn)(HMODULE, LPCSTR);
typedef HMODULE(WINAPI *LoadLibraryFn)(LPCSTR);

// Relocates the image if it has to be and binds its imports; 1 on success.
static bool Bind(unsigned char *self)
{
    unsigned char *linked = LinkedBase();
    void *kernel32 = LoadedModule(Here("kernel32.dll", self, linked), 0);
    VirtualProtectFn protect = (VirtualProtectFn)Export(kernel32, Here("VirtualProtect", self, linked), 0);
    if (!protect) return false;
    Relocate(self, linked, protect);

    // From here on absolute addresses are right.
    GetProcAddressFn getProc = (GetProcAddressFn)Export(kernel32, "GetProcAddress", 0);
    LoadLibraryFn load = (LoadLibraryFn)Export(kernel32, "LoadLibraryA", 0);
    if (!getProc || !load) return false;
    IMAGE_DATA_DIRECTORY *dir = Directory(self, IMAGE_DIRECTORY_ENTRY_IMPORT);
    if (!dir->VirtualAddress) return true;
    for (IMAGE_IMPORT_DESCRIPTOR *d = (IMAGE_IMPORT_DESCRIPTOR *)Rva(self, dir->VirtualAddress);
         d->Name; d++) {
        HMODULE mod = load((const char *)Rva(self, d->Name));
        if (!mod) continue;
        IMAGE_THUNK_DATA *names = (IMAGE_THUNK_DATA *)Rva(self, d->OriginalFirstThunk ? d->OriginalFirstThunk : d->FirstThunk);
        IMAGE_THUNK_DATA *slots = (IMAGE_THUNK_DATA *)Rva(self, d->FirstThunk);
        unsigned count = 0;
        while (names[count].u1.AddressOfData) count++;
        DWORD old = 0;
        bool unprotected = protect(slots, count * sizeof *slots, PAGE_READWRITE, &old);
        for (unsigned i = 0; i < count; i++) {
            ULONG_PTR v = names[i].u1.Ordinal;
            LPCSTR what = IMAGE_SNAP_BY_ORDINAL(v)
                ? (LPCSTR)(ULONG_PTR)IMAGE_ORDINAL(v)
                : (LPCSTR)((IMAGE_IMPORT_BY_NAME *)Rva(self, (DWORD)v))->Name;
            FARPROC f = getProc(mod, what);
            if (f) slots[i].u1.Function = (ULONG_PTR)f;
        }
        if (unprotected) protect(slots, count * sizeof *slots, old, &old);
    }
    return true;
}

void qelBindImports(void)
{
    volatile LONG *state = BindState();
    if (*state == 2) return;
    // One thread binds; a concurrent first call waits for it (relocating
    // twice would move every address twice).
    if (__sync_val_compare_and_swap(state, 0, 1) != 0) {
        while (*state != 2) __asm__ __volatile__("pause");
        return;
    }
    unsigned char *self = ActualBase();
    // The running program: the loader did everything. Otherwise a failure
    // before relocating changed nothing and the next call tries again.
    if (CurrentProcessBlock()->imageBase == self || Bind(self)) *state = 2;
    else *state = 0;
}

// System DLLs loaded by full path, remembered by name (callers pass the
// same literal each time, and few distinct ones).
static struct {
    const char *name;
    HMODULE module;
} systemDlls[8];

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

static HMODULE SystemModule(const char *dll)
{
    int i = 0;
    for (; i < 8 && systemDlls[i].name; i++)
        if (SameText(systemDlls[i].name, dll)) return systemDlls[i].module;
    HMODULE module = qelLoadSystemDll(dll);
    if (module && i < 8) {
        systemDlls[i].name = dll;
        systemDlls[i].module = module;
    }
    return module;
}

FARPROC qelSystemProc(const char *dll, const char *name)
{
    HMODULE module = SystemModule(dll);
    return module ? GetProcAddress(module, name) : 0;
}
