// File content primitives, against a real file system under Wine.
#include <gtest/gtest.h>
#include "qelint.h"
#include "winutil.h"

namespace {

class Files : public ::testing::Test {
protected:
    ScratchDir dir;
    std::string f = dir / "f.bin";
};

TEST_F(Files, WriteCreatesAndOverwritesInPlace)
{
    EXPECT_EQ(3, qelWriteFile(f.c_str(), 1, "abc", 3));
    EXPECT_EQ("abc", Slurp(f));
    EXPECT_EQ(1, qelWriteFile(f.c_str(), 1, "X", 1));
    EXPECT_EQ("Xbc", Slurp(f)); // never shortened
}

TEST_F(Files, PositionZeroIsTheFirstByte)
{
    Spit(f, "abc");
    EXPECT_EQ(1, qelWriteFile(f.c_str(), 0, "Y", 1));
    EXPECT_EQ("Ybc", Slurp(f));
    char b[4] = "...";
    EXPECT_EQ(2, qelReadFile(f.c_str(), 0, b, 2));
    EXPECT_EQ(std::string("Yb."), b);
    EXPECT_EQ(1, qelWriteReadFile(1, f.c_str(), 0, (void *)"Z", 1));
    EXPECT_EQ(1, qelWriteReadFile(-1, f.c_str(), 0, b, 1));
    EXPECT_EQ('Z', b[0]);
}

TEST_F(Files, ZeroCountWriteCreatesEmptyFile)
{
    EXPECT_EQ(0, qelWriteFile(f.c_str(), 1, "abc", 0));
    EXPECT_TRUE(Exists(f));
    EXPECT_EQ(0, qelFileSize(f.c_str()));
}

TEST_F(Files, WritePastTheEndExtends)
{
    Spit(f, "abc");
    EXPECT_EQ(1, qelWriteFile(f.c_str(), 6, "Z", 1));
    std::string s = Slurp(f);
    ASSERT_EQ(6u, s.size());
    EXPECT_EQ(std::string("abc\0\0Z", 6), s);
}

TEST_F(Files, UnreachablePositionTransfersNothing)
{
    Spit(f, "abc");
    char b[3] = {'.', '.', '.'};
    EXPECT_EQ(0, qelWriteFile(f.c_str(), 0xFFFFFFFFu, "Q", 1));
    EXPECT_EQ(0, qelReadFile(f.c_str(), 0x80000002u, b, 3));
    EXPECT_EQ("abc", Slurp(f));
    EXPECT_EQ('.', b[0]);
}

TEST_F(Files, ReadCountsWhatTheFileHolds)
{
    Spit(f, "wxyz");
    char b[12];
    memset(b, '.', sizeof b);
    EXPECT_EQ(2, qelReadFile(f.c_str(), 3, b, 10));
    EXPECT_EQ(0, memcmp(b, "yz........", 10)); // no terminator, rest untouched
    EXPECT_EQ(0, qelReadFile(f.c_str(), 5, b, 10));
    EXPECT_EQ(0, qelReadFile((dir / "missing").c_str(), 1, b, 10));
    EXPECT_EQ('y', b[0]);
}

TEST_F(Files, SizeOfEmptyMissingAndHeldFiles)
{
    Spit(f, "");
    EXPECT_EQ(0, qelFileSize(f.c_str()));
    EXPECT_EQ(-1, qelFileSize((dir / "missing").c_str()));
    Spit(f, "12345");
    EXPECT_EQ(5, qelFileSize(f.c_str()));
    HANDLE h = CreateFileA(f.c_str(), GENERIC_READ, FILE_SHARE_READ, 0, OPEN_EXISTING, 0, 0);
    EXPECT_EQ(-1, qelFileSize(f.c_str())); // opened without sharing
    char b[2];
    EXPECT_EQ(2, qelReadFile(f.c_str(), 1, b, 2)); // readers share
    EXPECT_EQ(0, qelWriteFile(f.c_str(), 1, "x", 1));
    CloseHandle(h);
}

TEST_F(Files, ReaderExcludesWhileWriterHolds)
{
    Spit(f, "abc");
    HANDLE h = CreateFileA(f.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, 0,
                           OPEN_EXISTING, 0, 0);
    char b[3];
    EXPECT_EQ(0, qelReadFile(f.c_str(), 1, b, 3));
    CloseHandle(h);
}

TEST_F(Files, WriteReadAppends)
{
    Spit(f, "abc");
    EXPECT_EQ(2, qelWriteReadFile(1, f.c_str(), 0xFFFFFFFFu, (void *)"de", 2));
    EXPECT_EQ("abcde", Slurp(f));
    std::string g = dir / "g";
    EXPECT_EQ(2, qelWriteReadFile(1, g.c_str(), 0xFFFFFFFFu, (void *)"hi", 2));
    EXPECT_EQ("hi", Slurp(g));
}

TEST_F(Files, WriteReadReadsInsideTheFileOnly)
{
    Spit(f, "abc");
    char b[4] = {0};
    EXPECT_EQ(1, qelWriteReadFile(-1, f.c_str(), 3, b, 5));
    EXPECT_EQ('c', b[0]);
    EXPECT_EQ(-1, qelWriteReadFile(-1, f.c_str(), 4, b, 1));
    EXPECT_EQ(-1, qelWriteReadFile(-1, f.c_str(), 0xFFFFFFFFu, b, 1));
    EXPECT_EQ(0, qelWriteReadFile(-1, f.c_str(), 2, b, 0));
    std::string g = dir / "g";
    EXPECT_EQ(-1, qelWriteReadFile(-1, g.c_str(), 1, b, 1));
    EXPECT_EQ("", Slurp(g)); // created empty
}

TEST_F(Files, WriteReadOtherModeOnlyCreates)
{
    Spit(f, "abc");
    char b[3];
    EXPECT_EQ(0, qelWriteReadFile(0, f.c_str(), 1, b, 3));
    EXPECT_EQ(0, qelWriteReadFile(2, f.c_str(), 1, b, 3));
    EXPECT_EQ("abc", Slurp(f));
    std::string g = dir / "g";
    EXPECT_EQ(0, qelWriteReadFile(0, g.c_str(), 1, b, 3));
    EXPECT_EQ("", Slurp(g));
}

TEST_F(Files, CopyReplacesAndAlwaysSaysOne)
{
    Spit(f, "new");
    std::string g = dir / "g";
    Spit(g, "old and longer");
    EXPECT_EQ(1, qelCopyFile(f.c_str(), g.c_str()));
    EXPECT_EQ("new", Slurp(g));
    std::string h = dir / "h";
    EXPECT_EQ(1, qelCopyFile((dir / "missing").c_str(), h.c_str()));
    EXPECT_FALSE(Exists(h));
}

TEST_F(Files, DeleteOnlyWhatIsFound)
{
    EXPECT_EQ(0, qelDelFile((dir / "missing").c_str()));
    Spit(f, "x");
    EXPECT_EQ(1, qelDelFile(f.c_str()));
    EXPECT_FALSE(Exists(f));
    std::string sub = dir / "sub";
    CreateDirectoryA(sub.c_str(), 0);
    EXPECT_EQ(1, qelDelFile(sub.c_str())); // attempted, refused
    EXPECT_TRUE(Exists(sub));
}

TEST_F(Files, RenameNeverReplaces)
{
    std::string g = dir / "g";
    Spit(f, "f");
    Spit(g, "g");
    EXPECT_EQ(0, qelRenFile(f.c_str(), g.c_str()));
    EXPECT_EQ("f", Slurp(f));
    EXPECT_EQ("g", Slurp(g));
    std::string h = dir / "h";
    EXPECT_EQ(1, qelRenFile(f.c_str(), h.c_str()));
    EXPECT_EQ("f", Slurp(h));
    EXPECT_FALSE(Exists(f));
    EXPECT_EQ(1, qelRenFile((dir / "missing").c_str(), (dir / "free").c_str()));
}

TEST_F(Files, IsFileFoundByNameAndPattern)
{
    Spit(f, "x");
    EXPECT_EQ(1, IsFileFound(f.c_str()));
    EXPECT_EQ(1, IsFileFound((dir / "*.bin").c_str()));
    EXPECT_EQ(1, IsFileFound((dir / "?.bin").c_str()));
    EXPECT_EQ(0, IsFileFound((dir / "*.none").c_str()));
    EXPECT_EQ(1, IsFileFound(dir.path().c_str()));
    EXPECT_EQ(0, IsFileFound((dir.path() + "\\").c_str()));
    EXPECT_EQ(0, IsFileFound("C:\\"));
}

TEST_F(Files, CutFileShortensOnlyLongerFiles)
{
    Spit(f, "abcdef");
    EXPECT_EQ(1, CutFile(f.c_str(), 3));
    EXPECT_EQ("abc", Slurp(f));
    EXPECT_EQ(1, CutFile(f.c_str(), 10));
    EXPECT_EQ("abc", Slurp(f));
    EXPECT_EQ(0, CutFile((dir / "missing").c_str(), 1));
}

} // namespace
