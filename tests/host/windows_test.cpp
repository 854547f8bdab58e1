// Tests of the Win32 stand-ins in host/Windows.h: ANSI/OEM conversion, the
// message box's default answers and replaceable handler, and ShellExecuteA
// handing addresses to a fake xdg-open placed first on PATH.
#include "host/Windows.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <sys/wait.h>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;

std::string AllBytes() {
    std::string s(256, '\0');
    for (int i = 0; i < 256; ++i)
        s[i] = static_cast<char>(i);
    return s;
}

// ANSI bytes whose character cp850 also has: ASCII, the Latin-1 half and the florin.
bool SharedWithOem(int b) {
    return b < 0x80 || b >= 0xA0 || b == 0x83;
}
// OEM bytes whose character cp1252 also has: all but box drawing, blocks, dotless i and the double low line.
bool SharedWithAnsi(int b) {
    if (b < 0x80) return true;
    if (b == 0xD5 || b == 0xF2 || b == 0xFE) return false;
    const int graphics[] = {0xB0, 0xB1, 0xB2, 0xB3, 0xB4, 0xB9, 0xBA, 0xBB, 0xBC, 0xBF,
                            0xC0, 0xC1, 0xC2, 0xC3, 0xC4, 0xC5, 0xC8, 0xC9, 0xCA, 0xCB,
                            0xCC, 0xCD, 0xCE, 0xD9, 0xDA, 0xDB, 0xDC, 0xDF};
    for (int g : graphics)
        if (b == g) return false;
    return true;
}

TEST(CodePageConversion, EveryCharacterBothPagesHoldSurvivesTheRoundTrip) {
    const std::string all = AllBytes();
    std::string oem(256, '\0'), back(256, '\0');
    ASSERT_TRUE(host::CharToOemBuffA(all.data(), oem.data(), 256));
    ASSERT_TRUE(host::OemToCharBuffA(oem.data(), back.data(), 256));
    int shared = 0;
    for (int b = 0; b < 256; ++b) {
        if (!SharedWithOem(b)) continue;
        ++shared;
        EXPECT_EQ(static_cast<uint8_t>(back[b]), b) << "ANSI byte " << b;
    }
    EXPECT_EQ(shared, 128 + 96 + 1);

    ASSERT_TRUE(host::OemToCharBuffA(all.data(), back.data(), 256));
    ASSERT_TRUE(host::CharToOemBuffA(back.data(), oem.data(), 256));
    for (int b = 0; b < 256; ++b) {
        if (SharedWithAnsi(b)) {
            EXPECT_EQ(static_cast<uint8_t>(oem[b]), b) << "OEM byte " << b;
        }
    }
}

TEST(CodePageConversion, KnownCharactersLandOnTheirChartPositions) {
    struct Case {
        uint8_t ansi;
        uint8_t oem;
    };
    // e-acute, u-umlaut, sharp s, pound, florin, no-break space, A-ring, section sign
    const Case shared[] = {{0xE9, 0x82}, {0xFC, 0x81}, {0xDF, 0xE1}, {0xA3, 0x9C},
                           {0x83, 0x9F}, {0xA0, 0xFF}, {0xC5, 0x8F}, {0xA7, 0xF5}};
    for (const Case& c : shared) {
        char out = 0;
        host::CharToOemBuffA(reinterpret_cast<const char*>(&c.ansi), &out, 1);
        EXPECT_EQ(static_cast<uint8_t>(out), c.oem) << int(c.ansi);
        host::OemToCharBuffA(reinterpret_cast<const char*>(&c.oem), &out, 1);
        EXPECT_EQ(static_cast<uint8_t>(out), c.ansi) << int(c.oem);
    }
}

TEST(CodePageConversion, MissingCharactersBecomeLookAlikesOrQuestionMarks) {
    // euro, left double quote, en dash, S-caron, undefined 0x81
    const std::string ansi = "\x80\x93\x96\x8A\x81";
    std::string oem(ansi.size(), '\0');
    ASSERT_TRUE(host::CharToOemBuffA(ansi.data(), oem.data(), static_cast<uint32_t>(ansi.size())));
    EXPECT_EQ(oem, "?\"-S?");
    // box corner, horizontal line, vertical line, full block, dotless i
    const std::string box = "\xDA\xC4\xB3\xDB\xD5";
    std::string text(box.size(), '\0');
    ASSERT_TRUE(host::OemToCharBuffA(box.data(), text.data(), static_cast<uint32_t>(box.size())));
    EXPECT_EQ(text, "+-|#i");
}

TEST(CodePageConversion, ConvertsExactlyLengthBytesIncludingNulsAndInPlace) {
    std::string buf = std::string("a\0\xE9z", 4) + "GUARD";
    ASSERT_TRUE(host::CharToOemBuffA(buf.data(), buf.data(), 4));
    EXPECT_EQ(buf, std::string("a\0\x82z", 4) + "GUARD");
    ASSERT_TRUE(host::OemToCharBuffA(buf.data(), buf.data(), 4));
    EXPECT_EQ(buf, std::string("a\0\xE9z", 4) + "GUARD");

    // Overlapping, destination one byte further on: every byte still converted once.
    std::string shifted = "\xE9\xE8\xE0\xFC_";
    ASSERT_TRUE(host::CharToOemBuffA(shifted.data(), shifted.data() + 1, 4));
    EXPECT_EQ(shifted, "\xE9\x82\x8A\x85\x81");
}

TEST(CodePageConversion, NullPointersFailOnlyWhenThereIsSomethingToConvert) {
    char out[4] = {};
    EXPECT_FALSE(host::CharToOemBuffA(nullptr, out, 1));
    EXPECT_FALSE(host::OemToCharBuffA("x", nullptr, 1));
    EXPECT_TRUE(host::CharToOemBuffA(nullptr, nullptr, 0));
    EXPECT_TRUE(host::OemToCharBuffA(nullptr, out, 0));
}

// ---------------------------------------------------------------------------

struct DefaultAnswerCase {
    uint32_t type;
    int32_t answer;
};

class MessageBoxDefaultAnswer : public ::testing::TestWithParam<DefaultAnswerCase> {};

TEST_P(MessageBoxDefaultAnswer, ReturnsTheDefaultButtonAndWritesCaptionAndText) {
    ::testing::internal::CaptureStderr();
    int32_t answer = host::MessageBoxA(nullptr, "Disk full", "LumraTest", GetParam().type);
    std::string err = ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(answer, GetParam().answer);
    EXPECT_EQ(err, "LumraTest: Disk full\n");
}

const DefaultAnswerCase kDefaultAnswers[] = {
    {host::MB_OK, host::IDOK},
    {host::MB_OK | host::MB_DEFBUTTON2, host::IDOK},
    {host::MB_OK | host::MB_ICONERROR, host::IDOK},
    {host::MB_OKCANCEL, host::IDOK},
    {host::MB_OKCANCEL | host::MB_DEFBUTTON2, host::IDCANCEL},
    {host::MB_YESNO, host::IDYES},
    {host::MB_YESNO | host::MB_DEFBUTTON2 | host::MB_ICONQUESTION, host::IDNO},
    {host::MB_YESNOCANCEL, host::IDYES},
    {host::MB_YESNOCANCEL | host::MB_DEFBUTTON2, host::IDNO},
    {host::MB_YESNOCANCEL | host::MB_DEFBUTTON3, host::IDCANCEL},
    {host::MB_RETRYCANCEL, host::IDRETRY},
    {host::MB_RETRYCANCEL | host::MB_DEFBUTTON2, host::IDCANCEL},
    {host::MB_ABORTRETRYIGNORE, host::IDABORT},
    {host::MB_ABORTRETRYIGNORE | host::MB_DEFBUTTON2, host::IDRETRY},
    {host::MB_ABORTRETRYIGNORE | host::MB_DEFBUTTON3, host::IDIGNORE},
    {host::MB_ABORTRETRYIGNORE | host::MB_DEFBUTTON4, host::IDABORT},
    {host::MB_CANCELTRYCONTINUE | host::MB_DEFBUTTON3, host::IDCONTINUE},
    {0x0000000F, 0},
};

INSTANTIATE_TEST_SUITE_P(Table, MessageBoxDefaultAnswer, ::testing::ValuesIn(kDefaultAnswers),
                         [](const ::testing::TestParamInfo<DefaultAnswerCase>& info) {
                             return "Style" + std::to_string(info.param.type) + "Answers" +
                                    std::to_string(info.param.answer);
                         });

TEST(MessageBoxHandler, SeesEveryCallAndItsAnswerIsReturned) {
    std::vector<std::string> seen;
    auto previous = host::SetMessageBoxHandler([&](const char* text, const char* caption, uint32_t type) {
        seen.push_back(std::string(caption) + "|" + text + "|" + std::to_string(type));
        return host::IDNO;
    });
    EXPECT_FALSE(previous);
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(host::MessageBoxA(nullptr, "Save?", "App", host::MB_YESNO), host::IDNO);
    EXPECT_EQ(host::MessageBoxA(nullptr, nullptr, nullptr, 16), host::IDNO);
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[0], "App|Save?|4");
    EXPECT_EQ(seen[1], "Error||16");

    auto mine = host::SetMessageBoxHandler({});
    EXPECT_TRUE(mine);
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(host::MessageBoxA(nullptr, "back", "Default", host::MB_YESNO), host::IDYES);
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "Default: back\n");
    EXPECT_EQ(seen.size(), 2u);
}

// ---------------------------------------------------------------------------

// Puts a fake xdg-open, which records its arguments one per line, first on PATH.
class ShellExecuteTest : public ::testing::Test {
protected:
    void SetUp() override {
        FDir = fs::temp_directory_path() / ("lmr_shell_" + std::to_string(::getpid()) + "_" +
                                            ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(FDir);
        fs::create_directories(FDir / "bin");
        FArgs = FDir / "args.txt";
        {
            std::ofstream script(FDir / "bin" / "xdg-open");
            // Written under another name and renamed, so the test never reads half a file.
            script << "#!/bin/sh\nprintf '%s\\n' \"$#\" \"$@\" > '" << FArgs.string() << ".tmp'\nmv '"
                   << FArgs.string() << ".tmp' '" << FArgs.string() << "'\n";
        }
        fs::permissions(FDir / "bin" / "xdg-open", fs::perms::owner_all);
        const char* path = std::getenv("PATH");
        FOldPath = path ? path : "";
        ::setenv("PATH", ((FDir / "bin").string() + ":" + FOldPath).c_str(), 1);
    }
    void TearDown() override {
        ::setenv("PATH", FOldPath.c_str(), 1);
        fs::remove_all(FDir);
    }

    // Polls for the opener's record, giving up after about ten seconds.
    std::string WaitForArgs() {
        for (int i = 0; i < 1000; ++i) {
            if (fs::exists(FArgs)) {
                std::ifstream in(FArgs);
                std::stringstream ss;
                ss << in.rdbuf();
                return ss.str();
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return "<opener never ran>";
    }

    fs::path FDir;
    fs::path FArgs;
    std::string FOldPath;
};

TEST_F(ShellExecuteTest, HandsTheAddressToTheOpenerAsOneArgumentWithoutAShell) {
    const std::string address = "mailto:support@example.com?subject=a b;$(touch x)`id`&body='\"*";
    intptr_t result = host::ShellExecuteA(nullptr, "open", address.c_str(), nullptr, "", host::SW_SHOWNORMAL);
    EXPECT_GT(result, 32);
    EXPECT_EQ(WaitForArgs(), "1\n" + address + "\n");
    EXPECT_FALSE(fs::exists(fs::current_path() / "x"));
}

TEST_F(ShellExecuteTest, AcceptsWebSchemesInAnyCaseAndLeavesNoChildToReap) {
    for (const char* address : {"HTTPS://example.com/a?b=c", "Http://example.com/"}) {
        fs::remove(FArgs);
        EXPECT_GT(host::ShellExecuteA(nullptr, nullptr, address, "ignored", nullptr, host::SW_SHOW), 32);
        EXPECT_EQ(WaitForArgs(), std::string("1\n") + address + "\n");
    }
    // The opener was started through an intermediate child that is already reaped.
    errno = 0;
    EXPECT_EQ(::waitpid(-1, nullptr, WNOHANG), -1);
    EXPECT_EQ(errno, ECHILD);
}

TEST_F(ShellExecuteTest, RefusesOtherSchemesVerbsAndControlCharacters) {
    struct Case {
        const char* operation;
        const char* file;
        intptr_t result;
    };
    const Case cases[] = {
        {"open", "file:///etc/passwd", host::SE_ERR_NOASSOC},
        {"open", "javascript:alert(1)", host::SE_ERR_NOASSOC},
        {"open", "--help", host::SE_ERR_NOASSOC},
        {"open", "/usr/bin/xterm", host::SE_ERR_NOASSOC},
        {"open", "mailtox:someone", host::SE_ERR_NOASSOC},
        {"print", "http://example.com", host::SE_ERR_NOASSOC},
        {"open", "http://example.com/\nrm -rf", host::ERROR_BAD_FORMAT},
        {"open", "mailto:a@b\x7F", host::ERROR_BAD_FORMAT},
        {"open", "", host::ERROR_FILE_NOT_FOUND},
        {"open", nullptr, host::ERROR_FILE_NOT_FOUND},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file ? c.file : "(null)");
        EXPECT_EQ(host::ShellExecuteA(nullptr, c.operation, c.file, nullptr, nullptr, host::SW_SHOWNORMAL),
                  c.result);
    }
}

TEST_F(ShellExecuteTest, WithoutAnOpenerOnPathThereIsNoAssociation) {
    fs::create_directories(FDir / "empty");
    ::setenv("PATH", (FDir / "empty").c_str(), 1);
    EXPECT_EQ(host::ShellExecuteA(nullptr, "open", "https://example.com", nullptr, nullptr, 1),
              host::SE_ERR_NOASSOC);
}

} // namespace
