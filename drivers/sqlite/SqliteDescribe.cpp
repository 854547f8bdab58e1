// Describing a SQLite cursor: declared types become field types and sizes,
// and the driver works out whether (and how) the rows of the cursor can be
// written back: through the primary key when the select list holds it, else
// through the rowid, fetched in a hidden column added to the select list.
#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <cstring>
#include <map>

#include "LmrUtil/LmrUtil.h"
#include "drivers/sqlite/SqliteBlob.h"
#include "drivers/sqlite/SqliteCursor.h"
#include "drivers/sqlite/SqliteErrors.h"
#include "drivers/sqlite/SqliteSession.h"
#include "host/SysUtils.h"

namespace {

// The numbers in "(n)" or "(p,s)" of a declared type; false when there are none.
bool DeclaredLength(const std::string& decl, int64_t& length, int64_t& scale) {
    const std::string::size_type open = decl.find('(');
    if (open == std::string::npos) return false;
    const char* p = decl.c_str() + open + 1;
    char* end = nullptr;
    length = std::strtoll(p, &end, 10);
    if (end == p) return false;
    scale = 0;
    while (*end == ' ')
        ++end;
    if (*end == ',') scale = std::strtoll(end + 1, nullptr, 10);
    return length >= 0;
}

bool Contains(const std::string& s, const char* part) {
    return s.find(part) != std::string::npos;
}
bool StartsWith(const std::string& s, const char* part) {
    return s.rfind(part, 0) == 0;
}

// Skips a quoted name or string, a comment, or one character; returns the next position.
size_t SkipLexeme(const std::string& s, size_t i) {
    const char c = s[i];
    if (c == '\'' || c == '"' || c == '`' || c == '[') {
        const char close = c == '[' ? ']' : c;
        size_t j = s.find(close, i + 1);
        return j == std::string::npos ? s.size() : j + 1;
    }
    if (c == '-' && i + 1 < s.size() && s[i + 1] == '-') {
        size_t j = s.find('\n', i);
        return j == std::string::npos ? s.size() : j + 1;
    }
    if (c == '/' && i + 1 < s.size() && s[i + 1] == '*') {
        size_t j = s.find("*/", i + 2);
        return j == std::string::npos ? s.size() : j + 2;
    }
    return i + 1;
}

bool IsWordChar(char c) {
    return std::isalnum(static_cast<unsigned char>(c)) || c == '_' || c == '$';
}

// Calls f(word, position, depth) for each bare word outside quotes and comments.
template <class F> void ForEachWord(const std::string& s, F f) {
    int depth = 0;
    size_t i = 0;
    while (i < s.size()) {
        const char c = s[i];
        if (IsWordChar(c)) {
            size_t j = i;
            while (j < s.size() && IsWordChar(s[j]))
                ++j;
            if (f(host::UpperCase(s.substr(i, j - i)), i, depth)) return;
            i = j;
            continue;
        }
        if (c == '(') ++depth;
        if (c == ')') --depth;
        i = SkipLexeme(s, i);
    }
}

// Select forms whose rows are not rows of one table.
bool CombinesRows(const std::string& sql) {
    bool found = false;
    ForEachWord(sql, [&](const std::string& w, size_t, int) {
        found = w == "DISTINCT" || w == "GROUP" || w == "UNION" || w == "INTERSECT" || w == "EXCEPT" ||
                w == "JOIN" || w == "WITH" || w == "VALUES" || w == "HAVING" || w == "WINDOW";
        return found;
    });
    return found;
}

// sql with `column` added at the end of its top-level select list; empty
// when the text has no top-level FROM.
std::string AddSelectColumn(const std::string& sql, const std::string& column) {
    size_t from = std::string::npos;
    ForEachWord(sql, [&](const std::string& w, size_t pos, int depth) {
        if (depth == 0 && w == "FROM") from = pos;
        return from != std::string::npos;
    });
    if (from == std::string::npos) return {};
    return sql.substr(0, from) + ", " + column + " " + sql.substr(from);
}

struct TTableColumn {
    std::string Name;
    std::string Type;
    int Pk = 0;
    bool NotNull = false;
};

// The columns of `table` from the engine's catalogue; false with the error recorded.
bool ReadTableColumns(TLumraSession* session, sqlite3* db, const std::string& table,
                      std::vector<TTableColumn>& columns) {
    const TSqliteApi& api = SqliteApi();
    TSqliteStmtPtr stmt;
    if (!SqlitePrepareOne(session, db, "SELECT name, type, pk, \"notnull\" FROM pragma_table_info(?1)", stmt))
        return false;
    int rc = api.bind_text64(stmt.get(), 1, table.data(), table.size(), SQLITE_TRANSIENT, SQLITE_UTF8);
    while (rc == SQLITE_OK || rc == SQLITE_ROW) {
        rc = api.step(stmt.get());
        if (rc != SQLITE_ROW) break;
        auto text = [&](int i) {
            const unsigned char* t = api.column_text(stmt.get(), i);
            return t != nullptr ? std::string(reinterpret_cast<const char*>(t)) : std::string();
        };
        columns.push_back({text(0), host::UpperCase(text(1)),
                           static_cast<int>(api.column_int64(stmt.get(), 2)),
                           api.column_int64(stmt.get(), 3) != 0});
    }
    if (rc != SQLITE_DONE) {
        SqliteRecordError(session, db, rc);
        return false;
    }
    return true;
}

// Whether column i of stmt accepts nulls: false for a column of a table
// declared NOT NULL, true for expressions and whatever the catalogue cannot
// say. The NOT NULL columns of each table are read once per describe.
class TNullability {
public:
    // The catalogue already read for the cursor's own table.
    void Know(const std::string& table, std::vector<std::string> notNull) {
        if (!table.empty()) FNotNull.emplace(table, std::move(notNull));
    }
    bool AcceptsNulls(sqlite3* db, sqlite3_stmt* stmt, int i) {
        const TSqliteApi& api = SqliteApi();
        const char* table = api.column_table_name(stmt, i);
        const char* column = api.column_origin_name(stmt, i);
        if (table == nullptr || column == nullptr) return true;
        auto it = FNotNull.find(table);
        if (it == FNotNull.end()) it = FNotNull.emplace(table, Read(db, table)).first;
        for (const std::string& name : it->second)
            if (host::SameText(name, column)) return false;
        return true;
    }

private:
    static std::vector<std::string> Read(sqlite3* db, const std::string& table) {
        const TSqliteApi& api = SqliteApi();
        std::vector<std::string> names;
        sqlite3_stmt* raw = nullptr;
        const char* text = "SELECT name FROM pragma_table_info(?1) WHERE \"notnull\"";
        if (api.prepare_v2(db, text, -1, &raw, nullptr) != SQLITE_OK) {
            api.finalize(raw);
            return names;
        }
        TSqliteStmtPtr stmt(raw);
        if (api.bind_text64(stmt.get(), 1, table.data(), table.size(), SQLITE_TRANSIENT, SQLITE_UTF8) !=
            SQLITE_OK)
            return names;
        while (api.step(stmt.get()) == SQLITE_ROW) {
            const unsigned char* name = api.column_text(stmt.get(), 0);
            if (name != nullptr) names.emplace_back(reinterpret_cast<const char*>(name));
        }
        return names;
    }
    std::map<std::string, std::vector<std::string>> FNotNull;
};

} // namespace

std::string SqliteQuoteName(const std::string& name) {
    std::string out = "\"";
    for (char c : name) {
        if (c == '"') out += '"';
        out += c;
    }
    return out + "\"";
}

TSqliteColumnType SqliteMapDeclaredType(const char* declared) {
    TSqliteColumnType t;
    if (declared == nullptr || *declared == 0) return t; // dynamic: the value keeps its engine type
    const std::string d = host::UpperCase(declared);
    int64_t length = 0;
    int64_t scale = 0;
    const bool hasLength = DeclaredLength(d, length, scale);
    auto set = [&](TLumraFieldTypes ft, int32_t ext, int32_t size) {
        t.FieldType = ft;
        t.ExtType = ext;
        t.Size = size;
    };
    if (Contains(d, "BOOL")) {
        set(ntBoolean, SQLITE_INTEGER, 1);
    } else if (StartsWith(d, "DATETIME") || Contains(d, "TIMESTAMP")) {
        set(ntDateTime, SQLITE_TEXT, 8);
    } else if (StartsWith(d, "DATE")) {
        set(ntDate, SQLITE_TEXT, 8);
    } else if (StartsWith(d, "TIME")) {
        set(ntTime, SQLITE_TEXT, 8);
    } else if (Contains(d, "INT")) {
        set(ntInteger, SQLITE_INTEGER, 8);
    } else if (Contains(d, "CHAR") || Contains(d, "CLOB") || Contains(d, "TEXT")) {
        if (hasLength && length > 0 && length < 65536) {
            set(ntString, SQLITE_TEXT, static_cast<int32_t>(length) + 1);
            t.Length = static_cast<int32_t>(length);
        } else {
            set(ntMemo, SQLITE_TEXT, 4);
        }
    } else if (Contains(d, "BINARY") && hasLength && length > 0 && length < 65536) {
        set(ntBinary, SQLITE_BLOB, static_cast<int32_t>(length) + 2);
        t.Length = static_cast<int32_t>(length);
    } else if (Contains(d, "BLOB") || Contains(d, "BINARY")) {
        set(ntBlob, SQLITE_BLOB, 4);
    } else if (Contains(d, "REAL") || Contains(d, "FLOA") || Contains(d, "DOUB")) {
        set(ntFloat, SQLITE_FLOAT, 8);
    } else if (Contains(d, "NUMERIC") || Contains(d, "DECIMAL") || Contains(d, "MONEY") ||
               Contains(d, "CURRENCY")) {
        set(ntFloat, SQLITE_FLOAT, 8);
        if (hasLength) {
            t.Length = static_cast<int32_t>(length);
            t.Decimals = static_cast<int32_t>(scale);
        }
    }
    return t;
}

bool SqliteDescribeKeys(TSqliteSQL& sql, TSqliteCursor& cursor, sqlite3* db) {
    const TSqliteApi& api = SqliteApi();
    TLumraSession* session = sql.GetSession();
    sqlite3_stmt* stmt = cursor.Stmt.get();
    const int n = cursor.EngineColumns;
    cursor.Origins.assign(n, std::string());
    const std::string fromTable = LmrGetTableNameFromSQL(cursor.Text);
    if (fromTable.empty() || CombinesRows(cursor.Text)) return true;

    std::string table;
    std::vector<std::string> origins(n);
    for (int i = 0; i < n; ++i) {
        const char* tableName = api.column_table_name(stmt, i);
        const char* originName = api.column_origin_name(stmt, i);
        if (tableName == nullptr || originName == nullptr) continue; // an expression: read only
        if (table.empty())
            table = tableName;
        else if (!host::SameText(table, tableName))
            return true; // columns of several tables
        origins[i] = originName;
    }
    // A view's columns name the tables behind it, not the view the text reads.
    if (table.empty() || !host::SameText(table, fromTable)) return true;

    std::vector<TTableColumn> columns;
    if (!ReadTableColumns(session, db, table, columns)) return false;
    cursor.Table = table;
    cursor.Origins = origins;
    for (const TTableColumn& c : columns)
        if (c.NotNull) cursor.NotNull.push_back(c.Name);

    std::vector<const TTableColumn*> pk;
    for (const TTableColumn& c : columns)
        if (c.Pk > 0) pk.push_back(&c);
    std::sort(pk.begin(), pk.end(), [](auto a, auto b) { return a->Pk < b->Pk; });
    std::vector<int32_t> keys;
    for (const TTableColumn* c : pk) {
        for (int i = 0; i < n; ++i) {
            if (host::SameText(origins[i], c->Name)) {
                keys.push_back(i);
                break;
            }
        }
    }
    if (!pk.empty() && keys.size() == pk.size()) {
        cursor.KeyColumns = keys;
        cursor.RowIdIsKeyAlias = pk.size() == 1 && pk[0]->Type == "INTEGER";
        return true;
    }

    // No key in the select list: fetch the rowid in a hidden last column.
    std::string alias;
    for (const char* candidate : {"rowid", "_rowid_", "oid"}) {
        bool taken = false;
        for (const TTableColumn& c : columns)
            taken = taken || host::SameText(c.Name, candidate);
        if (!taken) {
            alias = candidate;
            break;
        }
    }
    if (alias.empty()) return true;
    const std::string rewritten = AddSelectColumn(cursor.Text, alias);
    if (rewritten.empty()) return true;
    sqlite3_stmt* raw = nullptr;
    const int rc = api.prepare_v2(db, rewritten.c_str(), static_cast<int>(rewritten.size()), &raw, nullptr);
    TSqliteStmtPtr withRowId(raw);
    if (rc == SQLITE_ERROR) return true; // a table without rowid, or an alias in the way: no key
    if (rc != SQLITE_OK || !withRowId) {
        SqliteRecordError(session, db, rc);
        return false;
    }
    cursor.Stmt = std::move(withRowId);
    cursor.EngineColumns = n + 1;
    cursor.Origins.push_back(std::string());
    cursor.RowIdColumn = n;
    cursor.KeyColumns = {n};
    return true;
}

bool TSqliteSQL::InternalPrepareOpen(const std::string& sql) {
    TSqliteSession* session = SqliteSession();
    sqlite3* db = session->Db();
    if (db == nullptr) {
        session->SetLastError(host::LoadResString(LUMRA_ERR_SESS_INVALID_HANDLE), SqliteCodeMisuse);
        return false;
    }
    auto cursor = std::make_unique<TSqliteCursor>();
    if (!SqlitePrepareOne(session, db, sql, cursor->Stmt)) return false;
    cursor->Text = sql;
    // Before the rowid column may be added: that changes no parameter.
    SqliteMapHostVariables(cursor->Stmt.get(), sql, cursor->Variables);
    const TSqliteApi& api = SqliteApi();
    cursor->EngineColumns = api.column_count(cursor->Stmt.get());
    if (cursor->EngineColumns == 0) {
        session->SetLastError(host::LoadResString(LUMRA_ERR_CURS_NOT_QUERY), SqliteCodeMisuse);
        return false;
    }
    if (!SqliteDescribeKeys(*this, *cursor, db)) return false;

    FieldDefs()->Clear();
    sqlite3_stmt* stmt = cursor->Stmt.get();
    TNullability nullability;
    nullability.Know(cursor->Table, cursor->NotNull);
    for (int i = 0; i < cursor->EngineColumns; ++i) {
        if (i == cursor->RowIdColumn) {
            InternalAddFieldDef(FieldDefs(), "ROWID", ntInteger, SQLITE_INTEGER, 8, 0, 0, false,
                                kiHiddenKeyField);
            continue;
        }
        const TSqliteColumnType t = session->UntypedColumns()
                                        ? TSqliteColumnType{}
                                        : SqliteMapDeclaredType(api.column_decltype(stmt, i));
        const char* name = api.column_name(stmt, i);
        bool key = false;
        for (int32_t k : cursor->KeyColumns)
            key = key || k == i;
        InternalAddFieldDef(FieldDefs(), name != nullptr ? name : "", t.FieldType, t.ExtType, t.Size,
                            t.Length, t.Decimals, !key && nullability.AcceptsNulls(db, stmt, i),
                            key ? kiKeyField : kiRegularField);
    }
    SetRecordSize(FieldDefs()->Size());
    SetIndicatorSize(FieldDefs()->GetCount());
    SetFetchCount(1);
    InternalAllocOpenBuffer();
    FCursor = std::move(cursor);
    return TLumraSQL::InternalPrepareOpen(sql);
}
