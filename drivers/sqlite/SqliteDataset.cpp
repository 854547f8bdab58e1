// TSqliteQuery: column values between the SQLite row format and field
// buffers, cursor placement and the key-column catalogue query.
#include "drivers/sqlite/SqliteDataset.h"

#include <cstring>

#include "host/DBConsts.h"
#include "host/Fields.h"
#include "host/Streams.h"
#include "host/SysUtils.h"

using namespace host;

TSqliteQuery::TSqliteQuery(TComponent* owner) : TLumraCustomDataset(owner, std::make_unique<TSqliteSQL>()) {}

TSqliteSQL* TSqliteQuery::SqliteStatement() const noexcept { return static_cast<TSqliteSQL*>(Statement()); }

std::unique_ptr<TLumraSQL> TSqliteQuery::CreateStatement() { return std::make_unique<TSqliteSQL>(); }

void TSqliteQuery::InternalInitFieldDefs() {
    TLumraCustomDataset::InternalInitFieldDefs();
    TLumraFieldDefs* columns = Statement()->FieldDefs();
    for (int32_t i = 0; i < FieldDefs()->Count(); ++i) {
        TFieldDef* def = FieldDefs()->Items(i);
        TLumraFieldDef* column = columns->GetItem(def->FieldNo() - 1);
        if (column == nullptr) continue;
        if (def->DataType() == ftInteger && column->Size() == 8) def->SetDataType(ftLargeint);
        if (def->DataType() == ftBytes) def->SetDataType(ftVarBytes);
    }
}

void TSqliteQuery::ConvertRowToField(TLumraFieldDef* fieldDef, char* rowValue, void* data) {
    switch (fieldDef->FieldType()) {
    case ntString: {
        // The row holds at most Size-1 characters and a terminator, as the field buffer does.
        const size_t length = strnlen(rowValue, static_cast<size_t>(fieldDef->Size() - 1));
        std::memcpy(data, rowValue, length);
        static_cast<char*>(data)[length] = '\0';
        break;
    }
    case ntInteger:
        std::memcpy(data, rowValue, fieldDef->Size() == 8 ? 8 : 4);
        break;
    case ntFloat:
    case ntCurrency:
    case ntDate:
    case ntTime:
    case ntDateTime: std::memcpy(data, rowValue, 8); break;
    case ntBoolean: {
        const int16_t value = rowValue[0] != 0 ? -1 : 0;
        std::memcpy(data, &value, 2);
        break;
    }
    case ntBinary: std::memcpy(data, rowValue, static_cast<size_t>(fieldDef->Size())); break;
    default: break; // memo and blob values travel through streams
    }
}

void TSqliteQuery::ConvertFieldToRow(TLumraFieldDef* fieldDef, char* rowValue, const void* data) {
    switch (fieldDef->FieldType()) {
    case ntString: {
        const size_t length = strnlen(static_cast<const char*>(data), static_cast<size_t>(fieldDef->Size() - 1));
        std::memcpy(rowValue, data, length);
        rowValue[length] = '\0';
        break;
    }
    case ntInteger: std::memcpy(rowValue, data, fieldDef->Size() == 8 ? 8 : 4); break;
    case ntFloat:
    case ntCurrency:
    case ntDate:
    case ntTime:
    case ntDateTime: std::memcpy(rowValue, data, 8); break;
    case ntBoolean: {
        int16_t value = 0;
        std::memcpy(&value, data, 2);
        rowValue[0] = value != 0 ? 1 : 0;
        break;
    }
    case ntBinary: {
        uint16_t length = 0;
        std::memcpy(&length, data, 2);
        // A length beyond the declared size would run past the column.
        if (length > fieldDef->Size() - 2) length = static_cast<uint16_t>(fieldDef->Size() - 2);
        std::memcpy(rowValue, &length, 2);
        std::memcpy(rowValue + 2, static_cast<const char*>(data) + 2, length);
        break;
    }
    default: break;
    }
}

std::unique_ptr<TStream> TSqliteQuery::CreateBlobStream(TField* field, TBlobStreamMode mode) {
    if (mode != bmRead) DatabaseErrorFmt(LoadResString(SBlobStreamUnavailable), {field->DisplayName()}, this);
    UpdateCursorPos();
    auto stream = std::make_unique<TMemoryStream>();
    TLumraFieldDef* column = Statement()->FieldDefs()->GetItem(field->FieldNo() - 1);
    TRecordBuffer record = nullptr;
    // A record without a row (a new one) and a null value read as empty.
    if (column != nullptr && GetActiveRecBuf(record) && GetBookmarkFlag(record) == bfCurrent &&
        !Statement()->IsNull(record + IndicatorOfs(), column->FieldNo())) {
        const char* bytes = nullptr;
        int64_t size = 0;
        std::string scratch;
        if (SqliteStatement()->GetStoredBytes(column->Name(), bytes, size, scratch) && size > 0)
            stream->Write(bytes, static_cast<int32_t>(size));
        stream->Seek(0, soFromBeginning);
    }
    return stream;
}

void TSqliteQuery::GetKeyColumnsSQL(std::string& sql) {
    sql = "SELECT name AS column_name FROM pragma_table_info(?) WHERE pk > 0 ORDER BY pk";
}

void TSqliteQuery::CursorFirst() { SqliteStatement()->SetToBegin(); }

void TSqliteQuery::CursorLast() { Check(SqliteStatement()->SetToEnd()); }

bool TSqliteQuery::CursorMoveTo(int32_t recNo) { return Statement()->MoveTo(recNo); }
