// PackFile on disk under Wine, with zlib from Brannic.dll beside the program.
#include <gtest/gtest.h>
#include "packfile.h"
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

} // namespace

int main(int argc, char **argv)
{
    if (argc == 4 && std::string(argv[1]) == "--pack-child")
        return PackFile(1, argv[2], argv[3]);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
