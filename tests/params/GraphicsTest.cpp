// The bitmap's BMP file form: exact header fields, pixel order and row
// padding, round trips, and the loader's refusal of damaged or foreign data.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "host/Exceptions.h"
#include "host/Graphics.h"
#include "host/Streams.h"

namespace {

std::string Save(const host::TBitmap& bitmap) {
    host::TStringStream stream;
    bitmap.SaveToStream(stream);
    return stream.DataString();
}

uint32_t U32At(const std::string& s, size_t at) {
    uint32_t v = 0;
    for (int i = 3; i >= 0; --i)
        v = (v << 8) | static_cast<uint8_t>(s[at + i]);
    return v;
}

void Load(host::TBitmap& bitmap, const std::string& bytes) {
    host::TStringStream stream(bytes);
    bitmap.LoadFromStream(stream);
}

} // namespace

TEST(Bitmap, SavesA24BitBottomUpFileWithPaddedRows) {
    host::TBitmap bitmap;
    bitmap.SetSize(3, 2); // 9 bytes of pixels per row, padded to 12
    bitmap.SetPixel(0, 0, 0x112233);
    bitmap.SetPixel(2, 1, 0x445566);
    const std::string file = Save(bitmap);
    ASSERT_EQ(file.size(), 14u + 40u + 2u * 12u);
    EXPECT_EQ(file.substr(0, 2), "BM");
    EXPECT_EQ(U32At(file, 2), file.size());
    EXPECT_EQ(U32At(file, 10), 54u);
    EXPECT_EQ(U32At(file, 14), 40u);
    EXPECT_EQ(U32At(file, 18), 3u);
    EXPECT_EQ(U32At(file, 22), 2u);
    EXPECT_EQ(static_cast<uint8_t>(file[28]), 24);
    // The bottom row comes first; pixels are stored blue, green, red.
    EXPECT_EQ(file.substr(54 + 6, 3), "\x44\x55\x66");
    EXPECT_EQ(file.substr(54 + 12, 3), "\x11\x22\x33");
}

TEST(Bitmap, RoundTripsThroughItsOwnFileForm) {
    for (int32_t width : {0, 1, 2, 3, 4, 5}) {
        host::TBitmap bitmap;
        bitmap.SetSize(width, 3);
        for (int32_t y = 0; y < 3; ++y)
            for (int32_t x = 0; x < width; ++x)
                bitmap.SetPixel(x, y, static_cast<host::TColor>(x * 0x010203 + y * 0x300000));
        host::TBitmap back;
        Load(back, Save(bitmap));
        ASSERT_EQ(back.Width(), width);
        ASSERT_EQ(back.Height(), 3);
        for (int32_t y = 0; y < 3; ++y)
            for (int32_t x = 0; x < width; ++x)
                EXPECT_EQ(back.Pixel(x, y), bitmap.Pixel(x, y)) << width << ":" << x << "," << y;
    }
}

TEST(Bitmap, LoadsTopDownImages) {
    host::TBitmap bitmap;
    bitmap.SetSize(1, 2);
    bitmap.SetPixel(0, 0, 0x0000AA);
    bitmap.SetPixel(0, 1, 0x0000BB);
    std::string file = Save(bitmap);
    const int32_t negative = -2;
    std::memcpy(&file[22], &negative, 4);
    std::swap_ranges(file.begin() + 54, file.begin() + 58, file.begin() + 58); // rows in top-down order
    host::TBitmap back;
    Load(back, file);
    EXPECT_EQ(back.Pixel(0, 0), 0x0000AAu);
    EXPECT_EQ(back.Pixel(0, 1), 0x0000BBu);
}

struct DamageCase {
    const char* name;
    size_t at;
    std::vector<uint8_t> bytes; // overwritten at `at`; empty: cut the file at `at`
};

class DamagedBitmap : public ::testing::TestWithParam<DamageCase> {};

TEST_P(DamagedBitmap, IsRejectedAndLeavesTheBitmapUnchanged) {
    host::TBitmap source;
    source.SetSize(4, 4);
    std::string file = Save(source);
    const DamageCase& c = GetParam();
    if (c.bytes.empty())
        file.resize(c.at);
    else
        std::memcpy(&file[c.at], c.bytes.data(), c.bytes.size());

    host::TBitmap target;
    target.SetSize(1, 1);
    target.SetPixel(0, 0, 0x123456);
    EXPECT_THROW(Load(target, file), host::EInvalidGraphic);
    EXPECT_EQ(target.Width(), 1);
    EXPECT_EQ(target.Pixel(0, 0), 0x123456u);
}

INSTANTIATE_TEST_SUITE_P(Cases, DamagedBitmap,
                         ::testing::ValuesIn(std::vector<DamageCase>{
                             {"Empty", 0, {}},
                             {"HeaderCut", 30, {}},
                             {"PixelsCut", 54 + 20, {}},
                             {"NoSignature", 0, {'X', 'Y'}},
                             {"HugeWidth", 18, {0xFF, 0xFF, 0xFF, 0x7F}},
                             {"NegativeWidth", 18, {0xFF, 0xFF, 0xFF, 0xFF}},
                             {"HugeHeightOverflowingRowMath", 22, {0x00, 0x00, 0x00, 0x40}},
                             {"MostNegativeHeight", 22, {0x00, 0x00, 0x00, 0x80}},
                             {"EightBitPalette", 28, {8, 0}},
                             {"Compressed", 30, {1, 0, 0, 0}},
                             {"PixelOffsetInsideHeader", 10, {20, 0, 0, 0}},
                             {"PixelOffsetBeyondEnd", 10, {0xFF, 0xFF, 0xFF, 0x0F}},
                             {"SmallInfoHeader", 14, {12, 0, 0, 0}},
                         }),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(Bitmap, PixelAccessOutsideTheImageRaises) {
    host::TBitmap bitmap;
    bitmap.SetSize(2, 2);
    EXPECT_THROW(bitmap.Pixel(2, 0), host::EInvalidGraphicOperation);
    EXPECT_THROW(bitmap.SetPixel(0, -1, 0), host::EInvalidGraphicOperation);
    EXPECT_THROW(bitmap.SetSize(-1, 1), host::EInvalidGraphicOperation);
}

TEST(Picture, BitmapReplacesAnotherGraphicAndAssignCopies) {
    host::TPicture picture;
    EXPECT_EQ(picture.Graphic(), nullptr);
    picture.SetGraphic(std::make_unique<host::TIcon>());
    host::TBitmap* bitmap = picture.Bitmap();
    EXPECT_EQ(picture.Graphic(), bitmap);
    bitmap->SetSize(2, 3);

    host::TPicture copy;
    copy.Assign(&picture);
    ASSERT_NE(copy.Graphic(), picture.Graphic());
    EXPECT_EQ(copy.Width(), 2);
    EXPECT_EQ(copy.Height(), 3);
    EXPECT_NE(dynamic_cast<host::TBitmap*>(copy.Graphic()), nullptr);
}
