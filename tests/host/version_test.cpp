// Tests of the version-resource reader on PE files built by pe_writer.h: the
// fixed block, translation table and string values of well-formed PE32 and
// PE32+ images, and clean failure on missing, foreign, truncated and
// corrupted files.
#include "host/Version.h"

#include "pe_writer.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include <fcntl.h>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;
using pe_writer::Bytes;

class VersionResourceTest : public ::testing::Test {
protected:
    void SetUp() override {
        FDir = fs::temp_directory_path() / ("lmr_version_" + std::to_string(::getpid()) + "_" +
                                            ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(FDir);
        fs::create_directories(FDir);
    }
    void TearDown() override { fs::remove_all(FDir); }

    // Overwrites and then shortens rather than truncating to zero first: ext4
    // flushes a file truncated to zero and rewritten on close, which makes the
    // thousands of rewrites below crawl.
    std::string Write(const std::string& name, const Bytes& bytes) {
        fs::path p = FDir / name;
        int fd = ::open(p.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600);
        EXPECT_GE(fd, 0) << p;
        if (fd < 0) return p.string();
        EXPECT_EQ(::pwrite(fd, bytes.data(), bytes.size(), 0), static_cast<ssize_t>(bytes.size()));
        EXPECT_EQ(::ftruncate(fd, static_cast<off_t>(bytes.size())), 0);
        ::close(fd);
        return p.string();
    }

    // Reads the block the way callers do: size first, then exactly that much.
    static bool Load(const std::string& file, std::vector<uint8_t>& block) {
        uint32_t handle = 99;
        uint32_t size = host::GetFileVersionInfoSizeA(file.c_str(), &handle);
        EXPECT_EQ(handle, 0u);
        if (size == 0) return false;
        block.assign(size, 0xCD);
        return host::GetFileVersionInfoA(file.c_str(), handle, size, block.data());
    }

    static Bytes StandardInfo() {
        return pe_writer::VersionInfo(
            pe_writer::FixedFileInfo(7u << 16 | 0, 4u << 16 | 3312, 7u << 16 | 1, 2u << 16 | 99), u"040904E4",
            {pe_writer::StringEntry(u"CompanyName", u"Caf\u00E9 \u201CLumra\u201D"),
             pe_writer::StringEntry(u"ProductVersion", u"7.0.4.3312"),
             pe_writer::StringEntry(u"Comments", u"")},
            0x0409, 0x04E4);
    }

    fs::path FDir;
};

TEST_F(VersionResourceTest, FixedBlockGivesFileAndProductVersionOfPe32AndPe32Plus) {
    for (bool plus : {false, true}) {
        SCOPED_TRACE(plus ? "PE32+" : "PE32");
        std::vector<uint8_t> block;
        ASSERT_TRUE(Load(Write("app.dll", pe_writer::Image(StandardInfo(), plus)), block));
        void* p = nullptr;
        uint32_t len = 0;
        ASSERT_TRUE(host::VerQueryValueA(block.data(), "\\", &p, &len));
        ASSERT_EQ(len, sizeof(host::VS_FIXEDFILEINFO));
        host::VS_FIXEDFILEINFO info;
        std::memcpy(&info, p, sizeof info);
        EXPECT_EQ(info.dwSignature, host::VS_FFI_SIGNATURE);
        EXPECT_EQ(info.dwFileVersionMS >> 16, 7u);
        EXPECT_EQ(info.dwFileVersionMS & 0xFFFF, 0u);
        EXPECT_EQ(info.dwFileVersionLS >> 16, 4u);
        EXPECT_EQ(info.dwFileVersionLS & 0xFFFF, 3312u);
        EXPECT_EQ(info.dwProductVersionMS, 7u << 16 | 1);
        EXPECT_EQ(info.dwProductVersionLS, 2u << 16 | 99);
    }
}

TEST_F(VersionResourceTest, StringValuesComeBackAsAnsiTextWhoseLengthCountsTheTerminator) {
    std::vector<uint8_t> block;
    ASSERT_TRUE(Load(Write("app.dll", pe_writer::Image(StandardInfo())), block));
    struct Case {
        const char* path;
        std::string value;
        uint32_t len;
    };
    const Case cases[] = {
        {"\\StringFileInfo\\040904E4\\ProductVersion", "7.0.4.3312", 11},
        {"\\stringfileinfo\\040904e4\\productversion", "7.0.4.3312", 11},
        {"\\StringFileInfo\\040904E4\\CompanyName", "Caf\xE9 \x93Lumra\x94", 13},
        {"\\StringFileInfo\\040904E4\\Comments", "", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        void* p = nullptr;
        uint32_t len = 77;
        ASSERT_TRUE(host::VerQueryValueA(block.data(), c.path, &p, &len));
        EXPECT_EQ(std::string(static_cast<const char*>(p)), c.value);
        EXPECT_EQ(len, c.len);
        EXPECT_GE(static_cast<uint8_t*>(p), block.data());
        EXPECT_LT(static_cast<uint8_t*>(p), block.data() + block.size());
    }
}

TEST_F(VersionResourceTest, TranslationTableListsLanguageAndCodePage) {
    std::vector<uint8_t> block;
    ASSERT_TRUE(Load(Write("app.dll", pe_writer::Image(StandardInfo())), block));
    void* p = nullptr;
    uint32_t len = 0;
    ASSERT_TRUE(host::VerQueryValueA(block.data(), "\\VarFileInfo\\Translation", &p, &len));
    ASSERT_EQ(len, 4u);
    uint16_t pair[2];
    std::memcpy(pair, p, 4);
    EXPECT_EQ(pair[0], 0x0409);
    EXPECT_EQ(pair[1], 0x04E4);
}

TEST_F(VersionResourceTest, MissingNodesAndForeignBlocksAreRefused) {
    std::vector<uint8_t> block;
    ASSERT_TRUE(Load(Write("app.dll", pe_writer::Image(StandardInfo())), block));
    void* p = reinterpret_cast<void*>(1);
    uint32_t len = 5;
    for (const char* path : {"\\StringFileInfo\\040704B0\\ProductVersion", "\\StringFileInfo\\040904E4\\Nope",
                             "\\VarFileInfo\\Translation\\More", "\\StringFileInfo"}) {
        SCOPED_TRACE(path);
        EXPECT_FALSE(host::VerQueryValueA(block.data(), path, &p, &len));
    }
    EXPECT_EQ(p, reinterpret_cast<void*>(1));
    EXPECT_EQ(len, 5u);
    std::vector<uint8_t> foreign(block.size(), 0);
    EXPECT_FALSE(host::VerQueryValueA(foreign.data(), "\\", &p, &len));
    EXPECT_FALSE(host::VerQueryValueA(nullptr, "\\", &p, &len));
}

TEST_F(VersionResourceTest, ResourceWithoutFixedBlockStillAnswersStrings) {
    Bytes info = pe_writer::VersionInfo({}, u"040704B0", {pe_writer::StringEntry(u"ProductVersion", u"1.2")},
                                        0x0407, 0x04B0);
    std::vector<uint8_t> block;
    ASSERT_TRUE(Load(Write("nofixed.dll", pe_writer::Image(info)), block));
    void* p = nullptr;
    uint32_t len = 0;
    EXPECT_FALSE(host::VerQueryValueA(block.data(), "\\", &p, &len));
    ASSERT_TRUE(host::VerQueryValueA(block.data(), "\\StringFileInfo\\040704B0\\ProductVersion", &p, &len));
    EXPECT_STREQ(static_cast<const char*>(p), "1.2");
}

TEST_F(VersionResourceTest, ShortCallerBufferKeepsWhatFitsAndRefusesTheRest) {
    std::string file = Write("app.dll", pe_writer::Image(StandardInfo()));
    uint32_t size = host::GetFileVersionInfoSizeA(file.c_str(), nullptr);
    ASSERT_GT(size, 0u);
    // Room for the resource copy but not for the ANSI strings beside it.
    const uint32_t shortLen = static_cast<uint32_t>(16 + (StandardInfo().size() + 3) / 4 * 4);
    ASSERT_LT(shortLen, size);
    std::vector<uint8_t> block(shortLen);
    ASSERT_TRUE(host::GetFileVersionInfoA(file.c_str(), 0, shortLen, block.data()));
    void* p = nullptr;
    uint32_t len = 0;
    EXPECT_TRUE(host::VerQueryValueA(block.data(), "\\", &p, &len));
    EXPECT_FALSE(host::VerQueryValueA(block.data(), "\\StringFileInfo\\040904E4\\ProductVersion", &p, &len));
    EXPECT_FALSE(host::GetFileVersionInfoA(file.c_str(), 0, 8, block.data()));
}

TEST_F(VersionResourceTest, FilesWithoutAReadableResourceFailCleanly) {
    Bytes image = pe_writer::Image(StandardInfo());
    Bytes notPe(image.begin() + 2, image.end());
    Bytes textFile = {'h', 'e', 'l', 'l', 'o', '\n'};
    const std::string cases[] = {
        (FDir / "missing.dll").string(),
        Write("text.txt", textFile),
        Write("notpe.dll", notPe),
        Write("nores.dll", pe_writer::Image(StandardInfo(), false, false)),
        Write("empty.dll", {}),
        FDir.string(),
        "",
    };
    for (const std::string& file : cases) {
        SCOPED_TRACE(file);
        uint32_t handle = 1;
        EXPECT_EQ(host::GetFileVersionInfoSizeA(file.c_str(), &handle), 0u);
        std::vector<uint8_t> block(4096);
        EXPECT_FALSE(host::GetFileVersionInfoA(file.c_str(), 0, 4096, block.data()));
    }
    EXPECT_EQ(host::GetFileVersionInfoSizeA(nullptr, nullptr), 0u);
}

// Asks every kind of question of a block; any answer must lie inside it.
void QueryEverything(const std::vector<uint8_t>& block) {
    for (const char* path : {"\\", "\\VarFileInfo\\Translation", "\\StringFileInfo\\040904E4\\ProductVersion",
                             "\\StringFileInfo\\040904E4\\CompanyName",
                             "\\StringFileInfo\\040904E4\\Comments", "\\StringFileInfo", "\\VarFileInfo"}) {
        void* p = nullptr;
        uint32_t len = 0;
        if (!host::VerQueryValueA(block.data(), path, &p, &len)) continue;
        auto* at = static_cast<const uint8_t*>(p);
        ASSERT_GE(at, block.data()) << path;
        ASSERT_LE(at + len, block.data() + block.size()) << path;
    }
}

TEST_F(VersionResourceTest, EveryTruncationOfAValidImageFailsCleanly) {
    Bytes image = pe_writer::Image(StandardInfo());
    std::string file = (FDir / "cut.dll").string();
    for (size_t n = 0; n < image.size(); ++n) {
        Write("cut.dll", Bytes(image.begin(), image.begin() + static_cast<std::ptrdiff_t>(n)));
        // The resource data ends the file, so no shorter prefix holds all of it.
        ASSERT_EQ(host::GetFileVersionInfoSizeA(file.c_str(), nullptr), 0u) << "prefix " << n;
    }
    Write("cut.dll", image);
    std::vector<uint8_t> block;
    EXPECT_TRUE(Load(file, block));
}

TEST_F(VersionResourceTest, RandomlyCorruptedImagesNeverReadOutOfBounds) {
    const Bytes image = pe_writer::Image(StandardInfo());
    const size_t headerEnd = 0x160; // DOS, PE, optional headers and the section table
    std::string file = (FDir / "bad.dll").string();
    std::mt19937 rng(20240611);
    int readable = 0;
    for (int round = 0; round < 3000; ++round) {
        Bytes bad = image;
        int flips = 1 + static_cast<int>(rng() % 4);
        for (int i = 0; i < flips; ++i) {
            size_t at = (rng() % 2 == 0) ? rng() % headerEnd : 0x200 + rng() % (bad.size() - 0x200);
            bad[at] = static_cast<uint8_t>(rng() % 3 == 0 ? 0xFF : rng());
        }
        Write("bad.dll", bad);
        std::vector<uint8_t> block;
        if (!Load(file, block)) continue;
        ++readable;
        QueryEverything(block);
    }
    // Most mutations hit bytes the reader ignores, so many images stay readable.
    EXPECT_GT(readable, 0);
}

} // namespace
