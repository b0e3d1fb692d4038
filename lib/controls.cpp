// Control text, list boxes and combo boxes. Every function names its
// control by (window, id) through qelControl: id 0 is the window itself,
// any other id the dialog item with that id.
#include "qelint.h"

static LRESULT Send(HWND window, int id, UINT msg, WPARAM wParam, LPARAM lParam)
{
    return SendMessageA(qelControl(window, id), msg, wParam, lParam);
}

// The text of qelWriteTxt, shared by every control it writes to: at most
// 511 characters and the terminator, whatever the callers append.
static char textBuffer[512];

// Appends as much of text as still fits in front of the buffer's last byte.
static void AppendCut(const char *text)
{
    int used = qelStrLen(textBuffer);
    int n = qelStrLen(text);
    int room = (int)sizeof textBuffer - 1 - used;
    qelLStr(text, textBuffer + used, n < room ? n : room);
}

intptr_t QELAPI qelWriteTxt(HWND window, int id, const char *text, int clear, int newline)
{
    HWND w = qelControl(window, id);
    intptr_t result = (intptr_t)w;
    if (clear == 1) {
        qelMemClr(textBuffer, sizeof textBuffer);
        result = SetWindowTextA(w, "");
    }
    if (!text) return result;
    AppendCut(text);
    if (newline == 1) AppendCut("\r\n");
    return SetWindowTextA(w, textBuffer);
}

// Two changes of the text: first to empty, then to the new text.
int QELAPI qelWriteStr(HWND window, int id, const char *text)
{
    if (!text) return 0;
    HWND w = qelControl(window, id);
    SetWindowTextA(w, "");
    return SetWindowTextA(w, text);
}

// The old string in the buffer is zeroed first, so that a shorter new text
// leaves zeros, not the old tail, after its end.
int QELAPI qelReadStr(HWND window, int id, char *buffer, int maxCount)
{
    if (!buffer) return 0;
    qelMemClr(buffer, qelStrLen(buffer));
    return GetWindowTextA(qelControl(window, id), buffer, maxCount);
}

int QELAPI qelClearStr(HWND window, int id)
{
    return SetWindowTextA(qelControl(window, id), "");
}

// List boxes and combo boxes differ only in their message numbers and in
// where the exact search starts: a list box after item 0 (wParam 0, item 0
// is tried last), a combo box at item 0 (wParam -1).
struct ItemMessages {
    UINT add, setData, getSel, getText, getData, find, setSel, remove, insert;
    WPARAM findAfter;
};

static const ItemMessages kList = {LB_ADDSTRING, LB_SETITEMDATA, LB_GETCURSEL, LB_GETTEXT,
                                   LB_GETITEMDATA, LB_FINDSTRINGEXACT, LB_SETCURSEL,
                                   LB_DELETESTRING, LB_INSERTSTRING, 0};
static const ItemMessages kCombo = {CB_ADDSTRING, CB_SETITEMDATA, CB_GETCURSEL, CB_GETLBTEXT,
                                    CB_GETITEMDATA, CB_FINDSTRINGEXACT, CB_SETCURSEL,
                                    CB_DELETESTRING, CB_INSERTSTRING, (WPARAM)-1};

// Moves the focus to the control; a pair that names no window leaves it
// alone (SetFocus(0) would take it from every window).
static void FocusControl(HWND window, int id)
{
    if (HWND w = qelControl(window, id)) SetFocus(w);
}

// Data goes only to an item that was added: after a refused add the index
// is negative, and index -1 would set the data of every item.
static int AddItem(const ItemMessages &m, HWND window, int id, const char *text, intptr_t data)
{
    if (!text) return 0;
    int index = (int)Send(window, id, m.add, 0, (LPARAM)text);
    if (data && index >= 0) Send(window, id, m.setData, (WPARAM)index, (LPARAM)data);
    FocusControl(window, id);
    return index;
}

// No size goes with the buffer: it must hold the longest item text.
static intptr_t ReadItem(const ItemMessages &m, HWND window, int id, char *buffer)
{
    WPARAM selected = (WPARAM)Send(window, id, m.getSel, 0, 0);
    if (buffer) Send(window, id, m.getText, selected, (LPARAM)buffer);
    return Send(window, id, m.getData, selected, 0);
}

static int SelectItem(const ItemMessages &m, HWND window, int id, const char *text)
{
    if (!text) return 0;
    int found = (int)Send(window, id, m.find, m.findAfter, (LPARAM)text);
    if (found >= 0) Send(window, id, m.setSel, (WPARAM)found, 0);
    FocusControl(window, id);
    return found;
}

static int DeleteItem(const ItemMessages &m, HWND window, int id)
{
    int selected = (int)Send(window, id, m.getSel, 0, 0);
    if (selected < 0) return -1;
    int left = (int)Send(window, id, m.remove, (WPARAM)selected, 0);
    return left == -1 ? 0 : left;
}

static int InsertItem(const ItemMessages &m, HWND window, int id, const char *text, intptr_t data)
{
    if (!text) return 0;
    int selected = (int)Send(window, id, m.getSel, 0, 0);
    if (selected >= 0) {
        // A refused insert answers negative: then no item gets the data.
        int inserted = (int)Send(window, id, m.insert, (WPARAM)selected, (LPARAM)text);
        if (data && inserted >= 0) Send(window, id, m.setData, (WPARAM)inserted, (LPARAM)data);
    }
    FocusControl(window, id);
    return selected < 0 ? -1 : selected;
}

int QELAPI qelWriteLst(HWND window, int id, const char *text, intptr_t data) { return AddItem(kList, window, id, text, data); }
int QELAPI qelWriteCbo(HWND window, int id, const char *text, intptr_t data) { return AddItem(kCombo, window, id, text, data); }
intptr_t QELAPI qelReadLst(HWND window, int id, char *buffer) { return ReadItem(kList, window, id, buffer); }
intptr_t QELAPI qelReadCbo(HWND window, int id, char *buffer) { return ReadItem(kCombo, window, id, buffer); }
int QELAPI qelSetLst(HWND window, int id, const char *text) { return SelectItem(kList, window, id, text); }
int QELAPI qelSetCbo(HWND window, int id, const char *text) { return SelectItem(kCombo, window, id, text); }
int QELAPI qelDeleteLst(HWND window, int id) { return DeleteItem(kList, window, id); }
int QELAPI qelDeleteCbo(HWND window, int id) { return DeleteItem(kCombo, window, id); }
int QELAPI qelInsertLst(HWND window, int id, const char *text, intptr_t data) { return InsertItem(kList, window, id, text, data); }
int QELAPI qelInsertCbo(HWND window, int id, const char *text, intptr_t data) { return InsertItem(kCombo, window, id, text, data); }
