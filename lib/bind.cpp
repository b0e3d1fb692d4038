// Binding the module's own imports when another program loads it.
//
// Windows and Wine map an executable loaded with LoadLibrary without binding
// its import table and without running its start-up code; Wine does not
// apply its base relocations either when it maps it at a new address. Every
// exported name enters through a thunk that calls qelBindImports before the
// function proper, and returns 0 without entering it when binding fails;
// when the executable is the running program the loader has done
// everything already and nothing is done here. Until the image is
// relocated and bound this file may call nothing through the imports and
// use no absolute address: x86_64 code addresses relative to the
// instruction pointer anyway; i686 code addresses absolutely, so there the
// image finds itself with call/pop and link-time offsets from its own base
// (.rva, which the loader never touches), and the names it looks up are
// built on the stack. kernel32 is found through the process's loader data,
// GetProcAddress in its export table by hand.
#include "qelint.h"

// [0]: the state (bindstate.h); [1]: the mutex that every binding is made
// under, published once and kept for the process's lifetime.
volatile LONG_PTR qelBindState[2];

// Offsets in the thread block (fs: on i686, gs: on x86_64) and in the
// process block.
#ifdef __x86_64__
enum { kTebProcess = 0x60, kTebThreadId = 0x48, kPebLoaderLock = 0x110 };
#else
enum { kTebProcess = 0x30, kTebThreadId = 0x24, kPebLoaderLock = 0xA0 };
#endif

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
    __asm__("movq %%gs:%c1, %0" : "=r"(peb) : "i"(kTebProcess));
#else
    __asm__("movl %%fs:%c1, %0" : "=r"(peb) : "i"(kTebProcess));
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

static volatile LONG_PTR *BindState(void) { return qelBindState; }
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
static volatile LONG_PTR *BindState(void)
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
    return (volatile LONG_PTR *)p;
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

HMODULE qelModule(void) { return (HMODULE)ActualBase(); }

static unsigned char *Rva(void *base, DWORD rva) { return (unsigned char *)base + rva; }

static IMAGE_NT_HEADERS *Headers(void *base)
{
    return (IMAGE_NT_HEADERS *)Rva(base, ((IMAGE_DOS_HEADER *)base)->e_lfanew);
}

static IMAGE_DATA_DIRECTORY *Directory(void *base, int index)
{
    return &Headers(base)->OptionalHeader.DataDirectory[index];
}

// Names the binder needs before the image is relocated, when no literal of
// the image may be read: spelt out four characters a word, built on the
// stack from immediates.
#define QEL_W(a, b, c, d) ((unsigned)(a) | (unsigned)(b) << 8 | (unsigned)(c) << 16 | (unsigned)(d) << 24)
struct Name {
    unsigned w[6];
    Name(unsigned a, unsigned b, unsigned c, unsigned d, unsigned e = 0, unsigned f = 0)
    {
        w[0] = a, w[1] = b, w[2] = c, w[3] = d, w[4] = e, w[5] = f;
    }
    const char *text() const { return (const char *)w; }
};

static char Lower(char c) { return (c >= 'A' && c <= 'Z') ? (char)(c + 32) : c; }

// Compares a module's base name with an ASCII name, ignoring case.
static bool SameModule(const LoaderName *u, const char *name)
{
    unsigned n = u->length / 2, i = 0;
    for (; i < n && name[i]; i++)
        if (u->buffer[i] > 127 || Lower((char)u->buffer[i]) != Lower(name[i])) return false;
    return i == n && !name[i];
}

static void *LoadedModule(const char *name)
{
    LIST_ENTRY *head = &CurrentProcessBlock()->loader->inLoadOrder;
    for (LIST_ENTRY *e = head->Flink; e != head; e = e->Flink) {
        LoaderEntry *m = (LoaderEntry *)e;
        if (m->baseName.buffer && SameModule(&m->baseName, name)) return m->base;
    }
    return 0;
}

static bool SameText(const char *a, const char *b)
{
    while (*a && *a == *b) a++, b++;
    return *a == *b;
}

// Looks a name up in a loaded module's export table; a forwarded export
// counts as missing (its module may not even be loaded).
static void *Export(void *base, const char *name)
{
    if (!base) return 0;
    IMAGE_DATA_DIRECTORY *dir = Directory(base, IMAGE_DIRECTORY_ENTRY_EXPORT);
    IMAGE_EXPORT_DIRECTORY *ex = (IMAGE_EXPORT_DIRECTORY *)Rva(base, dir->VirtualAddress);
    DWORD *names = (DWORD *)Rva(base, ex->AddressOfNames);
    WORD *ordinals = (WORD *)Rva(base, ex->AddressOfNameOrdinals);
    DWORD *functions = (DWORD *)Rva(base, ex->AddressOfFunctions);
    for (DWORD i = 0; i < ex->NumberOfNames; i++) {
        if (!SameText((const char *)Rva(base, names[i]), name)) continue;
        DWORD rva = functions[ordinals[i]];
        bool forwarded = rva >= dir->VirtualAddress && rva < dir->VirtualAddress + dir->Size;
        return forwarded ? 0 : Rva(base, rva);
    }
    return 0;
}

typedef FARPROC(WINAPI *GetProcAddressFn)(HMODULE, LPCSTR);
typedef HMODULE(WINAPI *LoadLibraryFn)(LPCSTR);
typedef BOOL(WINAPI *FreeLibraryFn)(HMODULE);
typedef BOOL(WINAPI *VirtualProtectFn)(LPVOID, SIZE_T, DWORD, PDWORD);
typedef SIZE_T(WINAPI *VirtualQueryFn)(LPCVOID, PMEMORY_BASIC_INFORMATION, SIZE_T);
typedef LPVOID(WINAPI *VirtualAllocFn)(LPVOID, SIZE_T, DWORD, DWORD);
typedef BOOL(WINAPI *VirtualFreeFn)(LPVOID, SIZE_T, DWORD);
typedef BOOL(WINAPI *FlushFn)(HANDLE, LPCVOID, SIZE_T);

// GetProcAddress is read from kernel32's export table by hand; everything
// else comes through it, so that forwarders to modules of any name (API
// sets) resolve as the system resolves them.
static GetProcAddressFn KernelProcs(HMODULE *kernel32)
{
    Name k32(QEL_W('k', 'e', 'r', 'n'), QEL_W('e', 'l', '3', '2'), QEL_W('.', 'd', 'l', 'l'), 0);
    Name gpa(QEL_W('G', 'e', 't', 'P'), QEL_W('r', 'o', 'c', 'A'), QEL_W('d', 'd', 'r', 'e'),
             QEL_W('s', 's', 0, 0));
    *kernel32 = (HMODULE)LoadedModule(k32.text());
    return (GetProcAddressFn)Export(*kernel32, gpa.text());
}

// One binding attempt: what it looked up and what it has to undo.
struct Binder {
    unsigned char *self;
    GetProcAddressFn getProc;
    LoadLibraryFn load;
    VirtualProtectFn protect;
    VirtualQueryFn query;
    ULONG_PTR *found;  // per import slot: the address resolved for it
    HMODULE *taken;    // the module references taken
    DWORD *old;        // per page of the image: its own protection while opened, kWritable, else 0
    unsigned pages, slots, modules;
    bool ok;

    // A page that was writable as found: nothing to open or give back.
    static const DWORD kWritable = ~0u;

    // Makes the pages of [at, at + size) writable, each on its own
    // (keeping whether it may run: other threads may be executing there);
    // a guard page is opened too, its guard kept in the protection restored.
    // Each page is asked about once.
    void Open(unsigned char *at, SIZE_T size)
    {
        for (SIZE_T page = (SIZE_T)(at - self) / 0x1000; ok && page <= (SIZE_T)(at - self + size - 1) / 0x1000; page++) {
            if (page >= pages) { ok = false; break; }
            if (old[page]) continue;
            MEMORY_BASIC_INFORMATION m;
            unsigned char *p = self + page * 0x1000;
            if (query(p, &m, sizeof m) != sizeof m) { ok = false; break; }
            DWORD now = m.Protect, was = 0;
            if (!(now & PAGE_GUARD) && (now & (PAGE_READWRITE | PAGE_WRITECOPY | PAGE_EXECUTE_READWRITE | PAGE_EXECUTE_WRITECOPY)))
                was = kWritable;
            else
                ok = protect(p, 1, (now & 0xF0) ? PAGE_EXECUTE_READWRITE : PAGE_READWRITE, &was) && was;
            old[page] = was;
        }
    }
    // Gives every opened page its own protection back.
    void Close()
    {
        for (unsigned page = 0; page < pages; page++) {
            DWORD was;
            if (old[page] && old[page] != kWritable) protect(self + page * 0x1000, 1, old[page], &was);
        }
    }
};

// Opens (write false) or applies (write true) the image's base relocations
// for the distance it was moved; false for a moved image without
// relocations, a malformed block or a type it does not know.
static bool Relocations(Binder *b, ULONG_PTR delta, bool write)
{
    IMAGE_DATA_DIRECTORY *dir = Directory(b->self, IMAGE_DIRECTORY_ENTRY_BASERELOC);
    if (!delta) return true;
    if (!dir->VirtualAddress || !dir->Size) return false;
    unsigned char *at = Rva(b->self, dir->VirtualAddress), *end = at + dir->Size;
    while (at < end) {
        IMAGE_BASE_RELOCATION *block = (IMAGE_BASE_RELOCATION *)at;
        if (block->SizeOfBlock < sizeof *block || block->SizeOfBlock > (SIZE_T)(end - at)) return false;
        unsigned char *page = Rva(b->self, block->VirtualAddress);
        WORD *entry = (WORD *)(block + 1);
        unsigned count = (block->SizeOfBlock - sizeof *block) / sizeof(WORD);
        // No switch: its jump table would be read through absolute addresses
        // while this very code is being patched.
        for (unsigned i = 0; i < count; i++) {
            unsigned char *p = page + (entry[i] & 0xFFF);
            unsigned type = entry[i] >> 12;
            if (type == IMAGE_REL_BASED_DIR64) {
                if (write) *(ULONG64 *)p += delta;
                else b->Open(p, 8);
            } else if (type == IMAGE_REL_BASED_HIGHLOW) {
                if (write) *(DWORD *)p += (DWORD)delta;
                else b->Open(p, 4);
            } else if (type != IMAGE_REL_BASED_ABSOLUTE) {
                return false;
            }
        }
        at += block->SizeOfBlock;
    }
    return b->ok;
}

// Walks the import table: pass 0 counts the slots and modules, pass 1
// takes each module and resolves each import into found[], pass 2 opens
// the slots, pass 3 writes what pass 1 found. Every page is opened only
// after every lookup (a binder that dies waiting in the loader leaves no
// page open). False when a module or a name is missing or an entry is
// neither a name nor an ordinal (a slot that holds an address where no
// lookup table names the import).
static bool Imports(Binder *b, int pass)
{
    unsigned char *self = b->self;
    IMAGE_DATA_DIRECTORY *dir = Directory(self, IMAGE_DIRECTORY_ENTRY_IMPORT);
    ULONG_PTR size = Headers(self)->OptionalHeader.SizeOfImage;
    unsigned n = 0, m = 0;
    if (dir->VirtualAddress)
        for (IMAGE_IMPORT_DESCRIPTOR *d = (IMAGE_IMPORT_DESCRIPTOR *)Rva(self, dir->VirtualAddress); d->Name; d++, m++) {
            HMODULE mod = 0;
            if (pass == 1) {
                mod = b->load((const char *)Rva(self, d->Name));
                if (!mod) return false;
                b->taken[b->modules++] = mod;
            }
            IMAGE_THUNK_DATA *names = (IMAGE_THUNK_DATA *)Rva(self, d->OriginalFirstThunk ? d->OriginalFirstThunk : d->FirstThunk);
            IMAGE_THUNK_DATA *slots = (IMAGE_THUNK_DATA *)Rva(self, d->FirstThunk);
            for (unsigned i = 0; names[i].u1.AddressOfData; i++, n++) {
                if (pass == 2) b->Open((unsigned char *)&slots[i], sizeof slots[i]);
                if (pass == 3) slots[i].u1.Function = b->found[n];
                if (pass != 1) continue;
                ULONG_PTR v = names[i].u1.Ordinal;
                bool ordinal = IMAGE_SNAP_BY_ORDINAL(v);
                if (ordinal ? (v & ~IMAGE_ORDINAL_FLAG) > 0xFFFF : v >= size) return false;
                LPCSTR what = ordinal ? (LPCSTR)(ULONG_PTR)IMAGE_ORDINAL(v)
                                      : (LPCSTR)((IMAGE_IMPORT_BY_NAME *)Rva(self, (DWORD)v))->Name;
                if (!(b->found[n] = (ULONG_PTR)b->getProc(mod, what))) return false;
            }
        }
    b->slots = n;
    b->modules = m;
    return b->ok;
}

// Relocates the image if it has to be and binds its imports; true on
// success. Everything is looked up and every page to be written is opened
// first: on any failure nothing of the image is written, every page has
// its protection back and every module reference taken is released.
static bool Bind(unsigned char *self, volatile LONG_PTR *state, HMODULE kernel32, GetProcAddressFn getProc)
{
    Name ll(QEL_W('L', 'o', 'a', 'd'), QEL_W('L', 'i', 'b', 'r'), QEL_W('a', 'r', 'y', 'A'), 0);
    Name fl(QEL_W('F', 'r', 'e', 'e'), QEL_W('L', 'i', 'b', 'r'), QEL_W('a', 'r', 'y', 0), 0);
    Name vp(QEL_W('V', 'i', 'r', 't'), QEL_W('u', 'a', 'l', 'P'), QEL_W('r', 'o', 't', 'e'),
            QEL_W('c', 't', 0, 0));
    Name vq(QEL_W('V', 'i', 'r', 't'), QEL_W('u', 'a', 'l', 'Q'), QEL_W('u', 'e', 'r', 'y'), 0);
    Name va(QEL_W('V', 'i', 'r', 't'), QEL_W('u', 'a', 'l', 'A'), QEL_W('l', 'l', 'o', 'c'), 0);
    Name vf(QEL_W('V', 'i', 'r', 't'), QEL_W('u', 'a', 'l', 'F'), QEL_W('r', 'e', 'e', 0), 0);
    Name fic(QEL_W('F', 'l', 'u', 's'), QEL_W('h', 'I', 'n', 's'), QEL_W('t', 'r', 'u', 'c'),
             QEL_W('t', 'i', 'o', 'n'), QEL_W('C', 'a', 'c', 'h'), QEL_W('e', 0, 0, 0));
    Binder b;
    b.self = self;
    b.getProc = getProc;
    b.load = (LoadLibraryFn)(void *)getProc(kernel32, ll.text());
    FreeLibraryFn unload = (FreeLibraryFn)(void *)getProc(kernel32, fl.text());
    b.protect = (VirtualProtectFn)(void *)getProc(kernel32, vp.text());
    b.query = (VirtualQueryFn)(void *)getProc(kernel32, vq.text());
    VirtualAllocFn alloc = (VirtualAllocFn)(void *)getProc(kernel32, va.text());
    VirtualFreeFn release = (VirtualFreeFn)(void *)getProc(kernel32, vf.text());
    FlushFn flush = (FlushFn)(void *)getProc(kernel32, fic.text());
    if (!b.load || !unload || !b.protect || !b.query || !alloc || !release || !flush) return false;
    b.pages = (Headers(self)->OptionalHeader.SizeOfImage + 0xFFF) / 0x1000;
    b.ok = true;
    Imports(&b, 0);
    // The tables grow with the image: slot addresses, module references and
    // page protections in one block, zero-filled.
    b.found = (ULONG_PTR *)alloc(0, b.slots * sizeof(ULONG_PTR) + b.modules * sizeof(HMODULE) + b.pages * sizeof(DWORD),
                                 MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
    if (!b.found) return false;
    b.taken = (HMODULE *)(b.found + b.slots);
    b.old = (DWORD *)(b.taken + b.modules);
    b.modules = 0;
    ULONG_PTR delta = (ULONG_PTR)(self - LinkedBase());
    bool ready = Imports(&b, 1) && Imports(&b, 2) && Relocations(&b, delta, false);
    if (ready) {
        __atomic_store_n(state, QEL_BIND_WRITING, __ATOMIC_RELEASE);
        Relocations(&b, delta, true);
        // From here on absolute addresses are right; code that was
        // patched is fetched afresh.
        flush((HANDLE)-1, self, Headers(self)->OptionalHeader.SizeOfImage);
        Imports(&b, 3);
    } else {
        while (b.modules) unload(b.taken[--b.modules]);
    }
    b.Close();
    release(b.found, 0, MEM_RELEASE);
    return ready;
}

static DWORD CurrentThreadId(void)
{
    DWORD id;
#ifdef __x86_64__
    __asm__("movl %%gs:%c1, %0" : "=r"(id) : "i"(kTebThreadId));
#else
    __asm__("movl %%fs:%c1, %0" : "=r"(id) : "i"(kTebThreadId));
#endif
    return id;
}

// The thread that holds the process's loader lock, 0 when none does.
static DWORD LoaderLockOwner(void)
{
    RTL_CRITICAL_SECTION *lock = *(RTL_CRITICAL_SECTION **)((unsigned char *)CurrentProcessBlock() + kPebLoaderLock);
    return lock ? (DWORD)(ULONG_PTR)lock->OwningThread : 0;
}

// Binding is done under one mutex for the process, which the system
// tracks: a thread that waits for a binder wakes when it is done, or owns
// the mutex at once, told so, when the binder died. No thread id is kept
// (one can be reused), nothing polls, and the state changes only in the
// hands of the mutex's owner. The mutex is handled through ntdll's own
// exports, found by hand: they are never forwarded, and a lookup through
// GetProcAddress would wait for the loader lock, which the loader lock's
// owner may hold while a binder has yet to claim the mutex.
typedef LONG(NTAPI *CreateMutantFn)(HANDLE *, ACCESS_MASK, void *, BOOLEAN);
typedef LONG(NTAPI *WaitFn)(HANDLE, BOOLEAN, LARGE_INTEGER *);
typedef LONG(NTAPI *ReleaseMutantFn)(HANDLE, LONG *);
typedef LONG(NTAPI *CloseFn)(HANDLE);

struct BindLock {
    CreateMutantFn create;
    WaitFn wait;
    ReleaseMutantFn release;
    CloseFn close;
    HANDLE mutex;

    bool Init()
    {
        Name nt(QEL_W('n', 't', 'd', 'l'), QEL_W('l', '.', 'd', 'l'), QEL_W('l', 0, 0, 0), 0);
        Name cm(QEL_W('N', 't', 'C', 'r'), QEL_W('e', 'a', 't', 'e'), QEL_W('M', 'u', 't', 'a'),
                QEL_W('n', 't', 0, 0));
        Name wo(QEL_W('N', 't', 'W', 'a'), QEL_W('i', 't', 'F', 'o'), QEL_W('r', 'S', 'i', 'n'),
                QEL_W('g', 'l', 'e', 'O'), QEL_W('b', 'j', 'e', 'c'), QEL_W('t', 0, 0, 0));
        Name rm(QEL_W('N', 't', 'R', 'e'), QEL_W('l', 'e', 'a', 's'), QEL_W('e', 'M', 'u', 't'),
                QEL_W('a', 'n', 't', 0));
        Name cl(QEL_W('N', 't', 'C', 'l'), QEL_W('o', 's', 'e', 0), 0, 0);
        void *ntdll = LoadedModule(nt.text());
        create = (CreateMutantFn)Export(ntdll, cm.text());
        wait = (WaitFn)Export(ntdll, wo.text());
        release = (ReleaseMutantFn)Export(ntdll, rm.text());
        close = (CloseFn)Export(ntdll, cl.text());
        return create && wait && release && close;
    }
    // The process's mutex: the first thread to need one makes it and
    // publishes it with one compare-and-swap; a thread that lost the race
    // closes its own. Never closed once published, so a handle that a
    // waiter read cannot become another object's.
    bool Find(volatile LONG_PTR *word)
    {
        mutex = (HANDLE)__atomic_load_n(word, __ATOMIC_ACQUIRE);
        if (mutex) return true;
        HANDLE made = 0;
        if (create(&made, MUTANT_ALL_ACCESS, 0, FALSE) < 0 || !made) return false;
        LONG_PTR seen = 0;
        if (__atomic_compare_exchange_n(word, &seen, (LONG_PTR)made, false, __ATOMIC_ACQ_REL, __ATOMIC_ACQUIRE)) {
            mutex = made;
        } else {
            close(made);
            mutex = (HANDLE)seen;
        }
        return true;
    }
};

int qelBindImports(void)
{
    volatile LONG_PTR *state = BindState();
    if (__atomic_load_n(state, __ATOMIC_ACQUIRE) == QEL_BIND_BOUND) return 1;
    unsigned char *self = ActualBase();
    // The running program: the loader did everything.
    if (CurrentProcessBlock()->imageBase == self) {
        __atomic_store_n(state, QEL_BIND_BOUND, __ATOMIC_RELEASE);
        return 1;
    }
    BindLock lock;
    // Without the mutex nothing is bound: a failed call of the system can
    // never let two threads bind.
    if (!lock.Init() || !lock.Find(state + 1)) return 0;
    // The loader lock's owner does not wait: the binder may be waiting for
    // that lock. It binds only when no one else does.
    LARGE_INTEGER now = {};
    LONG got = lock.wait(lock.mutex, FALSE, LoaderLockOwner() == CurrentThreadId() ? &now : 0);
    if (got != WAIT_OBJECT_0 && got != WAIT_ABANDONED) return 0;
    HMODULE kernel32;
    GetProcAddressFn getProc = KernelProcs(&kernel32);
    LONG_PTR was = __atomic_load_n(state, __ATOMIC_ACQUIRE);
    int bound;
    if (was == QEL_BIND_BOUND) {
        bound = 1;
    } else if (was == QEL_BIND_WRITING || (was == QEL_BIND_BINDING && got == WAIT_OBJECT_0)) {
        // A binder died while writing (the image is half written; nothing
        // runs), or this thread re-entered its own binding (the mutex
        // counts the second acquisition): not bound.
        bound = 0;
    } else {
        // Not begun, failed before, or a binder that died before writing
        // (the mutex was abandoned): this thread binds. A failed binding
        // wrote nothing; a later call may try again.
        __atomic_store_n(state, QEL_BIND_BINDING, __ATOMIC_RELEASE);
        bound = getProc && Bind(self, state, kernel32, getProc);
        __atomic_store_n(state, bound ? QEL_BIND_BOUND : QEL_BIND_UNTOUCHED, __ATOMIC_RELEASE);
    }
    lock.release(lock.mutex, 0);
    return bound;
}
