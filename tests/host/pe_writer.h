// Test helper: builds VS_VERSIONINFO resources and wraps them in minimal PE32 or
// PE32+ images (headers, one .rsrc section holding an RT_VERSION tree), so the
// version-resource reader can be tested on real file layouts without shipping
// binaries. The resource data is the last thing in the file, so any shorter
// prefix of an image lacks part of it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace pe_writer {

using Bytes = std::vector<uint8_t>;

inline void PutU16(Bytes& b, size_t off, uint16_t v) {
    if (b.size() < off + 2) b.resize(off + 2);
    b[off] = static_cast<uint8_t>(v);
    b[off + 1] = static_cast<uint8_t>(v >> 8);
}

inline void PutU32(Bytes& b, size_t off, uint32_t v) {
    PutU16(b, off, static_cast<uint16_t>(v));
    PutU16(b, off + 2, static_cast<uint16_t>(v >> 16));
}

inline void Pad4(Bytes& b) {
    while (b.size() % 4 != 0)
        b.push_back(0);
}

inline void AppendWide(Bytes& b, const std::u16string& s) {
    for (char16_t c : s)
        PutU16(b, b.size(), c);
    PutU16(b, b.size(), 0);
}

// One node of the version tree.
struct Node {
    std::u16string key;
    bool text = false;
    Bytes binaryValue;        // for binary nodes
    std::u16string textValue; // for text nodes (written with its NUL)
    std::vector<Node> children;

    Bytes Encode() const {
        Bytes b(6, 0);
        AppendWide(b, key);
        Pad4(b);
        uint16_t valueLength = 0;
        if (text) {
            if (!textValue.empty()) {
                AppendWide(b, textValue);
                valueLength = static_cast<uint16_t>(textValue.size() + 1);
            }
        } else {
            b.insert(b.end(), binaryValue.begin(), binaryValue.end());
            valueLength = static_cast<uint16_t>(binaryValue.size());
        }
        for (const Node& c : children) {
            Pad4(b);
            Bytes cb = c.Encode();
            b.insert(b.end(), cb.begin(), cb.end());
        }
        PutU16(b, 0, static_cast<uint16_t>(b.size()));
        PutU16(b, 2, valueLength);
        PutU16(b, 4, text ? 1 : 0);
        return b;
    }
};

inline Bytes FixedFileInfo(uint32_t fileMS, uint32_t fileLS, uint32_t productMS, uint32_t productLS) {
    Bytes b(52, 0);
    PutU32(b, 0, 0xFEEF04BD);
    PutU32(b, 4, 0x00010000);
    PutU32(b, 8, fileMS);
    PutU32(b, 12, fileLS);
    PutU32(b, 16, productMS);
    PutU32(b, 20, productLS);
    PutU32(b, 24, 0x3F);
    PutU32(b, 32, 0x00040004);
    PutU32(b, 36, 2);
    return b;
}

inline Node StringEntry(std::u16string name, std::u16string value) {
    Node n;
    n.key = std::move(name);
    n.text = true;
    n.textValue = std::move(value);
    return n;
}

// A VS_VERSIONINFO root: the fixed block when given, one string table for
// `langCodePage` (e.g. u"040904E4") and the matching translation entry.
inline Bytes VersionInfo(const Bytes& fixed, const std::u16string& langCodePage, std::vector<Node> strings,
                         uint16_t language, uint16_t codePage) {
    Node table;
    table.key = langCodePage;
    table.text = true;
    table.children = std::move(strings);
    Node stringFileInfo;
    stringFileInfo.key = u"StringFileInfo";
    stringFileInfo.text = true;
    stringFileInfo.children.push_back(std::move(table));
    Node translation;
    translation.key = u"Translation";
    PutU16(translation.binaryValue, 0, language);
    PutU16(translation.binaryValue, 2, codePage);
    Node varFileInfo;
    varFileInfo.key = u"VarFileInfo";
    varFileInfo.text = true;
    varFileInfo.children.push_back(std::move(translation));
    Node root;
    root.key = u"VS_VERSION_INFO";
    root.binaryValue = fixed;
    root.children.push_back(std::move(stringFileInfo));
    root.children.push_back(std::move(varFileInfo));
    return root.Encode();
}

// A minimal image whose only section is .rsrc. With `withResources` false the
// resource data directory stays empty. `pe32Plus` writes the 64-bit optional header.
inline Bytes Image(const Bytes& versionInfo, bool pe32Plus = false, bool withResources = true) {
    constexpr uint32_t kSectionRva = 0x1000;
    constexpr uint32_t kRawStart = 0x200;
    const size_t optionalSize = pe32Plus ? 240 : 224;

    Bytes b(kRawStart, 0);
    b[0] = 'M';
    b[1] = 'Z';
    PutU32(b, 0x3C, 64);
    const size_t pe = 64;
    b[pe] = 'P';
    b[pe + 1] = 'E';
    PutU16(b, pe + 4, pe32Plus ? 0x8664 : 0x014C); // Machine
    PutU16(b, pe + 6, 1);                          // NumberOfSections
    PutU16(b, pe + 20, static_cast<uint16_t>(optionalSize));
    PutU16(b, pe + 22, 0x2102); // executable, DLL
    const size_t opt = pe + 24;
    PutU16(b, opt, pe32Plus ? 0x20B : 0x10B);
    PutU32(b, opt + 32, 0x1000); // SectionAlignment
    PutU32(b, opt + 36, 0x200);  // FileAlignment
    const size_t countField = pe32Plus ? 108 : 92;
    const size_t dirStart = pe32Plus ? 112 : 96;
    PutU32(b, opt + countField, 16);

    // Resource tree: type 16 -> name 1 -> language 0x409 -> data entry -> data.
    Bytes tree;
    auto directory = [&](uint32_t id, uint32_t target) {
        size_t at = tree.size();
        tree.resize(at + 24, 0);
        PutU16(tree, at + 14, 1);
        PutU32(tree, at + 16, id);
        PutU32(tree, at + 20, target);
    };
    directory(16, 0x80000000u | 24);
    directory(1, 0x80000000u | 48);
    directory(0x409, 72);
    const uint32_t dataOffset = 88;
    tree.resize(dataOffset, 0);
    PutU32(tree, 72, kSectionRva + dataOffset);
    PutU32(tree, 76, static_cast<uint32_t>(versionInfo.size()));
    tree.insert(tree.end(), versionInfo.begin(), versionInfo.end());

    if (withResources) {
        PutU32(b, opt + dirStart + 2 * 8, kSectionRva);
        PutU32(b, opt + dirStart + 2 * 8 + 4, static_cast<uint32_t>(tree.size()));
    }
    const size_t section = opt + optionalSize;
    const char name[8] = {'.', 'r', 's', 'r', 'c', 0, 0, 0};
    for (size_t i = 0; i < 8; ++i)
        b[section + i] = static_cast<uint8_t>(name[i]);
    PutU32(b, section + 8, static_cast<uint32_t>(tree.size()));  // VirtualSize
    PutU32(b, section + 12, kSectionRva);                        // VirtualAddress
    PutU32(b, section + 16, static_cast<uint32_t>(tree.size())); // SizeOfRawData
    PutU32(b, section + 20, kRawStart);                          // PointerToRawData
    PutU32(b, section + 36, 0x40000040);                         // initialised data, readable

    b.insert(b.end(), tree.begin(), tree.end());
    return b;
}

} // namespace pe_writer
