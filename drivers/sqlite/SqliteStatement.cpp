// The SQLite statement: preparing exactly one statement, binding host
// variables from their buffers, executing under the session's transaction
// rules, converting values between Variants and the row format without
// changing them, and writing the row at the cursor back to its table.
#include "drivers/sqlite/SqliteStatement.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <typeinfo>

#include "LmrBase/LmrBlobs.h"
#include "drivers/sqlite/SqliteBlob.h"
#include "drivers/sqlite/SqliteCursor.h"
#include "drivers/sqlite/SqliteErrors.h"
#include "drivers/sqlite/SqliteSession.h"
#include "host/DateTime.h"
#include "host/SysUtils.h"

namespace {

constexpr int32_t DefaultStringLength = 256;
constexpr int32_t UnknownVariableSize = 9; // one tag byte (0 null, 1 integer), then a 64-bit integer

// True when the statement is one that changes rows (INSERT, UPDATE, DELETE,
// REPLACE, or one of them behind WITH): the engine's change count belongs to
// the last such statement, and any other statement (DDL, BEGIN, a pragma)
// would report that one's count as its own.
bool ChangesRows(const std::string& sql) {
    const std::string first = SqliteFirstWord(sql);
    for (const char* w : {"INSERT", "UPDATE", "DELETE", "REPLACE", "WITH"})
        if (host::SameText(first, w)) return true;
    return false;
}

} // namespace

bool SqlitePrepareOne(TLumraSession* session, sqlite3* db, const std::string& sql, TSqliteStmtPtr& out) {
    const TSqliteApi& api = SqliteApi();
    out.reset();
    if (sql.size() > static_cast<size_t>(INT32_MAX - 1)) {
        session->SetLastError(SqliteErrorMessage(nullptr, SQLITE_TOOBIG), -SQLITE_TOOBIG);
        return false;
    }
    sqlite3_stmt* raw = nullptr;
    const char* tail = nullptr;
    const int rc = api.prepare_v2(db, sql.data(), static_cast<int>(sql.size()), &raw, &tail);
    out.reset(raw);
    if (rc != SQLITE_OK) {
        out.reset();
        SqliteRecordError(session, db, rc);
        return false;
    }
    if (!out) {
        session->SetLastError("The SQL text holds no statement", SqliteCodeMisuse);
        return false;
    }
    const char* end = sql.data() + sql.size();
    if (tail != nullptr && tail < end && !SqliteOnlyCommentsLeft(tail, end)) {
        out.reset();
        session->SetLastError(
            "The SQL text holds a second statement after the first, which is not run: \"" +
                std::string(tail, static_cast<size_t>(std::min<ptrdiff_t>(end - tail, 80))) + "\"",
            SqliteCodeMisuse);
        return false;
    }
    return true;
}

namespace {

// SqliteBindValue, inlined into the loop that binds every execute's values.
[[gnu::always_inline]] inline int BindValue(const TSqliteApi& api, sqlite3_stmt* stmt, int index,
                                            const TSqliteValue& v, bool keepsBytes) {
    const sqlite3_destructor_type bytes = keepsBytes ? SQLITE_STATIC : SQLITE_TRANSIENT;
    switch (v.Tag) {
    case svInteger:
        return api.bind_int64(stmt, index, v.Int);
    case svFloat:
        return api.bind_double(stmt, index, v.Float);
    case svText:
        return api.bind_text64(stmt, index, v.Data != nullptr ? v.Data : "", v.Bytes, bytes, SQLITE_UTF8);
    case svBlob:
        return api.bind_blob64(stmt, index, v.Data != nullptr ? v.Data : "", v.Bytes, bytes);
    default:
        return api.bind_null(stmt, index);
    }
}

} // namespace

int SqliteBindValue(sqlite3_stmt* stmt, int index, const TSqliteValue& v, bool keepsBytes) {
    return BindValue(SqliteApi(), stmt, index, v, keepsBytes);
}

namespace {

TSqliteValue OtherSlotValue(TLumraFieldTypes type, const char* p, int32_t size, std::string& text);

// The engine value of a buffer slot in the row format (text storage for
// dates and times goes to `text`). The types every execute binds are read
// here, inline; the others by OtherSlotValue.
[[gnu::always_inline]] inline TSqliteValue SlotValue(TLumraFieldTypes type, const char* p, int32_t size,
                                                     std::string& text) {
    TSqliteValue v;
    switch (type) {
    case ntString:
        v.Tag = svText;
        v.Data = p;
        v.Bytes = strnlen(p, static_cast<size_t>(size));
        break;
    case ntInteger:
        v.Tag = svInteger;
        if (size == 4) {
            int32_t i = 0;
            std::memcpy(&i, p, 4);
            v.Int = i;
        } else {
            std::memcpy(&v.Int, p, 8);
        }
        break;
    case ntFloat:
    case ntCurrency:
        v.Tag = svFloat;
        std::memcpy(&v.Float, p, 8);
        break;
    case ntMemo:
        v.Tag = svText;
        v.Data = p;
        v.Bytes = static_cast<uint64_t>(size);
        break;
    case ntUnknown:
        if (size >= UnknownVariableSize && p[0] == 1) {
            v.Tag = svInteger;
            std::memcpy(&v.Int, p + 1, 8);
        }
        break;
    default:
        return OtherSlotValue(type, p, size, text);
    }
    return v;
}

TSqliteValue OtherSlotValue(TLumraFieldTypes type, const char* p, int32_t size, std::string& text) {
    TSqliteValue v;
    switch (type) {
    case ntDate:
    case ntTime:
    case ntDateTime: {
        double d = 0;
        std::memcpy(&d, p, 8);
        // Each type in its one form, the one SQLite's date(), time() and
        // datetime() write: a date-time keeps its time at midnight and its
        // date on the zero day.
        text = type == ntDate   ? host::DateToStr(d)
               : type == ntTime ? host::TimeToStr(d)
                                : host::DateToStr(d) + ' ' + host::TimeToStr(d);
        v.Tag = svText;
        v.Data = text.data();
        v.Bytes = text.size();
        break;
    }
    case ntBoolean:
        v.Tag = svInteger;
        v.Int = p[0] != 0 ? 1 : 0;
        break;
    case ntBinary: {
        uint16_t n = 0;
        if (size < 2) { // a host variable of an empty byte array
            v.Tag = svBlob;
            v.Data = p;
            break;
        }
        std::memcpy(&n, p, 2);
        v.Tag = svBlob;
        v.Data = p + 2;
        v.Bytes = std::min<uint64_t>(n, static_cast<uint64_t>(std::max(size - 2, 0)));
        break;
    }
    case ntBlob:
        v.Tag = svBlob;
        v.Data = p;
        v.Bytes = static_cast<uint64_t>(size);
        break;
    default:
        break;
    }
    return v;
}

} // namespace

namespace {

// Value `value` of defs as the engine stores it (text made for a date goes to `text`).
TSqliteValue VariableValue(TLumraVariableDefs* defs, int32_t value, std::string& text) {
    const TLumraFieldDef* def = defs->GetItem(value);
    return SlotValue(def->FieldType(), defs->Buffer() + def->Offset(), def->Size(), text);
}

bool BindVariable(TLumraSession* session, sqlite3* db, sqlite3_stmt* stmt, int index,
                  TLumraVariableDefs* defs, int32_t value, bool untilNextBind) {
    std::string text;
    const TSqliteValue v = VariableValue(defs, value, text);
    // Text made for a date lives only here and is always copied.
    const bool inBuffer = untilNextBind && (v.Data == nullptr || v.Data != text.data());
    const int rc = SqliteBindValue(stmt, index, v, inBuffer);
    if (rc != SQLITE_OK) {
        SqliteRecordError(session, db, rc);
        return false;
    }
    return true;
}

bool SameValue(const TSqliteValue& a, const TSqliteValue& b) noexcept {
    if (a.Tag != b.Tag) return false;
    switch (a.Tag) {
    case svInteger:
        return a.Int == b.Int;
    case svFloat:
        return a.Float == b.Float || (std::isnan(a.Float) && std::isnan(b.Float));
    case svText:
    case svBlob:
        return a.Bytes == b.Bytes && (a.Bytes == 0 || std::memcmp(a.Data, b.Data, a.Bytes) == 0);
    default:
        return true;
    }
}

std::string ParameterName(sqlite3_stmt* stmt, int index) {
    const char* name = SqliteApi().bind_parameter_name(stmt, index);
    return name != nullptr ? name : "?" + std::to_string(index);
}

// The values are one per occurrence, or names differing only in case share a
// variable: every engine parameter takes the first value of its variable. A
// later value that differs (and is not null) would be lost, so it is refused.
bool BindByVariable(TLumraSession* session, sqlite3* db, sqlite3_stmt* stmt, TLumraVariableDefs* defs,
                    const TSqliteHostVariables& variables, int parameters, bool untilNextBind) {
    const int32_t given = defs->GetCount();
    if (!SqliteCheckVariableCount(session, variables, parameters, given)) return false;
    const bool perOccurrence = given != parameters;
    const std::vector<int32_t>& leaders =
        perOccurrence ? variables.OccurrenceLeader : variables.ParameterLeader;
    for (int32_t k = 0; k < given; ++k) {
        const int32_t first = leaders[k];
        if (first == k) continue;
        std::string text;
        std::string firstText;
        const TSqliteValue later = VariableValue(defs, k, text);
        if (later.Tag == svNull || SameValue(later, VariableValue(defs, first, firstText))) continue;
        auto parameterOf = [&](int32_t value) {
            return perOccurrence ? variables.Occurrence[value] : value + 1;
        };
        const std::string firstName = ParameterName(stmt, parameterOf(first));
        const std::string laterName = ParameterName(stmt, parameterOf(k));
        const std::string values =
            " (values " + std::to_string(first + 1) + " and " + std::to_string(k + 1) + ")";
        session->SetLastError(
            firstName == laterName
                ? "Host variable \"" + firstName + "\" is given two different values" + values +
                      "; every occurrence takes the first one, so a later one must be equal or null"
                : "Host variable \"" + laterName + "\" is given a different value than \"" + firstName +
                      "\"" + values +
                      "; names differing only in case are one variable, so a later one must be "
                      "equal or null",
            SqliteCodeMismatch);
        return false;
    }
    const std::vector<int32_t>& sources =
        perOccurrence ? variables.FirstOccurrence : variables.ParameterLeader;
    for (int p = 1; p <= parameters; ++p) {
        const int32_t value = sources[p - 1];
        if (value >= 0) {
            if (!BindVariable(session, db, stmt, p, defs, value, untilNextBind)) return false;
        } else if (const int rc = SqliteApi().bind_null(stmt, p); rc != SQLITE_OK) {
            // A number no occurrence uses (below a "?NNN"): nothing stale stays bound.
            SqliteRecordError(session, db, rc);
            return false;
        }
    }
    return true;
}

} // namespace

bool SqliteBindVariables(TLumraSession* session, sqlite3* db, sqlite3_stmt* stmt, TLumraVariableDefs* defs,
                         const TSqliteHostVariables& variables, bool untilNextBind) {
    const TSqliteApi& api = SqliteApi();
    const int expected = api.bind_parameter_count(stmt);
    const int32_t given = defs->GetCount();
    if (expected != given || !variables.ParameterLeader.empty())
        return BindByVariable(session, db, stmt, defs, variables, expected, untilNextBind);
    // One to one, the path of every execute of a prepared statement: kept
    // as tight as a hand-written bind loop.
    std::string text;
    for (int32_t i = 0; i < given; ++i) {
        const TLumraFieldDef* def = defs->GetItem(i);
        const TSqliteValue v = SlotValue(def->FieldType(), defs->Buffer() + def->Offset(), def->Size(), text);
        // Text made for a date lives only here and is always copied.
        const bool inBuffer = untilNextBind && (v.Data == nullptr || v.Data != text.data());
        if (const int rc = BindValue(api, stmt, i + 1, v, inBuffer); rc != SQLITE_OK) {
            SqliteRecordError(session, db, rc);
            return false;
        }
    }
    return true;
}

// ---- Construction --------------------------------------------------------------------

TSqliteSQL::TSqliteSQL(host::TComponent* owner) : TLumraSQL(owner) {}

TSqliteSQL::~TSqliteSQL() {
    // The base destructor reaches only the base bodies: release the engine
    // statements here. A close handler that raises cannot be reported from a
    // destructor; each side is still released.
    if (GetSessionObject() != nullptr) {
        try {
            UnprepareOpen();
        } catch (...) {
        }
        try {
            UnprepareExecute();
        } catch (...) {
        }
    }
    // Engine statements exist only while the statement is linked (leaving a
    // session releases them), so these are empty unless a release above failed.
    FCursor.reset();
    FCommand.reset();
}

TSqliteSession* TSqliteSQL::SqliteSession() const {
    TLumraSession* session = GetSession();
    // Asked on every execute and fetch: the exact type is checked first,
    // which costs far less than a cast through the hierarchy.
    if (session != nullptr && typeid(*session) == typeid(TSqliteSession))
        return static_cast<TSqliteSession*>(session);
    auto* sqlite = dynamic_cast<TSqliteSession*>(session);
    if (sqlite == nullptr) throw ELumraException(host::LoadResString(LUMRA_ERR_SESS_NIL), 0, 0);
    return sqlite;
}

bool TSqliteSQL::InternalPrepare(const std::string& sql) {
    TSqliteSession* session = SqliteSession();
    auto command = std::make_unique<TSqliteCommand>();
    if (!SqlitePrepareOne(session, session->Db(), sql, command->Stmt)) return false;
    const bool rows = SqliteApi().column_count(command->Stmt.get()) > 0;
    // A statement without rows keeps the engine statement prepared here: it is not prepared a second time.
    if (!rows) return AdoptCommand(sql, std::move(command));
    // A pragma that returns rows is both: a query to open, and a setting to execute.
    if (SqliteIsPragma(sql)) return InternalPrepareOpen(sql) && AdoptCommand(sql, std::move(command));
    command.reset();
    return InternalPrepareOpen(sql);
}

bool TSqliteSQL::InternalBindOpen(void*) {
    if (!FCursor) return false;
    if (!SqliteCheckVariableCount(SqliteSession(), FCursor->Variables,
                                  SqliteApi().bind_parameter_count(FCursor->Stmt.get()),
                                  CursorVariables()->GetCount()))
        return false;
    // The values themselves are bound from the buffer at every open, so a
    // kept binding always carries the values of the latest call.
    CursorVariables()->SetBound(true);
    return true;
}

// ---- Non-query side ------------------------------------------------------------------

bool TSqliteSQL::InternalPrepareExecute(const std::string& sql) {
    TSqliteSession* session = SqliteSession();
    sqlite3* db = session->Db();
    if (db == nullptr) {
        session->SetLastError(host::LoadResString(LUMRA_ERR_SESS_INVALID_HANDLE), SqliteCodeMisuse);
        return false;
    }
    auto command = std::make_unique<TSqliteCommand>();
    if (!SqlitePrepareOne(session, db, sql, command->Stmt)) return false;
    if (SqliteApi().column_count(command->Stmt.get()) > 0 && !SqliteIsPragma(sql)) {
        session->SetLastError(host::LoadResString(LUMRA_ERR_CURS_IS_QUERY), SqliteCodeMisuse);
        return false;
    }
    return AdoptCommand(sql, std::move(command));
}

bool TSqliteSQL::AdoptCommand(const std::string& sql, std::unique_ptr<TSqliteCommand> command) {
    SqliteMapHostVariables(command->Stmt.get(), sql, command->Variables);
    FCommand = std::move(command);
    return TLumraSQL::InternalPrepareExecute(sql);
}

bool TSqliteSQL::InternalBindExecute(host::TStrings*) {
    if (!FCommand) return false;
    if (!SqliteCheckVariableCount(SqliteSession(), FCommand->Variables,
                                  SqliteApi().bind_parameter_count(FCommand->Stmt.get()),
                                  ExecuteVariables()->GetCount()))
        return false;
    ExecuteVariables()->SetBound(true);
    return true;
}

namespace {

// Runs stmt (of text sql) to its end under the session's transaction rules:
// inside a unit of work it is part of that work; outside one a change runs in
// an engine transaction of its own, committed right after it and undone when
// it fails. False with the error recorded.
bool RunStatement(TSqliteSQL& sql, TSqliteSession* session, sqlite3_stmt* stmt, std::string_view text,
                  int64_t& changes) {
    const TSqliteApi& api = SqliteApi();
    sqlite3* db = session->Db();
    const bool writes = api.stmt_readonly(stmt) == 0;
    bool began = false;
    if (!session->BeforeStatement(writes, text, began)) return false;
    auto undo = [&] {
        if (!began) return;
        const std::string msg = session->LastError();
        const int32_t code = session->LastErrorCode();
        try {
            session->InternalRollback();
        } catch (const ELumraException&) {
            // The first error is the one to report.
        }
        session->SetLastError(msg, code);
    };
    int rc = SQLITE_OK;
    while ((rc = api.step(stmt)) == SQLITE_ROW) {
    }
    session->AfterStep(rc);
    if (rc != SQLITE_DONE) {
        SqliteRecordError(session, db, rc);
        api.reset(stmt);
        undo();
        return false;
    }
    changes = writes ? api.changes(db) : 0;
    api.reset(stmt);
    if (began) {
        try {
            sql.InternalAutoCommit();
        } catch (const ELumraException&) {
            undo();
            return false;
        }
    }
    return true;
}

} // namespace

bool TSqliteSQL::InternalExecute(host::TStrings*) {
    if (!FCommand) return false;
    TSqliteSession* session = SqliteSession();
    sqlite3_stmt* stmt = FCommand->Stmt.get();
    // Every run ends with a reset (RunStatement), so the statement is ready
    // to bind. The variable buffer stays as it is until the next execute binds again,
    // and the statement is only run right after a bind: no copy is needed.
    if (!SqliteBindVariables(session, session->Db(), stmt, ExecuteVariables(), FCommand->Variables, true))
        return false;
    int64_t changes = 0;
    if (!RunStatement(*this, session, stmt, StatementSQL(), changes)) return false;
    if (!ChangesRows(StatementSQL())) changes = 0;
    SetRowsProcessed(static_cast<int32_t>(std::min<int64_t>(changes, INT32_MAX)));
    return true;
}

void TSqliteSQL::InternalUnprepareExecute() {
    FCommand.reset();
    TLumraSQL::InternalUnprepareExecute();
}

int32_t TSqliteSQL::InternalGetVariableLength(TLumraFieldTypes fieldType) {
    switch (fieldType) {
    case ntString:
        return DefaultStringLength;
    case ntInteger:
        return 4;
    case ntBoolean:
        return 1;
    case ntFloat:
    case ntCurrency:
    case ntDate:
    case ntTime:
    case ntDateTime:
        return 8;
    // Byte arrays always travel with their exact length (as ntBlob).
    case ntBinary:
        return 0;
    case ntUnknown:
        return UnknownVariableSize;
    default:
        return 0;
    }
}

int32_t TSqliteSQL::InternalGetVariableExtType(TLumraFieldTypes fieldType) {
    switch (fieldType) {
    case ntInteger:
    case ntBoolean:
        return SQLITE_INTEGER;
    case ntFloat:
    case ntCurrency:
        return SQLITE_FLOAT;
    case ntString:
    case ntMemo:
    case ntDate:
    case ntTime:
    case ntDateTime:
        return SQLITE_TEXT;
    case ntBinary:
    case ntBlob:
        return SQLITE_BLOB;
    default:
        return SQLITE_NULL;
    }
}

// ---- Values -------------------------------------------------------------------------

namespace {

bool IsIntegral(host::TVarType t) {
    return t == host::varSmallint || t == host::varInteger || t == host::varShortInt || t == host::varByte ||
           t == host::varWord || t == host::varLongWord || t == host::varInt64 || t == host::varBoolean;
}

host::Variant BytesVariant(const char* data, uint64_t n) {
    host::Variant result = host::VarArrayCreate(0, static_cast<int32_t>(n) - 1, host::varByte);
    if (n > 0) {
        void* p = host::VarArrayLock(result);
        std::memcpy(p, data, n);
        host::VarArrayUnlock(result);
    }
    return result;
}

// The bytes of a byte-array or text Variant.
std::string VariantBytes(const host::Variant& value) {
    if (value.VarType() == (host::varArray | host::varByte)) {
        host::Variant copy = value;
        const int32_t n = host::VarArrayHighBound(copy) - host::VarArrayLowBound(copy) + 1;
        std::string bytes;
        if (n > 0) {
            bytes.assign(static_cast<const char*>(host::VarArrayLock(copy)), static_cast<size_t>(n));
            host::VarArrayUnlock(copy);
        }
        return bytes;
    }
    return value.AsString();
}

} // namespace

void TSqliteSQL::InternalGetValue(char* buffer, int32_t position, int32_t size, TLumraFieldTypes fieldType,
                                  TLumraBlobStream* stream, host::Variant& value) {
    if (buffer == nullptr) return;
    const char* p = buffer + position;
    const bool rowBuffer = buffer == RowBuffer() || buffer == OldRowBuffer();
    if ((fieldType == ntMemo || fieldType == ntBlob) && rowBuffer) {
        // What was written through the stream is the current value only:
        // the old value is the row as fetched.
        if (stream != nullptr && stream->Modified() && buffer == RowBuffer()) {
            const char* data = stream->Buffer() != nullptr ? stream->Buffer() : "";
            value = fieldType == ntMemo
                        ? host::Variant(std::string(data, static_cast<size_t>(stream->BufferedSize())))
                        : BytesVariant(data, static_cast<uint64_t>(stream->BufferedSize()));
            return;
        }
        const int32_t column = SqliteColumnAtOffset(*this, position);
        TSqliteValue v;
        if (column < 0 || !SqliteCurrentValue(*this, column, v)) return;
        const bool dynamic = FieldDefs()->GetItem(column)->ExtType() == SQLITE_NULL;
        switch (v.Tag) {
        case svInteger:
            if (dynamic)
                value = host::Variant(v.Int);
            else
                value = std::to_string(v.Int);
            break;
        case svFloat:
            if (dynamic) {
                value = host::Variant(v.Float);
            } else {
                char text[32];
                std::snprintf(text, sizeof text, "%.17g", v.Float);
                value = std::string(text);
            }
            break;
        case svText:
            if (fieldType == ntBlob && !dynamic)
                value = BytesVariant(v.Data, v.Bytes);
            else
                value = std::string(v.Data, v.Bytes);
            break;
        case svBlob:
            if (fieldType == ntMemo && !dynamic)
                value = std::string(v.Data, v.Bytes);
            else
                value = BytesVariant(v.Data, v.Bytes);
            break;
        default:
            break;
        }
        return;
    }
    std::string text;
    const TSqliteValue v = SlotValue(fieldType, p, size, text);
    switch (fieldType) {
    case ntString:
    case ntMemo:
        value = std::string(v.Data, v.Bytes);
        break;
    case ntInteger:
        if (size == 4)
            value = host::Variant(static_cast<int32_t>(v.Int));
        else
            value = host::Variant(v.Int);
        break;
    case ntFloat:
    case ntCurrency:
        value = host::Variant(v.Float);
        break;
    case ntDate:
    case ntTime:
    case ntDateTime: {
        double d = 0;
        std::memcpy(&d, p, 8);
        value = host::Variant::FromDate(d);
        break;
    }
    case ntBoolean:
        value = host::Variant(v.Int != 0);
        break;
    case ntBinary:
    case ntBlob:
        value = BytesVariant(v.Data, v.Bytes);
        break;
    case ntUnknown:
        if (v.Tag == svInteger)
            value = host::Variant(v.Int);
        else
            value = host::Variant::Null();
        break;
    default:
        break;
    }
}

namespace {

// Raises the mismatch error for a value that cannot be stored at `position`
// of `buffer`, naming the column or host variable found at that offset. Kept
// out of line: storing a value that fits is the path that counts.
[[noreturn, gnu::cold, gnu::noinline]] void RaiseStoreError(TSqliteSQL& sql, const char* buffer,
                                                            int32_t position, const std::string& why) {
    const bool rowBuffer = buffer == sql.RowBuffer() || buffer == sql.OldRowBuffer();
    std::string name = "?";
    TLumraFieldDefs* lists[] = {sql.FieldDefs(), sql.CursorVariables(), sql.ExecuteVariables()};
    for (TLumraFieldDefs* defs : lists) {
        if (name != "?") break;
        if (defs == sql.FieldDefs() ? !rowBuffer : static_cast<TLumraVariableDefs*>(defs)->Buffer() != buffer)
            continue;
        for (int32_t i = 0; i < defs->GetCount(); ++i)
            if (defs->GetItem(i)->Offset() == position) {
                name = defs == sql.FieldDefs() ? defs->GetItem(i)->Name()
                                               : "host variable " + std::to_string(i + 1);
                break;
            }
    }
    sql.RaiseLastError("Value for \"" + name + "\" cannot be stored: " + why, SqliteCodeMismatch);
}

} // namespace

void TSqliteSQL::InternalSetValue(char* buffer, int32_t position, int32_t size, TLumraFieldTypes fieldType,
                                  const host::Variant& value, TLumraBlobStream* stream) {
    if (buffer == nullptr) return;
    char* p = buffer + position;
    // The shapes every execute stores (text that fits a host variable, a
    // double, an integer or a Null in an untyped one) are written here
    // exactly as StoreValue would write them, without its checks' setup.
    const host::TVarType vt = value.VarType();
    switch (fieldType) {
    case ntString:
        if (const std::string* s = value.StringRef();
            s != nullptr && static_cast<int64_t>(s->size()) + 1 <= size && buffer != RowBuffer() &&
            buffer != OldRowBuffer() && std::memchr(s->data(), 0, s->size()) == nullptr) {
            std::memcpy(p, s->data(), s->size());
            p[s->size()] = '\0';
            return;
        }
        break;
    case ntFloat:
        if (vt == host::varDouble) {
            const double d = value.AsDouble();
            if (d != 0 && d == d) { // zeros and NaN take StoreValue's checks
                std::memcpy(p, &d, 8);
                return;
            }
        }
        break;
    case ntUnknown:
        if (size < UnknownVariableSize) break;
        if (vt == host::varNull || vt == host::varEmpty) {
            std::memset(p, 0, static_cast<size_t>(size));
            return;
        }
        if (vt == host::varInt64 || vt == host::varInteger) {
            const int64_t i = value.AsInt64();
            p[0] = 1;
            std::memcpy(p + 1, &i, 8);
            if (size > UnknownVariableSize)
                std::memset(p + UnknownVariableSize, 0, static_cast<size_t>(size - UnknownVariableSize));
            return;
        }
        break;
    default:
        break;
    }
    StoreValue(buffer, position, size, fieldType, value, stream);
}

namespace {

// Significant digits of an amount's exact decimal form.
int CurrencyDigits(host::Currency c) noexcept {
    uint64_t m = c.Value < 0 ? uint64_t{0} - static_cast<uint64_t>(c.Value) : static_cast<uint64_t>(c.Value);
    while (m != 0 && m % 10 == 0)
        m /= 10;
    int digits = 0;
    for (; m != 0; m /= 10)
        ++digits;
    return digits;
}

// A Boolean column holds 0 or 1: a Boolean, or a number or text that is
// exactly one of them (text also "True" or "False"). Any other number would
// be a truth value only by accident, so it is refused.
template <class Fail> bool StoredBoolean(const host::Variant& value, Fail&& fail) {
    const host::TVarType vt = value.VarType();
    if (vt == host::varBoolean) return value.AsBoolean();
    if (vt == host::varString || vt == host::varOleStr) {
        const std::string text = host::Trim(value.AsString());
        if (host::SameText(text, "True")) return true;
        if (host::SameText(text, "False")) return false;
    }
    double d = 0;
    try {
        d = value.AsDouble();
    } catch (const host::EConvertError&) {
        fail("\"" + value.AsString() + "\" is not a Boolean");
    }
    if (d != 0 && d != 1) fail("the number " + host::FloatToStr(d) + " is not a Boolean (0 or 1)");
    return d == 1;
}

} // namespace

void TSqliteSQL::StoreValue(char* buffer, int32_t position, int32_t size, TLumraFieldTypes fieldType,
                            const host::Variant& value, TLumraBlobStream* stream) {
    char* p = buffer + position;
    auto isRowBuffer = [&] { return buffer == RowBuffer() || buffer == OldRowBuffer(); };
    auto fail = [&](const std::string& why) { RaiseStoreError(*this, buffer, position, why); };
    try {
        const host::TVarType vt = value.VarType();
        switch (fieldType) {
        case ntString: {
            // 8-bit text is read where it stands; anything else is converted first.
            std::string converted;
            const std::string* text = value.StringRef();
            if (text == nullptr) text = &(converted = value.AsString());
            const std::string& s = *text;
            if (s.find('\0') != std::string::npos) fail("the text holds a zero byte");
            if (static_cast<int64_t>(s.size()) + 1 > size)
                fail("text of " + std::to_string(s.size()) + " bytes is longer than " +
                     std::to_string(size - 1));
            std::memcpy(p, s.data(), s.size());
            // A row's slot is written whole, the terminator and the rest as
            // zeros, since a changed value is found by comparing slots; a host
            // variable is read up to its terminator.
            if (isRowBuffer())
                std::memset(p + s.size(), 0, static_cast<size_t>(size) - s.size());
            else
                p[s.size()] = '\0';
            break;
        }
        case ntInteger: {
            int64_t i = 0;
            if (IsIntegral(vt)) {
                i = value.AsInt64();
            } else if (vt == host::varString || vt == host::varOleStr) {
                const std::string s = value.AsString();
                const auto r = std::from_chars(s.data(), s.data() + s.size(), i);
                if (r.ec != std::errc() || r.ptr != s.data() + s.size())
                    fail("\"" + s + "\" is not an integer");
            } else {
                const double d = value.AsDouble();
                if (!host::DoubleToInt64Exact(d, i))
                    fail("the number " + host::FloatToStr(d) + " is not a 64-bit whole number");
            }
            if (size == 4) {
                if (i < INT32_MIN || i > INT32_MAX)
                    fail("the integer " + std::to_string(i) + " needs 64 bits");
                const int32_t i32 = static_cast<int32_t>(i);
                std::memcpy(p, &i32, 4);
            } else {
                std::memcpy(p, &i, 8);
            }
            break;
        }
        case ntFloat:
        case ntCurrency: {
            double d = 0;
            if (IsIntegral(vt)) {
                const int64_t i = value.AsInt64();
                if (!host::Int64ToDoubleExact(i, d))
                    fail("the integer " + std::to_string(i) + " has no exact double");
            } else if (vt == host::varCurrency) {
                // The value travels as a double, and SQLite turns a double into
                // text with 15 significant digits: an amount with more would
                // come back as another one.
                const host::Currency c = value.AsCurrency();
                if (CurrencyDigits(c) > 15)
                    fail("the amount " + c.ToString() +
                         " has more than 15 significant digits, which a double does not keep exactly");
                d = c.ToDouble();
            } else {
                d = value.AsDouble();
            }
            // SQLite stores a NaN as NULL, and a negative zero as the integer 0.
            if (std::isnan(d)) fail("NaN is not a number SQLite can store");
            if (d == 0 && std::signbit(d)) fail("SQLite stores a negative zero as 0");
            std::memcpy(p, &d, 8);
            break;
        }
        case ntDate:
        case ntTime:
        case ntDateTime: {
            const double d = value.AsDateTime();
            if (fieldType == ntDate && std::trunc(d) != d) fail("the value holds a time of day");
            if (fieldType == ntTime && !(d >= 0 && d < 1)) fail("the value holds a date");
            host::DateTimeToTimeStamp(d); // raises for values outside the years 1..9999
            std::memcpy(p, &d, 8);
            break;
        }
        case ntBoolean:
            p[0] = StoredBoolean(value, fail) ? 1 : 0;
            break;
        case ntBinary: {
            const std::string bytes = VariantBytes(value);
            if (size == 0 && bytes.empty() && !isRowBuffer()) break; // an empty byte array as host variable
            if (static_cast<int64_t>(bytes.size()) + 2 > size)
                fail(std::to_string(bytes.size()) + " bytes are more than " +
                     std::to_string(std::max(size - 2, 0)));
            const uint16_t n = static_cast<uint16_t>(bytes.size());
            std::memset(p, 0, static_cast<size_t>(size));
            std::memcpy(p, &n, 2);
            std::memcpy(p + 2, bytes.data(), bytes.size());
            break;
        }
        case ntMemo:
        case ntBlob: {
            const std::string bytes = VariantBytes(value);
            if (!isRowBuffer()) {
                // A host variable sized to its value.
                if (static_cast<int64_t>(bytes.size()) != size)
                    fail(std::to_string(bytes.size()) + " bytes do not match the variable's " +
                         std::to_string(size));
                std::memcpy(p, bytes.data(), bytes.size());
                break;
            }
            TLumraBlobStream* target = stream;
            if (target == nullptr) {
                for (int32_t i = 0; i < FieldDefs()->GetCount(); ++i)
                    if (FieldDefs()->GetItem(i)->Offset() == position)
                        target = BlobManager()->BlobByName(FieldDefs()->GetItem(i)->Name());
            }
            if (target == nullptr) fail("the column has no blob stream");
            if (bytes.size() > static_cast<size_t>(INT32_MAX)) fail("the value is larger than 2 GB");
            target->Truncate();
            if (!bytes.empty()) target->Write(bytes.data(), static_cast<int32_t>(bytes.size()));
            const int32_t n = static_cast<int32_t>(bytes.size());
            if (size >= 4) std::memcpy(p, &n, 4);
            break;
        }
        case ntUnknown:
            if (size < UnknownVariableSize) fail("the variable is too small");
            std::memset(p, 0, static_cast<size_t>(size));
            if (value.IsNull() || value.IsEmpty()) break;
            if (!IsIntegral(vt)) fail("a value of type " + host::VarTypeAsText(vt) + " cannot be bound");
            p[0] = 1;
            {
                const int64_t i = value.AsInt64();
                std::memcpy(p + 1, &i, 8);
            }
            break;
        default:
            fail("the column's type takes no values");
        }
    } catch (const ELumraException&) {
        throw;
    } catch (const host::Exception& e) {
        fail(e.what());
    }
}

// ---- Writing the row at the cursor -----------------------------------------------------

namespace {

enum class TEdit { Update, Insert, Delete };

// Checks shared by the three edits; raises for usage errors.
TSqliteCursor& EditableCursor(TSqliteSQL& sql, std::unique_ptr<TSqliteCursor>& cursor, TEdit edit) {
    if (!cursor || !sql.CursorOpen()) sql.RaiseLastError(host::LoadResString(LUMRA_ERR_CURS_NOT_OPENED), 0);
    if (sql.ReadOnly()) sql.RaiseLastError(host::LoadResString(LUMRA_ERR_CURS_READ_ONLY), 0);
    TSqliteCursor& c = *cursor;
    if (c.Table.empty() || (edit != TEdit::Insert && c.KeyColumns.empty()))
        sql.RaiseLastError(host::LoadResString(LUMRA_ERR_CURS_MISSING_ROWID), 0);
    return c;
}

// The value of column i in a row buffer as the engine stores it; blobs come
// from their stream when written, else from the stored row.
TSqliteValue RowValue(TSqliteSQL& sql, int32_t i, const char* row, char* indicators, std::string& text) {
    const TLumraFieldDef* def = sql.FieldDefs()->GetItem(i);
    if (sql.IsNull(indicators, i)) return {};
    if (def->FieldType() == ntMemo || def->FieldType() == ntBlob) {
        TLumraBlobStream* stream = sql.BlobManager()->BlobByName(def->Name());
        TSqliteValue v;
        if (stream->Modified()) {
            v.Tag = def->FieldType() == ntMemo ? svText : svBlob;
            v.Data = stream->Buffer() != nullptr ? stream->Buffer() : "";
            v.Bytes = static_cast<uint64_t>(stream->BufferedSize());
            return v;
        }
        SqliteCurrentValue(sql, i, v);
        return v;
    }
    return SlotValue(def->FieldType(), row + def->Offset(), def->Size(), text);
}

bool BindRowValues(TSqliteSQL& sql, sqlite3_stmt* stmt, const std::vector<int32_t>& columns, const char* row,
                   char* indicators, int first) {
    for (size_t k = 0; k < columns.size(); ++k) {
        std::string text;
        const TSqliteValue v = RowValue(sql, columns[k], row, indicators, text);
        const int rc = SqliteBindValue(stmt, first + static_cast<int>(k), v);
        if (rc != SQLITE_OK) {
            SqliteRecordError(sql.GetSession(), sql.SqliteSession()->Db(), rc);
            return false;
        }
    }
    return true;
}

std::string KeyCondition(const TSqliteCursor& c, const std::string& rowIdName) {
    std::string where;
    for (int32_t k : c.KeyColumns) {
        if (!where.empty()) where += " AND ";
        where += (k == c.RowIdColumn ? rowIdName : SqliteQuoteName(c.Origins[k])) + " IS ?";
    }
    return where;
}

// The rowid's name in the hidden column's select text.
std::string RowIdName(TSqliteSQL& sql, const TSqliteCursor& c) {
    if (c.RowIdColumn < 0) return {};
    const char* name = SqliteApi().column_name(c.Stmt.get(), c.RowIdColumn);
    (void)sql;
    return name != nullptr ? name : "rowid";
}

bool RunEdit(TSqliteSQL& sql, const std::string& text, const std::vector<int32_t>& values, const char* row,
             char* indicators, const std::vector<int32_t>& keys, int64_t& changes) {
    TSqliteSession* session = sql.SqliteSession();
    TSqliteStmtPtr stmt;
    if (!SqlitePrepareOne(session, session->Db(), text, stmt)) return false;
    if (!BindRowValues(sql, stmt.get(), values, row, indicators, 1)) return false;
    if (!BindRowValues(sql, stmt.get(), keys, sql.OldRowBuffer(), sql.OldIndicatorBuffer(),
                       static_cast<int>(values.size()) + 1))
        return false;
    return RunStatement(sql, session, stmt.get(), text, changes);
}

} // namespace

bool TSqliteSQL::UpdateRow() {
    TSqliteCursor& c = EditableCursor(*this, FCursor, TEdit::Update);
    std::vector<int32_t> columns;
    for (int32_t i = 0; i < FieldDefs()->GetCount(); ++i)
        if (!c.Origins[i].empty() && i != c.RowIdColumn && IsFieldDirty(host::Variant(i)))
            columns.push_back(i);
    if (columns.empty()) return true;
    std::string text = "UPDATE " + SqliteQuoteName(c.Table) + " SET ";
    for (size_t k = 0; k < columns.size(); ++k)
        text += (k > 0 ? ", " : "") + SqliteQuoteName(c.Origins[columns[k]]) + " = ?";
    text += " WHERE " + KeyCondition(c, RowIdName(*this, c));
    int64_t changes = 0;
    if (!RunEdit(*this, text, columns, RowBuffer(), IndicatorBuffer(), c.KeyColumns, changes)) return false;
    if (changes == 0) {
        GetSession()->SetLastError("The row to update no longer exists", -SQLITE_NOTFOUND);
        return false;
    }
    // The stored row takes the new values, so scrolling back shows them.
    const int64_t row = RecNo();
    if (row >= c.FirstKept && row - c.FirstKept < static_cast<int64_t>(c.Rows.Count())) {
        std::vector<uint8_t> encoded;
        for (int32_t i = 0; i < FieldDefs()->GetCount(); ++i) {
            std::string scratch;
            TSqliteRowStore::Encode(encoded, RowValue(*this, i, RowBuffer(), IndicatorBuffer(), scratch));
        }
        c.Rows.Replace(static_cast<size_t>(row - c.FirstKept), encoded);
    }
    std::memcpy(OldRowBuffer(), RowBuffer(), static_cast<size_t>(RecordSize()));
    std::memcpy(OldIndicatorBuffer(), IndicatorBuffer(), static_cast<size_t>(IndicatorSize()));
    BlobManager()->ClearBlobs();
    return true;
}

bool TSqliteSQL::InsertRow() {
    TSqliteCursor& c = EditableCursor(*this, FCursor, TEdit::Insert);
    std::vector<int32_t> columns;
    for (int32_t i = 0; i < FieldDefs()->GetCount(); ++i) {
        if (c.Origins[i].empty() || i == c.RowIdColumn || IsNull(IndicatorBuffer(), i)) continue;
        const TLumraFieldDef* def = FieldDefs()->GetItem(i);
        // A blob takes part only with bytes written for the new row.
        if ((def->FieldType() == ntMemo || def->FieldType() == ntBlob) &&
            !BlobManager()->BlobByName(def->Name())->Modified())
            continue;
        columns.push_back(i);
    }
    std::string text = "INSERT INTO " + SqliteQuoteName(c.Table);
    if (columns.empty()) {
        text += " DEFAULT VALUES";
    } else {
        std::string names;
        std::string marks;
        for (size_t k = 0; k < columns.size(); ++k) {
            names += (k > 0 ? ", " : "") + SqliteQuoteName(c.Origins[columns[k]]);
            marks += k > 0 ? ", ?" : "?";
        }
        text += " (" + names + ") VALUES (" + marks + ")";
    }
    int64_t changes = 0;
    if (!RunEdit(*this, text, columns, RowBuffer(), IndicatorBuffer(), {}, changes)) return false;
    // Generated keys go back into the row.
    const int64_t rowid = SqliteApi().last_insert_rowid(SqliteSession()->Db());
    auto putKey = [&](int32_t i) {
        const TLumraFieldDef* def = FieldDefs()->GetItem(i);
        if (def->FieldType() != ntInteger || def->Size() != 8) return;
        std::memcpy(RowBuffer() + def->Offset(), &rowid, 8);
        SetNull(IndicatorBuffer(), i, false);
    };
    if (c.RowIdColumn >= 0) putKey(c.RowIdColumn);
    if (c.RowIdIsKeyAlias && IsNull(IndicatorBuffer(), c.KeyColumns[0])) putKey(c.KeyColumns[0]);
    SetRowsProcessed(static_cast<int32_t>(changes));
    return true;
}

bool TSqliteSQL::DeleteRow() {
    TSqliteCursor& c = EditableCursor(*this, FCursor, TEdit::Delete);
    const std::string text =
        "DELETE FROM " + SqliteQuoteName(c.Table) + " WHERE " + KeyCondition(c, RowIdName(*this, c));
    int64_t changes = 0;
    if (!RunEdit(*this, text, {}, RowBuffer(), IndicatorBuffer(), c.KeyColumns, changes)) return false;
    if (changes == 0) {
        GetSession()->SetLastError("The row to delete no longer exists", -SQLITE_NOTFOUND);
        return false;
    }
    return true;
}
