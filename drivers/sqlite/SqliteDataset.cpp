// TSqliteQuery: column values between the SQLite row format and field
// buffers, cursor placement and the key-column catalogue query.
#include "drivers/sqlite/SqliteDataset.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include "drivers/sqlite/SqliteCursor.h"
#include "host/DBConsts.h"
#include "host/Exceptions.h"
#include "host/Fields.h"
#include "host/Streams.h"
#include "host/SysUtils.h"

using namespace host;

TSqliteQuery::TSqliteQuery(TComponent* owner) : TLumraCustomDataset(owner, std::make_unique<TSqliteSQL>()) {}

TSqliteSQL* TSqliteQuery::SqliteStatement() const noexcept {
    return static_cast<TSqliteSQL*>(Statement());
}

std::unique_ptr<TLumraSQL> TSqliteQuery::CreateStatement() {
    return std::make_unique<TSqliteSQL>();
}

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
        if (fieldDef->Size() == 8)
            std::memcpy(data, rowValue, 8);
        else
            std::memcpy(data, rowValue, 4);
        break;
    case ntFloat:
    case ntCurrency:
    case ntDate:
    case ntTime:
    case ntDateTime:
        std::memcpy(data, rowValue, 8);
        break;
    case ntBoolean: {
        const int16_t value = rowValue[0] != 0 ? -1 : 0;
        std::memcpy(data, &value, 2);
        break;
    }
    case ntBinary:
        std::memcpy(data, rowValue, static_cast<size_t>(fieldDef->Size()));
        break;
    default:
        break; // memo and blob values travel through streams
    }
}

void TSqliteQuery::ConvertFieldToRow(TLumraFieldDef* fieldDef, char* rowValue, const void* data) {
    switch (fieldDef->FieldType()) {
    case ntString: {
        const size_t length =
            strnlen(static_cast<const char*>(data), static_cast<size_t>(fieldDef->Size() - 1));
        std::memcpy(rowValue, data, length);
        rowValue[length] = '\0';
        break;
    }
    case ntInteger:
        std::memcpy(rowValue, data, fieldDef->Size() == 8 ? 8 : 4);
        break;
    case ntFloat:
    case ntCurrency:
    case ntDate:
    case ntTime:
    case ntDateTime:
        std::memcpy(rowValue, data, 8);
        break;
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
    default:
        break;
    }
}

namespace {

// Reads a stored memo or blob value where it lies in the statement's row
// store instead of copying it: blocks there never move and a row's bytes stay
// until the rows are freed. Only a number stored in a column without declared
// type is rendered into the stream's own text.
class TSqliteStoredStream final : public TStream {
public:
    TSqliteStoredStream() = default;
    TSqliteStoredStream(const char* data, int64_t size, std::string&& text) : FText(std::move(text)) {
        FData = FText.empty() ? data : FText.data();
        FSize = FText.empty() ? size : static_cast<int64_t>(FText.size());
    }

    int32_t Read(void* buffer, int32_t count) override {
        const int64_t available = FSize - FPosition;
        if (count <= 0 || available <= 0) return 0;
        const int32_t n = static_cast<int32_t>(std::min<int64_t>(count, available));
        std::memcpy(buffer, FData + FPosition, static_cast<size_t>(n));
        FPosition += n;
        return n;
    }
    // The stored value is read-only; WriteBuffer reports the refusal.
    int32_t Write(const void*, int32_t) override { return 0; }
    int64_t Seek(int64_t offset, TSeekOrigin origin) override {
        int64_t target = offset;
        if (origin == soFromCurrent)
            target += FPosition;
        else if (origin == soFromEnd)
            target += FSize;
        if (target < 0) throw EStreamError("Invalid stream position");
        FPosition = target;
        return FPosition;
    }
    int64_t Size() override { return FSize; }

    // A field read opens and frees one stream per value; each thread keeps the
    // last freed stream's memory for the next, so reading costs no allocation.
    static void* operator new(size_t size) {
        if (size == sizeof(TSqliteStoredStream) && Spare().Block != nullptr)
            return std::exchange(Spare().Block, nullptr);
        return ::operator new(size);
    }
    static void operator delete(void* block, size_t size) noexcept {
        if (size == sizeof(TSqliteStoredStream) && Spare().Block == nullptr)
            Spare().Block = block;
        else
            ::operator delete(block);
    }

private:
    struct TSpare {
        void* Block = nullptr;
        ~TSpare() { ::operator delete(Block); }
    };
    static TSpare& Spare() noexcept {
        thread_local TSpare spare;
        return spare;
    }

    const char* FData = nullptr;
    int64_t FSize = 0;
    int64_t FPosition = 0;
    std::string FText;
};

} // namespace

const TSqliteValue* TSqliteQuery::StoredValue(int32_t column) {
    UpdateCursorPos();
    TRecordBuffer record = nullptr;
    // A record without a row (a new one), a null value and a field that is no
    // column (calculated, lookup) read as empty.
    TSqliteSQL* const sql = SqliteStatement();
    if (column < 0 || column >= sql->FieldDefs()->GetCount() || !GetActiveRecBuf(record) ||
        GetBookmarkFlag(record) != bfCurrent || sql->TSqliteSQL::IsNull(record + IndicatorOfs(), column))
        return nullptr;
    return SqliteCurrentValuePtr(*sql, column);
}

std::unique_ptr<TStream> TSqliteQuery::CreateBlobStream(TField* field, TBlobStreamMode mode) {
    if (mode != bmRead) DatabaseErrorFmt(LoadResString(SBlobStreamUnavailable), {field->DisplayName()}, this);
    const TSqliteValue* value = StoredValue(field->FieldNo() - 1);
    if (value == nullptr) return std::make_unique<TSqliteStoredStream>();
    const char* bytes = nullptr;
    int64_t size = 0;
    std::string text;
    SqliteStoredBytes(*value, bytes, size, text);
    return std::make_unique<TSqliteStoredStream>(bytes, size, std::move(text));
}

int64_t TSqliteQuery::GetBlobFieldData(int32_t fieldNo, std::string& buffer) {
    const TSqliteValue* value = StoredValue(fieldNo - 1);
    if (value == nullptr) {
        buffer.clear();
    } else if (value->Tag == svText || value->Tag == svBlob) {
        // Built whole rather than assigned: the caller's buffer is normally
        // empty, and assigning goes the long way round.
        buffer = std::string(value->Data, static_cast<size_t>(value->Bytes));
    } else {
        const char* bytes = nullptr;
        int64_t size = 0;
        SqliteStoredBytes(*value, bytes, size, buffer);
    }
    return static_cast<int64_t>(buffer.size());
}

void TSqliteQuery::GetKeyColumnsSQL(std::string& sql) {
    sql = "SELECT name AS column_name FROM pragma_table_info(?) WHERE pk > 0 ORDER BY pk";
}

void TSqliteQuery::CursorFirst() {
    SqliteStatement()->SetToBegin();
}

void TSqliteQuery::CursorLast() {
    Check(SqliteStatement()->SetToEnd());
}

bool TSqliteQuery::CursorMoveTo(int32_t recNo) {
    return Statement()->MoveTo(recNo);
}
