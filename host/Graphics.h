// The host framework's graphics classes, as far as LumraDB needs them: a
// graphic base, a 24-bit bitmap that stores itself in the Windows BMP file
// format, a picture that holds one graphic, and the metafile and icon kinds
// that a picture may hold but that nothing here can turn into bytes.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "host/Classes.h"

namespace host {

class TStream;

// 0x00BBGGRR, as the host framework packs colours.
using TColor = uint32_t;

class TGraphic : public TPersistent {
public:
    TGraphic() = default;
    ~TGraphic() override = default;

    // True when the graphic holds no image.
    virtual bool Empty() const = 0;
    virtual int32_t Width() const = 0;
    virtual int32_t Height() const = 0;

    // Writes the graphic in its own file format at the stream's position.
    virtual void SaveToStream(TStream& stream) const = 0;
    // Replaces the graphic by the one stored at the stream's position.
    // Raises EInvalidGraphic when the bytes are not such a graphic.
    virtual void LoadFromStream(TStream& stream) = 0;

    void SaveToFile(const std::string& fileName) const;
    void LoadFromFile(const std::string& fileName);

    // A new empty graphic of the same class; lets TPicture copy what it holds.
    virtual std::unique_ptr<TGraphic> NewEmpty() const = 0;
};

// A device-independent bitmap kept as 24-bit pixels. Saved as a
// BITMAPFILEHEADER, a BITMAPINFOHEADER and bottom-up rows padded to four
// bytes. Loading accepts uncompressed 24-bit and 32-bit images, top-down or
// bottom-up, and checks every size against the bytes actually present.
class TBitmap : public TGraphic {
public:
    TBitmap() = default;
    ~TBitmap() override = default;

    bool Empty() const override { return FWidth == 0 || FHeight == 0; }
    int32_t Width() const override { return FWidth; }
    int32_t Height() const override { return FHeight; }
    // Resizes to width x height; new pixels are black (0). Negative sizes
    // raise EInvalidGraphicOperation.
    void SetSize(int32_t width, int32_t height);
    void SetWidth(int32_t width) { SetSize(width, FHeight); }
    void SetHeight(int32_t height) { SetSize(FWidth, height); }

    // Pixel access; (0,0) is the top-left corner. Out-of-range coordinates
    // raise EInvalidGraphicOperation.
    TColor Pixel(int32_t x, int32_t y) const;
    void SetPixel(int32_t x, int32_t y, TColor color);

    void SaveToStream(TStream& stream) const override;
    void LoadFromStream(TStream& stream) override;
    std::unique_ptr<TGraphic> NewEmpty() const override { return std::make_unique<TBitmap>(); }

    // Copies another bitmap; any other source goes to the host's rule.
    void Assign(TPersistent* source) override;

    // Upper bound on width x height that loading accepts, so a damaged
    // header cannot make us allocate gigabytes.
    static constexpr int64_t MaxPixels = int64_t(1) << 26;

private:
    int32_t FWidth = 0;
    int32_t FHeight = 0;
    std::vector<TColor> FPixels; // row-major, top row first
};

// Placeholders for the other graphic kinds a picture may hold. They know no
// file format: saving writes nothing and loading raises EInvalidGraphic.
class TMetafile : public TGraphic {
public:
    bool Empty() const override { return true; }
    int32_t Width() const override { return 0; }
    int32_t Height() const override { return 0; }
    void SaveToStream(TStream& stream) const override;
    void LoadFromStream(TStream& stream) override;
    std::unique_ptr<TGraphic> NewEmpty() const override { return std::make_unique<TMetafile>(); }
};

class TIcon : public TGraphic {
public:
    bool Empty() const override { return true; }
    int32_t Width() const override { return 0; }
    int32_t Height() const override { return 0; }
    void SaveToStream(TStream& stream) const override;
    void LoadFromStream(TStream& stream) override;
    std::unique_ptr<TGraphic> NewEmpty() const override { return std::make_unique<TIcon>(); }
};

// Holds at most one graphic, which it owns.
class TPicture : public TPersistent {
public:
    TPicture() = default;
    ~TPicture() override = default;

    // The graphic held, or nullptr.
    TGraphic* Graphic() const { return FGraphic.get(); }
    // Takes ownership of graphic (nullptr empties the picture).
    void SetGraphic(std::unique_ptr<TGraphic> graphic) { FGraphic = std::move(graphic); }
    // The held graphic as a bitmap. As in the host framework, a picture that
    // holds no bitmap has its graphic replaced by a new empty bitmap.
    TBitmap* Bitmap();

    int32_t Width() const { return FGraphic ? FGraphic->Width() : 0; }
    int32_t Height() const { return FGraphic ? FGraphic->Height() : 0; }

    // Copies a picture's graphic or a graphic; nullptr empties the picture.
    void Assign(TPersistent* source) override;

private:
    std::unique_ptr<TGraphic> FGraphic;
};

} // namespace host
