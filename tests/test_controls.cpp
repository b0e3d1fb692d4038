// Control text, list boxes and combo boxes, on real controls of the test
// process; what the controls receive is recorded by subclassing them.
#include <gtest/gtest.h>
#include "qelint.h"
#include "uitest.h"

namespace {

HINSTANCE Self() { return GetModuleHandleA(0); }

enum { kEdit = 10, kStatic = 11, kList = 12, kCombo = 13, kOther = 14 };

class Controls : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        top = CreateWindowExA(0, "STATIC", "qvn controls test", WS_POPUP | WS_VISIBLE, 50, 50, 400,
                              300, 0, 0, Self(), 0);
        Child("EDIT", ES_MULTILINE | ES_AUTOVSCROLL, 10, 10, kEdit);
        Child("STATIC", 0, 10, 60, kStatic);
        Child("LISTBOX", LBS_NOTIFY, 200, 10, kList);
        Child("COMBOBOX", CBS_DROPDOWNLIST, 200, 120, kCombo);
        Child("EDIT", 0, 10, 200, kOther);
    }
    static void TearDownTestSuite() { DestroyWindow(top); }
    static void Child(const char *cls, DWORD style, int x, int y, int id)
    {
        CreateWindowExA(0, cls, "", WS_CHILD | WS_VISIBLE | style, x, y, 150, 100, top,
                        (HMENU)(intptr_t)id, Self(), 0);
    }
    void SetUp() override
    {
        ASSERT_NE(nullptr, top);
        SendMessageA(Item(kList), LB_RESETCONTENT, 0, 0);
        SendMessageA(Item(kCombo), CB_RESETCONTENT, 0, 0);
        SetWindowTextA(Item(kEdit), "");
        SetWindowTextA(Item(kStatic), "");
        SettleFocus(Item(kOther));
    }
    static HWND Item(int id) { return GetDlgItem(top, id); }
    static std::string Text(int id)
    {
        char b[2048] = "";
        GetWindowTextA(Item(id), b, sizeof b);
        return b;
    }
    static HWND top;
};
HWND Controls::top;

TEST_F(Controls, WriteStrChangesTheTextTwiceEmptyFirst)
{
    SetWindowTextA(Item(kEdit), "old");
    MessageLog log(Item(kEdit), {WM_SETTEXT});
    EXPECT_NE(0, qelWriteStr(top, kEdit, "new text"));
    EXPECT_EQ((std::vector<std::string>{"", "new text"}), log.Texts());
    EXPECT_EQ("new text", Text(kEdit));
    EXPECT_EQ(0, qelWriteStr(top, kEdit, 0));
    EXPECT_EQ(2u, log.entries.size()); // a null text sends nothing
    EXPECT_EQ(Item(kOther), GetFocus());
}

TEST_F(Controls, WriteStrAndClearStrOnTheWindowItself)
{
    HWND edit = Item(kEdit);
    MessageLog log(edit, {WM_SETTEXT});
    EXPECT_NE(0, qelWriteStr(edit, 0, "caption"));
    EXPECT_NE(0, qelClearStr(edit, 0));
    EXPECT_EQ((std::vector<std::string>{"", "caption", ""}), log.Texts());
    EXPECT_EQ("", Text(kEdit));
}

TEST_F(Controls, WriteTxtBuildsLinesInOneSharedText)
{
    EXPECT_NE(0, qelWriteTxt(top, kEdit, "one", 1, 1));
    EXPECT_EQ("one\r\n", Text(kEdit));
    EXPECT_NE(0, qelWriteTxt(top, kEdit, "two", 0, 1));
    EXPECT_EQ("one\r\ntwo\r\n", Text(kEdit));
    EXPECT_NE(0, qelWriteTxt(top, kEdit, "", 0, 2)); // newline only when exactly 1
    EXPECT_EQ("one\r\ntwo\r\n", Text(kEdit));
    // A second control continues the same text.
    EXPECT_NE(0, qelWriteTxt(top, kStatic, "three", 0, 0));
    EXPECT_EQ("one\r\ntwo\r\nthree", Text(kStatic));
    EXPECT_EQ((intptr_t)Item(kStatic), qelWriteTxt(top, kStatic, 0, 0, 1)); // nothing to do
    EXPECT_EQ("one\r\ntwo\r\nthree", Text(kStatic));
    // clear 1 with no text empties the shared text and the control.
    MessageLog log(Item(kEdit), {WM_SETTEXT});
    EXPECT_NE(0, qelWriteTxt(top, kEdit, 0, 1, 1));
    EXPECT_EQ((std::vector<std::string>{""}), log.Texts());
    EXPECT_NE(0, qelWriteTxt(top, kEdit, "fresh", 2, 0)); // clear only when exactly 1
    EXPECT_EQ("fresh", Text(kEdit));
}

TEST_F(Controls, WriteTxtCutsAtTheEndOfItsBuffer)
{
    std::string a(300, 'a'), b(300, 'b');
    qelWriteTxt(top, kEdit, a.c_str(), 1, 0);
    EXPECT_NE(0, qelWriteTxt(top, kEdit, b.c_str(), 0, 0));
    EXPECT_EQ(a + std::string(211, 'b'), Text(kEdit));
    EXPECT_NE(0, qelWriteTxt(top, kEdit, "more", 0, 1)); // full: nothing more goes in
    EXPECT_EQ(511u, Text(kEdit).size());
    qelWriteTxt(top, kEdit, std::string(510, 'c').c_str(), 1, 1); // room for one of "\r\n"
    EXPECT_EQ(std::string(510, 'c') + "\r", Text(kEdit));
    EXPECT_NE(0, qelWriteTxt(top, kEdit, "after", 1, 0)); // clearing starts afresh
    EXPECT_EQ("after", Text(kEdit));
}

TEST_F(Controls, ReadStrZeroesTheOldStringFirst)
{
    SetWindowTextA(Item(kEdit), "xy");
    char buf[12];
    memcpy(buf, "abcdefgh\0ZZ", 12);
    EXPECT_EQ(2, qelReadStr(top, kEdit, buf, sizeof buf));
    EXPECT_EQ(0, memcmp(buf, "xy\0\0\0\0\0\0\0ZZ", 12));
    SetWindowTextA(Item(kEdit), "hello");
    char small[8] = "";
    EXPECT_EQ(2, qelReadStr(top, kEdit, small, 3)); // the count holds the terminator
    EXPECT_STREQ("he", small);
    EXPECT_EQ(0, qelReadStr(top, kEdit, 0, 10));
}

// The list box functions and their combo box twins run through the same
// cases; they differ only in where the exact search starts.
struct Twin {
    const char *name;
    int id;
    UINT getCount, getSel, setSel, getData, setData, getText, find;
    int(QELAPI *write)(HWND, int, const char *, intptr_t);
    intptr_t(QELAPI *read)(HWND, int, char *);
    int(QELAPI *set)(HWND, int, const char *);
    int(QELAPI *remove)(HWND, int);
    int(QELAPI *insert)(HWND, int, const char *, intptr_t);
    int firstOfTwoMatches; // items 0 and 2 both match
    WPARAM findFrom;
};

const Twin kTwins[] = {
    {"list box", kList, LB_GETCOUNT, LB_GETCURSEL, LB_SETCURSEL, LB_GETITEMDATA, LB_SETITEMDATA, LB_GETTEXT,
     LB_FINDSTRINGEXACT, qelWriteLst, qelReadLst, qelSetLst, qelDeleteLst, qelInsertLst, 2, 0},
    {"combo box", kCombo, CB_GETCOUNT, CB_GETCURSEL, CB_SETCURSEL, CB_GETITEMDATA, CB_SETITEMDATA, CB_GETLBTEXT,
     CB_FINDSTRINGEXACT, qelWriteCbo, qelReadCbo, qelSetCbo, qelDeleteCbo, qelInsertCbo, 0,
     (WPARAM)-1},
};

class Items : public Controls {
protected:
    LRESULT Msg(const Twin &t, UINT m, WPARAM w = 0, LPARAM l = 0) { return SendMessageA(Item(t.id), m, w, l); }
    std::string ItemText(const Twin &t, int i)
    {
        char b[256] = "";
        Msg(t, t.getText, i, (LPARAM)b);
        return b;
    }
    void Fill(const Twin &t)
    {
        ASSERT_EQ(0, t.write(top, t.id, "beta", 0));
        ASSERT_EQ(1, t.write(top, t.id, "Alpha", 7));
        ASSERT_EQ(2, t.write(top, t.id, "BETA", -5));
    }
};

TEST_F(Items, AddAttachesNonZeroDataAndTakesTheFocus)
{
    for (const Twin &t : kTwins) {
        SetFocus(Item(kOther));
        MessageLog log(Item(t.id), {t.setData});
        Fill(t);
        EXPECT_EQ(3, Msg(t, t.getCount)) << t.name;
        EXPECT_EQ(0, Msg(t, t.getData, 0)) << t.name;
        EXPECT_EQ(7, Msg(t, t.getData, 1)) << t.name;
        EXPECT_EQ(-5, (int)Msg(t, t.getData, 2)) << t.name;
        EXPECT_EQ(2u, log.entries.size()) << t.name; // none for data 0
        EXPECT_EQ(Item(t.id), GetFocus()) << t.name;
        SetFocus(Item(kOther));
        EXPECT_EQ(0, t.write(top, t.id, 0, 9)) << t.name;
        EXPECT_EQ(3, Msg(t, t.getCount)) << t.name;
        EXPECT_EQ(Item(kOther), GetFocus()) << t.name; // a null text touches nothing
        // Nor does a pair that names no window (SetFocus(0) would clear it).
        EXPECT_EQ(0, t.write(top, 999, "x", 5) | t.set(top, 999, "x") | t.insert(top, 999, "x", 5)) << t.name;
        EXPECT_EQ(Item(kOther), GetFocus()) << t.name;
    }
}

TEST_F(Items, SelectSearchesExactTextIgnoringCase)
{
    for (const Twin &t : kTwins) {
        Fill(t);
        MessageLog log(Item(t.id), {t.find});
        EXPECT_EQ(t.firstOfTwoMatches, t.set(top, t.id, "Beta")) << t.name;
        EXPECT_EQ(t.firstOfTwoMatches, Msg(t, t.getSel)) << t.name;
        ASSERT_EQ(1u, log.entries.size()) << t.name;
        EXPECT_EQ(t.findFrom, log.entries[0].wParam) << t.name;
        EXPECT_EQ(1, t.set(top, t.id, "alpha")) << t.name;
        SetFocus(Item(kOther));
        EXPECT_EQ(-1, t.set(top, t.id, "alp")) << t.name; // whole texts only
        EXPECT_EQ(1, Msg(t, t.getSel)) << t.name;      // selection kept
        EXPECT_EQ(Item(t.id), GetFocus()) << t.name;   // focus moved all the same
        SetFocus(Item(kOther));
        EXPECT_EQ(0, t.set(top, t.id, 0)) << t.name;
        EXPECT_EQ(Item(kOther), GetFocus()) << t.name;
    }
}

TEST_F(Items, ListSearchTakesItemZeroOnlyWhenNothingElseMatches)
{
    const Twin &t = kTwins[0];
    t.write(top, t.id, "gamma", 0);
    t.write(top, t.id, "delta", 0);
    EXPECT_EQ(0, t.set(top, t.id, "GAMMA"));
    EXPECT_EQ(1, t.set(top, t.id, "delta"));
}

TEST_F(Items, ReadGivesTextAndDataOfTheSelection)
{
    for (const Twin &t : kTwins) {
        Fill(t);
        char buf[16];
        memcpy(buf, "untouched", 10);
        EXPECT_EQ(-1, t.read(top, t.id, buf)) << t.name;
        EXPECT_STREQ("untouched", buf) << t.name;
        Msg(t, t.setSel, 1);
        EXPECT_EQ(7, t.read(top, t.id, buf)) << t.name;
        EXPECT_STREQ("Alpha", buf) << t.name;
        Msg(t, t.setSel, 0);
        EXPECT_EQ(0, t.read(top, t.id, 0)) << t.name;
        SetFocus(Item(kOther));
        Msg(t, t.setSel, 2);
        EXPECT_EQ(-5, (int)t.read(top, t.id, buf)) << t.name;
        EXPECT_EQ(Item(kOther), GetFocus()) << t.name; // reading leaves the focus
    }
}

TEST_F(Items, DeleteTheSelection)
{
    for (const Twin &t : kTwins) {
        Fill(t);
        EXPECT_EQ(-1, t.remove(top, t.id)) << t.name;
        EXPECT_EQ(3, Msg(t, t.getCount)) << t.name;
        Msg(t, t.setSel, 1);
        EXPECT_EQ(2, t.remove(top, t.id)) << t.name;
        EXPECT_EQ("BETA", ItemText(t, 1)) << t.name;
        Msg(t, t.setSel, 0);
        SetFocus(Item(kOther));
        EXPECT_EQ(1, t.remove(top, t.id)) << t.name;
        EXPECT_EQ(Item(kOther), GetFocus()) << t.name;
        Msg(t, t.setSel, 0);
        EXPECT_EQ(0, t.remove(top, t.id)) << t.name; // the last one
        EXPECT_EQ(0, Msg(t, t.getCount)) << t.name;
    }
}

TEST_F(Items, InsertAtTheSelection)
{
    for (const Twin &t : kTwins) {
        Fill(t);
        SetFocus(Item(kOther));
        EXPECT_EQ(-1, t.insert(top, t.id, "none", 3)) << t.name;
        EXPECT_EQ(3, Msg(t, t.getCount)) << t.name;
        EXPECT_EQ(Item(t.id), GetFocus()) << t.name;
        Msg(t, t.setSel, 1);
        EXPECT_EQ(1, t.insert(top, t.id, "inserted", 42)) << t.name;
        EXPECT_EQ(4, Msg(t, t.getCount)) << t.name;
        EXPECT_EQ("inserted", ItemText(t, 1)) << t.name;
        EXPECT_EQ(42, Msg(t, t.getData, 1)) << t.name;
        EXPECT_EQ("Alpha", ItemText(t, 2)) << t.name;
        EXPECT_EQ(7, Msg(t, t.getData, 2)) << t.name;
        Msg(t, t.setSel, 0);
        EXPECT_EQ(0, t.insert(top, t.id, "first", 0)) << t.name;
        EXPECT_EQ(0, Msg(t, t.getData, 0)) << t.name;
        EXPECT_EQ("beta", ItemText(t, 1)) << t.name;
        EXPECT_EQ(0, t.insert(top, t.id, 0, 5)) << t.name;
        EXPECT_EQ(5, Msg(t, t.getCount)) << t.name;
    }
}

// Answers every add and insert as a full control does (LB_ERR, CB_ERR)
// and passes everything else on.
struct Refusing {
    explicit Refusing(HWND w) : w_(w) { old = (WNDPROC)SetWindowLongPtrA(w, GWLP_WNDPROC, (LONG_PTR)Proc); }
    ~Refusing() { SetWindowLongPtrA(w_, GWLP_WNDPROC, (LONG_PTR)old); }
    static LRESULT CALLBACK Proc(HWND w, UINT m, WPARAM wp, LPARAM lp)
    {
        if (m == LB_ADDSTRING || m == LB_INSERTSTRING || m == CB_ADDSTRING || m == CB_INSERTSTRING) return -1;
        return CallWindowProcA(old, w, m, wp, lp);
    }
    HWND w_;
    static WNDPROC old;
};
WNDPROC Refusing::old;

TEST_F(Items, RefusedAddOrInsertAttachesNoData)
{
    for (const Twin &t : kTwins) {
        Fill(t);
        Msg(t, t.setSel, 1);
        {
            Refusing full(Item(t.id));
            MessageLog log(Item(t.id), {t.setData});
            EXPECT_EQ(-1, t.write(top, t.id, "more", 9)) << t.name;
            EXPECT_EQ(1, t.insert(top, t.id, "more", 9)) << t.name; // the selected index
            EXPECT_TRUE(log.entries.empty()) << t.name;
        }
        EXPECT_EQ(0, Msg(t, t.getData, 0)) << t.name;
    }
}

TEST_F(Items, IdZeroNamesTheControlItself)
{
    for (const Twin &t : kTwins) {
        HWND box = Item(t.id);
        EXPECT_EQ(0, t.write(box, 0, "self", 0)) << t.name;
        EXPECT_EQ(0, t.set(box, 0, "SELF")) << t.name;
        EXPECT_EQ(box, GetFocus()) << t.name;
        char buf[8] = "";
        EXPECT_EQ(0, t.read(box, 0, buf)) << t.name;
        EXPECT_STREQ("self", buf) << t.name;
        EXPECT_EQ(0, t.remove(box, 0)) << t.name;
    }
}

} // namespace
