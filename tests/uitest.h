// Helpers for the tests that drive windows in the test process: recording
// the messages a control receives, answering modal windows from a helper
// thread, and replacing one of the program's own imports for a while.
#ifndef UITEST_H
#define UITEST_H

#include <windows.h>
#include <string.h>
#include <atomic>
#include <string>
#include <thread>
#include <vector>

// Subclasses a window and records the messages of the given kinds that it
// receives, in order; WM_SETTEXT comes with its text.
class MessageLog {
public:
    struct Entry {
        UINT msg;
        WPARAM wParam;
        std::string text;
    };

    MessageLog(HWND window, std::vector<UINT> kinds) : window_(window), kinds_(std::move(kinds))
    {
        SetPropA(window_, "qvnlog", this);
        old_ = (WNDPROC)SetWindowLongPtrA(window_, GWLP_WNDPROC, (LONG_PTR)Proc);
    }
    ~MessageLog()
    {
        SetWindowLongPtrA(window_, GWLP_WNDPROC, (LONG_PTR)old_);
        RemovePropA(window_, "qvnlog");
    }
    std::vector<Entry> entries;

    // The texts of the WM_SETTEXT messages received, in order.
    std::vector<std::string> Texts() const
    {
        std::vector<std::string> out;
        for (const Entry &e : entries)
            if (e.msg == WM_SETTEXT) out.push_back(e.text);
        return out;
    }
    std::vector<UINT> Messages() const
    {
        std::vector<UINT> out;
        for (const Entry &e : entries) out.push_back(e.msg);
        return out;
    }

private:
    static LRESULT CALLBACK Proc(HWND w, UINT msg, WPARAM wp, LPARAM lp)
    {
        MessageLog *self = (MessageLog *)GetPropA(w, "qvnlog");
        for (UINT k : self->kinds_) {
            if (k != msg) continue;
            std::string text;
            if (msg == WM_SETTEXT && lp) text = (const char *)lp;
            self->entries.push_back({msg, wp, text});
        }
        return CallWindowProcA(self->old_, w, msg, wp, lp);
    }
    HWND window_;
    std::vector<UINT> kinds_;
    WNDPROC old_;
};

// A helper thread that waits for a top-level dialog window (class #32770)
// of this process whose caption is exactly `caption` and sends it a
// command, as a user pressing that button would; before that it may type a
// text into the first of the given controls that the dialog has. It
// records what it found.
class DialogAnswerer {
public:
    DialogAnswerer(std::string caption, int command, std::vector<int> typeInto = {},
                   std::string typed = "", DWORD waitMs = 30000)
        : caption_(std::move(caption)), command_(command), typeInto_(std::move(typeInto)),
          typed_(std::move(typed))
    {
        thread_ = std::thread([this, waitMs] { Run(waitMs); });
    }
    ~DialogAnswerer() { Join(); }
    void Join()
    {
        if (thread_.joinable()) thread_.join();
    }

    std::atomic<bool> found{false};
    HWND owner = 0;
    std::vector<std::string> childTexts; // texts of the dialog's controls

    // Stops waiting for a dialog that is not expected to come.
    void Stop() { stop_ = true; Join(); }

private:
    struct Search {
        const std::string *caption;
        HWND hit;
    };
    static BOOL CALLBACK Each(HWND w, LPARAM lp)
    {
        Search *s = (Search *)lp;
        DWORD pid = 0;
        GetWindowThreadProcessId(w, &pid);
        char cls[64] = "", text[256] = "";
        GetClassNameA(w, cls, sizeof cls);
        GetWindowTextA(w, text, sizeof text);
        if (pid == GetCurrentProcessId() && !strcmp(cls, "#32770") && *s->caption == text &&
            IsWindowVisible(w)) {
            s->hit = w;
            return FALSE;
        }
        return TRUE;
    }
    static BOOL CALLBACK Child(HWND w, LPARAM lp)
    {
        char text[256] = "";
        GetWindowTextA(w, text, sizeof text);
        if (*text) ((std::vector<std::string> *)lp)->push_back(text);
        return TRUE;
    }
    void Run(DWORD waitMs)
    {
        DWORD start = GetTickCount();
        while (!stop_ && GetTickCount() - start < waitMs) {
            Search s = {&caption_, 0};
            EnumWindows(Each, (LPARAM)&s);
            if (s.hit) {
                owner = GetWindow(s.hit, GW_OWNER);
                EnumChildWindows(s.hit, Child, (LPARAM)&childTexts);
                for (int id : typeInto_) {
                    if (HWND field = GetDlgItem(s.hit, id)) {
                        SendMessageA(field, WM_SETTEXT, 0, (LPARAM)typed_.c_str());
                        break;
                    }
                }
                found = true;
                PostMessageA(s.hit, WM_COMMAND, MAKEWPARAM(command_, BN_CLICKED), 0);
                return;
            }
            Sleep(20);
        }
    }
    std::string caption_;
    int command_;
    std::vector<int> typeInto_;
    std::string typed_;
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

// Points the test program's own import of dll!name at a replacement while
// the object lives. The library is linked into the test program, so its
// platform calls go through these imports too.
class ImportHook {
public:
    ImportHook(const char *dll, const char *name, void *replacement)
    {
        BYTE *base = (BYTE *)GetModuleHandleA(0);
        IMAGE_NT_HEADERS *nt = (IMAGE_NT_HEADERS *)(base + ((IMAGE_DOS_HEADER *)base)->e_lfanew);
        IMAGE_DATA_DIRECTORY &dir = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
        for (IMAGE_IMPORT_DESCRIPTOR *d = (IMAGE_IMPORT_DESCRIPTOR *)(base + dir.VirtualAddress);
             d->Name; d++) {
            if (lstrcmpiA((const char *)(base + d->Name), dll)) continue;
            IMAGE_THUNK_DATA *names = (IMAGE_THUNK_DATA *)(base + d->OriginalFirstThunk);
            IMAGE_THUNK_DATA *slots = (IMAGE_THUNK_DATA *)(base + d->FirstThunk);
            for (; names->u1.AddressOfData; names++, slots++) {
                if (IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal)) continue;
                IMAGE_IMPORT_BY_NAME *by = (IMAGE_IMPORT_BY_NAME *)(base + names->u1.AddressOfData);
                if (strcmp((const char *)by->Name, name)) continue;
                slots_.push_back(&slots->u1.Function);
                original = (void *)slots->u1.Function;
            }
        }
        for (ULONG_PTR *slot : slots_) Write(slot, (ULONG_PTR)replacement);
    }
    ~ImportHook()
    {
        for (ULONG_PTR *slot : slots_) Write(slot, (ULONG_PTR)original);
    }
    bool Installed() const { return !slots_.empty(); }
    void *original = 0;

private:
    static void Write(ULONG_PTR *slot, ULONG_PTR value)
    {
        DWORD old;
        VirtualProtect(slot, sizeof *slot, PAGE_READWRITE, &old);
        *slot = value;
        VirtualProtect(slot, sizeof *slot, old, &old);
    }
    std::vector<ULONG_PTR *> slots_;
};

// Delivers the messages waiting for this thread's windows.
inline void Pump()
{
    MSG m;
    while (PeekMessageA(&m, 0, 0, 0, PM_REMOVE)) {
        TranslateMessage(&m);
        DispatchMessageA(&m);
    }
}

// Gives control the keyboard focus and waits until it has it: a control
// takes the focus only while its window is active, and on a busy display
// server a new window's activation can arrive late.
inline void SettleFocus(HWND control)
{
    for (DWORD start = GetTickCount(); GetTickCount() - start < 3000; Sleep(10)) {
        SetActiveWindow(GetAncestor(control, GA_ROOT));
        SetFocus(control);
        Pump();
        if (GetFocus() == control) return;
    }
}

#endif
