// Reads VS_VERSIONINFO resources out of PE files for the version-information
// calls of host/Version.h. The file is walked as the loader would: DOS header,
// PE signature, optional header's resource directory, section table, then the
// three-level resource tree (type RT_VERSION, first name, first language).
#include "host/Version.h"

#include "host/Windows.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <optional>
#include <string_view>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace host {

namespace {

constexpr uint32_t kRtVersion = 16;
constexpr size_t kMaxFileSize = size_t(256) << 20; // version info never needs more; refuse absurd files
constexpr int kMaxTreeDepth = 8;                   // real resources nest four deep
constexpr int kMaxPathParts = 16;

// Bounds-checked little-endian reads; every accessor fails instead of reading past `size`.
struct TBytes {
    const uint8_t* data = nullptr;
    size_t size = 0;

    bool Has(size_t off, size_t n) const { return off <= size && n <= size - off; }
    std::optional<uint16_t> U16(size_t off) const {
        if (!Has(off, 2)) return std::nullopt;
        return static_cast<uint16_t>(data[off] | data[off + 1] << 8);
    }
    std::optional<uint32_t> U32(size_t off) const {
        if (!Has(off, 4)) return std::nullopt;
        return static_cast<uint32_t>(data[off]) | static_cast<uint32_t>(data[off + 1]) << 8 |
               static_cast<uint32_t>(data[off + 2]) << 16 | static_cast<uint32_t>(data[off + 3]) << 24;
    }
};

size_t Align4(size_t v) {
    return (v + 3) & ~size_t(3);
}

// ---------------------------------------------------------------------------
// Files and the PE layout
// ---------------------------------------------------------------------------

bool ReadWholeFile(const char* fileName, std::vector<uint8_t>& out) {
    if (fileName == nullptr || *fileName == '\0') return false;
    int fd = ::open(fileName, O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    struct stat st {};
    bool ok = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_size > 0 &&
              static_cast<uint64_t>(st.st_size) <= kMaxFileSize;
    if (ok) {
        out.resize(static_cast<size_t>(st.st_size));
        size_t done = 0;
        while (done < out.size()) {
            ssize_t got = ::read(fd, out.data() + done, out.size() - done);
            if (got < 0 && errno == EINTR) continue;
            if (got <= 0) break;
            done += static_cast<size_t>(got);
        }
        // A file that shrank while being read is as good as truncated.
        out.resize(done);
    }
    ::close(fd);
    return ok && !out.empty();
}

struct TSection {
    uint32_t virtualAddress;
    uint32_t rawSize;
    uint32_t rawPointer;
};

// The file window [offset, offset + available) that backs `rva`, limited to the
// containing section's raw data and to the file itself.
bool MapRva(const TBytes& file, const std::vector<TSection>& sections, uint32_t rva, size_t& offset,
            size_t& available) {
    for (const TSection& s : sections) {
        if (rva < s.virtualAddress || rva - s.virtualAddress >= s.rawSize) continue;
        uint64_t off = uint64_t(s.rawPointer) + (rva - s.virtualAddress);
        uint64_t end = std::min<uint64_t>(uint64_t(s.rawPointer) + s.rawSize, file.size);
        if (off >= end) return false;
        offset = static_cast<size_t>(off);
        available = static_cast<size_t>(end - off);
        return true;
    }
    return false;
}

// One resource directory entry: the subdirectory or data entry it points to.
struct TResEntry {
    uint32_t id;
    bool named;
    bool isDirectory;
    uint32_t target; // offset from the start of the resource tree
};

bool ReadDirectory(const TBytes& tree, size_t dirOffset, std::vector<TResEntry>& entries) {
    auto named = tree.U16(dirOffset + 12);
    auto ids = tree.U16(dirOffset + 14);
    if (!named || !ids) return false;
    size_t count = size_t(*named) + *ids;
    if (!tree.Has(dirOffset + 16, count * 8)) return false;
    entries.clear();
    for (size_t i = 0; i < count; ++i) {
        uint32_t name = *tree.U32(dirOffset + 16 + i * 8);
        uint32_t data = *tree.U32(dirOffset + 16 + i * 8 + 4);
        entries.push_back(
            {name & 0x7FFFFFFF, (name & 0x80000000) != 0, (data & 0x80000000) != 0, data & 0x7FFFFFFF});
    }
    return true;
}

// Finds the VS_VERSIONINFO resource: its file offset and its size in bytes.
bool FindVersionResource(const TBytes& file, size_t& resOffset, size_t& resSize) {
    if (file.size < 64 || file.data[0] != 'M' || file.data[1] != 'Z') return false;
    auto lfanew = file.U32(0x3C);
    if (!lfanew || !file.Has(*lfanew, 24)) return false;
    size_t pe = *lfanew;
    if (std::memcmp(file.data + pe, "PE\0\0", 4) != 0) return false;
    uint16_t sectionCount = *file.U16(pe + 6);
    uint16_t optionalSize = *file.U16(pe + 20);
    size_t opt = pe + 24;
    auto magic = file.U16(opt);
    if (!magic) return false;
    size_t countField, dirStart;
    if (*magic == 0x10B) {
        countField = 92;
        dirStart = 96;
    } else if (*magic == 0x20B) {
        countField = 108;
        dirStart = 112;
    } else {
        return false;
    }
    auto dirCount = file.U32(opt + countField);
    constexpr size_t kResourceIndex = 2;
    if (!dirCount || *dirCount <= kResourceIndex) return false;
    size_t resDirField = dirStart + kResourceIndex * 8;
    if (resDirField + 8 > optionalSize) return false;
    auto resRva = file.U32(opt + resDirField);
    if (!resRva || *resRva == 0) return false;

    size_t sectionTable = opt + optionalSize;
    if (!file.Has(sectionTable, size_t(sectionCount) * 40)) return false;
    std::vector<TSection> sections;
    for (size_t i = 0; i < sectionCount; ++i) {
        size_t s = sectionTable + i * 40;
        sections.push_back({*file.U32(s + 12), *file.U32(s + 16), *file.U32(s + 20)});
    }

    size_t treeOffset = 0, treeSize = 0;
    if (!MapRva(file, sections, *resRva, treeOffset, treeSize)) return false;
    TBytes tree{file.data + treeOffset, treeSize};

    // Type RT_VERSION, then whichever name and language come first.
    std::vector<TResEntry> entries;
    if (!ReadDirectory(tree, 0, entries)) return false;
    auto type = std::find_if(entries.begin(), entries.end(),
                             [](const TResEntry& e) { return !e.named && e.id == kRtVersion; });
    if (type == entries.end() || !type->isDirectory) return false;
    if (!ReadDirectory(tree, type->target, entries) || entries.empty() || !entries[0].isDirectory)
        return false;
    if (!ReadDirectory(tree, entries[0].target, entries) || entries.empty() || entries[0].isDirectory)
        return false;
    auto dataRva = tree.U32(entries[0].target);
    auto dataSize = tree.U32(entries[0].target + 4);
    if (!dataRva || !dataSize) return false;

    size_t dataOffset = 0, dataAvailable = 0;
    if (!MapRva(file, sections, *dataRva, dataOffset, dataAvailable)) return false;
    if (*dataSize > dataAvailable) return false;
    resOffset = dataOffset;
    resSize = *dataSize;
    return true;
}

// ---------------------------------------------------------------------------
// The VS_VERSIONINFO tree. Every node: wLength, wValueLength, wType, a
// NUL-terminated UTF-16 key, padding to 4, the value, padding to 4, children.
// Offsets are relative to the start of the resource, which is where the
// format's 4-byte alignment is counted from.
// ---------------------------------------------------------------------------

struct TNode {
    size_t end = 0;
    size_t keyStart = 0;
    size_t keyUnits = 0;
    bool isText = false;
    size_t valueStart = 0;
    size_t valueBytes = 0;
    size_t childrenStart = 0;
};

bool ParseNode(const TBytes& raw, size_t off, TNode& node) {
    auto length = raw.U16(off);
    auto valueLength = raw.U16(off + 2);
    auto type = raw.U16(off + 4);
    if (!length || !valueLength || !type || *length < 6 || !raw.Has(off, *length)) return false;
    node.end = off + *length;
    node.keyStart = off + 6;
    size_t pos = node.keyStart;
    while (true) {
        if (pos + 2 > node.end) return false;
        if (raw.data[pos] == 0 && raw.data[pos + 1] == 0) break;
        pos += 2;
    }
    node.keyUnits = (pos - node.keyStart) / 2;
    node.isText = *type == 1;
    node.valueStart = std::min(Align4(pos + 2), node.end);
    size_t room = node.end - node.valueStart;
    if (node.isText) {
        // Some resource compilers count text values in bytes, not characters;
        // either way the value cannot reach past its node.
        node.valueBytes = std::min<size_t>(size_t(*valueLength) * 2, room & ~size_t(1));
    } else {
        if (*valueLength > room) return false;
        node.valueBytes = *valueLength;
    }
    node.childrenStart = std::min(Align4(node.valueStart + node.valueBytes), node.end);
    return true;
}

// Calls `visit` for each child of `parent` in order; stops at the first one
// that does not parse. Returns false when visit asked to stop.
template <typename F> bool ForEachChild(const TBytes& raw, const TNode& parent, F&& visit) {
    size_t off = parent.childrenStart;
    while (off + 6 <= parent.end) {
        TNode child;
        if (!ParseNode(raw, off, child) || child.end > parent.end) return true;
        if (!visit(child)) return false;
        off = Align4(child.end);
    }
    return true;
}

char16_t KeyUnit(const TBytes& raw, const TNode& node, size_t i) {
    return static_cast<char16_t>(*raw.U16(node.keyStart + i * 2));
}

uint32_t FoldAscii(uint32_t c) {
    return c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c;
}

bool KeyEquals(const TBytes& raw, const TNode& node, std::string_view name) {
    if (node.keyUnits != name.size()) return false;
    for (size_t i = 0; i < name.size(); ++i)
        if (FoldAscii(KeyUnit(raw, node, i)) != FoldAscii(AnsiByteToUnicode(static_cast<uint8_t>(name[i]))))
            return false;
    return true;
}

// ---------------------------------------------------------------------------
// The block handed to the caller:
//   0   "LVI1"         marks a block this module filled
//   4   total size     as GetFileVersionInfoSizeA reported it
//   8   available      bytes actually written (less when the caller's buffer was short)
//   12  raw length     length of the resource copy
//   16  the resource as stored in the file, padded to 4
//   ..  ANSI area: each text value converted to Windows-1252 at the same
//       offset its UTF-16 form has in the resource copy, NUL-terminated
// ---------------------------------------------------------------------------

constexpr char kMagic[4] = {'L', 'V', 'I', '1'};
constexpr size_t kHeaderSize = 16;

size_t AnsiAreaOffset(size_t rawLen) {
    return kHeaderSize + Align4(rawLen);
}
// A UTF-16 value of n units at offset r takes r + n + 1 ANSI bytes; values end
// inside the resource, so only an empty value at its very end needs the slack.
size_t BlockSize(size_t rawLen) {
    return AnsiAreaOffset(rawLen) + rawLen + 4;
}

void ConvertTextValues(const TBytes& raw, const TNode& node, uint8_t* ansi, int depth) {
    if (node.isText) {
        size_t units = node.valueBytes / 2;
        for (size_t i = 0; i < units; ++i)
            ansi[node.valueStart + i] = UnicodeToAnsiByte(*raw.U16(node.valueStart + i * 2));
        ansi[node.valueStart + units] = 0;
    }
    if (depth >= kMaxTreeDepth) return;
    ForEachChild(raw, node, [&](const TNode& child) {
        ConvertTextValues(raw, child, ansi, depth + 1);
        return true;
    });
}

// Loads the resource from `fileName` and checks that its root is a VS_VERSIONINFO.
bool LoadResource(const char* fileName, std::vector<uint8_t>& resource) {
    std::vector<uint8_t> file;
    if (!ReadWholeFile(fileName, file)) return false;
    size_t offset = 0, size = 0;
    if (!FindVersionResource(TBytes{file.data(), file.size()}, offset, size)) return false;
    TBytes raw{file.data() + offset, size};
    TNode root;
    if (!ParseNode(raw, 0, root) || !KeyEquals(raw, root, "VS_VERSION_INFO")) return false;
    // The root's own length excludes whatever padding the linker put after it.
    resource.assign(file.data() + offset, file.data() + offset + root.end);
    return true;
}

struct TBlockView {
    TBytes raw;
    const uint8_t* ansi = nullptr;
    size_t ansiAvailable = 0;
};

bool OpenBlock(const void* block, TBlockView& view) {
    if (block == nullptr) return false;
    const auto* bytes = static_cast<const uint8_t*>(block);
    if (std::memcmp(bytes, kMagic, 4) != 0) return false;
    uint32_t total, available, rawLen;
    std::memcpy(&total, bytes + 4, 4);
    std::memcpy(&available, bytes + 8, 4);
    std::memcpy(&rawLen, bytes + 12, 4);
    if (rawLen > 0xFFFF || total != BlockSize(rawLen) || available > total || available < kHeaderSize)
        return false;
    view.raw = TBytes{bytes + kHeaderSize, std::min<size_t>(rawLen, available - kHeaderSize)};
    size_t ansiOffset = AnsiAreaOffset(rawLen);
    view.ansi = bytes + ansiOffset;
    view.ansiAvailable = available > ansiOffset ? available - ansiOffset : 0;
    return true;
}

} // namespace

uint32_t GetFileVersionInfoSizeA(const char* fileName, uint32_t* handle) {
    if (handle != nullptr) *handle = 0;
    std::vector<uint8_t> resource;
    if (!LoadResource(fileName, resource)) return 0;
    return static_cast<uint32_t>(BlockSize(resource.size()));
}

bool GetFileVersionInfoA(const char* fileName, uint32_t /*handle*/, uint32_t len, void* data) {
    if (data == nullptr || len < kHeaderSize) return false;
    std::vector<uint8_t> resource;
    if (!LoadResource(fileName, resource)) return false;

    std::vector<uint8_t> block(BlockSize(resource.size()), 0);
    std::memcpy(block.data(), kMagic, 4);
    uint32_t total = static_cast<uint32_t>(block.size());
    uint32_t available = std::min(total, len);
    uint32_t rawLen = static_cast<uint32_t>(resource.size());
    std::memcpy(block.data() + 4, &total, 4);
    std::memcpy(block.data() + 8, &available, 4);
    std::memcpy(block.data() + 12, &rawLen, 4);
    std::memcpy(block.data() + kHeaderSize, resource.data(), resource.size());

    TBytes raw{resource.data(), resource.size()};
    TNode root;
    if (!ParseNode(raw, 0, root)) return false;
    ConvertTextValues(raw, root, block.data() + AnsiAreaOffset(resource.size()), 0);

    std::memcpy(data, block.data(), available);
    return true;
}

bool VerQueryValueA(const void* block, const char* subBlock, void** buffer, uint32_t* len) {
    if (subBlock == nullptr || buffer == nullptr) return false;
    TBlockView view;
    if (!OpenBlock(block, view)) return false;
    TNode node;
    if (!ParseNode(view.raw, 0, node)) return false;

    std::string_view path(subBlock);
    bool atRoot = true;
    int parts = 0;
    while (!path.empty()) {
        size_t sep = path.find('\\');
        std::string_view part = path.substr(0, sep);
        path = sep == std::string_view::npos ? std::string_view{} : path.substr(sep + 1);
        if (part.empty()) continue;
        if (++parts > kMaxPathParts) return false;
        bool found = false;
        ForEachChild(view.raw, node, [&](const TNode& child) {
            if (!KeyEquals(view.raw, child, part)) return true;
            node = child;
            found = true;
            return false;
        });
        if (!found) return false;
        atRoot = false;
    }

    if (atRoot) {
        if (node.isText || node.valueBytes < sizeof(VS_FIXEDFILEINFO)) return false;
        if (*view.raw.U32(node.valueStart) != VS_FFI_SIGNATURE) return false;
        *buffer = const_cast<uint8_t*>(view.raw.data + node.valueStart);
        if (len != nullptr) *len = sizeof(VS_FIXEDFILEINFO);
        return true;
    }
    // A container such as StringFileInfo has children, not a value.
    if (node.valueBytes == 0 && node.childrenStart < node.end) return false;
    if (node.isText) {
        size_t units = node.valueBytes / 2;
        if (node.valueStart + units + 1 > view.ansiAvailable) return false;
        const char* text = reinterpret_cast<const char*>(view.ansi + node.valueStart);
        size_t chars = strnlen(text, units);
        *buffer = const_cast<char*>(text);
        if (len != nullptr) *len = static_cast<uint32_t>(chars == 0 ? 0 : chars + 1);
        return true;
    }
    if (node.valueBytes == 0) return false;
    *buffer = const_cast<uint8_t*>(view.raw.data + node.valueStart);
    if (len != nullptr) *len = static_cast<uint32_t>(node.valueBytes);
    return true;
}

} // namespace host
