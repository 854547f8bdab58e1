// The small helpers of LmrUtil: list building, file-name prefix, in-place
// trimming of zero-terminated text and the product-version reader.
#include "LmrUtil/LmrUtil.h"

#include "host/Exceptions.h"
#include "host/SysUtils.h"
#include "host/Version.h"

#include <array>
#include <cstdio>
#include <cstring>
#include <vector>

void LmrConcateField(std::string& Text, const std::string& Separator, const std::string& Value) {
    if (!Text.empty()) Text += Separator;
    Text += Value;
}

void LmrConcateEmptyField(std::string& Text, const std::string& Separator, const std::string& Value) {
    if (!Text.empty() && !Value.empty()) Text += Separator;
    Text += Value;
}

std::string LmrExtractFilePrefix(const std::string& FileName) {
    const int I = host::LastDelimiter(".\\:", FileName);
    if (I > 0 && FileName[static_cast<std::size_t>(I) - 1] == '.')
        return FileName.substr(0, static_cast<std::size_t>(I) - 1);
    return FileName;
}

char* LmrTrimTrailBlanks(char* Text) {
    if (Text == nullptr) return Text;
    std::size_t Len = std::strlen(Text);
    while (Len > 0 && static_cast<unsigned char>(Text[Len - 1]) <= 32)
        --Len;
    Text[Len] = '\0';
    return Text;
}

namespace {

// One dotted part of a textual version. The outputs are 16 bits wide, so a
// number that does not fit is refused rather than silently cut down.
uint16_t VersionPart(const std::string& Part) {
    const int32_t Value = host::StrToInt(Part);
    if (Value < 0 || Value > 0xFFFF)
        throw host::EConvertError("'" + Part + "' is not a valid version number part");
    return static_cast<uint16_t>(Value);
}

} // namespace

bool LmrGetProductVersion(const std::string& FileName, uint16_t& Major, uint16_t& Minor, uint16_t& Release,
                          uint16_t& Build) {
    uint32_t Handle = 0;
    const uint32_t Size = host::GetFileVersionInfoSizeA(FileName.c_str(), &Handle);
    if (Size == 0) return false;
    std::vector<unsigned char> Block(Size, 0);
    if (!host::GetFileVersionInfoA(FileName.c_str(), Handle, Size, Block.data())) return false;

    void* Buffer = nullptr;
    uint32_t Len = 0;
    if (!host::VerQueryValueA(Block.data(), "\\", &Buffer, &Len) || Buffer == nullptr ||
        Len < sizeof(host::VS_FIXEDFILEINFO))
        return false;
    host::VS_FIXEDFILEINFO Fixed;
    std::memcpy(&Fixed, Buffer, sizeof Fixed);
    Major = static_cast<uint16_t>(Fixed.dwProductVersionMS >> 16);
    Minor = static_cast<uint16_t>(Fixed.dwProductVersionMS & 0xFFFF);
    Release = static_cast<uint16_t>(Fixed.dwProductVersionLS >> 16);
    Build = static_cast<uint16_t>(Fixed.dwProductVersionLS & 0xFFFF);
    if (Major != 0) return true;

    // Some libraries leave the fixed block's product version at 0 and state it
    // only as text; read the text of the first translation.
    if (!host::VerQueryValueA(Block.data(), "\\VarFileInfo\\Translation", &Buffer, &Len) ||
        Buffer == nullptr || Len < 4)
        return false;
    uint16_t Translation[2];
    std::memcpy(Translation, Buffer, sizeof Translation);
    char Key[64];
    std::snprintf(Key, sizeof Key, "\\StringFileInfo\\%04X%04X\\ProductVersion",
                  static_cast<unsigned>(Translation[0]), static_cast<unsigned>(Translation[1]));
    if (!host::VerQueryValueA(Block.data(), Key, &Buffer, &Len) || Buffer == nullptr) return false;
    const char* Chars = static_cast<const char*>(Buffer);
    std::string Text(Chars, strnlen(Chars, Len));

    // The parts in turn; the last part counts even without a dot after it, and
    // parts the text does not give keep the fixed block's values.
    const std::array<uint16_t*, 4> Parts{&Major, &Minor, &Release, &Build};
    for (uint16_t* Part : Parts) {
        const std::size_t Dot = Text.find('.');
        if (Dot == std::string::npos) {
            if (!Text.empty()) *Part = VersionPart(Text);
            break;
        }
        *Part = VersionPart(Text.substr(0, Dot));
        Text.erase(0, Dot + 1);
    }
    return true;
}
