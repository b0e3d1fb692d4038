#!/usr/bin/python3
"""The shipped i686 InstallQvn.exe, executed in a CPU emulator.

usage: emulate_pe32.py InstallQvn.exe exports.txt qel.h CASES-DIR

Nothing 32-bit runs on these machines, so the PE32 itself runs here under
unicorn: its sections are mapped at a base other than the linked one with
their own protections, its base relocations applied, and every import slot
pointed at a trap that either answers the call (the memory bank's
GlobalAlloc and GlobalFree, the C runtime's block and string routines) or
fails the case. A thread block reached through fs: names a process block
whose image base is the module's own, so the binder in the entry thunks
sees the running program and binds nothing.

The binder itself runs on a second kind of mapping: the image as a host's
LoadLibrary leaves an executable, moved but not relocated, its import
table unbound, each section with its own protection, and a host's image at
the linked base. A kernel32 of the emulator's own (in the loader's list,
exporting GetProcAddress) answers what the binder looks up. After the first
call every relocation and import slot must be right and every page back at
its own protection; when VirtualProtect or an import cannot be had, or
VirtualProtect refuses, the export must give 0, remove its arguments and
leave the image and the host untouched, keeping no module reference or
block (also with the import table read-only). A GetProcAddress that fails
on a second lookup of a name and a guarded data page must not matter.

Each row of the case tables (CASES-DIR/*.inc, the ones the native and Wine
tests compile) calls exports by their decorated names with standard-call
arguments on the stack. Besides the result, every call must remove exactly
its 4 x n bytes of arguments, keep EBX, ESI, EDI and EBP, touch no memory
outside what it was given (strings, buffers and blocks end at an unmapped
page) and release every block it took. The run fails when a row fails, when
a table holds a form this script cannot read for an export it must cover,
or when a pure export (declared in qel.h outside its Windows-only parts)
has no case at all.
"""
import collections
import glob
import os
import re
import struct
import sys

import pefile
from unicorn import (Uc, UcError, UC_ARCH_X86, UC_MODE_32, UC_PROT_READ, UC_PROT_WRITE,
                     UC_PROT_EXEC, UC_HOOK_CODE, UC_HOOK_INSN, UC_HOOK_MEM_INVALID,
                     UC_MEM_READ_UNMAPPED, UC_MEM_WRITE_UNMAPPED, UC_MEM_FETCH_UNMAPPED,
                     UC_MEM_WRITE_PROT, UC_MEM_READ_PROT, UC_MEM_FETCH_PROT)
from unicorn import x86_const as X

from tally import check, report

PAGE = 0x1000
LOAD_BASE = 0x10000000      # not the linked base: the relocations must be right
TRAP_BASE = 0x00F00000      # one 16-byte trap per import slot
RETURN_TRAP = 0x00F80000    # where every call returns to
GDT_BASE = 0x00E00000
TEB_BASE = 0x00E01000
PEB_BASE = 0x00E02000
STACK_BASE, STACK_SIZE = 0x00800000, 0x00100000
SLOT_BASE, SLOT_COUNT = 0x20000000, 64   # guarded areas for arguments
HEAP_BASE = 0x30000000                   # GlobalAlloc's blocks, each guarded
HEAP_LIMIT = 0x40000000
KERNEL32_BASE = 0x00A00000   # the emulator's kernel32, for the binder
NTDLL_BASE = 0x00A10000      # and its ntdll
MODULE_BASE = 0x00B00000     # handles LoadLibraryA gives out
ALLOC_BASE = 0x50000000      # VirtualAlloc's blocks
EXTRA_TRAPS = 16             # traps for functions GetProcAddress gives beyond the imports
# Page protections: Windows' values and the emulator's rights for them.
NOACCESS, READONLY, READWRITE, WRITECOPY = 0x01, 0x02, 0x04, 0x08
EXECUTE_READ, EXECUTE_READWRITE, EXECUTE_WRITECOPY = 0x20, 0x40, 0x80
GUARD = 0x100               # any access raises: here, faults
RIGHTS = {NOACCESS: 0, READONLY: UC_PROT_READ, READWRITE: UC_PROT_READ | UC_PROT_WRITE,
          WRITECOPY: UC_PROT_READ | UC_PROT_WRITE, 0x10: UC_PROT_EXEC, EXECUTE_READ: UC_PROT_READ | UC_PROT_EXEC,
          EXECUTE_READWRITE: UC_PROT_READ | UC_PROT_WRITE | UC_PROT_EXEC,
          EXECUTE_WRITECOPY: UC_PROT_READ | UC_PROT_WRITE | UC_PROT_EXEC, READWRITE | GUARD: 0}
SENTINELS = {X.UC_X86_REG_EBX: 0x0BB0BB0B, X.UC_X86_REG_ESI: 0x05105105,
             X.UC_X86_REG_EDI: 0x0D10D10D, X.UC_X86_REG_EBP: 0x0BE0BE0B}
GMEM_MOVEABLE, GMEM_ZEROINIT = 0x0002, 0x0040
ROOM = 32                   # the string tables' buffers
BLOCK = 16                  # the memory-block table's block


class Fault(Exception):
    """A call that did not behave: its message says how."""


class NeedsWindows(Fault):
    """A call reached an import that the emulator does not answer."""


Paused = collections.namedtuple("Paused", "decorated top context")


def page_up(n):
    return (n + PAGE - 1) & ~(PAGE - 1)


def u32(v):
    return v & 0xFFFFFFFF


def s32(v):
    v &= 0xFFFFFFFF
    return v - (1 << 32) if v & 0x80000000 else v


# ---- The shipped image in emulated memory ----------------------------------

def section_protection(c):
    """The protection a loader gives a section of these characteristics."""
    execute, write = c & 0x20000000, c & 0x80000000
    if execute:
        return EXECUTE_WRITECOPY if write else EXECUTE_READ
    return WRITECOPY if write else READONLY if c & 0x40000000 else NOACCESS


class Process:
    def __init__(self, exe_path, library=False):
        """library: mapped as a host's LoadLibrary maps an executable (not
        relocated, imports unbound) with a host image at the linked base."""
        self.library = library
        self.data = open(exe_path, "rb").read()
        self.pe = pefile.PE(data=self.data)
        self.uc = Uc(UC_ARCH_X86, UC_MODE_32)
        self.imports = {}          # trap address -> "DLL!name"
        self.reached = set()       # imports that calls reached
        self.fault = None          # what stopped the last call
        self.unanswered = None     # the import that stopped it, if one did
        self.cpuid = None          # chosen answers, or None for the emulator's
        self.blocks = {}           # live GlobalAlloc block -> (pages start, pages length, size)
        self.heap_next = HEAP_BASE
        self.allocations = []      # (size, flags) of each GlobalAlloc of the current call
        self.releases = []         # each GlobalFree's argument
        self.slot = 0
        self.relocated = 0
        self.protection = {}       # page -> its protection (Windows' value)
        self.modules = {KERNEL32_BASE: "kernel32.dll", NTDLL_BASE: "ntdll.dll"}   # handle -> DLL name
        self.refs = {}             # handle -> references LoadLibraryA gave and FreeLibrary did not take back
        self.allocs = {}           # VirtualAlloc's live blocks -> pages
        self.alloc_next = ALLOC_BASE
        self.missing = set()       # names GetProcAddress does not find
        self.second = set()        # names it finds only on their first lookup
        self.lookups = set()       # names looked up so far
        self.refuse = False        # VirtualProtect refuses
        self.failing = set()       # functions (lower case) that fail when called
        self.mutants = {}          # mutex handle -> [owning thread or None, count]
        self.thread, self.dead = 1, set()   # the thread that calls; the threads that died
        self.pause = self.paused = None      # stop a call when it reaches this function
        self._map_image()
        self._map_process()
        uc = self.uc
        uc.hook_add(UC_HOOK_CODE, self._on_trap, None, TRAP_BASE, TRAP_BASE + 16 * len(self.imports) - 1)
        uc.hook_add(UC_HOOK_MEM_INVALID, self._on_bad_access)
        uc.hook_add(UC_HOOK_INSN, self._on_cpuid, None, 1, 0, X.UC_X86_INS_CPUID)
        self.exports = {}
        for sym in self.pe.DIRECTORY_ENTRY_EXPORT.symbols:
            if sym.name:
                self.exports[sym.name.decode()] = LOAD_BASE + sym.address

    def _map_image(self):
        pe, uc = self.pe, self.uc
        linked = pe.OPTIONAL_HEADER.ImageBase
        size = page_up(pe.OPTIONAL_HEADER.SizeOfImage)
        image = bytearray(size)
        headers = pe.OPTIONAL_HEADER.SizeOfHeaders
        image[:headers] = self.data[:headers]
        for s in pe.sections:
            raw = s.get_data()[:s.Misc_VirtualSize or s.SizeOfRawData]
            image[s.VirtualAddress:s.VirtualAddress + len(raw)] = raw

        # Base relocations for the distance to LOAD_BASE (the binder's to
        # apply when mapped as a library).
        delta = u32(LOAD_BASE - linked)
        highlow = pefile.RELOCATION_TYPE["IMAGE_REL_BASED_HIGHLOW"]
        absolute = pefile.RELOCATION_TYPE["IMAGE_REL_BASED_ABSOLUTE"]
        self.fixups = []
        for block in getattr(pe, "DIRECTORY_ENTRY_BASERELOC", []):
            for e in block.entries:
                if e.type == highlow:
                    v = struct.unpack_from("<I", image, e.rva)[0]
                    self.fixups.append((e.rva, u32(v + delta)))
                    if not self.library:
                        struct.pack_into("<I", image, e.rva, u32(v + delta))
                        self.relocated += 1
                elif e.type != absolute:
                    raise SystemExit(f"relocation of type {e.type} at {e.rva:#x}: not a PE32 image")

        # Every import slot to its own trap (the binder's to fill when
        # mapped as a library); a few more traps for what the binder asks.
        self.slots = []
        for desc in getattr(pe, "DIRECTORY_ENTRY_IMPORT", []):
            for imp in desc.imports:
                trap = TRAP_BASE + 16 * len(self.imports)
                name = imp.name.decode() if imp.name else f"#{imp.ordinal}"
                self.imports[trap] = f"{desc.dll.decode()}!{name}"
                self.slots.append((imp.address - linked, trap))
                if not self.library:
                    struct.pack_into("<I", image, imp.address - linked, trap)
        for i in range(EXTRA_TRAPS):
            self.imports[TRAP_BASE + 16 * len(self.imports)] = None

        # Headers read-only, each section with its own rights.
        uc.mem_map(LOAD_BASE, size, UC_PROT_READ)
        uc.mem_write(LOAD_BASE, bytes(image))
        self.image = bytes(image)
        self.section_protection = {LOAD_BASE + a: READONLY for a in range(0, size, PAGE)}
        for s in pe.sections:
            prot = section_protection(s.Characteristics)
            for a in range(s.VirtualAddress, s.VirtualAddress + page_up(max(s.Misc_VirtualSize, 1)), PAGE):
                self.section_protection[LOAD_BASE + a] = prot
        for page, prot in self.section_protection.items():
            self.set_protection(page, prot)

    def set_protection(self, page, prot):
        self.protection[page] = prot
        self.uc.mem_protect(page, PAGE, RIGHTS[prot])

    def _map_process(self):
        uc = self.uc
        uc.mem_map(TRAP_BASE, page_up(16 * max(len(self.imports), 1)), UC_PROT_READ | UC_PROT_EXEC)
        uc.mem_write(TRAP_BASE, b"\xF4" * 16 * len(self.imports))
        uc.mem_map(RETURN_TRAP, PAGE, UC_PROT_READ | UC_PROT_EXEC)
        uc.mem_write(RETURN_TRAP, b"\xF4" * PAGE)
        uc.mem_map(STACK_BASE, STACK_SIZE, UC_PROT_READ | UC_PROT_WRITE)
        for i in range(SLOT_COUNT):
            uc.mem_map(SLOT_BASE + 2 * PAGE * i, PAGE, UC_PROT_READ | UC_PROT_WRITE)

        # Thread block: its own address at 0x18, the process block at 0x30;
        # the process block: the image base at 8. fs: reaches the thread
        # block through a descriptor of its own; everything else is flat.
        uc.mem_map(GDT_BASE, 3 * PAGE, UC_PROT_READ | UC_PROT_WRITE)
        teb = bytearray(PAGE)
        struct.pack_into("<III", teb, 0, 0xFFFFFFFF, STACK_BASE + STACK_SIZE, STACK_BASE)
        struct.pack_into("<I", teb, 0x18, TEB_BASE)
        struct.pack_into("<I", teb, 0x30, PEB_BASE)
        struct.pack_into("<I", teb, 0x24, self.thread)
        uc.mem_write(TEB_BASE, bytes(teb))
        peb = bytearray(PAGE)
        linked = self.pe.OPTIONAL_HEADER.ImageBase
        struct.pack_into("<I", peb, 8, linked if self.library else LOAD_BASE)
        # The loader's list (its head at 0x10C, the entries at 0x200 and
        # 0x280) holds the emulator's ntdll and kernel32, which export what
        # the binder finds by hand.
        struct.pack_into("<I", peb, 12, PEB_BASE + 0x100)
        struct.pack_into("<II", peb, 0x10C, PEB_BASE + 0x200, PEB_BASE + 0x280)
        for at, base, name, after, before, functions in (
                (0x200, NTDLL_BASE, "ntdll.dll", 0x280, 0x10C,
                 ("NtCreateMutant", "NtWaitForSingleObject", "NtReleaseMutant", "NtClose")),
                (0x280, KERNEL32_BASE, "KERNEL32.DLL", 0x10C, 0x200, ("GetProcAddress",))):
            text = name.encode("utf-16-le")
            struct.pack_into("<II", peb, at, PEB_BASE + after, PEB_BASE + before)
            struct.pack_into("<I", peb, at + 24, base)
            struct.pack_into("<HHI", peb, at + 44, len(text), len(text), PEB_BASE + at + 0x100)
            peb[at + 0x100:at + 0x100 + len(text)] = text
            self._map_module(base, name, functions)
        uc.mem_write(PEB_BASE, bytes(peb))
        if self.library:
            # A host's own image where the executable was linked to lie.
            self.host = bytes(range(256)) * (page_up(self.pe.OPTIONAL_HEADER.SizeOfImage) // 256)
            uc.mem_map(linked, len(self.host), UC_PROT_READ | UC_PROT_WRITE)
            uc.mem_write(linked, self.host)

        def descriptor(base, limit, access, flags):
            return struct.pack("<Q", (limit & 0xFFFF) | (base & 0xFFFFFF) << 16 | access << 40
                               | ((limit >> 16) & 0xF) << 48 | flags << 52 | (base >> 24) << 56)
        present_rw_data = 0x92                                   # ring 0
        gdt = (b"\0" * 8
               + descriptor(0, 0xFFFFF, present_rw_data, 0xC)          # 0x08 flat, 4 KiB units
               + descriptor(TEB_BASE, 0xFFF, present_rw_data, 0x4))     # 0x10 the thread block
        uc.mem_write(GDT_BASE, gdt)
        uc.reg_write(X.UC_X86_REG_GDTR, (0, GDT_BASE, len(gdt) - 1, 0))
        for reg in (X.UC_X86_REG_SS, X.UC_X86_REG_DS, X.UC_X86_REG_ES):
            uc.reg_write(reg, 0x08)
        uc.reg_write(X.UC_X86_REG_FS, 0x10)

    def _map_module(self, base, dll, functions):
        """A DLL of the emulator's own whose export table names functions,
        each a trap."""
        image = bytearray(PAGE)
        struct.pack_into("<HI", image, 0, 0x5A4D, 0)
        struct.pack_into("<I", image, 0x3C, 0x40)
        image[0x40:0x44] = b"PE\0\0"
        struct.pack_into("<II", image, 0x40 + 4 + 20 + 96, 0x200, 0x100)
        struct.pack_into("<IIII", image, 0x200 + 24, len(functions), 0x300, 0x340, 0x380)
        at = 0x400
        for i, function in enumerate(functions):
            struct.pack_into("<I", image, 0x300 + 4 * i, self.trap_for(dll, function) - base)
            struct.pack_into("<I", image, 0x340 + 4 * i, at)
            struct.pack_into("<H", image, 0x380 + 2 * i, i)
            image[at:at + len(function) + 1] = function.encode() + b"\0"
            at += len(function) + 1
        self.uc.mem_map(base, PAGE, UC_PROT_READ)
        self.uc.mem_write(base, bytes(image))

    def switch(self, thread, tid):
        """Calls from now on come from thread, whose id the thread block gives as tid."""
        self.thread = thread
        self.uc.mem_write(TEB_BASE + 0x24, struct.pack("<I", tid))

    def trap_for(self, dll, function):
        """The trap that stands for dll!function: its import slot's trap, or
        a further one."""
        wanted = f"{dll}!{function}".lower()
        free = None
        for trap, name in self.imports.items():
            if name and name.lower() == wanted:
                return trap
            if name is None and free is None:
                free = trap
        if free is None:
            raise Fault(f"no trap left for {dll}!{function}")
        self.imports[free] = f"{dll}!{function}"
        return free

    # ---- the binder's kernel32 ------------------------------------------

    def get_proc_address(self, module, name):
        if module not in self.modules or name < 0x10000:
            return 0
        function = self.cstring(name, 256).decode("latin-1")
        again = function in self.lookups and function in self.second
        self.lookups.add(function)
        return 0 if function in self.missing or again else self.trap_for(self.modules[module], function)

    def load_library(self, name):
        dll = self.cstring(name, 256).decode("latin-1").lower()
        handle = next((h for h, known in self.modules.items() if known == dll), MODULE_BASE + PAGE * len(self.modules))
        self.modules[handle] = dll
        self.refs[handle] = self.refs.get(handle, 0) + 1
        return handle

    def free_library(self, handle):
        self.refs[handle] -= 1
        return 1

    def virtual_alloc(self, address, size, kind, prot):
        block, self.allocs[self.alloc_next] = self.alloc_next, page_up(size)
        self.alloc_next += page_up(size) + PAGE
        self.uc.mem_map(block, page_up(size), RIGHTS[prot])
        return block

    def virtual_free(self, address, size, kind):
        self.uc.mem_unmap(address, self.allocs.pop(address))
        return 1

    def virtual_protect(self, address, size, prot, old):
        pages = range(address & ~(PAGE - 1), page_up(address + max(size, 1)), PAGE)
        if self.refuse or prot not in RIGHTS or any(p not in self.protection for p in pages):
            return 0
        self.uc.mem_write(old, struct.pack("<I", self.protection[pages[0]]))
        for p in pages:
            self.set_protection(p, prot)
        return 1

    def create_mutant(self, out, access, attributes, owned):
        handle = 0x4000 + 4 * len(self.mutants)
        self.mutants[handle] = [self.thread, 1] if owned else [None, 0]
        self.uc.mem_write(out, struct.pack("<I", handle))
        return 0

    def wait_mutant(self, handle, alertable, timeout):
        """Owns the mutex at once, told so when its owner died; a wait for a
        live owner only when it is a poll (one thread runs at a time here)."""
        owner, count = self.mutants[handle]
        if owner not in (None, self.thread) and owner not in self.dead:
            if timeout and self.read(timeout, 8) == bytes(8):
                return 0x102                                     # timeout
            raise Fault("waits for a live thread, which this emulator cannot run meanwhile")
        self.mutants[handle] = [self.thread, count + 1 if owner == self.thread else 1]
        return 0x80 if owner in self.dead else 0                 # abandoned, or success

    def release_mutant(self, handle, previous):
        owner, count = self.mutants[handle]
        if owner != self.thread:
            return 0xC0000046                                    # not owned
        self.mutants[handle] = [owner if count > 1 else None, count - 1]
        return 0

    def virtual_query(self, address, info, size):
        page = address & ~(PAGE - 1)
        if size < 28 or page not in self.protection:
            return 0
        self.uc.mem_write(info, struct.pack("<7I", page, LOAD_BASE, EXECUTE_WRITECOPY, PAGE, 0x1000,
                                            self.protection[page], 0x1000000))
        return 28

    # ---- what the image reaches outside itself --------------------------

    def _on_bad_access(self, uc, access, address, size, value, user):
        kinds = {UC_MEM_READ_UNMAPPED: "read of unmapped", UC_MEM_WRITE_UNMAPPED: "write to unmapped",
                 UC_MEM_FETCH_UNMAPPED: "jump to unmapped", UC_MEM_WRITE_PROT: "write to read-only",
                 UC_MEM_READ_PROT: "read of unreadable", UC_MEM_FETCH_PROT: "execution of non-code"}
        eip = uc.reg_read(X.UC_X86_REG_EIP)
        self.fault = f"{kinds.get(access, 'bad access to')} memory at {address:#x} ({size} bytes) from {eip:#x}"
        return False

    def _on_cpuid(self, uc, user):
        if self.cpuid is None:
            return 0
        leaf = uc.reg_read(X.UC_X86_REG_EAX)
        highest, eax1, edx1 = self.cpuid
        if leaf == 0:
            answer = (highest, 0x756E6547, 0x6C65746E, 0x49656E69)   # GenuineIntel
        elif leaf == 1 and highest >= 1:
            answer = (eax1, 0, 0, edx1)
        else:
            answer = (0, 0, 0, 0)
        for reg, v in zip((X.UC_X86_REG_EAX, X.UC_X86_REG_EBX, X.UC_X86_REG_ECX, X.UC_X86_REG_EDX), answer):
            uc.reg_write(reg, u32(v))
        return 1

    def _on_trap(self, uc, address, size, user):
        name = self.imports[address] or "a trap no import names!"
        esp = uc.reg_read(X.UC_X86_REG_ESP)
        ret = self.read_u32(esp)
        arg = lambda i: self.read_u32(esp + 4 + 4 * i)
        self.reached.add(name)
        dll, function = name.lower().split("!", 1)
        if function == self.pause:
            self.pause, self.paused = None, True
            uc.emu_stop()
            return
        stub = STUBS.get(function)
        if stub is None or stub[0] != dll:
            self.fault = self.unanswered = f"called {name}, which the emulator does not answer"
            uc.emu_stop()
            return
        _dll, nargs, fn = stub
        try:
            result = (0xC0000022 if dll == "ntdll.dll" else 0) if function in self.failing \
                else fn(self, *[arg(i) for i in range(nargs)])
        except Fault as e:
            self.fault = f"{name}: {e}"
            uc.emu_stop()
            return
        uc.reg_write(X.UC_X86_REG_EAX, u32(result))
        # Standard-call routines remove their arguments; the C runtime's
        # leave them to the caller.
        pops = 4 * nargs if dll in ("kernel32.dll", "ntdll.dll") else 0
        uc.reg_write(X.UC_X86_REG_ESP, esp + 4 + pops)
        uc.reg_write(X.UC_X86_REG_EIP, ret)

    # ---- memory helpers -------------------------------------------------

    def read(self, address, n):
        try:
            return bytes(self.uc.mem_read(address, n))
        except UcError:
            raise Fault(f"{n} bytes at {address:#x} are not readable")

    def read_u32(self, address):
        return struct.unpack("<I", self.read(address, 4))[0]

    def cstring(self, address, limit):
        """The bytes at address up to its terminator, at most limit bytes."""
        out = bytearray()
        while len(out) < limit:
            try:
                b = self.uc.mem_read(address + len(out), 1)[0]
            except UcError:
                raise Fault(f"text at {address:#x} runs into unmapped memory")
            if b == 0:
                return bytes(out)
            out.append(b)
        raise Fault(f"text at {address:#x} has no terminator in {limit} bytes")

    def area(self, data, room=None):
        """A fresh area holding data (and zeros up to room bytes) that ends
        where an unmapped page begins, so any access past it faults."""
        room = len(data) if room is None else room
        if self.slot == SLOT_COUNT:
            raise Fault("a case needs more areas than the harness provides")
        page = SLOT_BASE + 2 * PAGE * self.slot
        self.slot += 1
        address = page + PAGE - room
        self.uc.mem_write(page, b"\0" * PAGE)
        self.uc.mem_write(address, data)
        return address

    def text(self, data):
        return self.area(data + b"\0")

    def buffer(self, before, room):
        return self.area(before.ljust(room, b"\0")[:room], room)

    # ---- the memory bank's imports --------------------------------------

    def global_alloc(self, flags, size):
        self.allocations.append((size, flags))
        if flags & GMEM_MOVEABLE:
            raise Fault("a moveable block was asked for; the library uses fixed blocks")
        if size > 0x04000000 or self.heap_next + page_up(size + 8) + PAGE > HEAP_LIMIT:
            return 0
        start, length = self.heap_next, page_up(size + 8)
        self.heap_next += length + PAGE                          # a guard page after each
        self.uc.mem_map(start, length, UC_PROT_READ | UC_PROT_WRITE)
        fill = b"\0" if flags & GMEM_ZEROINIT else b"\xCD"
        self.uc.mem_write(start, fill * length)
        block = (start + length - size) & ~7                     # its end at the guard page
        self.blocks[block] = (start, length, size)
        return block

    def global_free(self, block):
        self.releases.append(block)
        found = self.blocks.pop(block, None)
        if not found:
            return block                                         # failure: the handle itself
        self.uc.mem_unmap(found[0], found[1])                    # later use faults
        return 0

    # ---- calls ----------------------------------------------------------

    def call(self, decorated, *args, top=STACK_BASE + STACK_SIZE - 0x100):
        """Calls an export by its decorated name with standard-call arguments
        and the stack ending at top; returns EAX, or a Paused call when it
        reached the function to pause at. Raises Fault on anything but a
        clean return."""
        address = self.exports.get(decorated)
        if address is None:
            raise Fault(f"{decorated} is not exported")
        nbytes = int(decorated.rsplit("@", 1)[1])
        if nbytes != 4 * len(args):
            raise Fault(f"{decorated} takes {nbytes // 4} arguments, the case gives {len(args)}")
        uc = self.uc
        frame = struct.pack(f"<{1 + len(args)}I", RETURN_TRAP, *[u32(a) for a in args])
        esp = top - len(frame)
        uc.mem_write(esp, frame)
        uc.reg_write(X.UC_X86_REG_ESP, esp)
        for reg, v in SENTINELS.items():
            uc.reg_write(reg, v)
        for reg in (X.UC_X86_REG_EAX, X.UC_X86_REG_ECX, X.UC_X86_REG_EDX):
            uc.reg_write(reg, 0xDEADBEEF)
        uc.reg_write(X.UC_X86_REG_EFLAGS, 0x202)
        return self._run(decorated, address, top)

    def resume(self, paused):
        """Runs a paused call on to its end."""
        self.uc.context_restore(paused.context)
        return self._run(paused.decorated, self.uc.reg_read(X.UC_X86_REG_EIP), paused.top)

    def _run(self, decorated, start, top):
        uc, nbytes = self.uc, int(decorated.rsplit("@", 1)[1])
        esp = top - 4 - nbytes
        self.fault = self.unanswered = self.paused = None
        try:
            uc.emu_start(start, RETURN_TRAP, timeout=20 * 1000 * 1000)
        except UcError as e:
            raise Fault(f"{decorated}: {self.fault or e}")
        if self.paused:
            return Paused(decorated, top, uc.context_save())
        eip = uc.reg_read(X.UC_X86_REG_EIP)
        if self.unanswered:
            raise NeedsWindows(f"{decorated}: {self.unanswered}")
        if self.fault:
            raise Fault(f"{decorated}: {self.fault}")
        if eip != RETURN_TRAP:
            raise Fault(f"{decorated}: did not return (stopped at {eip:#x})")
        after = uc.reg_read(X.UC_X86_REG_ESP)
        if after != top:
            raise Fault(f"{decorated}: removed {after - esp - 4} bytes of arguments, not {nbytes}")
        for reg, v in SENTINELS.items():
            if uc.reg_read(reg) != v:
                raise Fault(f"{decorated}: did not keep a callee-saved register")
        return uc.reg_read(X.UC_X86_REG_EAX)


def c_memset(p, d, c, n):
    p.uc.mem_write(d, bytes([c & 0xFF]) * n)
    return d


def c_memcpy(p, d, s, n):
    p.uc.mem_write(d, p.read(s, n))
    return d


def c_memcmp(p, a, b, n):
    x, y = p.read(a, n), p.read(b, n)
    return (x > y) - (x < y)


def c_strlen(p, s):
    return len(p.cstring(s, 1 << 24))


# import name (lower case) -> (DLL, arguments, answer)
STUBS = {
    "getprocaddress": ("kernel32.dll", 2, Process.get_proc_address),
    "loadlibrarya": ("kernel32.dll", 1, Process.load_library),
    "freelibrary": ("kernel32.dll", 1, Process.free_library),
    "virtualalloc": ("kernel32.dll", 4, Process.virtual_alloc),
    "virtualfree": ("kernel32.dll", 3, Process.virtual_free),
    "virtualprotect": ("kernel32.dll", 4, Process.virtual_protect),
    "virtualquery": ("kernel32.dll", 3, Process.virtual_query),
    "flushinstructioncache": ("kernel32.dll", 3, lambda p, process, address, size: 1),
    "ntcreatemutant": ("ntdll.dll", 4, Process.create_mutant),
    "ntwaitforsingleobject": ("ntdll.dll", 3, Process.wait_mutant),
    "ntreleasemutant": ("ntdll.dll", 2, Process.release_mutant),
    "ntclose": ("ntdll.dll", 1, lambda p, handle: 0),
    "sleep": ("kernel32.dll", 1, lambda p, ms: 0),
    "globalalloc": ("kernel32.dll", 2, Process.global_alloc),
    "globalfree": ("kernel32.dll", 1, Process.global_free),
    "memset": ("msvcrt.dll", 3, c_memset),
    "memcpy": ("msvcrt.dll", 3, c_memcpy),
    "memmove": ("msvcrt.dll", 3, c_memcpy),
    "memcmp": ("msvcrt.dll", 3, c_memcmp),
    "strlen": ("msvcrt.dll", 1, c_strlen),
}


# ---- The lists: exports, pure declarations, case tables ----------------------

def read_exports(path):
    """{base name: decorated name} of lib/exports.txt."""
    names = {}
    for line in open(path, encoding="ascii"):
        line = line.split("#", 1)[0].strip()
        m = re.fullmatch(r"_(\w+)@(\d+)", line)
        if m:
            names[m.group(1)] = line
    return names


def pure_declarations(path):
    """Names of the functions qel.h declares outside its Windows-only parts
    (the ones that build on every target)."""
    stack, names = [], []
    for line in open(path, encoding="ascii"):
        d = re.match(r"\s*#\s*(if|ifdef|ifndef|elif|else|endif)\b(.*)", line)
        if d:
            kind, cond = d.group(1), d.group(2)
            if kind.startswith("if"):
                stack.append("_WIN32" in cond and kind != "ifndef")
            elif kind in ("else", "elif") and stack:
                stack[-1] = False
            elif kind == "endif" and stack:
                stack.pop()
            continue
        m = re.search(r"QELAPI\s+(qel\w+)\s*\(", line)
        if m and not any(stack):
            names.append(m.group(1))
    return names


STRING = r'"(?:[^"\\\n]|\\.)*"'


def c_string(literal):
    """The bytes of a C string literal (without the terminator)."""
    body, out, i = literal[1:-1], bytearray(), 0
    simple = {"n": 10, "r": 13, "t": 9, "0": 0, "\\": 92, '"': 34, "'": 39, "a": 7, "b": 8, "f": 12, "v": 11}
    while i < len(body):
        c = body[i]
        if c != "\\":
            out += c.encode("latin-1")
            i += 1
            continue
        e = body[i + 1]
        if e == "x":
            m = re.match(r"[0-9a-fA-F]+", body[i + 2:])
            v = int(m.group(0), 16)
            i += 2 + len(m.group(0))
        elif e in "01234567":
            m = re.match(r"[0-7]{1,3}", body[i + 1:])
            v = int(m.group(0), 8)
            i += 1 + len(m.group(0))
        else:
            v = simple[e]
            i += 2
        if v > 255:
            raise ValueError(f"escape out of range in {literal}")
        out.append(v)
    return bytes(out)


def c_value(text):
    """A table argument: bytes for strings, int for integer expressions, str
    for a name."""
    text = text.strip()
    if text.startswith('"'):
        parts = re.findall(STRING, text)
        if "".join(parts).replace(" ", "") != re.sub(r"\s+", "", text):
            raise ValueError(f"cannot read {text}")
        return b"".join(c_string(p) for p in parts)
    if re.fullmatch(r"[A-Za-z_]\w*", text):
        return text
    m = re.fullmatch(r"'(.|\\.)'", text)
    if m:
        return c_string('"' + m.group(1) + '"')[0]
    expr = re.sub(r"\b(0[xX][0-9a-fA-F]+|\d+)[uUlL]+\b", r"\1", text)
    if not re.fullmatch(r"[0-9a-fA-FxX+\-*()\s]+", expr):
        raise ValueError(f"cannot read {text}")
    return eval(expr, {"__builtins__": {}})


def split_args(text):
    args, depth, cur, i = [], 0, "", 0
    while i < len(text):
        c = text[i]
        if c == '"':
            m = re.match(STRING, text[i:])
            if not m:
                raise ValueError("unterminated string")
            cur += m.group(0)
            i += len(m.group(0))
            continue
        if c == "'":
            m = re.match(r"'(?:[^'\\]|\\.)'", text[i:])
            cur += m.group(0)
            i += len(m.group(0))
            continue
        if c in "(":
            depth += 1
        elif c == ")":
            depth -= 1
        if c == "," and depth == 0:
            args.append(cur)
            cur = ""
        else:
            cur += c
        i += 1
    args.append(cur)
    return [c_value(a) for a in args]


def read_table(path):
    """[(line number, macro, arguments or the error text)] of one .inc file."""
    text = open(path, encoding="latin-1").read()
    # Comments go, strings stay (a "/*" inside a string is text).
    text = re.sub(r'(' + STRING + r')|/\*.*?\*/|//[^\n]*',
                  lambda m: m.group(1) or re.sub(r"[^\n]", " ", m.group(0)), text, flags=re.S)
    rows = []
    for number, line in enumerate(text.split("\n"), 1):
        if not line.strip():
            continue
        m = re.fullmatch(r"\s*([A-Z][A-Z0-9_]*)\((.*)\)\s*", line)
        if not m:
            rows.append((number, None, f"not one macro call: {line.strip()}"))
            continue
        try:
            rows.append((number, m.group(1), split_args(m.group(2))))
        except (ValueError, AttributeError, KeyError, SyntaxError) as e:
            rows.append((number, m.group(1), f"cannot read the arguments: {e}"))
    return rows


# ---- The table forms ----------------------------------------------------------

class Runner:
    def __init__(self, process, exports):
        self.p = process
        self.exports = exports     # base name -> decorated
        self.called = set()        # base names called by some case
        self.names = set()         # those of the current case
        self.calls = 0

    def call(self, name, *args):
        self.called.add(name)
        self.calls += 1
        self.names.add(name)
        return self.p.call(self.exports.get(name, name), *args)

    def arg(self, v):
        """A table argument as pushed: strings get a guarded area of their own."""
        return self.p.text(v) if isinstance(v, bytes) else v

    def same(self, got, want, what):
        if u32(got) != u32(want):
            raise Fault(f"{what}: got {s32(got)} ({u32(got):#x}), want {s32(want)}")

    def same_bytes(self, address, want, room, what):
        got = self.p.read(address, room)
        want = want.ljust(room, b"\0")
        if got != want:
            shown = lambda b: repr(b.rstrip(b"\0")) + " and zeros"
            raise Fault(f"{what}: buffer holds {shown(got)}, want {shown(want)}")

    def same_text(self, address, want, what):
        if not address:
            raise Fault(f"{what}: a null address, want {want!r}")
        got = self.p.cstring(address, 4096)
        if got != want:
            raise Fault(f"{what}: text {got!r}, want {want!r}")

    # In(f, want, n integer arguments) and Nn(f, want, n arguments)
    def generic(self, f, want, *args):
        self.same(self.call(f, *[self.arg(a) for a in args]), want, f)

    def FIND(self, f, want, start, s, sub):
        self.same(self.call(f, start, self.p.text(s), self.p.text(sub)), want, f)

    # Copies into a 32-byte buffer: ok says whether the destination comes back.
    def copy(self, f, ok, after, before, args):
        d = self.p.buffer(before, ROOM)
        got = self.call(f, *[d if a is DEST else self.arg(a) for a in args])
        self.same(got, d if ok else 0, f"{f} result")
        self.same_bytes(d, after, ROOM, f)

    def MID(self, ok, after, before, src, pos, n):
        self.copy("qelStrMid", ok, after, before, (src, DEST, pos, n))

    def LSTR(self, ok, after, before, src, n):
        self.copy("qelLStr", ok, after, before, (src, DEST, n))

    def RSTR(self, ok, after, before, src, n):
        self.copy("qelRStr", ok, after, before, (src, DEST, n))

    def LPART(self, ok, after, before, s, sep, inc):
        self.copy("qelStrLPart", ok, after, before, (s, DEST, sep, inc))

    def RPART(self, ok, after, before, s, sep, inc):
        self.copy("qelStrRPart", ok, after, before, (s, DEST, sep, inc))

    def PLUS(self, ok, after, before, text):
        self.copy("qelStrPlus", ok, after, before, (text, DEST))

    def PATH(self, ok, after, before, folder, name):
        self.copy("qelPathPlus", ok, after, before, (folder, name, DEST))

    def INS(self, ok, after, before, text, pos):
        self.copy("qelStrIns", ok, after, before, (text, DEST, pos))

    def FOLD(self, f, after, before):
        a = self.p.buffer(before.split(b"\0")[0], ROOM)
        self.same(self.call(f, a), a, f"{f} result")
        self.same_text(a, after, f)

    def UPEQ(self, want, a, b, a_after, b_after):
        pa = self.p.buffer(a.split(b"\0")[0], ROOM)
        pb = self.p.buffer(b.split(b"\0")[0], ROOM)
        self.same(self.call("qelIsStrEqual", pa, pb), want, "qelIsStrEqual")
        self.same_text(pa, a_after, "qelIsStrEqual first text")
        self.same_text(pb, b_after, "qelIsStrEqual second text")

    def DEC(self, v, t):
        self.same_text(self.call("qelStr", v), t, "qelStr")
        self.DECVAL(v, t)

    def HEX(self, v, t):
        self.same_text(self.call("qelHex", v), t, "qelHex")
        self.HEXVAL(v, t)

    def DECVAL(self, v, t):
        self.same(self.call("qelStrVal", self.p.text(t)), v, "qelStrVal")

    def HEXVAL(self, v, t):
        self.same(self.call("qelHexVal", self.p.text(t)), v, "qelHexVal")

    def ASC(self, v, t):
        self.same(self.call("qelAsc", self.p.text(t)), v, "qelAsc")

    def CHR(self, v, t):
        self.same_text(self.call("qelChr", v), t, "qelChr")

    def SPLIT(self, mode, length, result, before, after):
        d = self.p.buffer(before, ROOM)
        self.same(self.call("qelText", mode, d, length), result, "qelText")
        self.same_bytes(d, after, ROOM, "qelText")

    def BANK(self, request, granted):
        block = self.call("qelMemBank", 1, request)
        if not block:
            raise Fault(f"qelMemBank(1, {request}) gave no block")
        sizes = [size for size, _flags in self.p.allocations]
        if sizes != [granted]:
            raise Fault(f"qelMemBank(1, {request}) asked GlobalAlloc for {sizes}, want [{granted}]")
        if self.p.read(block, granted) != b"\0" * granted:
            raise Fault(f"qelMemBank(1, {request}): block not zero-filled")
        self.p.uc.mem_write(block, b"\xAB" * granted)       # all of it is writable
        self.same(self.call("qelMemBank", 0, block), 0, "qelMemBank(0, block)")
        if self.p.releases != [block]:
            raise Fault(f"qelMemBank(0, block) released {self.p.releases}, want [{block:#x}]")

    def CLR(self, want, after, before, at, n):
        b = self.p.buffer(before, BLOCK)
        self.same(self.call("qelMemClr", b + at, n), want, "qelMemClr")
        self.same_bytes(b, after, BLOCK, "qelMemClr")

    def FILL(self, want, after, before, at, n, v):
        b = self.p.buffer(before, BLOCK)
        self.same(self.call("qelMemFill", b + at, n, v), want, "qelMemFill")
        self.same_bytes(b, after, BLOCK, "qelMemFill")

    def COPY(self, want, after, before, src, dst, n):
        b = self.p.buffer(before, BLOCK)
        self.same(self.call("qelMemCopy", b + src, b + dst, n), want, "qelMemCopy")
        self.same_bytes(b, after, BLOCK, "qelMemCopy")

    def INFO(self, gives, base, offset, size):
        b = self.p.buffer(b"", BLOCK)
        got = self.call("qelInfoAddr", 0 if base < 0 else b + base, offset, size)
        self.same(got, 0 if gives < 0 else b + gives, "qelInfoAddr")

    def CPUID(self, highest, eax1, edx1, want):
        self.p.cpuid = (highest, eax1, edx1)
        try:
            self.same(self.call("qelPentium"), want, "qelPentium")
        finally:
            self.p.cpuid = None


DEST = object()    # where a copy's destination goes among the arguments

# Macros whose first argument names the function (the rest as the C++ tests
# pass them); the others name it themselves.
NAMED = {"FIND", "FOLD"}


def describe(macro, args):
    shown = ", ".join(repr(a) if isinstance(a, bytes) else str(a) for a in args)
    return f"{macro}({shown})"


def written(p):
    """Offsets of the image's words that differ from the file's mapping, but
    for the binder's own two: its state and, after it, the mutex it
    publishes."""
    now = p.read(LOAD_BASE, len(p.image))
    words = {i: struct.unpack_from("<I", now, i)[0] for i in range(0, len(now), 4) if now[i:i + 4] != p.image[i:i + 4]}
    return sorted(set(words) - {j for i, v in words.items() if v in p.mutants for j in (i - 4, i)})


def untouched(p):
    return (not written(p) and p.read(p.pe.OPTIONAL_HEADER.ImageBase, len(p.host)) == p.host
            and p.protection == p.section_protection and not any(p.refs.values()) and not p.allocs)


def misbound(p):
    """The relocations and import slots that are not as one binding makes them."""
    wrong = [f"{rva:#x}" for rva, value in p.fixups if p.read_u32(LOAD_BASE + rva) != value]
    return wrong + [f"slot {rva:#x}" for rva, trap in p.slots if p.read_u32(LOAD_BASE + rva) != trap]


def binder(exe_path):
    """The first call of a host that loaded the executable as a library."""

    # A binding that cannot be done gives 0, writes nothing and keeps no
    # module reference or block, and the next call tries again; one that
    # can is right at once. Layouts: the import table read-only, a writable
    # data page with a debugger's guard.
    last = Process(exe_path, library=True)
    last = last.imports[last.slots[-1][1]].split("!")[1]
    for what, missing, refuse, second, layout in (
            ("VirtualProtect refuses", set(), True, set(), None),
            ("no VirtualProtect", {"VirtualProtect"}, False, set(), None),
            ("an import missing", {"GlobalFree"}, False, set(), None),
            ("a read-only import table, its last import missing", {last}, False, set(), READONLY),
            ("GetProcAddress fails on a second lookup", set(), False, {"GlobalFree"}, None),
            ("a READWRITE|PAGE_GUARD data page", set(), False, set(), READWRITE | GUARD)):
        p = Process(exe_path, library=True)
        p.missing, p.refuse, p.second = missing, refuse, second
        slots = {LOAD_BASE + (rva & ~(PAGE - 1)) for rva, _trap in p.slots}
        data = sorted(a for a in {LOAD_BASE + (rva & ~(PAGE - 1)) for rva, _value in p.fixups} - slots
                      if p.section_protection[a] == WRITECOPY)
        for a in {READONLY: slots, READWRITE | GUARD: data[:1]}.get(layout, ()):
            p.section_protection[a] = layout
            p.set_protection(a, layout)
        try:
            if missing or refuse:
                check(p.call("_qelPlus@8", 2, 3) == 0 and untouched(p),
                      f"{what}: the export gives 0, nothing of the image or the host is written")
                p.missing, p.refuse = set(), False
            check(p.call("_qelPlus@8", 2, 3) == 5, f"{what}: a call binds and runs")
            wrong = misbound(p)
            check(not wrong, f"{what}: every relocation and import slot is right ({wrong[:4]})")
            changed = [f"{a:#x}" for a, prot in p.section_protection.items() if p.protection[a] != prot]
            check(not changed and not p.allocs, f"{what}: every page as the loader gave it ({changed[:4]})")
            check(p.read(p.pe.OPTIONAL_HEADER.ImageBase, len(p.host)) == p.host, f"{what}: the host's image is untouched")
            block = p.call("_qelMemBank@8", 1, 8)
            check(block and p.call("_qelMemBank@8", 0, block) == 0, f"{what}: bound imports are called")
        except Fault as e:
            check(False, f"{what}: {e}")


def takeover(exe_path):
    """A binding thread that dies, or that a second thread (its own stack,
    the dead one's id or another) cannot wait for, and a mutex that cannot
    be made. Binding is done once, by one thread, or not at all."""
    for what, pause, dies, tid, failing, want in (
            ("the binder dies binding, a thread with its id calls", "virtualquery", True, 1, set(), 5),
            ("the binder dies writing", "flushinstructioncache", True, 2, set(), 0),
            ("the binder works, the wait fails", "virtualquery", False, 2, {"ntwaitforsingleobject"}, 0),
            ("no mutex can be made", None, False, 1, {"ntcreatemutant"}, 0)):
        p = Process(exe_path, library=True)
        try:
            p.pause = pause
            first = p.call("_qelPlus@8", 2, 3) if pause else None
            check(not pause or isinstance(first, Paused), f"{what}: the first call reaches {pause}")
            if dies:
                p.dead.add(p.thread)
            p.switch(2, tid)
            p.failing = failing
            got = [p.call("_qelPlus@8", 2, 3, top=STACK_BASE + STACK_SIZE // 2) for _ in range(2)]
            check(got == [want] * 2, f"{what}: a second thread's calls give {want} ({got})")
            check(dies or not written(p) and (pause or untouched(p)), f"{what}: they wrote nothing")
            p.failing = set()
            if not dies:
                p.switch(1, 1)
                check((p.resume(first) if pause else p.call("_qelPlus@8", 2, 3)) == 5, f"{what}: the first thread binds")
            wrong = misbound(p) if want or not dies else []
            check(not wrong, f"{what}: the image is bound exactly once ({wrong[:4]})")
            check(all(owner is None for owner, _count in p.mutants.values()), f"{what}: the mutex is released")
        except Fault as e:
            check(False, f"{what}: {e}")


def main():
    exe_path, list_path, header_path, cases_dir = sys.argv[1:5]
    exports = read_exports(list_path)
    pure = [n for n in pure_declarations(header_path) if n in exports]
    process = Process(exe_path)
    check(process.pe.FILE_HEADER.Machine == 0x14C and process.pe.OPTIONAL_HEADER.Magic == 0x10B,
          "InstallQvn.exe is a PE32 for i386")
    missing = sorted(d for d in exports.values() if d not in process.exports)
    check(not missing, f"every listed export is in the image (missing {missing})")
    runner = Runner(process, exports)
    print(f"image mapped at {LOAD_BASE:#x} (linked at {process.pe.OPTIONAL_HEADER.ImageBase:#x}), "
          f"{process.relocated} relocations applied, {len(process.slots)} import slots trapped")

    # An export is entered before the image may have been relocated: its
    # thunk must be a relative call (to the binder), a test of its answer,
    # a relative jump to the function and a return that removes the
    # arguments, holding no address that the loader would have to fix.
    fixed = {rva for rva, _value in process.fixups}
    bad = []
    for name in exports.values():
        rva = process.exports[name] - LOAD_BASE
        thunk = process.read(process.exports[name], 16)
        nbytes = int(name.rsplit("@", 1)[1])
        ret = struct.pack("<BH", 0xC2, nbytes) if nbytes else b"\xC3"
        if (thunk[0] != 0xE8 or thunk[5:9] != b"\x85\xC0\x0F\x85" or thunk[13:13 + len(ret)] != ret
                or any(rva - 3 <= r < rva + 16 for r in fixed)):
            bad.append(name)
    check(not bad, f"every entry thunk is a relative call and jump with nothing to relocate ({bad[:3]})")
    binder(exe_path)
    takeover(exe_path)

    cases, skipped = 0, {}

    def skip(what):
        skipped[what] = skipped.get(what, 0) + 1

    for path in sorted(glob.glob(os.path.join(cases_dir, "*.inc"))):
        table = os.path.basename(path)
        for number, macro, args in read_table(path):
            where = f"{table}:{number}"
            if isinstance(args, str):
                check(False, f"{where}: {args}")
                continue
            generic = re.fullmatch(r"[IN](\d)", macro)
            handler = runner.generic if generic else getattr(runner, macro, None)
            if not macro.isupper() or handler is None:
                # A form this script does not know: an error when it names
                # an export it must cover, else left to the tests that read it.
                names = [a for a in args if isinstance(a, str)]
                if set(names) & set(pure):
                    check(False, f"{where}: no reading of {macro} rows (they name {names})")
                else:
                    skip(f"{macro} rows")
                continue
            if (generic or macro in NAMED) and args and args[0] not in exports:
                skip(f"{args[0]} (not exported)")
                continue
            if generic and len(args) != 2 + int(generic.group(1)):
                check(False, f"{where}: {macro} with {len(args)} arguments")
                continue
            process.slot, process.allocations, process.releases = 0, [], []
            runner.names = set()
            live_before = set(process.blocks)
            try:
                handler(*args)
                leaked = set(process.blocks) - live_before
                if leaked:
                    raise Fault(f"left {len(leaked)} block(s) of GlobalAlloc unreleased")
                check(True, where)
            except NeedsWindows as e:
                # Only functions outside the pure families may need Windows.
                if runner.names & set(pure):
                    check(False, f"{where} {describe(macro, args)}: {e}")
                else:
                    skip(f"{', '.join(sorted(runner.names))} (needs Windows)")
                    continue
            except Fault as e:
                check(False, f"{where} {describe(macro, args)}: {e}")
            except TypeError as e:
                check(False, f"{where} {describe(macro, args)}: arguments do not fit the form ({e})")
            cases += 1

    for name in pure:
        check(name in runner.called, f"pure export {exports[name]} has no case")
    others = sorted(runner.called - set(pure))
    print(f"{len(pure)} pure exports, {len(set(pure) & runner.called)} of them run"
          + (f", and {len(others)} more with cases ({', '.join(others)})" if others else ""))
    print(f"{cases} cases run, {runner.calls} calls")
    print("imports reached: " + (", ".join(sorted(process.reached)) or "none"))
    if skipped:
        print("rows left to the other tests: " + ", ".join(f"{k} {v}" for k, v in sorted(skipped.items())))
    return report()


if __name__ == "__main__":
    sys.exit(main())
