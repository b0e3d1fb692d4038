// Helpers for the Windows test programs: a scratch folder per test and
// whole-file reads and writes done with plain Win32 calls, independent of
// the library under test.
#ifndef WINUTIL_H
#define WINUTIL_H

#include <windows.h>
#include <string>

// A fresh empty folder under the temporary folder, removed with its files
// (one level deep) when the object goes.
class ScratchDir {
public:
    ScratchDir()
    {
        char tmp[MAX_PATH];
        GetTempPathA(MAX_PATH, tmp);
        static unsigned serial;
        path_ = std::string(tmp) + "qvntest" + std::to_string(GetCurrentProcessId()) + "_" +
                std::to_string(++serial);
        CreateDirectoryA(path_.c_str(), 0);
    }
    ~ScratchDir() { RemoveTree(path_); }
    std::string operator/(const std::string &name) const { return path_ + "\\" + name; }
    const std::string &path() const { return path_; }

    static void RemoveTree(const std::string &dir)
    {
        WIN32_FIND_DATAA fd;
        HANDLE h = FindFirstFileA((dir + "\\*").c_str(), &fd);
        if (h != INVALID_HANDLE_VALUE) {
            do {
                std::string name = fd.cFileName;
                if (name == "." || name == "..") continue;
                std::string full = dir + "\\" + name;
                SetFileAttributesA(full.c_str(), FILE_ATTRIBUTE_NORMAL);
                if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) RemoveTree(full);
                else DeleteFileA(full.c_str());
            } while (FindNextFileA(h, &fd));
            FindClose(h);
        }
        RemoveDirectoryA(dir.c_str());
    }

private:
    std::string path_;
};

inline bool Exists(const std::string &path)
{
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

inline std::string Slurp(const std::string &path)
{
    std::string out;
    HANDLE h = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, 0,
                           OPEN_EXISTING, 0, 0);
    if (h == INVALID_HANDLE_VALUE) return "<missing>";
    char buf[65536];
    DWORD n;
    while (ReadFile(h, buf, sizeof buf, &n, 0) && n) out.append(buf, n);
    CloseHandle(h);
    return out;
}

inline void Spit(const std::string &path, const std::string &data)
{
    HANDLE h = CreateFileA(path.c_str(), GENERIC_WRITE, 0, 0, CREATE_ALWAYS, 0, 0);
    DWORD n;
    WriteFile(h, data.data(), (DWORD)data.size(), &n, 0);
    CloseHandle(h);
}

// The folder of the running program, with a trailing backslash.
inline std::string ProgramFolder()
{
    char p[MAX_PATH];
    DWORD n = GetModuleFileNameA(0, p, MAX_PATH);
    while (n > 0 && p[n - 1] != '\\') n--;
    return std::string(p, n);
}

#endif
