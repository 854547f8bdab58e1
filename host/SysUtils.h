// The host framework's SysUtils helpers: Format, string comparison, case
// folding, trimming, file-name parts, quoting and number/text conversion.
//
// 8-bit text is Windows-1252: UpperCase/LowerCase/CompareText fold ASCII
// letters only; the Ansi... versions also fold the Latin-1 letters
// (e.g. 'e-acute' 0xE9 <-> 0xC9, 0x9A <-> 0x8A). Comparisons are byte-wise
// after folding, never locale-dependent.
//
// File names: both '/' and '\\' separate directories (the host was Windows;
// we run on Linux), and ':' ends a drive ("C:"), as the host treats it.
//
// Numbers as text use the locale-independent form of host/Variant.h ('.' as
// the decimal separator, shortest round-trip text for doubles).
#pragma once

#include "host/Variant.h"

#include <cstdint>
#include <initializer_list>
#include <span>
#include <string>
#include <string_view>

namespace host {

class TComponent;

// Delphi's Format. Specifiers: "%" [index ":"] ["-"] [width] ["." prec] type,
// where index, width and precision may be "*" (taken from the next
// argument, an integer). Types:
//   d  decimal integer (prec = minimum digits, zero-padded)
//   u  unsigned decimal (a negative value reads as its 32-bit, or for Int64
//      values 64-bit, two's complement)
//   x  upper-case hexadecimal (prec = minimum digits)
//   e  scientific "-d.ddd…E+ddd" (prec = significant digits, default 15,
//      at most 18: a larger one writes 18)
//   f  fixed (prec = decimals, default 2)
//   g  general: the shorter of fixed and scientific, no trailing zeros
//      (prec = significant digits, default 15)
//   n  like f with ',' thousands separators
//   m  money: like n (prec default 2); no currency symbol (locale-free)
//   p  pointer-style: an integer as 8 upper-case hex digits (16 when it
//      does not fit 32 bits)
//   s  text: any non-array value converted by VarToStr (prec = max chars)
//   %% a percent sign
// d, u, x and p take integer values (any integer type); e, f, g, n and m take
// floating, currency, date or integer values. A missing argument, a wrong
// argument type, a width or precision above 65535, or a malformed specifier
// raises EConvertError
// ("Format '<fmt>' invalid or incompatible with argument").
std::string Format(const std::string& fmt, std::initializer_list<Variant> args);
std::string Format(const std::string& fmt, std::span<const Variant> args);

// Formats, then raises EDatabaseError through host::DatabaseError.
[[noreturn]] void DatabaseErrorFmt(const std::string& fmt, std::initializer_list<Variant> args,
                                   const TComponent* component = nullptr);
[[noreturn]] void DatabaseErrorFmt(const std::string& fmt, std::span<const Variant> args,
                                   const TComponent* component = nullptr);

// Comparisons: 0 when equal, < 0 when a sorts first, > 0 otherwise.
int32_t CompareStr(const std::string& a, const std::string& b) noexcept;
int32_t CompareText(const std::string& a, const std::string& b) noexcept;     // ASCII folding
int32_t AnsiCompareStr(const std::string& a, const std::string& b) noexcept;  // byte-wise
int32_t AnsiCompareText(const std::string& a, const std::string& b) noexcept; // 1252 folding
bool SameText(const std::string& a, const std::string& b) noexcept;           // CompareText == 0
bool AnsiSameText(const std::string& a, const std::string& b) noexcept;
// NUL-terminated text; a null pointer is the empty text.
uint32_t StrLen(const char* s) noexcept;
int32_t StrComp(const char* a, const char* b) noexcept;
int32_t StrIComp(const char* a, const char* b) noexcept;
// Compare at most maxLen bytes (stopping at a NUL).
int32_t AnsiStrLComp(const char* a, const char* b, uint32_t maxLen) noexcept;
int32_t AnsiStrLIComp(const char* a, const char* b, uint32_t maxLen) noexcept;

int32_t StrLComp(const char* a, const char* b, uint32_t maxLen) noexcept;  // = AnsiStrLComp
int32_t StrLIComp(const char* a, const char* b, uint32_t maxLen) noexcept; // = AnsiStrLIComp

// The host's counted character allocator: a block of `size` bytes
// (uninitialised) that remembers its size. Free with StrDispose (null is
// ignored); never with delete or free.
char* StrAlloc(uint32_t size);
uint32_t StrBufSize(const char* buffer) noexcept;
void StrDispose(char* buffer) noexcept;

// Remove bytes <= ' ' (blanks and control characters).
std::string Trim(const std::string& s);
std::string TrimLeft(const std::string& s);
std::string TrimRight(const std::string& s);
std::string UpperCase(const std::string& s);
std::string LowerCase(const std::string& s);
std::string AnsiUpperCase(const std::string& s);
std::string AnsiLowerCase(const std::string& s);
char AnsiUpperChar(char c) noexcept;
char AnsiLowerChar(char c) noexcept;

// 8-bit (Windows-1252) text to UTF-16 and back; characters that 1252 cannot
// hold become '?'.
std::u16string AnsiToWide(std::string_view s);
std::string WideToAnsi(std::u16string_view s);

// File-name parts. ExtractFilePath keeps the trailing delimiter,
// ExtractFileDir drops it (except for a root such as "/" or "C:\").
std::string ExtractFileName(const std::string& path);
std::string ExtractFileDir(const std::string& path);
std::string ExtractFilePath(const std::string& path);
std::string ExtractFileExt(const std::string& path); // with the dot: ".txt"
std::string ChangeFileExt(const std::string& path, const std::string& ext);

// 1-based position of the last byte of s that occurs in delims; 0 when none.
int32_t LastDelimiter(const std::string& delims, const std::string& s) noexcept;

// Reads a quoted string starting at src. No opening quote: returns "" and
// leaves src unchanged. Otherwise a doubled quote inside is one quote; src
// advances past the closing quote; without a closing quote the rest of the
// text is returned and src points at its terminating NUL.
std::string AnsiExtractQuotedStr(const char*& src, char quote);
// s in quotes, with each quote inside doubled.
std::string AnsiQuotedStr(const std::string& s, char quote);
std::string QuotedStr(const std::string& s); // AnsiQuotedStr(s, '\'')

// Integers: optional leading blanks, sign, decimal digits or "$"/"0x"
// hexadecimal. Raise EConvertError "'<s>' is not a valid integer value"
// (also when the value does not fit: nothing wraps).
int32_t StrToInt(const std::string& s);
int64_t StrToInt64(const std::string& s);
int32_t StrToIntDef(const std::string& s, int32_t def) noexcept;
int64_t StrToInt64Def(const std::string& s, int64_t def) noexcept;
bool TryStrToInt(const std::string& s, int32_t& value) noexcept;
bool TryStrToInt64(const std::string& s, int64_t& value) noexcept;
std::string IntToStr(int32_t value);
std::string IntToStr(int64_t value);
// Upper-case hex, at least `digits` digits; negative values as two's
// complement of their width.
std::string IntToHex(int32_t value, int32_t digits);
std::string IntToHex(int64_t value, int32_t digits);

// Floating point, locale-independent, blanks around the number allowed;
// "NAN" and "INF" in any case read as such. StrToFloat raises EConvertError
// "'<s>' is not a valid floating point value".
double StrToFloat(const std::string& s);
bool TryStrToFloat(const std::string& s, double& value) noexcept;
// Shortest text that reads back as the same double ("0.1", "1e+20", "NAN",
// "INF", "-INF").
std::string FloatToStr(double value);

} // namespace host
