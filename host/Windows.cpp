// Linux implementations of the Win32 user and shell calls declared in
// host/Windows.h: ANSI/OEM conversion tables, the console message box and the
// xdg-open based ShellExecuteA.
#include "host/Windows.h"

#include <array>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <string_view>
#include <utility>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace host {

namespace {

// ---------------------------------------------------------------------------
// Code pages. Both tables give the Unicode code point of bytes 0x80..0xFF, as
// published in the code pages' Unicode mapping charts; the byte-to-byte maps
// are derived from them at compile time so the two directions cannot disagree.
// ---------------------------------------------------------------------------

using TUpperHalf = std::array<uint16_t, 128>;

// Windows-1252. 0x81, 0x8D, 0x8F, 0x90 and 0x9D are undefined in the chart;
// Windows passes them through as the C1 controls of the same value.
constexpr TUpperHalf kCp1252 = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, // 80
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F, // 88
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014, // 90
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178, // 98
    0x00A0, 0x00A1, 0x00A2, 0x00A3, 0x00A4, 0x00A5, 0x00A6, 0x00A7, // A0
    0x00A8, 0x00A9, 0x00AA, 0x00AB, 0x00AC, 0x00AD, 0x00AE, 0x00AF, // A8
    0x00B0, 0x00B1, 0x00B2, 0x00B3, 0x00B4, 0x00B5, 0x00B6, 0x00B7, // B0
    0x00B8, 0x00B9, 0x00BA, 0x00BB, 0x00BC, 0x00BD, 0x00BE, 0x00BF, // B8
    0x00C0, 0x00C1, 0x00C2, 0x00C3, 0x00C4, 0x00C5, 0x00C6, 0x00C7, // C0
    0x00C8, 0x00C9, 0x00CA, 0x00CB, 0x00CC, 0x00CD, 0x00CE, 0x00CF, // C8
    0x00D0, 0x00D1, 0x00D2, 0x00D3, 0x00D4, 0x00D5, 0x00D6, 0x00D7, // D0
    0x00D8, 0x00D9, 0x00DA, 0x00DB, 0x00DC, 0x00DD, 0x00DE, 0x00DF, // D8
    0x00E0, 0x00E1, 0x00E2, 0x00E3, 0x00E4, 0x00E5, 0x00E6, 0x00E7, // E0
    0x00E8, 0x00E9, 0x00EA, 0x00EB, 0x00EC, 0x00ED, 0x00EE, 0x00EF, // E8
    0x00F0, 0x00F1, 0x00F2, 0x00F3, 0x00F4, 0x00F5, 0x00F6, 0x00F7, // F0
    0x00F8, 0x00F9, 0x00FA, 0x00FB, 0x00FC, 0x00FD, 0x00FE, 0x00FF, // F8
};

// Code page 850 (DOS Latin-1).
constexpr TUpperHalf kCp850 = {
    0x00C7, 0x00FC, 0x00E9, 0x00E2, 0x00E4, 0x00E0, 0x00E5, 0x00E7, // 80
    0x00EA, 0x00EB, 0x00E8, 0x00EF, 0x00EE, 0x00EC, 0x00C4, 0x00C5, // 88
    0x00C9, 0x00E6, 0x00C6, 0x00F4, 0x00F6, 0x00F2, 0x00FB, 0x00F9, // 90
    0x00FF, 0x00D6, 0x00DC, 0x00F8, 0x00A3, 0x00D8, 0x00D7, 0x0192, // 98
    0x00E1, 0x00ED, 0x00F3, 0x00FA, 0x00F1, 0x00D1, 0x00AA, 0x00BA, // A0
    0x00BF, 0x00AE, 0x00AC, 0x00BD, 0x00BC, 0x00A1, 0x00AB, 0x00BB, // A8
    0x2591, 0x2592, 0x2593, 0x2502, 0x2524, 0x00C1, 0x00C2, 0x00C0, // B0
    0x00A9, 0x2563, 0x2551, 0x2557, 0x255D, 0x00A2, 0x00A5, 0x2510, // B8
    0x2514, 0x2534, 0x252C, 0x251C, 0x2500, 0x253C, 0x00E3, 0x00C3, // C0
    0x255A, 0x2554, 0x2569, 0x2566, 0x2560, 0x2550, 0x256C, 0x00A4, // C8
    0x00F0, 0x00D0, 0x00CA, 0x00CB, 0x00C8, 0x0131, 0x00CD, 0x00CE, // D0
    0x00CF, 0x2518, 0x250C, 0x2588, 0x2584, 0x00A6, 0x00CC, 0x2580, // D8
    0x00D3, 0x00DF, 0x00D4, 0x00D2, 0x00F5, 0x00D5, 0x00B5, 0x00FE, // E0
    0x00DE, 0x00DA, 0x00DB, 0x00D9, 0x00FD, 0x00DD, 0x00AF, 0x00B4, // E8
    0x00AD, 0x00B1, 0x2017, 0x00BE, 0x00B6, 0x00A7, 0x00F7, 0x00B8, // F0
    0x00B0, 0x00A8, 0x00B7, 0x00B9, 0x00B3, 0x00B2, 0x25A0, 0x00A0, // F8
};

// Look-alikes for characters one of the two pages lacks. A target is tried
// only after the exact character was not found, and must itself exist in the
// target page (the middle dot does in both).
struct TBestFit {
    uint16_t from;
    uint16_t to;
};

constexpr TBestFit kBestFit[] = {
    // cp1252 punctuation and letters absent from cp850
    {0x201A, ','},
    {0x201E, '"'},
    {0x2026, '.'},
    {0x02C6, '^'},
    {0x2030, '%'},
    {0x0160, 'S'},
    {0x2039, '<'},
    {0x0152, 'O'},
    {0x017D, 'Z'},
    {0x2018, '\''},
    {0x2019, '\''},
    {0x201C, '"'},
    {0x201D, '"'},
    {0x2022, 0x00B7},
    {0x2013, '-'},
    {0x2014, '-'},
    {0x02DC, '~'},
    {0x0161, 's'},
    {0x203A, '>'},
    {0x0153, 'o'},
    {0x017E, 'z'},
    {0x0178, 'Y'},
    // cp850 letters and box drawing absent from cp1252
    {0x0131, 'i'},
    {0x2017, '_'},
    {0x2500, '-'},
    {0x2550, '='},
    {0x2502, '|'},
    {0x2551, '|'},
    {0x250C, '+'},
    {0x2510, '+'},
    {0x2514, '+'},
    {0x2518, '+'},
    {0x251C, '+'},
    {0x2524, '+'},
    {0x252C, '+'},
    {0x2534, '+'},
    {0x253C, '+'},
    {0x2554, '+'},
    {0x2557, '+'},
    {0x255A, '+'},
    {0x255D, '+'},
    {0x2560, '+'},
    {0x2563, '+'},
    {0x2566, '+'},
    {0x2569, '+'},
    {0x256C, '+'},
    {0x2591, '#'},
    {0x2592, '#'},
    {0x2593, '#'},
    {0x2588, '#'},
    {0x2584, '#'},
    {0x2580, '#'},
    {0x25A0, '#'},
};

constexpr int FindInPage(const TUpperHalf& page, uint32_t codePoint) {
    if (codePoint < 0x80) return static_cast<int>(codePoint);
    for (int i = 0; i < 128; ++i)
        if (page[i] == codePoint) return 0x80 + i;
    return -1;
}

constexpr uint8_t EncodeInPage(const TUpperHalf& page, uint32_t codePoint) {
    int exact = FindInPage(page, codePoint);
    if (exact >= 0) return static_cast<uint8_t>(exact);
    for (const TBestFit& f : kBestFit)
        if (f.from == codePoint) {
            int fit = FindInPage(page, f.to);
            return fit >= 0 ? static_cast<uint8_t>(fit) : '?';
        }
    return '?';
}

using TByteMap = std::array<uint8_t, 256>;

constexpr TByteMap BuildMap(const TUpperHalf& from, const TUpperHalf& to) {
    TByteMap map{};
    for (int b = 0; b < 0x80; ++b)
        map[b] = static_cast<uint8_t>(b);
    for (int i = 0; i < 128; ++i)
        map[0x80 + i] = EncodeInPage(to, from[i]);
    return map;
}

constexpr TByteMap kAnsiToOem = BuildMap(kCp1252, kCp850);
constexpr TByteMap kOemToAnsi = BuildMap(kCp850, kCp1252);

// Shared characters must survive the round trip; a table typo shows here at compile time.
constexpr bool RoundTripHolds() {
    for (int b = 0x80; b < 0x100; ++b)
        if (FindInPage(kCp850, kCp1252[b - 0x80]) >= 0 && kOemToAnsi[kAnsiToOem[b]] != b) return false;
    return true;
}
static_assert(RoundTripHolds());

bool Translate(const TByteMap& map, const char* src, char* dst, uint32_t length) {
    if (length == 0) return true;
    if (src == nullptr || dst == nullptr) return false;
    // Every output byte depends on its input byte alone, so walking backwards
    // when the destination starts inside the source makes overlap harmless.
    if (dst > src && dst < src + length) {
        for (uint32_t i = length; i-- > 0;)
            dst[i] = static_cast<char>(map[static_cast<uint8_t>(src[i])]);
    } else {
        for (uint32_t i = 0; i < length; ++i)
            dst[i] = static_cast<char>(map[static_cast<uint8_t>(src[i])]);
    }
    return true;
}

// ---------------------------------------------------------------------------
// Message box
// ---------------------------------------------------------------------------

std::mutex gMessageBoxLock;
TMessageBoxHandler gMessageBoxHandler;

int32_t DefaultAnswer(uint32_t type) {
    static constexpr std::array<std::array<int32_t, 3>, 7> kButtons = {{
        {IDOK, 0, 0},                       // MB_OK
        {IDOK, IDCANCEL, 0},                // MB_OKCANCEL
        {IDABORT, IDRETRY, IDIGNORE},       // MB_ABORTRETRYIGNORE
        {IDYES, IDNO, IDCANCEL},            // MB_YESNOCANCEL
        {IDYES, IDNO, 0},                   // MB_YESNO
        {IDRETRY, IDCANCEL, 0},             // MB_RETRYCANCEL
        {IDCANCEL, IDTRYAGAIN, IDCONTINUE}, // MB_CANCELTRYCONTINUE
    }};
    uint32_t set = type & MB_TYPEMASK;
    if (set >= kButtons.size()) return 0;
    uint32_t index = (type & MB_DEFMASK) >> 8;
    if (index >= 3 || kButtons[set][index] == 0) index = 0;
    return kButtons[set][index];
}

// ---------------------------------------------------------------------------
// Shell execute
// ---------------------------------------------------------------------------

bool StartsWithNoCase(std::string_view s, std::string_view prefix) {
    if (s.size() < prefix.size()) return false;
    for (size_t i = 0; i < prefix.size(); ++i) {
        char c = s[i];
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        if (c != prefix[i]) return false;
    }
    return true;
}

bool EqualsNoCase(std::string_view s, std::string_view lower) {
    return s.size() == lower.size() && StartsWithNoCase(s, lower);
}

// The opener's full path, resolved before forking: execvp may allocate, which
// a child of a multithreaded process must not do.
std::string FindOnPath(const char* name) {
    const char* path = std::getenv("PATH");
    if (path == nullptr) return {};
    std::string_view rest(path);
    while (true) {
        size_t colon = rest.find(':');
        std::string_view dir = rest.substr(0, colon);
        std::string candidate = dir.empty() ? std::string(".") : std::string(dir);
        candidate += '/';
        candidate += name;
        struct stat st {};
        if (::stat(candidate.c_str(), &st) == 0 && S_ISREG(st.st_mode) &&
            ::access(candidate.c_str(), X_OK) == 0)
            return candidate;
        if (colon == std::string_view::npos) break;
        rest.remove_prefix(colon + 1);
    }
    return {};
}

void WriteErrno(int fd, int error) {
    ssize_t ignored = ::write(fd, &error, sizeof error);
    (void)ignored;
}

// Double fork: the intermediate child exits at once and is reaped here, so the
// opener is adopted by init and never becomes our zombie. A close-on-exec pipe
// tells the parent whether the exec itself worked.
intptr_t SpawnDetached(const std::string& program, const char* argument) {
    int pipeFds[2];
    if (::pipe2(pipeFds, O_CLOEXEC) != 0) return SE_ERR_OOM;
    int devNull = ::open("/dev/null", O_RDWR | O_CLOEXEC);
    char* argv[] = {const_cast<char*>(program.c_str()), const_cast<char*>(argument), nullptr};

    pid_t child = ::fork();
    if (child < 0) {
        ::close(pipeFds[0]);
        ::close(pipeFds[1]);
        if (devNull >= 0) ::close(devNull);
        return SE_ERR_OOM;
    }
    if (child == 0) {
        // Only async-signal-safe calls from here on.
        ::close(pipeFds[0]);
        pid_t grandchild = ::fork();
        if (grandchild < 0) {
            WriteErrno(pipeFds[1], errno);
            ::_exit(1);
        }
        if (grandchild > 0) ::_exit(0);
        ::setsid();
        sigset_t none;
        sigemptyset(&none);
        ::sigprocmask(SIG_SETMASK, &none, nullptr);
        if (devNull >= 0) ::dup2(devNull, STDIN_FILENO);
        ::execve(program.c_str(), argv, environ);
        WriteErrno(pipeFds[1], errno);
        ::_exit(127);
    }

    ::close(pipeFds[1]);
    if (devNull >= 0) ::close(devNull);
    // The application may reap children itself (SIGCHLD handler or SIG_IGN);
    // ECHILD then just means the intermediate child is gone already.
    while (::waitpid(child, nullptr, 0) < 0 && errno == EINTR) {
    }
    int childError = 0;
    ssize_t got;
    do {
        got = ::read(pipeFds[0], &childError, sizeof childError);
    } while (got < 0 && errno == EINTR);
    ::close(pipeFds[0]);
    if (got == static_cast<ssize_t>(sizeof childError)) {
        if (childError == ENOENT) return ERROR_FILE_NOT_FOUND;
        if (childError == EACCES || childError == EPERM) return SE_ERR_ACCESSDENIED;
        if (childError == ENOEXEC) return ERROR_BAD_FORMAT;
        return SE_ERR_OOM;
    }
    return 42;
}

} // namespace

bool CharToOemBuffA(const char* src, char* dst, uint32_t length) {
    return Translate(kAnsiToOem, src, dst, length);
}

bool OemToCharBuffA(const char* src, char* dst, uint32_t length) {
    return Translate(kOemToAnsi, src, dst, length);
}

uint32_t AnsiByteToUnicode(uint8_t b) {
    return b < 0x80 ? b : kCp1252[b - 0x80];
}

uint8_t UnicodeToAnsiByte(uint32_t codePoint) {
    return EncodeInPage(kCp1252, codePoint);
}

TMessageBoxHandler SetMessageBoxHandler(TMessageBoxHandler handler) {
    std::lock_guard<std::mutex> lock(gMessageBoxLock);
    return std::exchange(gMessageBoxHandler, std::move(handler));
}

int32_t MessageBoxA(void* /*hwnd*/, const char* text, const char* caption, uint32_t type) {
    if (text == nullptr) text = "";
    if (caption == nullptr) caption = "Error";
    TMessageBoxHandler handler;
    {
        std::lock_guard<std::mutex> lock(gMessageBoxLock);
        handler = gMessageBoxHandler;
    }
    // Called outside the lock so a handler may itself show a message box.
    if (handler) return handler(text, caption, type);
    std::fprintf(stderr, "%s: %s\n", caption, text);
    std::fflush(stderr);
    return DefaultAnswer(type);
}

intptr_t ShellExecuteA(void* /*hwnd*/, const char* operation, const char* file, const char* /*parameters*/,
                       const char* /*directory*/, int32_t /*showCmd*/) {
    if (file == nullptr || *file == '\0') return ERROR_FILE_NOT_FOUND;
    if (operation != nullptr && *operation != '\0' && !EqualsNoCase(operation, "open")) return SE_ERR_NOASSOC;
    std::string_view address(file);
    for (char c : address) {
        auto u = static_cast<unsigned char>(c);
        if (u < 0x20 || u == 0x7F) return ERROR_BAD_FORMAT;
    }
    // The scheme check also keeps the argument from ever starting with '-',
    // which the opener would read as an option.
    if (!StartsWithNoCase(address, "mailto:") && !StartsWithNoCase(address, "http:") &&
        !StartsWithNoCase(address, "https:"))
        return SE_ERR_NOASSOC;
    std::string opener = FindOnPath("xdg-open");
    if (opener.empty()) return SE_ERR_NOASSOC;
    return SpawnDetached(opener, file);
}

} // namespace host
