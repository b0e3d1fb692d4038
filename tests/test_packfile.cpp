// PackFile on disk under Wine, with zlib from Brannic.dll beside the program.
#include <gtest/gtest.h>
#include <vector>
#include "packfile.h"
#include "unpack.h"
#include "qelint.h"
#include "winutil.h"

namespace {

std::string Mixed(size_t n, unsigned seed)
{
    std::string s;
    const char *words[] = {"setup ", "Quorvane ", "\r\n", "install ", "0123 ", "folder "};
    while (s.size() < n) {
        seed = seed * 1103515245u + 12345u;
        if (seed >> 28 < 3) s += (char)(seed >> 16);
        else s += words[(seed >> 16) % 6];
    }
    s.resize(n);
    return s;
}

std::string Le32(unsigned v)
{
    return std::string{(char)v, (char)(v >> 8), (char)(v >> 16), (char)(v >> 24)};
}

class Pack : public ::testing::Test {
protected:
    ScratchDir dir;
    std::string plain = dir / "plain", packed = dir / "packed", out = dir / "out";
    // Packs data with PackFile and returns the packed file's bytes.
    std::string Packed(const std::string &data)
    {
        Spit(plain, data);
        EXPECT_GT(PackFile(1, plain.c_str(), packed.c_str()), 0);
        return Slurp(packed);
    }
    // Unpacks the given packed bytes; returns PackFile's result.
    int Unpack(const std::string &bytes)
    {
        Spit(packed, bytes);
        return PackFile(-1, packed.c_str(), out.c_str());
    }
};

TEST_F(Pack, OneByteFile)
{
    std::string p = Packed("Q");
    ASSERT_GE(p.size(), 6u);
    EXPECT_EQ(Le32(1), p.substr(0, 4));
    EXPECT_EQ("\x78\x9c", p.substr(4, 2));
    EXPECT_EQ(1, Unpack(p));
    EXPECT_EQ("Q", Slurp(out));
}

TEST_F(Pack, HeaderHoldsThePlainLength)
{
    std::string data = Mixed(300, 1);
    Spit(plain, data);
    int n = PackFile(1, plain.c_str(), packed.c_str());
    std::string p = Slurp(packed);
    EXPECT_EQ((int)p.size(), n);
    EXPECT_EQ(std::string("\x2c\x01\x00\x00\x78\x9c", 6), p.substr(0, 6));
}

TEST_F(Pack, RoundTripsMany)
{
    const size_t sizes[] = {1, 2, 3, 4, 5, 1023, 1024, 1025, 65536, 300001};
    for (size_t n : sizes) {
        std::string data = Mixed(n, (unsigned)n);
        std::string p = Packed(data);
        EXPECT_EQ((int)n, Unpack(p)) << n;
        EXPECT_EQ(data, Slurp(out)) << n;
    }
}

TEST_F(Pack, OtherModesWriteNothing)
{
    Spit(plain, "abc");
    EXPECT_EQ(0, PackFile(0, plain.c_str(), out.c_str()));
    EXPECT_EQ(0, PackFile(2, plain.c_str(), out.c_str()));
    EXPECT_FALSE(Exists(out));
}

TEST_F(Pack, NothingFromMissingEmptyOrShortSources)
{
    EXPECT_EQ(0, PackFile(1, (dir / "missing").c_str(), out.c_str()));
    EXPECT_EQ(0, PackFile(-1, (dir / "missing").c_str(), out.c_str()));
    Spit(plain, "");
    EXPECT_EQ(0, PackFile(1, plain.c_str(), out.c_str()));
    EXPECT_EQ(0, PackFile(0, nullptr, out.c_str()));
    EXPECT_EQ(0, PackFile(1, plain.c_str(), nullptr));
    for (int n = 0; n < 4; n++)
        EXPECT_EQ(0, Unpack(std::string("\x01\x00\x00", n))) << n;
    EXPECT_FALSE(Exists(out));
}

TEST_F(Pack, HostileFilesAreRefused)
{
    std::string data = Mixed(5000, 7);
    std::string p = Packed(data);
    std::string stream = p.substr(4);
    std::string corrupt = p;
    corrupt[p.size() / 2] ^= 0x55;
    const struct { const char *what; std::string bytes; } cases[] = {
        {"length 0", Le32(0) + stream},
        {"length 1", Le32(1) + stream},
        {"length smaller", Le32(4999) + stream},
        {"length larger", Le32(5001) + stream},
        {"length 4294967295", Le32(0xFFFFFFFFu) + stream},
        {"length 2^31", Le32(0x80000000u) + stream},
        {"truncated", p.substr(0, p.size() - 9)},
        {"truncated to header", p.substr(0, 5)},
        {"corrupt", corrupt},
        {"no stream", Le32(5000) + std::string(100, 'x')},
    };
    for (const auto &c : cases) {
        DeleteFileA(out.c_str());
        EXPECT_EQ(0, Unpack(c.bytes)) << c.what;
        EXPECT_FALSE(Exists(out)) << c.what;
    }
}

TEST_F(Pack, ExistingLongerDestinationIsReplacedWhole)
{
    std::string p = Packed("short");
    Spit(out, std::string(1000, 'o'));
    EXPECT_EQ(5, Unpack(p));
    EXPECT_EQ("short", Slurp(out));
}

TEST_F(Pack, UnwritableDestinationIsAFailure)
{
    std::string p = Packed("data");
    Spit(packed, p);
    EXPECT_EQ(0, PackFile(-1, packed.c_str(), (dir / "no\\such\\folder").c_str()));
    // A destination that another opener holds stays as it was. (A read-only
    // file would serve on Windows; Wine running as root writes it anyway.)
    Spit(out, "old");
    HANDLE h = CreateFileA(out.c_str(), GENERIC_READ, FILE_SHARE_READ, 0, OPEN_EXISTING, 0, 0);
    EXPECT_EQ(0, PackFile(-1, packed.c_str(), out.c_str()));
    CloseHandle(h);
    EXPECT_EQ("old", Slurp(out));
}

TEST_F(Pack, MissingZlibLibraryWritesNothing)
{
    // A copy of this program in a folder without Brannic.dll packs in a
    // child process; its exit code is PackFile's result.
    char self[MAX_PATH];
    GetModuleFileNameA(0, self, MAX_PATH);
    std::string copy = dir / "alone.exe";
    ASSERT_TRUE(CopyFileA(self, copy.c_str(), FALSE));
    Spit(plain, "abc");
    std::string cmd = "\"" + copy + "\" --pack-child \"" + plain + "\" \"" + out + "\"";
    STARTUPINFOA si = {sizeof si};
    PROCESS_INFORMATION pi;
    ASSERT_TRUE(CreateProcessA(0, &cmd[0], 0, 0, FALSE, 0, 0, 0, &si, &pi));
    WaitForSingleObject(pi.hProcess, 60000);
    DWORD code = 99;
    GetExitCodeProcess(pi.hProcess, &code);
    CloseHandle(pi.hProcess);
    CloseHandle(pi.hThread);
    EXPECT_EQ(0u, code);
    EXPECT_FALSE(Exists(out));
    // And beside Brannic.dll the same call packs.
    EXPECT_GT(PackFile(1, plain.c_str(), out.c_str()), 0);
}

// UnpackToFile and UnpackHeld with Brannic.dll's calls, streaming and, as
// with an older Brannic.dll that has only the three classic exports, whole.
class Unpacking : public Pack, public ::testing::WithParamInterface<bool> {
protected:
    ZlibCalls z = {};
    std::string seen;                  // what the observer saw
    unsigned long long done = 0, total = 0;
    int answer = 1;                    // what accept says
    size_t failAfter = (size_t)-1, written = 0;
    bool swap = false;                 // the temporary file is swapped at the first write
    void SetUp() override
    {
        const ZlibCalls *found = BrannicCalls();
        ASSERT_TRUE(found && found->inflate) << "Brannic.dll with the streaming calls";
        z = *found;
        if (!GetParam()) z.inflateInit_ = 0, z.inflate = 0, z.inflateEnd = 0;
    }
    int ToFile(const std::string &packedBytes)
    {
        Spit(packed, packedBytes);
        UnpackWatch watch = {this,
            [](void *c, const unsigned char *b, unsigned n) { ((Unpacking *)c)->seen.append((const char *)b, n); },
            [](void *c) { return ((Unpacking *)c)->answer; },
            [](void *c, unsigned long long d, unsigned long long t) { ((Unpacking *)c)->done = d, ((Unpacking *)c)->total = t; },
            [](void *c, HANDLE f, const unsigned char *b, unsigned n) {
                Unpacking *u = (Unpacking *)c;
                DWORD w = 0;
                if ((u->written += n) > u->failAfter) return 0; // the volume is full
                if (u->swap && u->Strays().size() == 1) { // another writer of the folder
                    std::string temp = u->dir / u->Strays()[0];
                    MoveFileA(temp.c_str(), (u->dir / "taken").c_str());
                    Spit(temp, "planted");
                }
                return (int)(WriteFile(f, b, n, &w, 0) && w == n);
            }};
        HANDLE h = CreateFileA(packed.c_str(), GENERIC_READ, FILE_SHARE_READ, 0, OPEN_EXISTING, 0, 0);
        int result = UnpackToFile(&z, h, &watch, out.c_str());
        CloseHandle(h);
        return result;
    }
    // The folder's files other than the packed and the destination.
    std::vector<std::string> Strays()
    {
        std::vector<std::string> found;
        WIN32_FIND_DATAA f;
        HANDLE h = FindFirstFileA((dir / "*").c_str(), &f);
        while (h != INVALID_HANDLE_VALUE) {
            std::string n = f.cFileName;
            if (n != "." && n != ".." && n != "packed" && n != "out" && n != "plain") found.push_back(n);
            if (!FindNextFileA(h, &f)) break;
        }
        FindClose(h);
        return found;
    }
};

TEST_P(Unpacking, ReplacesTheDestinationSeeingEachPackedByteOnce)
{
    std::string data = Mixed(3 * UNPACK_CHUNK + 5, 3);
    std::string p = Packed(data);
    Spit(out, "old");
    EXPECT_EQ(1, ToFile(p));
    EXPECT_EQ(data, Slurp(out));
    EXPECT_EQ(p, seen);
    EXPECT_EQ(p.size(), done);
    EXPECT_EQ(p.size(), total);
    EXPECT_EQ(std::vector<std::string>{}, Strays());
}

TEST_P(Unpacking, AFailureLeavesTheOldFileAndNoTemporaryFile)
{
    std::string data = Mixed(3 * PACK_PIECE + 77, 5);
    std::string p = Packed(data), stream = p.substr(4);
    const struct { const char *what; std::string bytes; int answer; size_t failAfter; } cases[] = {
        {"ends early", Le32((unsigned)data.size() + 1) + stream, 1, (size_t)-1},
        {"runs long", Le32((unsigned)data.size() - 1) + stream, 1, (size_t)-1},
        {"trailing bytes", p + "xy", 1, (size_t)-1},
        {"corrupt", p.substr(0, 9) + std::string(p.size() - 9, 'c'), 1, (size_t)-1},
        {"digest refused", p, 0, (size_t)-1},
        {"write fails mid-way", p, 1, 2 * PACK_PIECE},
    };
    for (const auto &c : cases) {
        if (!GetParam() && !strcmp(c.what, "trailing bytes")) continue; // uncompress cannot see them
        Spit(out, "the old file, byte for byte");
        answer = c.answer, failAfter = c.failAfter, written = 0;
        EXPECT_EQ(0, ToFile(c.bytes)) << c.what;
        EXPECT_EQ("the old file, byte for byte", Slurp(out)) << c.what;
        EXPECT_EQ(std::vector<std::string>{}, Strays()) << c.what;
    }
    // A destination that another opener holds cannot be replaced either.
    HANDLE h = CreateFileA(out.c_str(), GENERIC_READ, FILE_SHARE_READ, 0, OPEN_EXISTING, 0, 0);
    answer = 1, failAfter = (size_t)-1;
    EXPECT_EQ(0, ToFile(p));
    CloseHandle(h);
    EXPECT_EQ("the old file, byte for byte", Slurp(out));
    EXPECT_EQ(std::vector<std::string>{}, Strays());
}

TEST_P(Unpacking, ATemporaryFileSwappedMeanwhileIsAFailure)
{
    swap = true;
    EXPECT_EQ(0, ToFile(Packed("the product's bytes")));
    EXPECT_EQ("planted", Slurp(out)); // moved by its name, but not reported as installed
}

TEST_P(Unpacking, HeldBytesFillTheBufferOrNothing)
{
    std::string data = Mixed(2 * PACK_PIECE + 9, 11);
    std::string p = Packed(data);
    std::string buffer(100, '\0');
    EXPECT_EQ(100u, UnpackHeld(&z, (const unsigned char *)p.data(), p.size(), &buffer[0], 100));
    EXPECT_EQ(data.substr(0, 100), buffer);
    std::string small = Packed("tiny");
    EXPECT_EQ(4u, UnpackHeld(&z, (const unsigned char *)small.data(), small.size(), &buffer[0], 100));
    std::string runsLong = Le32((unsigned)data.size() - 1) + p.substr(4);
    buffer.assign(100, '\0');
    EXPECT_EQ(0u, UnpackHeld(&z, (const unsigned char *)runsLong.data(), runsLong.size(), &buffer[0], 100));
    EXPECT_EQ(std::string(100, '\0'), buffer);
    // More plain bytes than a chunk, all of them taken across the chunks.
    std::string large = Mixed(UNPACK_CHUNK + PACK_PIECE + 3, 13), packedLarge = Packed(large);
    std::string whole(large.size(), '\0');
    EXPECT_EQ(large.size(), UnpackHeld(&z, (const unsigned char *)packedLarge.data(), packedLarge.size(), &whole[0],
                                       (unsigned)whole.size()));
    EXPECT_EQ(large, whole);
}

INSTANTIATE_TEST_SUITE_P(Brannic, Unpacking, ::testing::Values(true, false),
                         [](const ::testing::TestParamInfo<bool> &i) { return i.param ? "Streaming" : "Classic"; });

} // namespace

int main(int argc, char **argv)
{
    if (argc == 4 && std::string(argv[1]) == "--pack-child")
        return PackFile(1, argv[2], argv[3]);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
