// The small utilities of LmrUtil: list building, file-name prefixes, in-place
// trimming, and the product version read from real PE files built on disk.
#include "LmrUtil/LmrUtil.h"

#include "host/Exceptions.h"
#include "tests/host/pe_writer.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

struct ConcateCase {
    std::string Text;
    std::string Value;
    std::string Field;      // LmrConcateField result
    std::string EmptyField; // LmrConcateEmptyField result
};

TEST(ConcateFields, SeparatorRulesDifferOnlyForEmptyValues) {
    const std::vector<ConcateCase> Cases = {
        {"", "x", "x", "x"},
        {"a;b", "c", "a;b;c", "a;b;c"},
        {"a;b", "", "a;b;", "a;b"},
        {"", "", "", ""},
    };
    for (const ConcateCase& c : Cases) {
        std::string Field = c.Text;
        LmrConcateField(Field, ";", c.Value);
        EXPECT_EQ(Field, c.Field) << "'" << c.Text << "' + '" << c.Value << "'";
        std::string EmptyField = c.Text;
        LmrConcateEmptyField(EmptyField, ";", c.Value);
        EXPECT_EQ(EmptyField, c.EmptyField) << "'" << c.Text << "' + '" << c.Value << "'";
    }
}

TEST(ConcateFields, SeparatorMayBeLongerThanOneCharacter) {
    std::string Text = "a";
    LmrConcateField(Text, ", ", "b");
    EXPECT_EQ(Text, "a, b");
}

TEST(ExtractFilePrefix, DropsOnlyTheExtensionOfTheFileName) {
    const std::vector<std::pair<std::string, std::string>> Cases = {
        {"c:\\data\\sales.db", "c:\\data\\sales"},
        {"c:\\data.old\\sales", "c:\\data.old\\sales"},
        {".profile", ""},
        {"archive.tar.gz", "archive.tar"},
        {"c:name", "c:name"},
        {"c:.x", "c:"},
        {"noext", "noext"},
        {"", ""},
    };
    for (const auto& [Name, Prefix] : Cases)
        EXPECT_EQ(LmrExtractFilePrefix(Name), Prefix) << Name;
}

TEST(TrimTrailBlanks, RemovesTrailingControlCharactersAndSpacesInPlace) {
    const std::vector<std::pair<std::string, std::string>> Cases = {
        {"abc  \t", "abc"},
        {"a\x01\x1f \r\n", "a"},
        {"   ", ""},
        {"", ""},
        {"  abc", "  abc"},
        {"a b", "a b"},
        {"abc\xA0", "abc\xA0"},
        {"abc\xFF ", "abc\xFF"},
    };
    for (const auto& [Input, Expected] : Cases) {
        std::vector<char> Buffer(Input.begin(), Input.end());
        Buffer.push_back('\0');
        char* Result = LmrTrimTrailBlanks(Buffer.data());
        EXPECT_EQ(Result, Buffer.data());
        EXPECT_STREQ(Result, Expected.c_str()) << "'" << Input << "'";
    }
}

TEST(TrimTrailBlanks, NullTextIsReturnedAsIs) {
    EXPECT_EQ(LmrTrimTrailBlanks(nullptr), nullptr);
}

// A folder of PE files removed after each test.
class ProductVersion : public ::testing::Test {
protected:
    void SetUp() override {
        FDir = std::filesystem::temp_directory_path() /
               ("lmr_util_version_" + std::to_string(::getpid()) + "_" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::remove_all(FDir);
        std::filesystem::create_directories(FDir);
    }
    void TearDown() override { std::filesystem::remove_all(FDir); }

    std::string Write(const std::string& Name, const pe_writer::Bytes& Image) {
        const std::filesystem::path Path = FDir / Name;
        std::ofstream Out(Path, std::ios::binary);
        Out.write(reinterpret_cast<const char*>(Image.data()), static_cast<std::streamsize>(Image.size()));
        return Path.string();
    }

    // A library whose fixed block holds product version ProductMS.ProductLS and
    // whose string table (US English, Windows-1252) says ProductText.
    std::string Library(const std::string& Name, uint32_t ProductMS, uint32_t ProductLS,
                        const std::u16string& ProductText) {
        std::vector<pe_writer::Node> Strings{pe_writer::StringEntry(u"ProductVersion", ProductText)};
        return Write(Name, pe_writer::Image(pe_writer::VersionInfo(
                               pe_writer::FixedFileInfo(0x00010002, 0x00030004, ProductMS, ProductLS),
                               u"040904E4", std::move(Strings), 0x0409, 0x04E4)));
    }

    std::filesystem::path FDir;
};

struct Version {
    uint16_t Major = 0, Minor = 0, Release = 0, Build = 0;
    bool operator==(const Version&) const = default;
};
std::ostream& operator<<(std::ostream& os, const Version& v) {
    return os << v.Major << "." << v.Minor << "." << v.Release << "." << v.Build;
}

TEST_F(ProductVersion, NonZeroMajorInTheFixedBlockIsTakenWithoutReadingText) {
    const std::string File = Library("lib7.dll", (7u << 16) | 0, (4u << 16) | 3312, u"not a version");
    Version v;
    EXPECT_TRUE(LmrGetProductVersion(File, v.Major, v.Minor, v.Release, v.Build));
    EXPECT_EQ(v, (Version{7, 0, 4, 3312}));
}

TEST_F(ProductVersion, ZeroMajorReadsTheTextIncludingItsLastPart) {
    // The last dotted part has no dot after it and is still the build number.
    const std::string File = Library("lib5.dll", 0, (9u << 16) | 9, u"5.5.1.1030");
    Version v;
    EXPECT_TRUE(LmrGetProductVersion(File, v.Major, v.Minor, v.Release, v.Build));
    EXPECT_EQ(v, (Version{5, 5, 1, 1030}));
}

TEST_F(ProductVersion, PartsTheTextDoesNotGiveKeepTheFixedBlockValues) {
    const std::vector<std::pair<std::u16string, Version>> Cases = {
        {u"6.2", {6, 2, 9, 8}},
        {u"6", {6, 0, 9, 8}},
        {u"6.", {6, 0, 9, 8}},
        {u"1.2.3.4.5", {1, 2, 3, 4}},
    };
    int i = 0;
    for (const auto& [Text, Expected] : Cases) {
        const std::string File = Library("lib" + std::to_string(i++) + ".dll", 0, (9u << 16) | 8, Text);
        Version v;
        EXPECT_TRUE(LmrGetProductVersion(File, v.Major, v.Minor, v.Release, v.Build));
        EXPECT_EQ(v, Expected);
    }
}

TEST_F(ProductVersion, TextPartThatIsNotANumberRaisesConvertError) {
    for (const std::u16string Text : {u"5.x.1.2", u"5.5.1.beta", u"5.70000"}) {
        const std::string File = Library("bad.dll", 0, 0, Text);
        Version v;
        EXPECT_THROW(LmrGetProductVersion(File, v.Major, v.Minor, v.Release, v.Build), host::EConvertError);
    }
}

TEST_F(ProductVersion, MissingTextVersionFailsWithTheFixedBlockValuesStored) {
    const std::string File =
        Write("notext.dll",
              pe_writer::Image(pe_writer::VersionInfo(pe_writer::FixedFileInfo(0, 0, 0, (2u << 16) | 77),
                                                      u"040904E4", {}, 0x0409, 0x04E4)));
    Version v{1, 1, 1, 1};
    EXPECT_FALSE(LmrGetProductVersion(File, v.Major, v.Minor, v.Release, v.Build));
    EXPECT_EQ(v, (Version{0, 0, 2, 77}));
}

TEST_F(ProductVersion, UnreadableFilesFailAndLeaveTheOutputsUntouched) {
    const pe_writer::Bytes Good = pe_writer::Image(pe_writer::VersionInfo(
        pe_writer::FixedFileInfo(0, 0, 0x00070000, 0), u"040904E4", {}, 0x0409, 0x04E4));
    const std::vector<std::string> Files = {
        (FDir / "missing.dll").string(),
        Write("empty.dll", {}),
        Write("noresources.dll", pe_writer::Image(pe_writer::Bytes{}, false, false)),
        Write("truncated.dll",
              pe_writer::Bytes(Good.begin(), Good.begin() + static_cast<long>(Good.size() / 2))),
    };
    for (const std::string& File : Files) {
        Version v{11, 12, 13, 14};
        EXPECT_FALSE(LmrGetProductVersion(File, v.Major, v.Minor, v.Release, v.Build)) << File;
        EXPECT_EQ(v, (Version{11, 12, 13, 14})) << File;
    }
}

} // namespace
