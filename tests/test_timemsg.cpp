// Time, timers and message loops under Wine, with a real window and the
// test thread's own message queue.
#include <gtest/gtest.h>
#include <stdio.h>
#include <string>
#include <utility>
#include <vector>
#include "qelint.h"

namespace {

// What the test window and dialog procedures received: message and wParam.
std::vector<std::pair<UINT, WPARAM>> seen;

bool Recorded(UINT message)
{
    return message == WM_TIMER || message == WM_COMMAND || (message >= WM_APP && message < WM_APP + 100);
}

LRESULT CALLBACK RecordingProc(HWND w, UINT m, WPARAM wp, LPARAM lp)
{
    if (Recorded(m)) seen.push_back({m, wp});
    return DefWindowProcA(w, m, wp, lp);
}

INT_PTR CALLBACK RecordingDialogProc(HWND, UINT m, WPARAM wp, LPARAM)
{
    if (Recorded(m)) seen.push_back({m, wp});
    return m == WM_INITDIALOG;
}

int timerCalls;
void CALLBACK CountingTimerProc(HWND, UINT, UINT_PTR, DWORD) { timerCalls++; }

void Drain()
{
    MSG msg;
    while (PeekMessageA(&msg, 0, 0, 0, PM_REMOVE)) DispatchMessageA(&msg);
    seen.clear();
}

int Count(UINT message, WPARAM wp)
{
    int n = 0;
    for (auto &s : seen) n += s.first == message && s.second == wp;
    return n;
}

class Messages : public ::testing::Test {
protected:
    HWND window = 0;
    void SetUp() override
    {
        WNDCLASSA wc = {};
        wc.lpfnWndProc = RecordingProc;
        wc.hInstance = GetModuleHandleA(0);
        wc.lpszClassName = "QvnRecording";
        RegisterClassA(&wc); // fails harmlessly when already registered
        window = CreateWindowA("QvnRecording", "recording", WS_OVERLAPPEDWINDOW, 0, 0, 100, 100, 0, 0,
                               wc.hInstance, 0);
        ASSERT_NE(nullptr, window);
        Drain();
    }
    void TearDown() override
    {
        DestroyWindow(window);
        Drain();
    }
    void Post(UINT message, WPARAM wp) { ASSERT_TRUE(PostMessageA(window, message, wp, 0)); }
};

TEST_F(Messages, PeekTakesOneMessageAtATime)
{
    EXPECT_EQ(0, qelPeekMsg());
    Post(WM_APP + 1, 11);
    Post(WM_APP + 2, 22);
    EXPECT_EQ(11, qelPeekMsg());
    ASSERT_EQ(1u, seen.size());
    EXPECT_EQ((UINT)(WM_APP + 1), seen[0].first);
    EXPECT_EQ(22, qelPeekMsg());
    EXPECT_EQ(2, (int)seen.size());
    EXPECT_EQ(0, qelPeekMsg());
}

TEST_F(Messages, DoTaskDispatchesForItsWholeDuration)
{
    Post(WM_APP + 1, 1);
    Post(WM_APP + 2, 2);
    Post(WM_APP + 3, 3);
    DWORD t0 = GetTickCount();
    EXPECT_EQ(3, qelDoTask(60));
    EXPECT_GE(GetTickCount() - t0, 60u);
    ASSERT_EQ(3u, seen.size());
    for (int i = 0; i < 3; i++) EXPECT_EQ((WPARAM)(i + 1), seen[i].second);

    // Nothing pending: the duration still passes and the result is 0.
    t0 = GetTickCount();
    EXPECT_EQ(0, qelDoTask(30));
    EXPECT_GE(GetTickCount() - t0, 30u);
}

TEST_F(Messages, DoTaskOfZeroLeavesTheQueueAlone)
{
    Post(WM_APP, 5);
    EXPECT_EQ(0, qelDoTask(0));
    EXPECT_TRUE(seen.empty());
    MSG msg;
    EXPECT_TRUE(PeekMessageA(&msg, 0, WM_APP, WM_APP, PM_NOREMOVE));
}

TEST_F(Messages, QuitEndsGetMsgWithItsExitCode)
{
    Post(WM_APP + 4, 44);
    PostQuitMessage(42);
    EXPECT_EQ(42, qelGetMsg(window));
    EXPECT_EQ(1, Count(WM_APP + 4, 44));
}

TEST_F(Messages, DoTaskConsumesAQuitMessage)
{
    PostQuitMessage(5);
    EXPECT_EQ(5, qelDoTask(20));
    // The quit taken above is gone: the next loop ends on the later one.
    Post(WM_APP + 7, 77);
    PostQuitMessage(9);
    EXPECT_EQ(9, qelGetMsg(window));
    EXPECT_EQ(1, Count(WM_APP + 7, 77));
}

// A dialog without controls, made from a template in memory.
HWND MakeDialog()
{
    struct {
        DLGTEMPLATE t;
        WORD menu, cls, title;
    } tpl = {};
    tpl.t.style = WS_POPUP | WS_CAPTION | DS_MODALFRAME;
    tpl.t.cx = 100;
    tpl.t.cy = 50;
    return CreateDialogIndirectParamA(GetModuleHandleA(0), &tpl.t, 0, RecordingDialogProc, 0);
}

TEST_F(Messages, GetMsgOffersMessagesToTheDialog)
{
    HWND dialog = MakeDialog();
    ASSERT_NE(nullptr, dialog);
    Drain();
    // Return in a dialog is the default command: only the dialog manager
    // makes IDOK of it; dispatched as it is, the key does nothing.
    PostMessageA(dialog, WM_KEYDOWN, VK_RETURN, 0);
    PostQuitMessage(3);
    EXPECT_EQ(3, qelGetMsg(dialog));
    EXPECT_EQ(1, Count(WM_COMMAND, IDOK));
    DestroyWindow(dialog);
}

TEST_F(Messages, TimerSetAndKilled)
{
    EXPECT_EQ(7, qelTimer(window, 7, 10, 0));
    qelDoTask(150);
    EXPECT_GE(Count(WM_TIMER, 7), 2);

    EXPECT_EQ(0, qelTimer(window, 7, 0, 0));
    Drain();
    qelDoTask(100);
    EXPECT_EQ(0, Count(WM_TIMER, 7));
}

TEST_F(Messages, TimerWithProcedureAndWithoutWindow)
{
    timerCalls = 0;
    intptr_t id = qelTimer(0, 1, 10, CountingTimerProc);
    ASSERT_NE(0, id);
    qelDoTask(150);
    EXPECT_GE(timerCalls, 2);
    EXPECT_EQ(0, qelTimer(0, id, 0, 0));
    Drain();
    timerCalls = 0;
    qelDoTask(100);
    EXPECT_EQ(0, timerCalls);
}

TEST_F(Messages, TimerWithoutIdentifierDoesNothing)
{
    EXPECT_EQ(0, qelTimer(window, 0, 10, 0));
    qelDoTask(100);
    EXPECT_EQ(0, Count(WM_TIMER, 0));
    EXPECT_TRUE(seen.empty());
}

// The tick count near its wrap: the program's own import of GetTickCount is
// pointed at a counter that starts 64 ms before the wrap and advances 3 ms a
// call, so the duration ends only well after the count passed 0.
unsigned fakeTick;
DWORD WINAPI FakeTickCount() { return fakeTick += 3; }

void **ImportSlot(const char *dll, const char *name)
{
    auto base = (BYTE *)GetModuleHandleA(0);
    auto nt = (IMAGE_NT_HEADERS *)(base + ((IMAGE_DOS_HEADER *)base)->e_lfanew);
    auto &dir = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    for (auto d = (IMAGE_IMPORT_DESCRIPTOR *)(base + dir.VirtualAddress); d->Name; d++) {
        if (lstrcmpiA((char *)base + d->Name, dll) != 0) continue;
        auto names = (IMAGE_THUNK_DATA *)(base + d->OriginalFirstThunk);
        auto slots = (void **)(base + d->FirstThunk);
        for (int i = 0; names[i].u1.AddressOfData; i++) {
            if (IMAGE_SNAP_BY_ORDINAL(names[i].u1.Ordinal)) continue;
            auto byName = (IMAGE_IMPORT_BY_NAME *)(base + names[i].u1.AddressOfData);
            if (lstrcmpA((char *)byName->Name, name) == 0) return &slots[i];
        }
    }
    return 0;
}

TEST(DoTask, EndsAfterItsDurationAcrossTheTickWrap)
{
    void **slot = ImportSlot("kernel32.dll", "GetTickCount");
    ASSERT_NE(nullptr, slot);
    DWORD old;
    ASSERT_TRUE(VirtualProtect(slot, sizeof *slot, PAGE_READWRITE, &old));
    void *real = *slot;
    *slot = (void *)FakeTickCount;
    const unsigned start = 0xFFFFFFFFu - 64;
    fakeTick = start - 3; // the first call reads start
    qelDoTask(100);
    unsigned last = fakeTick;
    *slot = real;
    VirtualProtect(slot, sizeof *slot, old, &old);
    EXPECT_LT(last, start); // the count wrapped during the call
    EXPECT_GE(last - start, 100u);
    EXPECT_LT(last - start, 103u); // and it stopped at the first poll after
}

// The clock is read before and after the call; a call whose pieces could
// straddle a change of the compared fields is repeated.
SYSTEMTIME Now()
{
    SYSTEMTIME t;
    GetLocalTime(&t);
    return t;
}

std::string S(int n) { return std::to_string(n); }

TEST(Clock, TimeTypesAgainstTheClock)
{
    for (int type = 0; type <= 2; type++) {
        bool checked = false;
        for (int attempt = 0; attempt < 20 && !checked; attempt++) {
            char buf[64] = "at ";
            SYSTEMTIME a = Now();
            EXPECT_EQ(1, qelTime(type, buf));
            SYSTEMTIME b = Now();
            if (a.wHour != b.wHour || a.wMinute != b.wMinute || a.wSecond != b.wSecond) continue;
            checked = true;
            std::string want = "at " + S(a.wHour) + ":" + S(a.wMinute);
            if (type <= 1) want += ":" + S(a.wSecond);
            if (type == 0) {
                // The milliseconds lie between the two readings.
                std::string got = buf;
                ASSERT_EQ(want + ".", got.substr(0, want.size() + 1)) << type;
                std::string ms = got.substr(want.size() + 1);
                ASSERT_FALSE(ms.empty());
                EXPECT_TRUE(ms == "0" || ms[0] != '0') << ms; // unpadded
                int v = atoi(ms.c_str());
                EXPECT_EQ(S(v), ms);
                EXPECT_GE(v, a.wMilliseconds);
                EXPECT_LE(v, b.wMilliseconds);
            } else {
                EXPECT_EQ(want, std::string(buf)) << type;
            }
        }
        EXPECT_TRUE(checked) << type;
    }
}

TEST(Clock, TimeAppendsToTheTextAlreadyThere)
{
    for (int attempt = 0; attempt < 20; attempt++) {
        char buf[64] = {0};
        SYSTEMTIME a = Now();
        qelTime(2, buf);
        qelTime(2, buf);
        SYSTEMTIME b = Now();
        if (a.wMinute != b.wMinute) continue;
        std::string one = S(a.wHour) + ":" + S(a.wMinute);
        EXPECT_EQ(one + one, std::string(buf));
        return;
    }
    FAIL() << "the clock kept turning over";
}

TEST(Clock, DateTypesAgainstTheClock)
{
    static const char *const weekdays[] = {"Sunday", "Monday", "Tuesday", "Wednesday",
                                           "Thursday", "Friday", "Saturday"};
    static const char *const months[] = {"January", "February", "March", "April", "May", "June", "July",
                                         "August", "September", "October", "November", "December"};
    for (int attempt = 0; attempt < 20; attempt++) {
        char long_[64] = "on ", short_[64] = "on ";
        SYSTEMTIME a = Now();
        EXPECT_EQ(1, qelDate(0, long_));
        EXPECT_EQ(1, qelDate(1, short_));
        SYSTEMTIME b = Now();
        if (a.wDay != b.wDay || a.wMonth != b.wMonth || a.wYear != b.wYear) continue;
        EXPECT_EQ(std::string("on ") + weekdays[a.wDayOfWeek] + ", " + months[a.wMonth - 1] + " " +
                      S(a.wDay) + ", " + S(a.wYear),
                  std::string(long_));
        EXPECT_EQ("on " + S(a.wDay) + "/" + S(a.wMonth) + "/" + S(a.wYear), std::string(short_));
        return;
    }
    FAIL() << "the date kept turning over";
}

TEST(Clock, OtherTypesAndNullBuffersWriteNothing)
{
    char buf[16];
    memset(buf, '~', sizeof buf);
    buf[3] = 0;
    EXPECT_EQ(1, qelTime(3, buf));
    EXPECT_EQ(1, qelTime(-1, buf));
    EXPECT_EQ(1, qelDate(2, buf));
    EXPECT_EQ(1, qelDate(-1, buf));
    EXPECT_EQ(std::string("~~~") + '\0' + std::string(12, '~'), std::string(buf, sizeof buf));
    EXPECT_EQ(1, qelTime(0, nullptr));
    EXPECT_EQ(1, qelDate(0, nullptr));
}

TEST(Clock, TickFollowsTheSystemCount)
{
    DWORD a = GetTickCount();
    unsigned t = qelTimeTick();
    DWORD b = GetTickCount();
    EXPECT_LE(t - a, b - a);
}

} // namespace
