// Bitmap file reading and writing, and the picture's ownership rules.
#include "host/Graphics.h"

#include <algorithm>
#include <climits>
#include <cstring>

#include "host/Exceptions.h"
#include "host/Streams.h"

namespace host {

namespace {

constexpr uint32_t FileHeaderSize = 14;
constexpr uint32_t InfoHeaderSize = 40;

void PutU16(uint8_t* p, uint16_t v) {
    p[0] = uint8_t(v);
    p[1] = uint8_t(v >> 8);
}

void PutU32(uint8_t* p, uint32_t v) {
    for (int i = 0; i < 4; ++i)
        p[i] = uint8_t(v >> (8 * i));
}

uint16_t GetU16(const uint8_t* p) {
    return uint16_t(p[0] | (p[1] << 8));
}

uint32_t GetU32(const uint8_t* p) {
    return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
}

[[noreturn]] void BadBitmap(const char* why) {
    throw EInvalidGraphic(std::string("Bitmap image is not valid: ") + why);
}

// Reads exactly count bytes or reports a damaged image; the stream's own
// read error would blame the stream, but here the image is what is short.
void ReadExact(TStream& stream, void* buffer, int64_t count) {
    if (stream.Read(buffer, int32_t(count)) != int32_t(count)) BadBitmap("unexpected end of data");
}

} // namespace

void TGraphic::SaveToFile(const std::string& fileName) const {
    TFileStream stream(fileName, fmCreate);
    SaveToStream(stream);
}

void TGraphic::LoadFromFile(const std::string& fileName) {
    TFileStream stream(fileName, fmOpenRead);
    LoadFromStream(stream);
}

void TBitmap::SetSize(int32_t width, int32_t height) {
    if (width < 0 || height < 0 || int64_t(width) * height > MaxPixels)
        throw EInvalidGraphicOperation("Invalid bitmap size");
    if (width == FWidth && height == FHeight) return;
    std::vector<TColor> pixels(size_t(width) * size_t(height), 0);
    for (int32_t y = 0; y < std::min(height, FHeight); ++y)
        for (int32_t x = 0; x < std::min(width, FWidth); ++x)
            pixels[size_t(y) * width + x] = FPixels[size_t(y) * FWidth + x];
    FPixels = std::move(pixels);
    FWidth = width;
    FHeight = height;
}

TColor TBitmap::Pixel(int32_t x, int32_t y) const {
    if (x < 0 || y < 0 || x >= FWidth || y >= FHeight)
        throw EInvalidGraphicOperation("Pixel outside the bitmap");
    return FPixels[size_t(y) * FWidth + x];
}

void TBitmap::SetPixel(int32_t x, int32_t y, TColor color) {
    if (x < 0 || y < 0 || x >= FWidth || y >= FHeight)
        throw EInvalidGraphicOperation("Pixel outside the bitmap");
    FPixels[size_t(y) * FWidth + x] = color & 0x00FFFFFF;
}

void TBitmap::SaveToStream(TStream& stream) const {
    const uint32_t rowSize = (uint32_t(FWidth) * 3 + 3) & ~3u;
    const uint32_t imageSize = rowSize * uint32_t(FHeight);
    uint8_t header[FileHeaderSize + InfoHeaderSize] = {};
    header[0] = 'B';
    header[1] = 'M';
    PutU32(header + 2, FileHeaderSize + InfoHeaderSize + imageSize);
    PutU32(header + 10, FileHeaderSize + InfoHeaderSize);
    uint8_t* info = header + FileHeaderSize;
    PutU32(info + 0, InfoHeaderSize);
    PutU32(info + 4, uint32_t(FWidth));
    PutU32(info + 8, uint32_t(FHeight));
    PutU16(info + 12, 1);  // planes
    PutU16(info + 14, 24); // bits per pixel
    PutU32(info + 16, 0);  // BI_RGB
    PutU32(info + 20, imageSize);
    PutU32(info + 24, 2835); // 72 dpi
    PutU32(info + 28, 2835);
    stream.WriteBuffer(header, sizeof header);

    std::vector<uint8_t> row(rowSize, 0);
    for (int32_t y = FHeight - 1; y >= 0; --y) { // bottom-up, as BMP stores rows
        for (int32_t x = 0; x < FWidth; ++x) {
            const TColor c = FPixels[size_t(y) * FWidth + x];
            row[size_t(x) * 3 + 0] = uint8_t(c >> 16); // blue
            row[size_t(x) * 3 + 1] = uint8_t(c >> 8);  // green
            row[size_t(x) * 3 + 2] = uint8_t(c);       // red
        }
        if (rowSize > 0) stream.WriteBuffer(row.data(), int32_t(rowSize));
    }
}

void TBitmap::LoadFromStream(TStream& stream) {
    uint8_t header[FileHeaderSize + InfoHeaderSize];
    ReadExact(stream, header, sizeof header);
    if (header[0] != 'B' || header[1] != 'M') BadBitmap("no BM signature");
    const uint32_t offBits = GetU32(header + 10);
    const uint8_t* info = header + FileHeaderSize;
    const uint32_t infoSize = GetU32(info + 0);
    const int32_t width = int32_t(GetU32(info + 4));
    const int32_t rawHeight = int32_t(GetU32(info + 8));
    const uint16_t planes = GetU16(info + 12);
    const uint16_t bitCount = GetU16(info + 14);
    const uint32_t compression = GetU32(info + 16);
    if (infoSize < InfoHeaderSize) BadBitmap("unsupported header");
    if (planes != 1 || compression != 0 || (bitCount != 24 && bitCount != 32))
        BadBitmap("only uncompressed 24-bit and 32-bit images are supported");
    if (width < 0 || rawHeight == INT32_MIN) BadBitmap("bad dimensions");
    const bool topDown = rawHeight < 0;
    const int32_t height = topDown ? -rawHeight : rawHeight;
    if (int64_t(width) * height > MaxPixels) BadBitmap("image too large");
    if (offBits < FileHeaderSize + infoSize) BadBitmap("pixel data overlaps the header");

    // Skip whatever lies between the headers we read and the pixel data.
    int64_t gap = int64_t(offBits) - (FileHeaderSize + InfoHeaderSize);
    uint8_t skip[256];
    while (gap > 0) {
        const int64_t n = std::min<int64_t>(gap, sizeof skip);
        ReadExact(stream, skip, n);
        gap -= n;
    }

    const int64_t bytesPerPixel = bitCount / 8;
    const int64_t rowSize = (int64_t(width) * bytesPerPixel + 3) & ~int64_t(3);
    if (rowSize * height > stream.Size() - stream.Position()) BadBitmap("unexpected end of data");

    std::vector<TColor> pixels(size_t(width) * size_t(height), 0);
    std::vector<uint8_t> row(size_t(rowSize), 0);
    for (int32_t i = 0; i < height; ++i) {
        ReadExact(stream, row.data(), rowSize);
        const int32_t y = topDown ? i : height - 1 - i;
        for (int32_t x = 0; x < width; ++x) {
            const uint8_t* p = row.data() + x * bytesPerPixel;
            pixels[size_t(y) * width + x] = TColor(p[2]) | (TColor(p[1]) << 8) | (TColor(p[0]) << 16);
        }
    }
    FPixels = std::move(pixels);
    FWidth = width;
    FHeight = height;
}

void TBitmap::Assign(TPersistent* source) {
    if (auto* other = dynamic_cast<TBitmap*>(source)) {
        FWidth = other->FWidth;
        FHeight = other->FHeight;
        FPixels = other->FPixels;
        return;
    }
    TGraphic::Assign(source);
}

void TMetafile::SaveToStream(TStream&) const {}
void TMetafile::LoadFromStream(TStream&) {
    throw EInvalidGraphic("Metafile images cannot be loaded");
}
void TIcon::SaveToStream(TStream&) const {}
void TIcon::LoadFromStream(TStream&) {
    throw EInvalidGraphic("Icon images cannot be loaded");
}

TBitmap* TPicture::Bitmap() {
    if (auto* bitmap = dynamic_cast<TBitmap*>(FGraphic.get())) return bitmap;
    FGraphic = std::make_unique<TBitmap>();
    return static_cast<TBitmap*>(FGraphic.get());
}

void TPicture::Assign(TPersistent* source) {
    if (source == nullptr) {
        FGraphic.reset();
        return;
    }
    if (auto* picture = dynamic_cast<TPicture*>(source)) {
        if (picture == this) return;
        if (!picture->FGraphic) {
            FGraphic.reset();
            return;
        }
        source = picture->FGraphic.get();
    }
    if (auto* graphic = dynamic_cast<TGraphic*>(source)) {
        auto copy = graphic->NewEmpty();
        if (auto* bitmap = dynamic_cast<TBitmap*>(copy.get())) bitmap->Assign(graphic);
        FGraphic = std::move(copy);
        return;
    }
    TPersistent::Assign(source);
}

} // namespace host
