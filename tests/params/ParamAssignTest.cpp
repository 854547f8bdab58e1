// Copying values into and out of a parameter: from other parameters, fields,
// string lists, bitmaps and pictures, to fields, and from files and streams.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "LmrBasDS/LmrParams.h"
#include "host/DateTime.h"
#include "host/Exceptions.h"
#include "host/Fields.h"
#include "host/Graphics.h"
#include "host/Streams.h"
#include "host/Strings.h"

using host::Variant;

namespace {

// A field that keeps its value itself instead of in a dataset's record
// buffer: enough for the parameter's side of the field contract.
class TValueField : public host::TField {
public:
    explicit TValueField(const std::string& name, Variant value = Variant::Null()) : TField(nullptr) {
        SetFieldName(name);
        FStored = std::move(value);
    }
    bool IsNull() const override { return FStored.IsNull() || FStored.IsEmpty(); }
    void Clear() override { FStored = Variant::Null(); }
    const Variant& Stored() const { return FStored; }

protected:
    Variant GetAsVariant() const override { return FStored; }
    void SetVarValue(const Variant& value) override { FStored = value; }

private:
    Variant FStored;
};

// A temporary folder removed with everything in it.
class TempDir {
public:
    TempDir() {
        char pattern[] = "/tmp/lmr-params-XXXXXX";
        FPath = mkdtemp(pattern);
    }
    ~TempDir() { std::filesystem::remove_all(FPath); }
    std::string File(const std::string& name) const { return (FPath / name).string(); }

private:
    std::filesystem::path FPath;
};

void FillTwoByOne(host::TBitmap& bitmap) {
    bitmap.SetSize(2, 1);
    bitmap.SetPixel(0, 0, 0x0000FF); // red
    bitmap.SetPixel(1, 0, 0xFF0000); // blue
}

std::string BytesOf(const host::TBitmap& bitmap) {
    host::TStringStream stream;
    bitmap.SaveToStream(stream);
    return stream.DataString();
}

} // namespace

TEST(ParamAssign, FromAParameterCopiesValueFlagsAndNamesButKeepsAnExistingDirection) {
    TLumraParam source(nullptr, "src");
    source.SetAlias("srcAlias");
    source.SetAsBinary("\x01\x02");
    source.SetParamType(nptOutput);

    TLumraParam fresh(nullptr, "x");
    fresh.Assign(&source);
    EXPECT_TRUE(fresh.IsEqual(&source));

    TLumraParam directed(nullptr, "x");
    directed.SetParamType(nptInput);
    directed.AssignParam(&source);
    EXPECT_EQ(directed.ParamType(), nptInput);
    EXPECT_EQ(directed.DataType(), ntBinary);
    EXPECT_EQ(directed.Data().VarType(), host::varString);

    source.Clear();
    source.SetBound(false);
    directed.AssignParam(&source);
    EXPECT_TRUE(directed.IsNull());
    EXPECT_FALSE(directed.Bound());
    EXPECT_EQ(directed.GetAsString(), "");

    directed.AssignParam(nullptr);
    EXPECT_EQ(directed.Name(), "src");
}

TEST(ParamAssign, AssigningAParameterToItselfKeepsItsValue) {
    TLumraParam p(nullptr, "p");
    p.SetAsString("keep");
    p.Assign(&p);
    EXPECT_EQ(p.GetAsString(), "keep");
}

TEST(ParamAssign, FromAFieldTakesItsNameAndTheTypeOfItsValue) {
    TValueField dateField("Born", Variant::FromDate(36925.0));
    TLumraParam p(nullptr, "old");
    p.Assign(&dateField);
    EXPECT_EQ(p.Name(), "Born");
    EXPECT_EQ(p.Alias(), "Born");
    EXPECT_EQ(p.DataType(), ntDateTime) << "a date field gives ntDateTime whatever its kind";
    EXPECT_TRUE(p.Bound());

    TValueField nullField("Gone");
    p.AssignField(&nullField);
    EXPECT_TRUE(p.IsNull());
    EXPECT_EQ(p.DataType(), ntDateTime) << "a null field leaves the previous type";
    EXPECT_EQ(p.Name(), "Gone");

    p.AssignField(nullptr);
    EXPECT_EQ(p.Name(), "Gone");
}

TEST(ParamAssign, FieldValueUsesTheGivenValueButTheFieldsNullness) {
    TValueField field("F", Variant(int32_t{1}));
    TLumraParam p(nullptr, "keep");
    p.AssignFieldValue(&field, Variant("text"));
    EXPECT_EQ(p.Name(), "keep");
    EXPECT_EQ(p.DataType(), ntString);
    EXPECT_EQ(p.GetAsString(), "text");

    TValueField nullField("N");
    p.SetBound(false);
    p.AssignFieldValue(&nullField, Variant(int32_t{5}));
    EXPECT_TRUE(p.IsNull());
    EXPECT_TRUE(p.Bound());
}

TEST(ParamAssign, ToAFieldStoresTheValueUnconvertedEvenWhenNull) {
    TValueField field("F");
    TLumraParam p(nullptr, "p");
    p.SetAsCurrency(2.5);
    p.AssignTo(&field);
    EXPECT_EQ(field.Stored().VarType(), host::varDouble);
    EXPECT_DOUBLE_EQ(field.Stored().AsDouble(), 2.5);

    p.Clear();
    p.AssignTo(&field);
    EXPECT_EQ(field.Stored().VarType(), host::varInteger) << "a cleared parameter assigns integer 0";
}

TEST(ParamAssign, FromAStringListGivesAMemoWithEveryLineBreak) {
    host::TStringList lines;
    lines.Add("first");
    lines.Add("second");
    TLumraParam p(nullptr, "p");
    p.Assign(&lines);
    EXPECT_EQ(p.DataType(), ntMemo);
    EXPECT_EQ(p.GetAsMemo(), lines.Text());
    EXPECT_NE(p.GetAsMemo().find("first"), std::string::npos);
    EXPECT_EQ(p.GetAsMemo().back(), '\n');
    EXPECT_TRUE(p.Bound());
}

TEST(ParamAssign, FromABitmapOrAPictureOfOneStoresTheBitmapFileAsABlob) {
    host::TBitmap bitmap;
    FillTwoByOne(bitmap);
    TLumraParam p(nullptr, "p");
    p.Assign(&bitmap);
    EXPECT_EQ(p.DataType(), ntBlob);
    EXPECT_EQ(p.GetAsString(), BytesOf(bitmap));
    EXPECT_EQ(p.GetAsString().substr(0, 2), "BM");

    host::TPicture picture;
    picture.Bitmap()->Assign(&bitmap);
    TLumraParam q(nullptr, "q");
    q.Assign(&picture);
    EXPECT_EQ(q.DataType(), ntBlob);
    EXPECT_EQ(q.GetAsString(), p.GetAsString());

    // The stored bytes load back as the same picture.
    host::TStringStream stream(q.GetAsString());
    host::TBitmap back;
    back.LoadFromStream(stream);
    EXPECT_EQ(back.Pixel(0, 0), 0x0000FFu);
    EXPECT_EQ(back.Pixel(1, 0), 0xFF0000u);
}

TEST(ParamAssign, OtherGraphicsAndClassesRaiseTheAssignErrorAndChangeNothing) {
    TLumraParam p(nullptr, "p");
    p.SetAsInteger(3);

    host::TPicture metafilePicture;
    metafilePicture.SetGraphic(std::make_unique<host::TMetafile>());
    EXPECT_THROW(p.Assign(&metafilePicture), host::EConvertError);
    host::TPicture emptyPicture;
    EXPECT_THROW(p.Assign(&emptyPicture), host::EConvertError);
    host::TIcon icon;
    EXPECT_THROW(p.Assign(&icon), host::EConvertError);
    EXPECT_THROW(p.Assign(nullptr), host::EConvertError);
    host::TStringList lines;
    EXPECT_THROW(p.AssignTo(&lines), host::EConvertError);

    EXPECT_EQ(p.DataType(), ntInteger);
    EXPECT_EQ(p.GetAsInteger(), 3);
}

TEST(ParamLoad, StreamIsReadWholeFromTheStartWithTheGivenType) {
    host::TStringStream stream(std::string("\0abc", 4));
    stream.SetPosition(3);
    TLumraParam p(nullptr, "p");
    p.SetAsInteger(1);
    p.Clear();
    p.LoadFromStream(stream, ntBinary);
    EXPECT_EQ(p.DataType(), ntBinary);
    EXPECT_EQ(p.GetAsString(), std::string("\0abc", 4));
    EXPECT_FALSE(p.IsNull());
    EXPECT_TRUE(p.Bound());
}

TEST(ParamLoad, FileContentsBecomeTheValueAndAMissingFileChangesNothing) {
    TempDir dir;
    {
        host::TFileStream file(dir.File("value.bin"), host::fmCreate);
        file.WriteBuffer("memo text", 9);
    }
    TLumraParam p(nullptr, "p");
    p.LoadFromFile(dir.File("value.bin"), ntMemo);
    EXPECT_EQ(p.DataType(), ntMemo);
    EXPECT_EQ(p.GetAsMemo(), "memo text");

    EXPECT_THROW(p.LoadFromFile(dir.File("missing.bin"), ntBlob), host::EFOpenError);
    EXPECT_EQ(p.DataType(), ntMemo);
    EXPECT_EQ(p.GetAsMemo(), "memo text");
}
