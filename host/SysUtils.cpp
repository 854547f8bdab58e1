// SysUtils stand-ins: Format, Windows-1252 text helpers, file-name parts,
// quoting and locale-independent number text.
#include "host/SysUtils.h"

#include "host/Exceptions.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstddef>
#include <cstdio>
#include <cstring>

namespace host {

namespace {

// Unicode of the Windows-1252 bytes 0x80..0x9F; the five unassigned bytes
// map to the C1 control of the same value, as Windows does.
constexpr char16_t Cp1252High[32] = {0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                     0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
                                     0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                     0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

unsigned char Byte(char c) noexcept {
    return static_cast<unsigned char>(c);
}

char AsciiUpper(char c) noexcept {
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c;
}

char AsciiLower(char c) noexcept {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c;
}

template <class Fold>
int32_t CompareFolded(const char* a, size_t na, const char* b, size_t nb, Fold fold) noexcept {
    const size_t n = std::min(na, nb);
    for (size_t i = 0; i < n; ++i) {
        const unsigned char ca = Byte(fold(a[i])), cb = Byte(fold(b[i]));
        if (ca != cb) return ca < cb ? -1 : 1;
    }
    return na == nb ? 0 : (na < nb ? -1 : 1);
}

char Identity(char c) noexcept {
    return c;
}

size_t BoundedLen(const char* s, uint32_t maxLen) noexcept {
    if (!s) return 0;
    size_t n = 0;
    while (n < maxLen && s[n] != '\0')
        ++n;
    return n;
}

} // namespace

// ---- case and comparison -------------------------------------------------------

char AnsiUpperChar(char c) noexcept {
    const unsigned char b = Byte(c);
    if (b >= 'a' && b <= 'z') return static_cast<char>(b - 32);
    if (b >= 0xE0 && b <= 0xFE && b != 0xF7) return static_cast<char>(b - 32);
    switch (b) {
    case 0x9A:
        return static_cast<char>(0x8A);
    case 0x9C:
        return static_cast<char>(0x8C);
    case 0x9E:
        return static_cast<char>(0x8E);
    case 0xFF:
        return static_cast<char>(0x9F);
    default:
        return c;
    }
}

char AnsiLowerChar(char c) noexcept {
    const unsigned char b = Byte(c);
    if (b >= 'A' && b <= 'Z') return static_cast<char>(b + 32);
    if (b >= 0xC0 && b <= 0xDE && b != 0xD7) return static_cast<char>(b + 32);
    switch (b) {
    case 0x8A:
        return static_cast<char>(0x9A);
    case 0x8C:
        return static_cast<char>(0x9C);
    case 0x8E:
        return static_cast<char>(0x9E);
    case 0x9F:
        return static_cast<char>(0xFF);
    default:
        return c;
    }
}

int32_t CompareStr(const std::string& a, const std::string& b) noexcept {
    return CompareFolded(a.data(), a.size(), b.data(), b.size(), Identity);
}

int32_t CompareText(const std::string& a, const std::string& b) noexcept {
    return CompareFolded(a.data(), a.size(), b.data(), b.size(), AsciiUpper);
}

int32_t AnsiCompareStr(const std::string& a, const std::string& b) noexcept {
    return CompareStr(a, b);
}

int32_t AnsiCompareText(const std::string& a, const std::string& b) noexcept {
    return CompareFolded(a.data(), a.size(), b.data(), b.size(), AnsiUpperChar);
}

bool SameText(const std::string& a, const std::string& b) noexcept {
    return a.size() == b.size() && CompareText(a, b) == 0;
}

bool AnsiSameText(const std::string& a, const std::string& b) noexcept {
    return a.size() == b.size() && AnsiCompareText(a, b) == 0;
}

uint32_t StrLen(const char* s) noexcept {
    return s ? static_cast<uint32_t>(std::strlen(s)) : 0;
}

int32_t StrComp(const char* a, const char* b) noexcept {
    return AnsiStrLComp(a, b, UINT32_MAX);
}

int32_t StrIComp(const char* a, const char* b) noexcept {
    return AnsiStrLIComp(a, b, UINT32_MAX);
}

int32_t AnsiStrLComp(const char* a, const char* b, uint32_t maxLen) noexcept {
    return CompareFolded(a, BoundedLen(a, maxLen), b, BoundedLen(b, maxLen), Identity);
}

int32_t AnsiStrLIComp(const char* a, const char* b, uint32_t maxLen) noexcept {
    return CompareFolded(a, BoundedLen(a, maxLen), b, BoundedLen(b, maxLen), AnsiUpperChar);
}

int32_t StrLComp(const char* a, const char* b, uint32_t maxLen) noexcept {
    return AnsiStrLComp(a, b, maxLen);
}

int32_t StrLIComp(const char* a, const char* b, uint32_t maxLen) noexcept {
    return AnsiStrLIComp(a, b, maxLen);
}

namespace {
// The size sits in front of the block, aligned for any record-buffer field.
constexpr size_t StrAllocHeader = alignof(std::max_align_t);
} // namespace

char* StrAlloc(uint32_t size) {
    char* block = new char[StrAllocHeader + size];
    std::memcpy(block, &size, sizeof size);
    return block + StrAllocHeader;
}

uint32_t StrBufSize(const char* buffer) noexcept {
    if (!buffer) return 0;
    uint32_t size;
    std::memcpy(&size, buffer - StrAllocHeader, sizeof size);
    return size;
}

void StrDispose(char* buffer) noexcept {
    if (buffer) delete[](buffer - StrAllocHeader);
}

std::string TrimLeft(const std::string& s) {
    size_t i = 0;
    while (i < s.size() && Byte(s[i]) <= ' ')
        ++i;
    return s.substr(i);
}

std::string TrimRight(const std::string& s) {
    size_t n = s.size();
    while (n > 0 && Byte(s[n - 1]) <= ' ')
        --n;
    return s.substr(0, n);
}

std::string Trim(const std::string& s) {
    return TrimLeft(TrimRight(s));
}

std::string UpperCase(const std::string& s) {
    std::string r(s);
    std::transform(r.begin(), r.end(), r.begin(), AsciiUpper);
    return r;
}

std::string LowerCase(const std::string& s) {
    std::string r(s);
    std::transform(r.begin(), r.end(), r.begin(), AsciiLower);
    return r;
}

std::string AnsiUpperCase(const std::string& s) {
    std::string r(s);
    std::transform(r.begin(), r.end(), r.begin(), AnsiUpperChar);
    return r;
}

std::string AnsiLowerCase(const std::string& s) {
    std::string r(s);
    std::transform(r.begin(), r.end(), r.begin(), AnsiLowerChar);
    return r;
}

std::u16string AnsiToWide(std::string_view s) {
    std::u16string r;
    r.reserve(s.size());
    for (char c : s) {
        const unsigned char b = Byte(c);
        r.push_back(b >= 0x80 && b <= 0x9F ? Cp1252High[b - 0x80] : char16_t{b});
    }
    return r;
}

std::string WideToAnsi(std::u16string_view s) {
    std::string r;
    r.reserve(s.size());
    for (char16_t c : s) {
        if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) {
            r.push_back(static_cast<char>(c));
            continue;
        }
        const auto* hit = std::find(std::begin(Cp1252High), std::end(Cp1252High), c);
        r.push_back(hit != std::end(Cp1252High) ? static_cast<char>(0x80 + (hit - std::begin(Cp1252High)))
                                                : '?');
    }
    return r;
}

// ---- file names ------------------------------------------------------------------

namespace {
const std::string PathDelims = "\\/:";
const std::string ExtDelims = ".\\/:";

bool IsPathDelim(char c) noexcept {
    return c == '\\' || c == '/';
}
} // namespace

int32_t LastDelimiter(const std::string& delims, const std::string& s) noexcept {
    for (size_t i = s.size(); i > 0; --i)
        if (delims.find(s[i - 1]) != std::string::npos) return static_cast<int32_t>(i);
    return 0;
}

std::string ExtractFileName(const std::string& path) {
    return path.substr(static_cast<size_t>(LastDelimiter(PathDelims, path)));
}

std::string ExtractFilePath(const std::string& path) {
    return path.substr(0, static_cast<size_t>(LastDelimiter(PathDelims, path)));
}

std::string ExtractFileDir(const std::string& path) {
    int32_t i = LastDelimiter(PathDelims, path);
    // Keep the delimiter of a root ("/", "C:\", "\\"), drop any other.
    if (i > 1 && IsPathDelim(path[static_cast<size_t>(i - 1)]) &&
        !IsPathDelim(path[static_cast<size_t>(i - 2)]) && path[static_cast<size_t>(i - 2)] != ':')
        --i;
    return path.substr(0, static_cast<size_t>(i));
}

std::string ExtractFileExt(const std::string& path) {
    const int32_t i = LastDelimiter(ExtDelims, path);
    if (i > 0 && path[static_cast<size_t>(i - 1)] == '.') return path.substr(static_cast<size_t>(i - 1));
    return std::string();
}

std::string ChangeFileExt(const std::string& path, const std::string& ext) {
    int32_t i = LastDelimiter(ExtDelims, path);
    if (i == 0 || path[static_cast<size_t>(i - 1)] != '.') i = static_cast<int32_t>(path.size()) + 1;
    return path.substr(0, static_cast<size_t>(i - 1)) + ext;
}

// ---- quoting -----------------------------------------------------------------------

std::string AnsiExtractQuotedStr(const char*& src, char quote) {
    std::string result;
    if (!src || *src != quote) return result;
    const char* p = src + 1;
    while (*p != '\0') {
        if (*p == quote) {
            if (p[1] != quote) {
                src = p + 1;
                return result;
            }
            ++p; // a doubled quote stands for one
        }
        result.push_back(*p);
        ++p;
    }
    src = p; // unterminated: everything up to the end
    return result;
}

std::string AnsiQuotedStr(const std::string& s, char quote) {
    std::string r(1, quote);
    for (char c : s) {
        r.push_back(c);
        if (c == quote) r.push_back(c);
    }
    r.push_back(quote);
    return r;
}

std::string QuotedStr(const std::string& s) {
    return AnsiQuotedStr(s, '\'');
}

// ---- numbers ---------------------------------------------------------------------

bool TryStrToInt64(const std::string& s, int64_t& value) noexcept {
    size_t i = 0;
    while (i < s.size() && Byte(s[i]) <= ' ')
        ++i;
    bool negative = false;
    if (i < s.size() && (s[i] == '-' || s[i] == '+')) negative = s[i++] == '-';
    int base = 10;
    if (i < s.size() && s[i] == '$') {
        base = 16;
        ++i;
    } else if (i + 1 < s.size() && s[i] == '0' && (s[i + 1] == 'x' || s[i + 1] == 'X')) {
        base = 16;
        i += 2;
    }
    if (i >= s.size()) return false;
    uint64_t magnitude = 0;
    const auto res = std::from_chars(s.data() + i, s.data() + s.size(), magnitude, base);
    if (res.ec != std::errc() || res.ptr != s.data() + s.size()) return false;
    if (negative) {
        if (magnitude > uint64_t{INT64_MAX} + 1) return false;
        value = static_cast<int64_t>(uint64_t{0} - magnitude);
    } else {
        if (magnitude > uint64_t{INT64_MAX}) return false;
        value = static_cast<int64_t>(magnitude);
    }
    return true;
}

bool TryStrToInt(const std::string& s, int32_t& value) noexcept {
    int64_t v;
    if (!TryStrToInt64(s, v) || v < INT32_MIN || v > INT32_MAX) return false;
    value = static_cast<int32_t>(v);
    return true;
}

int32_t StrToInt(const std::string& s) {
    int32_t v;
    if (!TryStrToInt(s, v)) throw EConvertError("'" + s + "' is not a valid integer value");
    return v;
}

int64_t StrToInt64(const std::string& s) {
    int64_t v;
    if (!TryStrToInt64(s, v)) throw EConvertError("'" + s + "' is not a valid integer value");
    return v;
}

int32_t StrToIntDef(const std::string& s, int32_t def) noexcept {
    int32_t v;
    return TryStrToInt(s, v) ? v : def;
}

int64_t StrToInt64Def(const std::string& s, int64_t def) noexcept {
    int64_t v;
    return TryStrToInt64(s, v) ? v : def;
}

std::string IntToStr(int32_t value) {
    return std::to_string(value);
}

std::string IntToStr(int64_t value) {
    return std::to_string(value);
}

namespace {
std::string Hex(uint64_t value, int32_t digits) {
    char buf[32];
    const auto res = std::to_chars(buf, buf + sizeof buf, value, 16);
    std::string r(buf, res.ptr);
    std::transform(r.begin(), r.end(), r.begin(), AsciiUpper);
    if (digits > static_cast<int32_t>(r.size())) r.insert(0, static_cast<size_t>(digits) - r.size(), '0');
    return r;
}
} // namespace

std::string IntToHex(int32_t value, int32_t digits) {
    return Hex(static_cast<uint32_t>(value), digits);
}

std::string IntToHex(int64_t value, int32_t digits) {
    return Hex(static_cast<uint64_t>(value), digits);
}

bool TryStrToFloat(const std::string& s, double& value) noexcept {
    std::string t = Trim(s);
    if (t.empty()) return false;
    const char* first = t.data();
    const char* last = t.data() + t.size();
    if (*first == '+') {
        ++first;
        if (first == last || *first == '-') return false;
    }
    const auto res = std::from_chars(first, last, value, std::chars_format::general);
    return res.ec == std::errc() && res.ptr == last;
}

double StrToFloat(const std::string& s) {
    double v;
    if (!TryStrToFloat(s, v)) throw EConvertError("'" + s + "' is not a valid floating point value");
    return v;
}

std::string FloatToStr(double value) {
    if (std::isnan(value)) return "NAN";
    if (std::isinf(value)) return value < 0 ? "-INF" : "INF";
    char buf[64];
    const auto res = std::to_chars(buf, buf + sizeof buf, value);
    return std::string(buf, res.ptr);
}

// ---- Format --------------------------------------------------------------------

namespace {

[[noreturn]] void BadFormat(const std::string& fmt) {
    throw EConvertError("Format '" + fmt + "' invalid or incompatible with argument");
}

bool IsIntegral(const Variant& v) noexcept {
    switch (v.VarType()) {
    case varSmallint:
    case varInteger:
    case varShortInt:
    case varByte:
    case varWord:
    case varLongWord:
    case varInt64:
        return true;
    default:
        return false;
    }
}

bool IsFloating(const Variant& v) noexcept {
    const TVarType t = v.VarType();
    return IsIntegral(v) || t == varSingle || t == varDouble || t == varCurrency || t == varDate;
}

constexpr int32_t MaxFloatDigits = 18;
// Widths and precisions above this are refused: no text needs them, and
// honouring 2^31 would mean allocating that much.
constexpr int32_t MaxFormatWidth = 65535;

std::string NonFinite(double v) {
    return FloatToStr(v);
}

std::string FixedText(double v, int32_t decimals) {
    if (!std::isfinite(v)) return NonFinite(v);
    const int n = std::snprintf(nullptr, 0, "%.*f", decimals, v);
    std::string r(static_cast<size_t>(n), '\0');
    std::snprintf(r.data(), r.size() + 1, "%.*f", decimals, v);
    return r;
}

// An amount's fixed text from its exact scaled value: a double holds only
// 15-16 of its up to 19 digits. Rounds half away from zero, as the host does.
std::string CurrencyFixedText(Currency c, int32_t decimals) {
    const bool negative = c.Value < 0;
    const uint64_t magnitude =
        negative ? uint64_t{0} - static_cast<uint64_t>(c.Value) : static_cast<uint64_t>(c.Value);
    constexpr uint64_t scale = Currency::Scale;
    uint64_t whole = magnitude / scale, frac = magnitude % scale;
    std::string fracText;
    if (decimals >= 4) {
        fracText =
            std::to_string(frac + scale).substr(1) + std::string(static_cast<size_t>(decimals - 4), '0');
    } else {
        uint64_t unit = 1; // the part of a ten-thousandth that goes
        for (int32_t k = decimals; k < 4; ++k)
            unit *= 10;
        uint64_t kept = frac / unit;
        if ((frac % unit) * 2 >= unit) ++kept;
        uint64_t limit = scale / unit; // 10^decimals
        if (kept == limit) {
            kept = 0;
            ++whole; // fits: the highest magnitude's whole part is far below 2^64
        }
        if (decimals > 0) fracText = std::to_string(kept + limit).substr(1);
    }
    std::string r = negative ? "-" : "";
    r += std::to_string(whole);
    if (decimals > 0) r += '.' + fracText;
    return r;
}

std::string WithThousands(const std::string& fixed) {
    if (fixed.empty() || !std::isdigit(Byte(fixed.back()))) return fixed; // NAN, INF
    const size_t sign = fixed[0] == '-' ? 1 : 0;
    size_t end = fixed.find('.');
    if (end == std::string::npos) end = fixed.size();
    std::string r = fixed.substr(0, sign);
    const std::string digits = fixed.substr(sign, end - sign);
    for (size_t i = 0; i < digits.size(); ++i) {
        if (i > 0 && (digits.size() - i) % 3 == 0) r.push_back(',');
        r.push_back(digits[i]);
    }
    return r + fixed.substr(end);
}

std::string ScientificText(double v, int32_t digits) {
    if (!std::isfinite(v)) return NonFinite(v);
    // A double has no more than 18 significant digits worth writing, as the host counts them.
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.*E", std::clamp(digits, 1, MaxFloatDigits) - 1, v);
    std::string r(buf);
    // The host writes at least three exponent digits: 1.5E+003.
    const size_t e = r.find('E');
    std::string exponent = r.substr(e + 2);
    while (exponent.size() < 3)
        exponent.insert(0, "0");
    return r.substr(0, e + 2) + exponent;
}

std::string GeneralText(double v, int32_t digits) {
    if (!std::isfinite(v)) return NonFinite(v);
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.*G", std::clamp(digits, 1, 17), v);
    return buf;
}

} // namespace

std::string Format(const std::string& fmt, std::span<const Variant> args) {
    std::string out;
    size_t next = 0; // next argument
    auto takeInt = [&]() -> int32_t {
        if (next >= args.size() || !IsIntegral(args[next])) BadFormat(fmt);
        return args[next++].AsInteger();
    };
    size_t i = 0;
    const size_t n = fmt.size();
    while (i < n) {
        const char c = fmt[i++];
        if (c != '%') {
            out.push_back(c);
            continue;
        }
        if (i >= n) BadFormat(fmt);
        if (fmt[i] == '%') {
            out.push_back('%');
            ++i;
            continue;
        }
        // [index ":"] ["-"] [width] ["." prec] type
        auto readNumber = [&](int32_t& value) -> bool {
            if (i < n && fmt[i] == '*') {
                ++i;
                value = takeInt();
                return true;
            }
            if (i >= n || !std::isdigit(Byte(fmt[i]))) return false;
            int64_t v = 0;
            while (i < n && std::isdigit(Byte(fmt[i]))) {
                v = v * 10 + (fmt[i++] - '0');
                if (v > INT32_MAX) BadFormat(fmt);
            }
            value = static_cast<int32_t>(v);
            return true;
        };
        auto checkSize = [&](int32_t value) {
            if (value > MaxFormatWidth) BadFormat(fmt);
        };
        int32_t width = -1, prec = -1, number = 0;
        bool left = false;
        bool haveNumber = readNumber(number);
        if (haveNumber && i < n && fmt[i] == ':') {
            ++i;
            if (number < 0) BadFormat(fmt);
            next = static_cast<size_t>(number);
            haveNumber = false;
        }
        if (!haveNumber) {
            if (i < n && fmt[i] == '-') {
                left = true;
                ++i;
            }
            haveNumber = readNumber(number);
        }
        if (haveNumber) width = number;
        if (i < n && fmt[i] == '.') {
            ++i;
            if (!readNumber(prec)) BadFormat(fmt);
        }
        checkSize(width);
        checkSize(prec);
        if (i >= n) BadFormat(fmt);
        const char type = AsciiLower(fmt[i++]);
        if (next >= args.size()) BadFormat(fmt);
        const Variant& arg = args[next++];
        std::string text;
        switch (type) {
        case 'd': {
            if (!IsIntegral(arg)) BadFormat(fmt);
            const int64_t v = arg.AsInt64();
            const uint64_t mag = v < 0 ? uint64_t{0} - static_cast<uint64_t>(v) : static_cast<uint64_t>(v);
            std::string digits = std::to_string(mag);
            if (prec > static_cast<int32_t>(digits.size()))
                digits.insert(0, static_cast<size_t>(prec) - digits.size(), '0');
            text = v < 0 ? "-" + digits : digits;
            break;
        }
        case 'u':
        case 'x':
        case 'p': {
            if (!IsIntegral(arg)) BadFormat(fmt);
            const int64_t v = arg.AsInt64();
            // Negative values read as their two's complement of the argument's width.
            const uint64_t u =
                arg.VarType() == varInt64 ? static_cast<uint64_t>(v) : uint64_t{static_cast<uint32_t>(v)};
            if (type == 'u') {
                text = std::to_string(u);
                if (prec > static_cast<int32_t>(text.size()))
                    text.insert(0, static_cast<size_t>(prec) - text.size(), '0');
            } else if (type == 'x') {
                text = Hex(u, prec);
            } else {
                text = Hex(u, u > UINT32_MAX ? 16 : 8);
            }
            break;
        }
        case 'e':
        case 'f':
        case 'g':
        case 'n':
        case 'm': {
            if (!IsFloating(arg)) BadFormat(fmt);
            const double v = arg.AsDouble();
            if (type == 'e')
                text = ScientificText(v, prec < 0 ? 15 : prec);
            else if (type == 'g')
                text = GeneralText(v, prec < 0 ? 15 : prec);
            else {
                const int32_t decimals = std::clamp(prec < 0 ? 2 : prec, 0, 18);
                text = arg.VarType() == varCurrency ? CurrencyFixedText(arg.AsCurrency(), decimals)
                                                    : FixedText(v, decimals);
                if (type != 'f') text = WithThousands(text);
            }
            break;
        }
        case 's': {
            if (arg.IsArray()) BadFormat(fmt);
            text = VarToStr(arg);
            if (prec >= 0 && static_cast<size_t>(prec) < text.size()) text.resize(static_cast<size_t>(prec));
            break;
        }
        default:
            BadFormat(fmt);
        }
        if (width > static_cast<int32_t>(text.size())) {
            const std::string pad(static_cast<size_t>(width) - text.size(), ' ');
            text = left ? text + pad : pad + text;
        }
        out += text;
    }
    return out;
}

std::string Format(const std::string& fmt, std::initializer_list<Variant> args) {
    return Format(fmt, std::span<const Variant>(args.begin(), args.size()));
}

void DatabaseErrorFmt(const std::string& fmt, std::span<const Variant> args, const TComponent* component) {
    DatabaseError(Format(fmt, args), component);
}

void DatabaseErrorFmt(const std::string& fmt, std::initializer_list<Variant> args,
                      const TComponent* component) {
    DatabaseError(Format(fmt, args), component);
}

} // namespace host
