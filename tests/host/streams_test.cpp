// Stream semantics: copying, exact reads, seeking and sizing, and file
// streams that report open failures without leaking a descriptor.
#include "host/Exceptions.h"
#include "host/Streams.h"

#include <gtest/gtest.h>

#include <dirent.h>
#include <filesystem>
#include <string>

using namespace host;

namespace {

std::string Contents(TMemoryStream& s) {
    return std::string(s.Memory(), static_cast<size_t>(s.Size()));
}

int OpenDescriptors() {
    int count = 0;
    if (DIR* dir = opendir("/proc/self/fd")) {
        while (readdir(dir))
            ++count;
        closedir(dir);
    }
    return count;
}

class TempDir : public ::testing::Test {
protected:
    void SetUp() override {
        FDir = std::filesystem::temp_directory_path() /
               ("lmr_streams_" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + "_" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::remove_all(FDir);
        std::filesystem::create_directories(FDir);
    }
    void TearDown() override { std::filesystem::remove_all(FDir); }
    std::string Path(const char* name) const { return (FDir / name).string(); }
    std::filesystem::path FDir;
};

} // namespace

TEST(Stream, CopyFromZeroCopiesTheWholeSourceFromItsStart) {
    TStringStream source("0123456789");
    source.SetPosition(7);
    TMemoryStream dest;
    dest.WriteBuffer("ab", 2);
    EXPECT_EQ(dest.CopyFrom(source, 0), 10);
    EXPECT_EQ(Contents(dest), "ab0123456789");

    source.SetPosition(3);
    TMemoryStream part;
    EXPECT_EQ(part.CopyFrom(source, 4), 4);
    EXPECT_EQ(Contents(part), "3456");
    EXPECT_EQ(source.Position(), 7);
    EXPECT_THROW(part.CopyFrom(source, 4), EReadError) << "only three bytes are left";
}

TEST(Stream, CopyFromMovesMoreThanOneChunk) {
    TMemoryStream source;
    source.SetSize(200000);
    for (int64_t i = 0; i < source.Size(); ++i)
        source.Memory()[i] = static_cast<char>(i * 31);
    TMemoryStream dest;
    EXPECT_EQ(dest.CopyFrom(source, 0), 200000);
    EXPECT_EQ(Contents(dest), Contents(source));
}

TEST(Stream, ReadBufferRaisesOnAShortRead) {
    TStringStream s("abc");
    char buf[4];
    s.ReadBuffer(buf, 2);
    try {
        s.ReadBuffer(buf, 2);
        FAIL();
    } catch (const EReadError& e) {
        EXPECT_STREQ(e.what(), "Stream read error");
    }
    EXPECT_EQ(s.Read(buf, 4), 0) << "the short read consumed the last byte";
    EXPECT_EQ(s.Read(buf, -1), 0);
}

TEST(MemoryStream, SeekSizeAndSetSize) {
    TMemoryStream s;
    s.WriteBuffer("hello", 5);
    EXPECT_EQ(s.Seek(-2, soFromEnd), 3);
    EXPECT_EQ(s.Seek(1, soFromCurrent), 4);
    EXPECT_EQ(s.Seek(8, soFromBeginning), 8);
    char c = 0;
    EXPECT_EQ(s.Read(&c, 1), 0) << "past the end reads nothing";
    s.WriteBuffer("!", 1);
    EXPECT_EQ(s.Size(), 9);
    EXPECT_EQ(Contents(s), std::string("hello\0\0\0!", 9)) << "the gap is zero-filled";
    s.SetSize(2);
    EXPECT_EQ(s.Position(), 2) << "a position past the new end moves to the end";
    EXPECT_EQ(Contents(s), "he");
    EXPECT_THROW(s.Seek(-1, soFromBeginning), EStreamError);
    EXPECT_EQ(s.Position(), 2);
    s.Clear();
    EXPECT_EQ(s.Size(), 0);
    EXPECT_EQ(s.Position(), 0);
}

TEST(StringStream, WritesOverwriteAndExtendAndSeeksClamp) {
    TStringStream s("abcdef");
    s.SetPosition(2);
    s.WriteString("XY");
    EXPECT_EQ(s.DataString(), "abXYef");
    s.Seek(0, soFromEnd);
    s.WriteString("g");
    EXPECT_EQ(s.DataString(), "abXYefg");
    EXPECT_EQ(s.Seek(100, soFromBeginning), 7);
    EXPECT_EQ(s.Seek(-100, soFromCurrent), 0);
    EXPECT_EQ(s.ReadString(3), "abX");
}

TEST_F(TempDir, FileStreamWritesReadsAndResizes) {
    const std::string path = Path("data.bin");
    {
        TFileStream f(path, fmCreate | fmShareExclusive);
        f.WriteBuffer("0123456789", 10);
        EXPECT_EQ(f.Size(), 10);
        f.SetSize(4);
        EXPECT_EQ(f.Position(), 4);
    }
    TFileStream f(path, fmOpenRead | fmShareDenyNone);
    EXPECT_EQ(f.Size(), 4);
    char buf[8] = {};
    EXPECT_EQ(f.Read(buf, 8), 4);
    EXPECT_EQ(std::string(buf, 4), "0123");
    EXPECT_EQ(f.Write("x", 1), 0) << "opened read-only";
    TMemoryStream m;
    m.LoadFromFile(path);
    EXPECT_EQ(Contents(m), "0123");
}

TEST_F(TempDir, OpeningAMissingFileRaisesAndLeaksNoDescriptor) {
    const std::string path = Path("missing.bin");
    const int before = OpenDescriptors();
    try {
        TFileStream f(path, fmOpenRead);
        FAIL();
    } catch (const EFOpenError& e) {
        EXPECT_EQ(std::string(e.what()), "Cannot open file \"" + path + "\". No such file or directory");
    }
    try {
        TFileStream f(Path("no/such/dir/new.bin"), fmCreate);
        FAIL();
    } catch (const EFCreateError& e) {
        EXPECT_EQ(std::string(e.what()).rfind("Cannot create file \"", 0), 0u);
    }
    { TFileStream created(path, fmCreate); }
    EXPECT_EQ(OpenDescriptors(), before) << "every handle is closed again";
}
