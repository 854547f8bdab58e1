// Stand-ins for the Win32 version-information calls: read the VS_VERSIONINFO
// resource out of a PE file (PE32 or PE32+) and query its fixed block, its
// translation table and its string values.
//
// Every offset and length taken from the file is checked against the file and
// the resource before it is read; a missing, non-PE, truncated or corrupted
// file makes the calls fail (0 / false), never throw or read out of bounds.
#pragma once

#include <cstdint>

namespace host {

constexpr uint32_t VS_FFI_SIGNATURE = 0xFEEF04BD;
constexpr uint32_t VS_FFI_STRUCVERSION = 0x00010000;
constexpr uint32_t VS_FFI_FILEFLAGSMASK = 0x0000003F;
constexpr uint32_t VS_FF_DEBUG = 0x00000001;
constexpr uint32_t VS_FF_PRERELEASE = 0x00000002;
constexpr uint32_t VS_FF_PATCHED = 0x00000004;
constexpr uint32_t VS_FF_PRIVATEBUILD = 0x00000008;
constexpr uint32_t VS_FF_INFOINFERRED = 0x00000010;
constexpr uint32_t VS_FF_SPECIALBUILD = 0x00000020;
constexpr uint32_t VOS_NT_WINDOWS32 = 0x00040004;
constexpr uint32_t VFT_APP = 0x00000001;
constexpr uint32_t VFT_DLL = 0x00000002;

// The fixed part of a version resource, as stored in the file (52 bytes).
struct VS_FIXEDFILEINFO {
    uint32_t dwSignature;        // VS_FFI_SIGNATURE
    uint32_t dwStrucVersion;     // binary version of this structure
    uint32_t dwFileVersionMS;    // file version: major << 16 | minor
    uint32_t dwFileVersionLS;    // file version: release << 16 | build
    uint32_t dwProductVersionMS; // product version: major << 16 | minor
    uint32_t dwProductVersionLS; // product version: release << 16 | build
    uint32_t dwFileFlagsMask;    // which bits of dwFileFlags are valid
    uint32_t dwFileFlags;        // VS_FF_*
    uint32_t dwFileOS;           // VOS_*
    uint32_t dwFileType;         // VFT_*
    uint32_t dwFileSubtype;      // VFT2_*
    uint32_t dwFileDateMS;       // file date, high part (usually 0)
    uint32_t dwFileDateLS;       // file date, low part (usually 0)
};
static_assert(sizeof(VS_FIXEDFILEINFO) == 52);

// Size in bytes of the block GetFileVersionInfoA needs for `fileName`, or 0
// when the file has no readable version resource. `*handle` (when not null)
// is set to 0, as on Windows.
uint32_t GetFileVersionInfoSizeA(const char* fileName, uint32_t* handle);

// Reads the version resource of `fileName` into `data` (`len` bytes, normally
// the size GetFileVersionInfoSizeA gave). A smaller `len` keeps what fits, as
// on Windows; queries then fail unless the whole resource copy and, for a
// string, its ANSI form lie within it. `handle` is ignored. Returns false
// when the resource cannot be read or `len` cannot hold even the block's header.
//
// The block holds the resource as stored (UTF-16 strings) and, beside it, every
// string value already converted to ANSI (Windows-1252, best fit as for
// CharToOemBuffA), so VerQueryValueA can hand out pointers without writing to
// the block.
bool GetFileVersionInfoA(const char* fileName, uint32_t handle, uint32_t len, void* data);

// Looks up `subBlock` in a block filled by GetFileVersionInfoA. Path parts are
// separated by '\' and matched without regard to ASCII case:
//   "\"                                        the VS_FIXEDFILEINFO; *len = 52
//   "\VarFileInfo\Translation"                  pairs of uint16_t (language, code page);
//                                               *len = size in bytes
//   "\StringFileInfo\040904E4\ProductVersion"   the value as an ANSI, NUL-terminated
//                                               string; *len = characters including the
//                                               NUL (0 for an empty value)
// Any other node answers with its raw value (bytes) when it has one.
// *buffer points into `block` and stays valid as long as the block does.
// Returns false (leaving the outputs alone) for a missing node, an empty binary value,
// a block GetFileVersionInfoA did not fill, or a damaged resource.
bool VerQueryValueA(const void* block, const char* subBlock, void** buffer, uint32_t* len);

} // namespace host
