// The statement's lifecycle (prepare, open, execute, unprepare), host-variable
// typing and re-binding, cursor movement and single-column access. Engine work
// happens only in the driver's overrides.
#include "LmrBase/LmrSQL.h"

#include <algorithm>
#include <cstring>

#include "LmrBase/LmrBlobs.h"
#include "LmrUtil/LmrUtil.h"
#include "host/Strings.h"
#include "host/SysUtils.h"

namespace {

bool IsBlobType(TLumraFieldTypes fieldType) noexcept {
    return fieldType == ntMemo || fieldType == ntBlob;
}

// Text of a field identifier for messages and name lookups; an identifier that
// has no text form (an array) names no column and prints as nothing.
std::string IdentifierText(const host::Variant& id) {
    try {
        return host::VarToStr(id);
    } catch (const host::Exception&) {
        return std::string();
    }
}

// Zero-filled block of size bytes; none for 0 bytes, as nothing can be read from it.
std::unique_ptr<char[]> AllocZeroed(int64_t size) {
    if (size <= 0) return nullptr;
    return std::make_unique<char[]>(static_cast<size_t>(size));
}

} // namespace

TLumraSQL::TLumraSQL(host::TComponent* owner)
    : host::TComponent(owner), FFieldDefs(std::make_unique<TLumraFieldDefs>()),
      FCursorVariables(std::make_unique<TLumraVariableDefs>()),
      FExecuteVariables(std::make_unique<TLumraVariableDefs>()),
      FOutputVariables(std::make_unique<TLumraVariableDefs>()),
      FBlobManager(std::make_unique<TLumraBlobManager>(this)) {}

TLumraSQL::~TLumraSQL() {
    // Only the base bodies are reachable here; they cannot fail on the
    // statement's own state, but a destructor must not let anything escape.
    try {
        UnprepareOpen();
    } catch (...) {
    }
    try {
        UnprepareExecute();
    } catch (...) {
    }
    FBlobManager.reset();
    FOutputVariables.reset();
    FExecuteVariables.reset();
    FCursorVariables.reset();
    FFieldDefs.reset();
    SetSession(nullptr);
}

// --- Session link ---------------------------------------------------------------

TLumraSession* TLumraSQL::GetSession() const {
    if (FSession == nullptr && !ComponentState().Contains(host::csDesigning))
        throw ELumraException(host::LoadResString(LUMRA_ERR_SESS_NIL), 0, 0);
    return FSession;
}

void TLumraSQL::SetSession(TLumraSession* value) {
    // Leaving a session releases what was prepared on its connection, before
    // the link goes: a release that raises leaves the statement where it was.
    if (FSession != nullptr && FSession != value) ReleaseEngineStatements();
    if (FSession != nullptr) FSession->RemoveQuery(this);
    if (value != nullptr) value->AddQuery(this);
}

void TLumraSQL::ReleaseEngineStatements() {
    if (FCursorPrepared || FCursorOpen) UnprepareOpen();
    if (FStatementPrepared) UnprepareExecute();
}

std::string TLumraSQL::GetLastError() const {
    TLumraSession* session = GetSession();
    return session != nullptr ? session->LastError() : std::string();
}

int32_t TLumraSQL::GetLastErrorCode() const {
    TLumraSession* session = GetSession();
    return session != nullptr ? session->LastErrorCode() : 0;
}

bool TLumraSQL::Check(void* data, int32_t value1, int32_t value2, bool flag) {
    TLumraSession* session = GetSession();
    return session != nullptr && session->InternalCheck(data, value1, value2, flag);
}

// --- Settings -------------------------------------------------------------------

void TLumraSQL::SetBlobSize(int32_t value) noexcept {
    if (value >= 0 && value <= 32763) FBlobSize = value;
}

void TLumraSQL::SetMaxFetchCount(int32_t value) noexcept {
    if (value >= 1 && value <= 1000) FMaxFetchCount = value;
}

// --- Cursor operations ------------------------------------------------------------

bool TLumraSQL::Prepare(const std::string& sql) {
    std::string text = sql;
    StatementToOem(text);
    Unprepare();
    return InternalPrepare(text);
}

bool TLumraSQL::PrepareOpen(const std::string& sql) {
    std::string text = sql;
    StatementToOem(text);
    UnprepareOpen();
    return InternalPrepareOpen(text);
}

bool TLumraSQL::OpenCursor(const std::string* sql, std::span<const host::Variant> values, bool readOnly,
                           bool fetchFirst) {
    std::string text;
    if (sql != nullptr) {
        text = *sql;
        StatementToOem(text);
        // A cursor opened read-only is prepared for reading only; a write open re-prepares it.
        const bool writeAfterRead = fetchFirst && !readOnly && FReadOnly;
        if (text != FCursorSQL || writeAfterRead)
            UnprepareOpen();
        else
            InternalClose();
    } else {
        if (!FCursorPrepared) RaiseLastError(host::LoadResString(LUMRA_ERR_CURS_NOT_PREPARED), 0);
        InternalClose();
    }
    SetVariableValues(values, FCursorVariables.get());
    bool result = false;
    if ((FCursorPrepared || (sql != nullptr && InternalPrepareOpen(text))) &&
        (FCursorVariables->Bound() || InternalBindOpen(nullptr))) {
        result = InternalOpen(readOnly);
        if (result && fetchFirst) result = FUniDirectional ? FetchFirstForward() : FetchFirst();
    }
    if (result) DoEvent(FOnAfterOpen);
    return result;
}

bool TLumraSQL::Open(const std::string& sql, std::span<const host::Variant> values, bool readOnly) {
    return OpenCursor(&sql, values, readOnly, false);
}

bool TLumraSQL::Open(const std::string& sql, std::initializer_list<host::Variant> values, bool readOnly) {
    return Open(sql, std::span<const host::Variant>(values.begin(), values.size()), readOnly);
}

bool TLumraSQL::OpenRead(const std::string& sql, std::span<const host::Variant> values) {
    return OpenCursor(&sql, values, true, true);
}

bool TLumraSQL::OpenRead(const std::string& sql, std::initializer_list<host::Variant> values) {
    return OpenRead(sql, std::span<const host::Variant>(values.begin(), values.size()));
}

bool TLumraSQL::OpenWrite(const std::string& sql, std::span<const host::Variant> values) {
    return OpenCursor(&sql, values, false, true);
}

bool TLumraSQL::OpenWrite(const std::string& sql, std::initializer_list<host::Variant> values) {
    return OpenWrite(sql, std::span<const host::Variant>(values.begin(), values.size()));
}

bool TLumraSQL::OpenPrepared(std::span<const host::Variant> values, bool readOnly) {
    return OpenCursor(nullptr, values, readOnly, false);
}

bool TLumraSQL::OpenPrepared(std::initializer_list<host::Variant> values, bool readOnly) {
    return OpenPrepared(std::span<const host::Variant>(values.begin(), values.size()), readOnly);
}

bool TLumraSQL::OpenReadPrepared(std::span<const host::Variant> values) {
    return OpenCursor(nullptr, values, true, true);
}

bool TLumraSQL::OpenReadPrepared(std::initializer_list<host::Variant> values) {
    return OpenReadPrepared(std::span<const host::Variant>(values.begin(), values.size()));
}

bool TLumraSQL::OpenWritePrepared(std::span<const host::Variant> values) {
    return OpenCursor(nullptr, values, false, true);
}

bool TLumraSQL::OpenWritePrepared(std::initializer_list<host::Variant> values) {
    return OpenWritePrepared(std::span<const host::Variant>(values.begin(), values.size()));
}

bool TLumraSQL::Describe(const std::string& sql) {
    std::string text = sql;
    StatementToOem(text);
    if (text != FCursorSQL)
        UnprepareOpen();
    else
        InternalClose();
    if (FCursorPrepared) return true;
    return InternalPrepareOpen(text) && FFieldDefs->GetCount() > 0;
}

void TLumraSQL::Close() {
    InternalClose();
}

void TLumraSQL::UnprepareOpen() {
    InternalClose();
    if (FCursorPrepared) InternalUnprepareOpen();
    FCursorVariables->Clear();
}

void TLumraSQL::Unprepare() {
    UnprepareOpen();
    UnprepareExecute();
}

// --- Non-query operations -----------------------------------------------------------

bool TLumraSQL::PrepareExecute(const std::string& sql) {
    std::string text = sql;
    StatementToOem(text);
    UnprepareExecute();
    return InternalPrepareExecute(text);
}

bool TLumraSQL::ExecuteStatement(const std::string* sql, std::span<const host::Variant> values) {
    // An execution that fails changed no rows; the previous count must not
    // pass for this one's.
    SetRowsProcessed(0);
    std::string text;
    if (sql != nullptr) {
        text = *sql;
        StatementToOem(text);
        if (text != FStatementSQL) UnprepareExecute();
    } else if (!FStatementPrepared) {
        RaiseLastError(host::LoadResString(LUMRA_ERR_STMT_NOT_PREPARED), 0);
    }
    SetVariableValues(values, FExecuteVariables.get());
    FOutputVariables->ClearBuffer();
    if (!FExecuteList) FExecuteList = std::make_unique<host::TStringList>();
    host::TStringList* list = FExecuteList.get();
    list->Clear();
    if ((FStatementPrepared || (sql != nullptr && InternalPrepareExecute(text))) &&
        (FExecuteVariables->Bound() || InternalBindExecute(list)))
        return InternalExecute(list);
    return false;
}

bool TLumraSQL::Execute(const std::string& sql, std::span<const host::Variant> values) {
    return ExecuteStatement(&sql, values);
}

bool TLumraSQL::Execute(const std::string& sql, std::initializer_list<host::Variant> values) {
    return Execute(sql, std::span<const host::Variant>(values.begin(), values.size()));
}

bool TLumraSQL::ExecutePrepared(std::span<const host::Variant> values) {
    return ExecuteStatement(nullptr, values);
}

bool TLumraSQL::ExecutePrepared(std::initializer_list<host::Variant> values) {
    return ExecutePrepared(std::span<const host::Variant>(values.begin(), values.size()));
}

void TLumraSQL::UnprepareExecute() {
    if (FStatementPrepared) InternalUnprepareExecute();
    FExecuteVariables->Clear();
    FOutputVariables->Clear();
}

TLumraFieldDef* TLumraSQL::FindVariable(TLumraVariableDefs* defs, const host::Variant& id) const {
    if (id.VarType() == host::varInteger) return defs->GetItem(id.AsInteger());
    return defs->FieldByName(IdentifierText(id));
}

host::Variant TLumraSQL::GetOutVar(const host::Variant& id) {
    host::Variant result = host::Variant::Null();
    // Output variables first; in/out variables are found among the inputs.
    for (TLumraVariableDefs* defs : {FOutputVariables.get(), FExecuteVariables.get()}) {
        if (TLumraFieldDef* def = FindVariable(defs, id)) {
            InternalGetValue(defs->Buffer(), def->Offset(), def->Size(), def->FieldType(), nullptr, result);
            return result;
        }
    }
    RaiseLastError(host::Format(host::LoadResString(LUMRA_ERR_PARAM_NOT_FOUND), {IdentifierText(id)}), 0);
}

void TLumraSQL::InternalAutoCommit() {
    TLumraSession* session = GetSession();
    if (session != nullptr && !session->InTransaction() && session->AutoCommit())
        session->InternalCommit(true);
}

// --- Buffers ------------------------------------------------------------------------

void TLumraSQL::InternalAllocOpenBuffer() {
    FRowSetCount = FFetchCount;
    const int64_t recordSize = std::max<int32_t>(FRecordSize, 0);
    const int64_t indicatorSize = std::max<int32_t>(FIndicatorSize, 0);
    const int64_t rows = std::max<int32_t>(FRowSetCount, 0);
    FRowSetBuffer = AllocZeroed(rows * recordSize);
    FRowBuffer = AllocZeroed(recordSize);
    FOldRowBuffer = AllocZeroed(recordSize);
    FIndicatorSetBuffer = AllocZeroed(rows * indicatorSize);
    FIndicatorBuffer = AllocZeroed(indicatorSize);
    FOldIndicatorBuffer = AllocZeroed(indicatorSize);
    FRowBufferSize = static_cast<int32_t>(recordSize);
    FIndicatorBufferSize = static_cast<int32_t>(indicatorSize);
}

void TLumraSQL::InternalFreeOpenBuffer() {
    FBlobManager->Clear();
    FRowSetBuffer.reset();
    FRowBuffer.reset();
    FOldRowBuffer.reset();
    FIndicatorSetBuffer.reset();
    FIndicatorBuffer.reset();
    FOldIndicatorBuffer.reset();
    FRowBufferSize = 0;
    FIndicatorBufferSize = 0;
    FRowSetCount = 0;
    FRecordSize = 0;
    FIndicatorSize = 0;
}

TLumraFieldDef* TLumraSQL::InternalAddFieldDef(TLumraFieldDefs* defs, const std::string& name,
                                               TLumraFieldTypes fieldType, int32_t extType, int32_t size,
                                               int32_t length, int32_t decimals, bool nulls,
                                               TLumraKeyIndicator keyIndicator) {
    // Names are unique against the columns whichever list receives the
    // description, so a column name always finds exactly one column.
    std::string candidate = name;
    for (int32_t counter = 1; FFieldDefs->IndexOf(candidate) >= 0; ++counter)
        candidate = name + "_" + std::to_string(counter);
    TLumraFieldDef* def = defs->AddFieldDef(candidate);
    def->SetFieldType(fieldType);
    def->SetExtType(extType);
    def->SetSize(size);
    def->SetLength(length);
    def->SetDecimals(decimals);
    def->SetNulls(nulls);
    def->SetKeyIndicator(keyIndicator);
    return def;
}

// Public from generation 4 on, private in generation 3; the same conversion either way.
void TLumraSQL::StatementToOem(std::string& sql) {
    sql = ToOem(sql);
}

std::string TLumraSQL::ToOem(const std::string& sql) {
    TLumraSession* session = GetSession();
    // In the designer there may be no session; unconverted text matches OemConvert off.
    if (session == nullptr || !session->OemConvert()) return sql;
    const size_t length = std::min(sql.find('\0'), sql.size());
    std::unique_ptr<char[]> block(new char[length + 1]);
    std::memcpy(block.get(), sql.data(), length);
    block[length] = '\0';
    session->TranslateChar(block.get(), block.get(), static_cast<int32_t>(length), true);
    return std::string(block.get());
}

// --- Host variables ----------------------------------------------------------------

host::Variant TLumraSQL::InternalCheckVarValues(std::span<const host::Variant> values) const {
    if (values.empty()) return host::Variant::Null();
    const host::Variant& first = values[0];
    // A caller may hand over one ready-made array of values.
    if (first.VarType() == (host::varArray | host::varVariant)) return first;
    if (values.size() == 1 && (first.IsNull() || first.IsEmpty())) return host::Variant::Null();
    return host::VarArrayOf(values);
}

// Inlined where every execute's values are typed (it is private to this file).
[[gnu::always_inline]] inline TLumraFieldTypes
TLumraSQL::InternalGetVariableTypeAndLength(const host::Variant& value, int32_t& length, int32_t position) {
    switch (value.VarType()) {
    case host::varSmallint:
    case host::varInteger:
        length = InternalGetVariableLength(ntInteger);
        return ntInteger;
    case host::varSingle:
    case host::varDouble:
        length = InternalGetVariableLength(ntFloat);
        return ntFloat;
    case host::varCurrency:
        length = InternalGetVariableLength(ntCurrency);
        return ntCurrency;
    case host::varDate: {
        TLumraFieldTypes type = ntDateTime;
        if (position >= 0 && static_cast<size_t>(position) < FVariableDataTypes.size() &&
            (FVariableDataTypes[static_cast<size_t>(position)] == ntDate ||
             FVariableDataTypes[static_cast<size_t>(position)] == ntTime))
            type = FVariableDataTypes[static_cast<size_t>(position)];
        length = InternalGetVariableLength(type);
        return type;
    }
    case host::varOleStr:
    case host::varString: {
        length = InternalGetVariableLength(ntString);
        // The length is all that is needed here: no copy of 8-bit text.
        const std::string* text = value.StringRef();
        const int64_t textLength =
            static_cast<int64_t>(text != nullptr ? text->size() : value.AsString().size());
        // Text that does not fit the default buffer with its terminator travels as a memo.
        if (textLength + 1 > length) {
            length = static_cast<int32_t>(textLength);
            return ntMemo;
        }
        return ntString;
    }
    case host::varBoolean:
        length = InternalGetVariableLength(ntBoolean);
        return ntBoolean;
    case host::varArray | host::varByte: {
        length = InternalGetVariableLength(ntBinary);
        const int32_t count = host::VarArrayHighBound(value) - host::VarArrayLowBound(value) + 1;
        if (count > length) {
            length = count;
            return ntBlob;
        }
        return ntBinary;
    }
    default:
        length = InternalGetVariableLength(ntUnknown);
        return ntUnknown;
    }
}

bool TLumraSQL::InternalNeedNewVariables(const host::Variant& value, TLumraVariableDefs* defs) {
    if (!value.IsArray()) return true;
    const int32_t low = host::VarArrayLowBound(value);
    const int32_t count = host::VarArrayHighBound(value) - low + 1;
    if (count != defs->GetCount()) return true;
    for (int32_t i = 0; i < count; ++i) {
        TLumraFieldDef* def = defs->GetItem(i);
        if (def == nullptr) return true;
        int32_t length = 0;
        const TLumraFieldTypes fieldType =
            InternalGetVariableTypeAndLength(value.GetElement(low + i), length, i);
        if (def->FieldType() != fieldType || def->Size() != length || IsBlobType(fieldType)) return true;
    }
    return false;
}

void TLumraSQL::InternalSetVariables(const host::Variant& value, TLumraVariableDefs* defs) {
    if (InternalNeedNewVariables(value, defs)) {
        defs->Clear();
        if (value.IsArray()) {
            const int32_t low = host::VarArrayLowBound(value);
            const int32_t high = host::VarArrayHighBound(value);
            for (int32_t i = low; i <= high; ++i) {
                int32_t length = 0;
                const TLumraFieldTypes fieldType =
                    InternalGetVariableTypeAndLength(value.GetElement(i), length, i - low);
                const int32_t extType = InternalGetVariableExtType(fieldType);
                InternalAddFieldDef(defs, "?", fieldType, extType, length, 0, 0, false, kiRegularField);
            }
        }
        defs->SetBufSize(defs->Size());
    }
    if (!value.IsArray()) return;
    const int32_t low = host::VarArrayLowBound(value);
    const int32_t count = host::VarArrayHighBound(value) - low + 1;
    for (int32_t i = 0; i < defs->GetCount() && i < count; ++i) {
        TLumraFieldDef* def = defs->GetItem(i);
        InternalSetValue(defs->Buffer(), def->Offset(), def->Size(), def->FieldType(),
                         value.GetElement(low + i), nullptr);
    }
}

// --- Cursor movement ---------------------------------------------------------------

bool TLumraSQL::MoveTo(int32_t row) {
    if (!FCursorOpen) RaiseLastError(host::LoadResString(LUMRA_ERR_CURS_NOT_OPENED), 0);
    int64_t distance = static_cast<int64_t>(row) - FRecNo;
    // A false fetch without a negative code means "not yet": try again.
    while (distance > 0 && !FEof) {
        if (FetchNext())
            --distance;
        else if (GetLastErrorCode() < 0)
            break;
    }
    while (distance < 0 && !FBof) {
        if (FetchPrior())
            ++distance;
        else if (GetLastErrorCode() < 0)
            break;
    }
    return distance == 0;
}

// --- Base bodies of the driver contract -----------------------------------------

bool TLumraSQL::InternalPrepareOpen(const std::string& sql) {
    FCursorSQL = sql;
    FCursorPrepared = true;
    return true;
}

bool TLumraSQL::InternalOpen(bool readOnly) {
    FRecNo = -1;
    FBof = false;
    FEof = false;
    FReadOnly = readOnly;
    FCursorOpen = true;
    return true;
}

void TLumraSQL::InternalClose() {
    FRecNo = -1;
    FBof = true;
    FEof = true;
    FRecordCount = 0;
    FRowSetCounter1 = 0;
    FRowSetCounter2 = 0;
    FCursorOpen = false;
}

void TLumraSQL::InternalUnprepareOpen() {
    InternalFreeOpenBuffer();
    FFieldDefs->Clear();
    FCursorSQL.clear();
    FCursorPrepared = false;
}

bool TLumraSQL::InternalPrepareExecute(const std::string& sql) {
    FStatementSQL = sql;
    FStatementPrepared = true;
    return true;
}

void TLumraSQL::InternalUnprepareExecute() {
    FStatementSQL.clear();
    FStatementPrepared = false;
}

bool TLumraSQL::GetStillInProc() {
    return false;
}

std::string TLumraSQL::GetTableName() {
    return LmrGetTableNameFromSQL(FCursorSQL);
}

bool TLumraSQL::Resume() {
    return false;
}

// --- Field access -----------------------------------------------------------------------

bool TLumraSQL::FindField(const std::string& name) const {
    return FFieldDefs->IndexOf(name) >= 0;
}

int32_t TLumraSQL::GetFieldCount() const {
    return FFieldDefs->GetCount();
}

std::string TLumraSQL::GetFieldName(int32_t index) const {
    TLumraFieldDef* def = FFieldDefs->GetItem(index);
    return def != nullptr ? def->Name() : std::string();
}

TLumraFieldDef* TLumraSQL::GetField(const host::Variant& id) const {
    // Only a 32-bit integer is a column number; a 16-bit 0 or the text "0" is a name.
    if (id.VarType() == host::varInteger) return FFieldDefs->GetItem(id.AsInteger());
    return FFieldDefs->FieldByName(IdentifierText(id));
}

TLumraFieldTypes TLumraSQL::GetFieldType(const host::Variant& id) const {
    TLumraFieldDef* def = GetField(id);
    return def != nullptr ? def->FieldType() : ntUnknown;
}

int32_t TLumraSQL::GetFieldSize(const host::Variant& id) const {
    TLumraFieldDef* def = GetField(id);
    return def != nullptr ? def->Size() : 0;
}

int32_t TLumraSQL::GetFieldLength(const host::Variant& id) const {
    TLumraFieldDef* def = GetField(id);
    return def != nullptr ? def->Length() : 0;
}

int32_t TLumraSQL::GetFieldDecimals(const host::Variant& id) const {
    TLumraFieldDef* def = GetField(id);
    return def != nullptr ? def->Decimals() : 0;
}

void TLumraSQL::SetVariableValues(std::span<const host::Variant> values, TLumraVariableDefs* defs) {
    // No values, a lone Null standing for none, or one ready-made array of
    // values: the general way through a Variant array.
    if (values.empty() || values[0].VarType() == (host::varArray | host::varVariant) ||
        (values.size() == 1 && (values[0].IsNull() || values[0].IsEmpty()))) {
        InternalSetVariables(InternalCheckVarValues(values), defs);
        return;
    }
    // The same re-binding rule as InternalNeedNewVariables: another count, type
    // or length (a Null types as ntUnknown), or any memo or blob value.
    const int32_t count = static_cast<int32_t>(values.size());
    FVariableShapes.resize(values.size());
    bool renew = count != defs->GetCount();
    for (int32_t i = 0; i < count; ++i) {
        auto& [fieldType, length] = FVariableShapes[static_cast<size_t>(i)];
        length = 0;
        fieldType = InternalGetVariableTypeAndLength(values[static_cast<size_t>(i)], length, i);
        if (!renew) {
            const TLumraFieldDef* def = defs->GetItem(i);
            renew = def == nullptr || def->FieldType() != fieldType || def->Size() != length ||
                    IsBlobType(fieldType);
        }
    }
    if (renew) {
        // The same number of values in new shapes (a value turned Null, a text
        // grew into a memo) is the common case: the descriptions are retyped
        // where they stand, which leaves them exactly as clearing and
        // rebuilding would, without freeing and allocating each one again.
        bool retype = count == defs->GetCount() && FFieldDefs->IndexOf("?") < 0;
        int64_t total = 0;
        for (int32_t i = 0; retype && i < count; ++i) {
            retype = defs->GetItem(i)->Name() == "?";
            total += FVariableShapes[static_cast<size_t>(i)].second;
        }
        if (retype && total <= INT32_MAX) {
            int32_t offset = 0;
            for (int32_t i = 0; i < count; ++i) {
                const auto& [fieldType, length] = FVariableShapes[static_cast<size_t>(i)];
                TLumraFieldDef* def = defs->GetItem(i);
                def->SetFieldNo(i);
                def->SetFieldType(fieldType);
                def->SetExtType(InternalGetVariableExtType(fieldType));
                def->SetSize(length);
                def->SetOffset(offset);
                def->SetLength(0);
                def->SetDecimals(0);
                def->SetNulls(false);
                def->SetKeyIndicator(kiRegularField);
                offset += length;
            }
            defs->SetBound(false);
            defs->SetBufSize(static_cast<int32_t>(total));
        } else {
            defs->Clear();
            for (const auto& [fieldType, length] : FVariableShapes)
                InternalAddFieldDef(defs, "?", fieldType, InternalGetVariableExtType(fieldType), length, 0, 0,
                                    false, kiRegularField);
            defs->SetBufSize(defs->Size());
        }
    }
    for (int32_t i = 0; i < defs->GetCount() && i < count; ++i) {
        TLumraFieldDef* def = defs->GetItem(i);
        InternalSetValue(defs->Buffer(), def->Offset(), def->Size(), def->FieldType(),
                         values[static_cast<size_t>(i)], nullptr);
    }
}

bool TLumraSQL::GetFieldNulls(const host::Variant& id) const {
    TLumraFieldDef* def = GetField(id);
    return def != nullptr && def->Nulls();
}

TLumraFieldDef* TLumraSQL::FieldOrRaise(const host::Variant& id) {
    TLumraFieldDef* def = GetField(id);
    if (def == nullptr)
        RaiseLastError(host::Format(host::LoadResString(LUMRA_ERR_FIELD_NOT_FOUND), {IdentifierText(id)}), 0);
    return def;
}

TLumraBlobStream* TLumraSQL::StreamFor(TLumraFieldDef* def) {
    if (!IsBlobType(def->FieldType())) return nullptr;
    // A value read per row must not scan the streams by name every time.
    const int32_t column = def->FieldNo();
    if (column < 0 || column >= FFieldDefs->GetCount()) return FBlobManager->BlobByName(def->Name());
    if (static_cast<size_t>(column) >= FBlobLookups.size())
        FBlobLookups.resize(static_cast<size_t>(column) + 1);
    TBlobLookup& lookup = FBlobLookups[static_cast<size_t>(column)];
    if (lookup.Generation != FBlobManager->Generation() || lookup.Name != def->Name()) {
        lookup.Stream = FBlobManager->BlobByName(def->Name());
        lookup.Generation = FBlobManager->Generation();
        lookup.Name = def->Name();
    }
    return lookup.Stream;
}

bool TLumraSQL::ColumnInRow(const TLumraFieldDef* def) const noexcept {
    // A description that reaches past the allocated row (or a cursor without
    // buffers) must never make the statement touch memory it does not own.
    return FRowBuffer != nullptr && def->Offset() >= 0 && def->Size() >= 0 &&
           static_cast<int64_t>(def->Offset()) + def->Size() <= FRowBufferSize;
}

bool TLumraSQL::IsFieldNull(const host::Variant& id) {
    TLumraFieldDef* def = FieldOrRaise(id);
    return IsNull(IndicatorBuffer(), def->FieldNo());
}

bool TLumraSQL::IsFieldDirty(const host::Variant& id) {
    TLumraFieldDef* def = FieldOrRaise(id);
    const bool nullNow = IsNull(IndicatorBuffer(), def->FieldNo());
    const bool nullBefore = IsNull(OldIndicatorBuffer(), def->FieldNo());
    if (IsBlobType(def->FieldType())) return StreamFor(def)->Modified() || nullNow != nullBefore;
    if (def->Size() < 1) return false;
    if (!ColumnInRow(def) || FOldRowBuffer == nullptr) return nullNow != nullBefore;
    return std::memcmp(FRowBuffer.get() + def->Offset(), FOldRowBuffer.get() + def->Offset(),
                       static_cast<size_t>(def->Size())) != 0 ||
           nullNow != nullBefore;
}

bool TLumraSQL::IsDirty() {
    if (!FCursorOpen) RaiseLastError(host::LoadResString(LUMRA_ERR_CURS_NOT_OPENED), 0);
    for (int32_t i = 0; i < FFieldDefs->GetCount(); ++i)
        if (IsFieldDirty(host::Variant(i))) return true;
    return false;
}

host::Variant TLumraSQL::GetFieldValue(const host::Variant& id) {
    host::Variant result = host::Variant::Null();
    TLumraFieldDef* def = FieldOrRaise(id);
    InternalGetValue(RowBuffer(), def->Offset(), def->Size(), def->FieldType(), StreamFor(def), result);
    return result;
}

host::Variant TLumraSQL::GetOldValue(const host::Variant& id) {
    host::Variant result = host::Variant::Null();
    TLumraFieldDef* def = FieldOrRaise(id);
    InternalGetValue(OldRowBuffer(), def->Offset(), def->Size(), def->FieldType(), StreamFor(def), result);
    return result;
}

void TLumraSQL::SetFieldValue(const host::Variant& id, const host::Variant& value) {
    if (FReadOnly) RaiseLastError(host::LoadResString(LUMRA_ERR_CURS_READ_ONLY), 0);
    TLumraFieldDef* def = FieldOrRaise(id);
    if (value.IsNull()) {
        InternalClearField(def, true);
        return;
    }
    InternalSetValue(RowBuffer(), def->Offset(), def->Size(), def->FieldType(), value, StreamFor(def));
    SetNull(IndicatorBuffer(), def->FieldNo(), false);
}

void TLumraSQL::InternalClearField(TLumraFieldDef* def, bool makeNull) {
    if (ColumnInRow(def) && def->Size() > 0)
        std::memset(FRowBuffer.get() + def->Offset(), 0, static_cast<size_t>(def->Size()));
    SetNull(IndicatorBuffer(), def->FieldNo(), makeNull);
}

void TLumraSQL::ClearField(const std::string& name) {
    if (TLumraFieldDef* def = FFieldDefs->FieldByName(name)) InternalClearField(def, true);
}

void TLumraSQL::ClearFieldNotNull(const std::string& name) {
    if (TLumraFieldDef* def = FFieldDefs->FieldByName(name)) InternalClearField(def, false);
}

void TLumraSQL::ClearAll(bool makeNull) {
    if (!FCursorOpen) RaiseLastError(host::LoadResString(LUMRA_ERR_CURS_NOT_OPENED), 0);
    if (FReadOnly) RaiseLastError(host::LoadResString(LUMRA_ERR_CURS_READ_ONLY), 0);
    for (int32_t i = 0; i < FFieldDefs->GetCount(); ++i) {
        TLumraFieldDef* def = FFieldDefs->GetItem(i);
        if (def->KeyIndicator() != kiHiddenKeyField) InternalClearField(def, makeNull);
    }
}

void TLumraSQL::Clear() {
    ClearAll(true);
}

void TLumraSQL::ClearNotNull() {
    ClearAll(false);
}

void TLumraSQL::DoEvent(const host::TNotifyEvent& event) {
    if (event) event(this);
}
