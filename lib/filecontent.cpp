// File content primitives: each call opens the file by name, does one
// transfer or one platform operation, and closes it again.
#include "qelint.h"

static HANDLE OpenFile(const char *name, DWORD access, DWORD share, DWORD disposition)
{
    return CreateFileA(name, access, share, 0, disposition, FILE_ATTRIBUTE_NORMAL, 0);
}

// Positions are 1-based and 0 counts as 1. The seek takes a signed 32-bit
// distance, so positions above 2^31 cannot be reached: those transfer
// nothing rather than land on the file's first byte.
static bool SeekTo(HANDLE h, unsigned pos)
{
    if (pos == 0) pos = 1;
    if (pos - 1 > 0x7FFFFFFFu) return false;
    return SetFilePointer(h, (LONG)(pos - 1), 0, FILE_BEGIN) != INVALID_SET_FILE_POINTER;
}

static int WriteFlush(HANDLE h, const void *buf, unsigned count)
{
    DWORD done = 0;
    WriteFile(h, buf, count, &done, 0);
    FlushFileBuffers(h);
    return (int)done;
}

static int ReadSome(HANDLE h, void *buf, unsigned count)
{
    DWORD done = 0;
    ReadFile(h, buf, count, &done, 0);
    return (int)done;
}

int QELAPI qelWriteFile(const char *name, unsigned pos, const void *buf, unsigned count)
{
    HANDLE h = OpenFile(name, GENERIC_WRITE, 0, OPEN_ALWAYS);
    if (h == INVALID_HANDLE_VALUE) return 0;
    int done = SeekTo(h, pos) ? WriteFlush(h, buf, count) : 0;
    CloseHandle(h);
    return done;
}

int QELAPI qelReadFile(const char *name, unsigned pos, void *buf, unsigned count)
{
    HANDLE h = OpenFile(name, GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING);
    if (h == INVALID_HANDLE_VALUE) return 0;
    int done = SeekTo(h, pos) ? ReadSome(h, buf, count) : 0;
    CloseHandle(h);
    return done;
}

int QELAPI qelWriteReadFile(int mode, const char *name, unsigned pos, void *buf, unsigned count)
{
    HANDLE h = OpenFile(name, GENERIC_READ | GENERIC_WRITE, 0, OPEN_ALWAYS);
    if (h == INVALID_HANDLE_VALUE) return 0;
    int result = 0;
    if (mode == 1) {
        if (pos == 0xFFFFFFFFu) {
            DWORD size = GetFileSize(h, 0);
            pos = (size == 0 || size == INVALID_FILE_SIZE) ? 1 : size + 1;
        }
        result = SeekTo(h, pos) ? WriteFlush(h, buf, count) : 0;
    } else if (mode == -1) {
        if (pos == 0) pos = 1;
        DWORD size = GetFileSize(h, 0);
        if (size != INVALID_FILE_SIZE && pos <= size && SeekTo(h, pos)) {
            result = ReadSome(h, buf, count);
        } else {
            result = -1;
        }
    }
    CloseHandle(h);
    return result;
}

int QELAPI qelFileSize(const char *name)
{
    HANDLE h = OpenFile(name, GENERIC_READ, 0, OPEN_EXISTING);
    if (h == INVALID_HANDLE_VALUE) return -1;
    DWORD size = GetFileSize(h, 0);
    CloseHandle(h);
    return (int)size;
}

int QELAPI qelCopyFile(const char *source, const char *destination)
{
    CopyFileA(source, destination, FALSE);
    return 1;
}

int QELAPI qelDelFile(const char *name)
{
    if (!IsFileFound(name)) return 0;
    DeleteFileA(name);
    return 1;
}

int QELAPI qelRenFile(const char *oldName, const char *newName)
{
    if (IsFileFound(newName)) return 0;
    MoveFileA(oldName, newName);
    return 1;
}

int IsFileFound(const char *name)
{
    WIN32_FIND_DATAA found;
    HANDLE h = FindFirstFileA(name, &found);
    if (h == INVALID_HANDLE_VALUE) return 0;
    FindClose(h);
    return 1;
}

int CutFile(const char *name, unsigned length)
{
    HANDLE h = OpenFile(name, GENERIC_WRITE, 0, OPEN_EXISTING);
    if (h == INVALID_HANDLE_VALUE) return 0;
    int ok = 1;
    if (GetFileSize(h, 0) > length) {
        SetFilePointer(h, (LONG)length, 0, FILE_BEGIN);
        ok = SetEndOfFile(h) ? 1 : 0;
    }
    CloseHandle(h);
    return ok;
}
