// Prints PackFile's unpack time against zlib's uncompress of the same bytes
// in memory, and the peak memory of one unpack against the plain size; then
// the same two figures for UnpackToFile, which streams through a temporary
// file (its peak in MiB: it does not grow with the plain size).
//
// The in-memory reference obtains a fresh output block for each call, as any
// unpack to memory must: on a virtual machine the first touch of fresh pages
// costs as much as inflating into them. The time into an already touched
// buffer is printed as well, and so is the time of writing the plain bytes
// to a fresh file with one flush: PackFile must do that too, and on a
// virtual machine it costs about what inflating does.
// usage: bench_packfile [MiB ...]   (default: 1 64)
#include <windows.h>
#include <psapi.h>
#include <stdio.h>
#include <stdlib.h>
#include <string>
#include <vector>
#include <zlib.h>
#include "packfile.h"
#include "unpack.h"

// Realistic mixed content: text runs, repeated records and stretches of
// noise, about 3:1 under zlib.
static std::vector<unsigned char> Content(size_t n)
{
    std::vector<unsigned char> v;
    v.reserve(n);
    unsigned s = 12345;
    const char *text = "Quorvane streams the clip to the server when the folder is set. ";
    while (v.size() < n) {
        s = s * 1103515245u + 12345u;
        unsigned kind = (s >> 16) % 10, len = 64 + (s >> 8) % 512;
        for (unsigned i = 0; i < len && v.size() < n; i++) {
            if (kind < 5) v.push_back((unsigned char)text[(i + s) % 64]);
            else if (kind < 8) v.push_back((unsigned char)(i * 7 + (s >> 24)));
            else { s = s * 1103515245u + 12345u; v.push_back((unsigned char)(s >> 16)); }
        }
    }
    return v;
}

static double Now()
{
    LARGE_INTEGER f, t;
    QueryPerformanceFrequency(&f);
    QueryPerformanceCounter(&t);
    return (double)t.QuadPart / (double)f.QuadPart;
}

static void Write(const char *path, const void *data, size_t n)
{
    HANDLE h = CreateFileA(path, GENERIC_WRITE, 0, 0, CREATE_ALWAYS, 0, 0);
    DWORD done;
    WriteFile(h, data, (DWORD)n, &done, 0);
    CloseHandle(h);
}

// UnpackToFile from a held handle with Brannic.dll's streaming calls.
static int Stream(const char *packed, const char *out)
{
    HANDLE h = CreateFileA(packed, GENERIC_READ, FILE_SHARE_READ, 0, OPEN_EXISTING, 0, 0);
    int ok = UnpackToFile(BrannicCalls(), h, 0, out);
    CloseHandle(h);
    return ok;
}

// Child mode: unpack once and exit with the growth of committed memory over
// the call, in 64 KiB units.
static int UnpackOnce(const char *packed, const char *out, bool stream)
{
    PROCESS_MEMORY_COUNTERS before = {sizeof before}, after = {sizeof after};
    BrannicCalls(); // Brannic.dll's own pages are not the unpack's
    GetProcessMemoryInfo(GetCurrentProcess(), &before, sizeof before);
    if (stream) Stream(packed, out);
    else PackFile(-1, packed, out);
    GetProcessMemoryInfo(GetCurrentProcess(), &after, sizeof after);
    return (int)((after.PeakWorkingSetSize - before.WorkingSetSize) >> 16);
}

// The peak memory growth of one unpack in a fresh child process.
static SIZE_T Peak(const std::string &packed, const std::string &out, bool stream)
{
    char self[MAX_PATH];
    GetModuleFileNameA(0, self, MAX_PATH);
    std::string cmd = "\"" + std::string(self) + "\" --unpack-once \"" + packed + "\" \"" + out + "\"" +
                      (stream ? " stream" : "");
    STARTUPINFOA si = {sizeof si};
    PROCESS_INFORMATION pi;
    SIZE_T peak = 0;
    if (CreateProcessA(0, &cmd[0], 0, 0, FALSE, 0, 0, 0, &si, &pi)) {
        WaitForSingleObject(pi.hProcess, INFINITE);
        DWORD code = 0;
        GetExitCodeProcess(pi.hProcess, &code);
        peak = (SIZE_T)code << 16; // the child reports its peak in 64 KiB units
        CloseHandle(pi.hProcess);
        CloseHandle(pi.hThread);
    }
    return peak;
}

int main(int argc, char **argv)
{
    if (argc >= 4 && std::string(argv[1]) == "--unpack-once") return UnpackOnce(argv[2], argv[3], argc == 5);
    std::vector<int> sizes;
    for (int i = 1; i < argc; i++) sizes.push_back(atoi(argv[i]));
    if (sizes.empty()) sizes = {1, 64};
    char tmp[MAX_PATH];
    GetTempPathA(MAX_PATH, tmp);
    std::string plain = std::string(tmp) + "qvnbench.plain", packed = std::string(tmp) + "qvnbench.pk",
                out = std::string(tmp) + "qvnbench.out";
    printf("%-8s %10s %11s %13s %8s %15s %13s %17s %11s %15s %16s\n", "size", "packed", "PackFile s", "uncompress s",
           "ratio", "(touched buf s)", "file write s", "PackFile/(unc+wr)", "peak/plain", "UnpackToFile s",
           "stream peak MiB");
    for (int mib : sizes) {
        size_t n = (size_t)mib << 20;
        std::vector<unsigned char> data = Content(n);
        Write(plain.c_str(), data.data(), n);
        PackFile(1, plain.c_str(), packed.c_str());
        // The in-memory reference: the same stream, one uncompress call.
        std::vector<unsigned char> blob(n + (n >> 3) + 1024);
        uLongf blobLen = (uLongf)blob.size();
        compress(blob.data(), &blobLen, data.data(), (uLong)n);
        data.clear();
        data.shrink_to_fit();
        std::vector<unsigned char> touched(n);
        double best = 1e9, bestRef = 1e9, bestTouched = 1e9, bestWrite = 1e9, bestStream = 1e9;
        std::string plainOut = out + ".plain";
        for (int round = 0; round < 3; round++) {
            DeleteFileA(out.c_str());
            double t0 = Now();
            PackFile(-1, packed.c_str(), out.c_str());
            double t1 = Now();
            unsigned char *fresh = (unsigned char *)VirtualAlloc(0, n, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
            uLongf backLen = (uLongf)n;
            uncompress(fresh, &backLen, blob.data(), blobLen);
            VirtualFree(fresh, 0, MEM_RELEASE);
            double t2 = Now();
            backLen = (uLongf)n;
            uncompress(touched.data(), &backLen, blob.data(), blobLen);
            double t3 = Now();
            if (t1 - t0 < best) best = t1 - t0;
            if (t2 - t1 < bestRef) bestRef = t2 - t1;
            // What writing the plain bytes alone costs: a fresh file, one
            // write, one flush, as PackFile's positional write does.
            DeleteFileA(plainOut.c_str());
            HANDLE h = CreateFileA(plainOut.c_str(), GENERIC_WRITE, 0, 0, CREATE_ALWAYS, 0, 0);
            DWORD written;
            WriteFile(h, touched.data(), (DWORD)n, &written, 0);
            FlushFileBuffers(h);
            CloseHandle(h);
            double t4 = Now();
            if (t3 - t2 < bestTouched) bestTouched = t3 - t2;
            if (t4 - t3 < bestWrite) bestWrite = t4 - t3;
            Stream(packed.c_str(), out.c_str());
            double t5 = Now();
            if (t5 - t4 < bestStream) bestStream = t5 - t4;
        }
        DeleteFileA(plainOut.c_str());
        touched.clear();
        touched.shrink_to_fit();
        blob.clear();
        blob.shrink_to_fit();
        // Peak memory of each unpack alone: a fresh child process unpacks once.
        SIZE_T peak = Peak(packed, out, false), streamPeak = Peak(packed, out, true);
        printf("%4d MiB %10lu %11.3f %13.3f %8.2f %15.3f %13.3f %17.2f %11.2f %15.3f %16.2f\n", mib,
               (unsigned long)blobLen, best, bestRef, best / bestRef, bestTouched, bestWrite,
               best / (bestRef + bestWrite), (double)peak / (double)n, bestStream, (double)streamPeak / 1048576.0);
    }
    DeleteFileA(plain.c_str());
    DeleteFileA(packed.c_str());
    DeleteFileA(out.c_str());
    return 0;
}
