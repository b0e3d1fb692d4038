// Folders, drives, the directory search, the choosers and qelShell, against
// Wine's file system and its dialogs.
#include <gtest/gtest.h>
#include <algorithm>
#include <set>
#include "qelint.h"
#include "uitest.h"
#include "winutil.h"
#include <dlgs.h>

namespace {

std::string CurrentDir()
{
    char b[MAX_PATH] = "";
    GetCurrentDirectoryA(MAX_PATH, b);
    return b;
}

// Restores the process's current folder when a test has moved it.
struct KeepCurrentDir {
    std::string saved = CurrentDir();
    ~KeepCurrentDir() { SetCurrentDirectoryA(saved.c_str()); }
};

TEST(SystemFolders, ClearSizeBytesThenWriteTheName)
{
    struct {
        const char *name;
        int(QELAPI *call)(char *, int);
        UINT (*reference)(char *, int);
    } const kCases[] = {
        {"qelGetDir", qelGetDir, [](char *b, int n) { return (UINT)GetCurrentDirectoryA(n, b); }},
        {"qelGetSysDir", qelGetSysDir, [](char *b, int n) { return GetSystemDirectoryA(b, n); }},
        {"qelGetWinDir", qelGetWinDir, [](char *b, int n) { return GetWindowsDirectoryA(b, n); }},
    };
    for (const auto &t : kCases) {
        char want[MAX_PATH] = "";
        t.reference(want, MAX_PATH);
        size_t len = strlen(want);
        ASSERT_GT(len, 3u) << t.name;
        EXPECT_NE('\\', want[len - 1]) << t.name;

        char b[300];
        memset(b, 'x', sizeof b);
        EXPECT_EQ(1, t.call(b, 255)) << t.name;
        EXPECT_STREQ(want, b) << t.name;
        EXPECT_EQ(0, b[254]) << t.name; // cleared up to the size
        EXPECT_EQ('x', b[255]) << t.name;

        memset(b, 'x', sizeof b);
        EXPECT_EQ(1, t.call(b, (int)len)) << t.name; // one byte short: empty text
        EXPECT_EQ(std::string(len, '\0'), std::string(b, len)) << t.name;
        EXPECT_EQ('x', b[len]) << t.name;

        memset(b, 'x', sizeof b);
        EXPECT_EQ(1, t.call(b, (int)len + 1)) << t.name; // just fits
        EXPECT_STREQ(want, b) << t.name;

        memset(b, 'x', sizeof b);
        EXPECT_EQ(1, t.call(b, 0)) << t.name; // no room: nothing written
        EXPECT_EQ(1, t.call(b, -1)) << t.name;
        EXPECT_EQ(std::string(sizeof b, 'x'), std::string(b, sizeof b)) << t.name;
    }
}

TEST(Drives, RootOfTheCurrentFolderAndOfAnyName)
{
    KeepCurrentDir keep;
    ScratchDir dir;
    SetCurrentDirectoryA(dir.path().c_str());
    char b[16];
    memset(b, 'x', sizeof b);
    EXPECT_EQ(1, qelGetDrive(b, 10));
    EXPECT_EQ(0, memcmp(b, "C:\\\0\0\0\0\0\0\0x", 11));

    UINT fixed = GetDriveTypeA("C:\\");
    for (const char *name : {"C", "C:", "C:\\", "c:\\windows\\no such file", "Cabbage"})
        EXPECT_EQ((int)fixed, qelGetDriveType(name)) << name;
    DWORD drives = GetLogicalDrives();
    char missing = 0;
    for (char c = 'Y'; c > 'D' && !missing; c--)
        if (!(drives & (1u << (c - 'A')))) missing = c;
    ASSERT_NE(0, missing);
    const char none[] = {missing, 0};
    EXPECT_EQ(DRIVE_NO_ROOT_DIR, qelGetDriveType(none));

    EXPECT_EQ(1, qelSetDrive("C:\\some\\folder"));
    EXPECT_EQ("C:\\", CurrentDir());
    SetCurrentDirectoryA(dir.path().c_str());
    EXPECT_EQ(1, qelSetDrive(none)); // no such drive: nothing moves, still 1
    EXPECT_EQ(dir.path(), CurrentDir());
    EXPECT_EQ(1, qelSetDrive(0)); // no name at all: nothing moves, still 1
    EXPECT_EQ(dir.path(), CurrentDir());
    EXPECT_EQ(DRIVE_NO_ROOT_DIR, qelGetDriveType(0));
}

TEST(FolderOperations, AskTheDirectorySearchFirst)
{
    KeepCurrentDir keep;
    ScratchDir dir;
    std::string sub = dir / "sub", deep = dir / "missing\\deeper";
    EXPECT_EQ(1, qelMakDir(sub.c_str()));
    EXPECT_TRUE(Exists(sub));
    EXPECT_EQ(0, qelMakDir(sub.c_str())); // found: nothing done
    EXPECT_EQ(1, qelMakDir(deep.c_str())); // attempted, parent missing
    EXPECT_FALSE(Exists(deep));
    EXPECT_EQ(1, qelMakDir("C:\\")); // a root is never found: attempted

    EXPECT_EQ(1, qelChgDir(sub.c_str()));
    EXPECT_EQ(sub, CurrentDir());
    EXPECT_EQ(0, qelChgDir((dir / "nowhere").c_str()));
    EXPECT_EQ(0, qelChgDir("C:\\")); // roots are not found
    EXPECT_EQ(0, qelChgDir((sub + "\\").c_str()));
    EXPECT_EQ(sub, CurrentDir());
    SetCurrentDirectoryA(dir.path().c_str());

    Spit(sub + "\\f.txt", "x");
    EXPECT_EQ(1, qelRemDir(sub.c_str())); // attempted: not empty, stays
    EXPECT_TRUE(Exists(sub));
    DeleteFileA((sub + "\\f.txt").c_str());
    EXPECT_EQ(1, qelRemDir(sub.c_str()));
    EXPECT_FALSE(Exists(sub));
    EXPECT_EQ(0, qelRemDir(sub.c_str()));
}

// A folder with a few files for the directory search.
class Search : public ::testing::Test {
protected:
    void SetUp() override
    {
        qelFindFile(0, -1);
        for (const char *f : {"a.txt", "b.txt", "c.dat"}) Spit(dir / f, f);
        CreateDirectoryA((dir / "sub").c_str(), 0);
    }
    void TearDown() override { qelFindFile(0, -1); }
    // Every name a first call and next calls hand out, until 0.
    std::multiset<std::string> All(const std::string &pattern)
    {
        std::multiset<std::string> names;
        for (char *n = qelFindFile(pattern.c_str(), 1); n; n = qelFindFile(0, 0)) names.insert(n);
        return names;
    }
    ScratchDir dir;
};

TEST_F(Search, HandsOutEveryEntryOnce)
{
    EXPECT_EQ((std::multiset<std::string>{"a.txt", "b.txt"}), All(dir / "*.txt"));
    EXPECT_EQ((std::multiset<std::string>{".", "..", "a.txt", "b.txt", "c.dat", "sub"}), All(dir / "*"));
    EXPECT_EQ((std::multiset<std::string>{"sub"}), All(dir / "sub"));
    EXPECT_EQ((std::multiset<std::string>{"c.dat"}), All(dir / "?.dat"));
    EXPECT_EQ(nullptr, qelFindFile(0, 0)); // the loop left no search open
    EXPECT_EQ(nullptr, qelFindFile(0, -1));
}

TEST_F(Search, OneRecordAtOneAddress)
{
    char *first = qelFindFile((dir / "*.txt").c_str(), 1);
    ASSERT_NE(nullptr, first);
    std::string firstName = first;
    char *second = qelFindFile(0, 0);
    EXPECT_EQ(first, second);
    EXPECT_NE(firstName, second);
    EXPECT_EQ(nullptr, qelFindFile(0, 0));
    EXPECT_STREQ("", first); // cleared by the call that found nothing
}

TEST_F(Search, NothingOpenNothingFound)
{
    EXPECT_EQ(nullptr, qelFindFile(0, 0));
    EXPECT_EQ(nullptr, qelFindFile(0, -1));
    EXPECT_EQ(nullptr, qelFindFile((dir / "*.none").c_str(), 1));
    EXPECT_EQ(nullptr, qelFindFile(0, 0));
    EXPECT_EQ(nullptr, qelFindFile((dir / "*.txt").c_str(), 2)); // other modes do nothing
    EXPECT_EQ(nullptr, qelFindFile(0, 0));
}

TEST_F(Search, CloseAndRestart)
{
    ASSERT_NE(nullptr, qelFindFile((dir / "*.txt").c_str(), 1));
    EXPECT_EQ(nullptr, qelFindFile(0, -1));
    EXPECT_EQ(nullptr, qelFindFile(0, 0)); // closed
    ASSERT_NE(nullptr, qelFindFile((dir / "*.txt").c_str(), 1));
    char *n = qelFindFile((dir / "*.dat").c_str(), 1); // gives the open one up
    ASSERT_NE(nullptr, n);
    EXPECT_STREQ("c.dat", n);
    EXPECT_EQ(nullptr, qelFindFile(0, 0));
    ASSERT_NE(nullptr, qelFindFile((dir / "*.txt").c_str(), 1));
    EXPECT_EQ(nullptr, qelFindFile((dir / "*.none").c_str(), 1)); // a failed start ends it too
    EXPECT_EQ(nullptr, qelFindFile(0, 0));
}

HGLOBAL WINAPI NoGlobalAlloc(UINT, SIZE_T) { return 0; }

TEST_F(Search, WithoutAWorkingBlockNothingChanges)
{
    char *n = qelFindFile((dir / "*.txt").c_str(), 1);
    ASSERT_NE(nullptr, n);
    std::string firstName = n;
    {
        ImportHook starve("kernel32.dll", "GlobalAlloc", (void *)NoGlobalAlloc);
        ASSERT_TRUE(starve.Installed());
        EXPECT_EQ(nullptr, qelFindFile(0, 0));
        EXPECT_EQ(nullptr, qelFindFile((dir / "*.dat").c_str(), 1));
        EXPECT_EQ(firstName, n); // the record is as it was
    }
    char *next = qelFindFile(0, 0); // the search goes on where it was
    ASSERT_NE(nullptr, next);
    EXPECT_NE(firstName, next);
    EXPECT_EQ(std::string("a.txt") + "b.txt", std::min(firstName, std::string(next)) + std::max(firstName, std::string(next)));
    EXPECT_EQ(nullptr, qelFindFile(0, 0));
}

// The choosers are answered by a helper thread, as a user would.
TEST(Choosers, CancelledFileChoosersLeaveTheBuffer)
{
    struct {
        int mode;
        const char *caption;
    } const kCases[] = {{-1, "Select A File"}, {1, "Enter A Filename"}};
    for (const auto &t : kCases) {
        char buf[260];
        memcpy(buf, "untouched", 10);
        DialogAnswerer cancel(t.caption, IDCANCEL);
        EXPECT_EQ(nullptr, qelGetFileName(t.mode, 0, GetModuleHandleA(0), buf));
        cancel.Join();
        EXPECT_TRUE(cancel.found) << t.caption;
        EXPECT_STREQ("untouched", buf);
    }
}

TEST(Choosers, OtherModesShowNoChooser)
{
    DialogAnswerer watch("Select A File", IDCANCEL);
    DialogAnswerer watchSave("Enter A Filename", IDCANCEL);
    char buf[260] = "untouched";
    EXPECT_EQ(nullptr, qelGetFileName(2, 0, GetModuleHandleA(0), buf));
    EXPECT_EQ(nullptr, qelGetFileName(0, 0, GetModuleHandleA(0), buf));
    EXPECT_EQ(nullptr, qelGetFileName(-1, 0, GetModuleHandleA(0), 0)); // no buffer
    EXPECT_EQ(nullptr, qelGetFileName(1, 0, GetModuleHandleA(0), 0));
    Sleep(300);
    watch.Stop();
    watchSave.Stop();
    EXPECT_FALSE(watch.found);
    EXPECT_FALSE(watchSave.found);
    EXPECT_STREQ("untouched", buf);
}

TEST(Choosers, ChosenFileComesBackTwice)
{
    ScratchDir dir;
    std::string file = dir / "chosen.txt";
    Spit(file, "x");
    char buf[300];
    memset(buf, 'x', sizeof buf);
    DialogAnswerer choose("Select A File", IDOK, {cmb13, edt1}, file);
    char *got = qelGetFileName(-1, 0, GetModuleHandleA(0), buf);
    choose.Join();
    ASSERT_NE(nullptr, got);
    EXPECT_EQ(0, lstrcmpiA(file.c_str(), got));
    EXPECT_EQ(0, memcmp(got, buf, 260)); // the result's 260 bytes, and no more
    EXPECT_EQ('x', buf[260]);
}

// A chooser that fails as for a name too long for the result (the length it
// needs in the result's first bytes); Wine's own dialog overruns its
// buffers before it gets there, so it is replaced where the library looks.
BOOL WINAPI TooLongChooser(LPOPENFILENAMEA ofn)
{
    *(WORD *)ofn->lpstrFile = 300;
    return FALSE;
}
ImportHook *procHook;
FARPROC WINAPI FailingChoosers(HMODULE module, LPCSTR name)
{
    if (HIWORD((ULONG_PTR)name) && (!strcmp(name, "GetSaveFileNameA") || !strcmp(name, "GetOpenFileNameA")))
        return (FARPROC)(void *)TooLongChooser;
    return ((FARPROC(WINAPI *)(HMODULE, LPCSTR))procHook->original)(module, name);
}

TEST(Choosers, FailedChooserGivesNoName)
{
    ImportHook hook("kernel32.dll", "GetProcAddress", (void *)FailingChoosers);
    ASSERT_TRUE(hook.Installed());
    procHook = &hook;
    for (int mode : {1, -1}) {
        char buf[260];
        memcpy(buf, "untouched", 10);
        EXPECT_EQ(nullptr, qelGetFileName(mode, 0, GetModuleHandleA(0), buf)) << mode;
        EXPECT_STREQ("untouched", buf) << mode;
    }
}

TEST(Choosers, CancelledFolderChooser)
{
    char buf[260] = "untouched";
    DialogAnswerer cancel("Browse For Folder", IDCANCEL); // the caption the callback sets
    EXPECT_EQ(1, qelGetDirName(0, buf));
    cancel.Join();
    EXPECT_TRUE(cancel.found);
    bool instruction = false;
    for (const std::string &s : cancel.childTexts) instruction |= s == "Select A Folder";
    EXPECT_TRUE(instruction);
    EXPECT_STREQ("untouched", buf);
}

// qelShell starts tests/shellchild.c's program.
class Shell : public ::testing::Test {
protected:
    std::string Child(const char *which) { return ProgramFolder() + which; }
    std::string Line(const char *which, const std::string &args)
    {
        return "\"" + Child(which) + "\" " + args;
    }
    // Runs qelShell on a worker thread so that a wait that never ends fails
    // the test instead of hanging it.
    struct Call {
        const char *program;
        std::string line;
        int wait;
        HANDLE result;
    };
    static DWORD WINAPI Run(void *p)
    {
        Call *c = (Call *)p;
        c->result = qelShell(c->program, c->line.c_str(), c->wait);
        return 0;
    }
    HANDLE Bounded(const char *program, const std::string &line, int wait, DWORD *ms)
    {
        Call *call = new Call{program, line, wait, 0};
        DWORD start = GetTickCount();
        HANDLE worker = CreateThread(0, 0, Run, call, 0, 0);
        if (WaitForSingleObject(worker, 60000) != WAIT_OBJECT_0) {
            ADD_FAILURE() << "qelShell did not return";
            CloseHandle(worker); // the call is left to its thread
            return 0;
        }
        CloseHandle(worker);
        *ms = GetTickCount() - start;
        HANDLE h = call->result;
        delete call;
        return h;
    }
    static bool Running(HANDLE h) { return WaitForSingleObject(h, 0) == WAIT_TIMEOUT; }
    static DWORD ExitCode(HANDLE h)
    {
        WaitForSingleObject(h, 30000);
        DWORD code = 0;
        GetExitCodeProcess(h, &code);
        return code;
    }
};

TEST_F(Shell, MissingProgramGivesZeroAtOnce)
{
    for (int wait : {1, 0, 2}) {
        DWORD ms;
        EXPECT_EQ(nullptr, Bounded((ProgramFolder() + "no_such_program.exe").c_str(), "x", wait, &ms));
        EXPECT_LT(ms, 5000u);
    }
}

TEST_F(Shell, WaitModeOneWaitsForTheEnd)
{
    DWORD ms;
    HANDLE h = Bounded(0, Line("shellchild_con.exe", "console 1500 7"), 1, &ms);
    ASSERT_NE(nullptr, h);
    EXPECT_FALSE(Running(h));
    EXPECT_GE(ms, 1400u);
    EXPECT_EQ(7u, ExitCode(h));
    CloseHandle(h);
    // An exit code that reads as "still active" does not keep it waiting.
    h = Bounded(Child("shellchild_con.exe").c_str(), Line("shellchild_con.exe", "console 0 259"), 1, &ms);
    ASSERT_NE(nullptr, h);
    EXPECT_FALSE(Running(h));
    EXPECT_EQ(259u, ExitCode(h));
    CloseHandle(h);
}

// Mode 2 does not wait; mode 0 does not wait for a console program, which
// has no message queue to become ready.
TEST_F(Shell, ReturnsWhileAConsoleProgramRuns)
{
    for (int wait : {2, 0, -1}) {
        DWORD ms;
        std::string args = "console 3000 " + std::to_string(wait + 10);
        HANDLE h = Bounded(0, Line("shellchild_con.exe", args), wait, &ms);
        ASSERT_NE(nullptr, h) << wait;
        EXPECT_LT(ms, 2000u) << wait;
        EXPECT_TRUE(Running(h)) << wait;
        EXPECT_EQ((DWORD)(wait + 10), ExitCode(h)) << wait;
        CloseHandle(h);
    }
}

TEST_F(Shell, WaitModeZeroWaitsUntilTheWindowIsReady)
{
    std::string title = "qvn shell child " + std::to_string(GetCurrentProcessId());
    DWORD ms;
    HANDLE h = Bounded(0, Line("shellchild_gui.exe", "gui 3000 \"" + title + "\""), 0, &ms);
    ASSERT_NE(nullptr, h);
    EXPECT_TRUE(Running(h));
    EXPECT_NE(nullptr, FindWindowA(0, title.c_str())); // it got as far as its message loop
    EXPECT_EQ(0u, ExitCode(h));
    CloseHandle(h);
}

} // namespace
