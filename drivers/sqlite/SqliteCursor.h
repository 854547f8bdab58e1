// Internal state of the SQLite driver's statement: the engine statements of
// the cursor and the non-query side, the compact store of rows already read,
// the description of which table and key the cursor writes through, and the
// helpers the statement's files share. Includes <sqlite3.h>; never included
// by a public header.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "drivers/sqlite/SqliteLoader.h"
#include "drivers/sqlite/SqliteStatement.h"

using TSqliteStmtPtr = std::unique_ptr<sqlite3_stmt, TSqliteStmtFinalizer>;

// One stored engine value; Data points into the row store (or the engine).
enum TSqliteValueTag : uint8_t { svNull = 0, svInteger = 1, svFloat = 2, svText = 3, svBlob = 4 };
struct TSqliteValue {
    uint8_t Tag = svNull;
    int64_t Int = 0;
    double Float = 0;
    const char* Data = nullptr;
    uint64_t Bytes = 0;
};

// One block of the row store, which never moves. Blocks of 2 MB and more
// are mapped on their own, aligned to huge pages, so that a kernel that
// gives huge pages to every mapping (transparent huge pages "always") can
// back them with few page faults. They are not asked for huge pages
// (MADV_HUGEPAGE): where the kernel compacts memory for such a request, a
// scan stalled in that compaction for far longer than the faults it saved.
class TSqliteRowBlock {
public:
    // Raises std::bad_alloc when there is no memory.
    explicit TSqliteRowBlock(size_t size);
    ~TSqliteRowBlock();
    TSqliteRowBlock(TSqliteRowBlock&& other) noexcept;
    TSqliteRowBlock& operator=(TSqliteRowBlock&& other) noexcept;
    TSqliteRowBlock(const TSqliteRowBlock&) = delete;
    TSqliteRowBlock& operator=(const TSqliteRowBlock&) = delete;

    uint8_t* Data() const noexcept { return FData; }
    size_t Size() const noexcept { return FSize; }

private:
    void Release() noexcept;
    uint8_t* FData = nullptr;
    size_t FSize = 0;
    size_t FMapped = 0; // bytes mapped at FData; 0 for a block from the heap
};

// Rows read so far, each encoded as its values back to back (tag byte, then
// a zigzag varint, 8 bytes of double, or a varint length and the bytes), in
// blocks that never move and grow with the result (64 KB doubling up to
// 4 MB), so keeping a row costs its encoded bytes plus one pointer and no
// allocation of its own, and a small result keeps little memory.
class TSqliteRowStore {
public:
    // Frees every block.
    void Clear() noexcept;
    // Forgets the rows but keeps memory for the next ones (a forward reader).
    void Reuse() noexcept;
    size_t Count() const noexcept { return FRows.size(); }
    const uint8_t* Row(size_t index) const noexcept { return FRows[index]; }
    // Encodes the engine's current row (columns values) and keeps it.
    void AppendFromEngine(const TSqliteApi& api, sqlite3_stmt* stmt, int columns);
    // Replaces row `index` by an already encoded row.
    void Replace(size_t index, const std::vector<uint8_t>& encoded);
    static void Encode(std::vector<uint8_t>& out, const TSqliteValue& value);
    static size_t EncodedSize(const TSqliteValue& value) noexcept;
    // Writes EncodedSize(value) bytes at out; returns the end.
    static uint8_t* EncodeTo(uint8_t* out, const TSqliteValue& value) noexcept;
    // Reads one value at p into value (cleared first); returns the next.
    static const uint8_t* Decode(const uint8_t* p, TSqliteValue& value) noexcept;

    // The row AppendFromEngine kept last, while it is still there unchanged
    // (null otherwise), with its values as Decode would give them (text and
    // bytes pointing into the store): a row read and loaded right away is not
    // decoded again.
    const uint8_t* LastAppended() const noexcept { return FLastRow; }
    const std::vector<TSqliteValue>& LastValues() const noexcept { return FValues; }
    // Hands those values over (swapped with `into`); the row is then no
    // longer the last appended one, so nobody reads them here again.
    void TakeLastValues(std::vector<TSqliteValue>& into) noexcept {
        into.swap(FValues);
        FLastRow = nullptr;
    }

private:
    uint8_t* Reserve(size_t bytes);
    std::vector<TSqliteRowBlock> FBlocks;
    size_t FBlockSize = 0;
    size_t FBlockUsed = 0;
    std::vector<const uint8_t*> FRows;
    std::vector<TSqliteValue> FValues; // the values of the row kept last
    const uint8_t* FLastRow = nullptr;
};

// Where the values of a statement's host variables go. SQLite numbers its
// parameters per distinct name (":x" written twice is one parameter) and
// tells names apart by case, while the statement is handed either one value
// per engine parameter or, as the dataset does, one value per occurrence in
// the text. A host variable is a name compared ignoring case (":a" and ":A"
// are one variable that the engine happens to hold in two parameters), an
// anonymous "?", or a "?NNN" number; every engine parameter of a variable
// takes the value of its first occurrence (see SqliteBindVariables).
struct TSqliteHostVariables {
    // The text's occurrences were matched to the engine's parameters; when
    // false, only one value per engine parameter is accepted.
    bool Known = false;
    // Per occurrence in text order: its engine parameter (1-based).
    std::vector<int32_t> Occurrence;
    // Per occurrence: the first occurrence of its variable.
    std::vector<int32_t> OccurrenceLeader;
    // Per engine parameter: the first occurrence of its variable, -1 when none.
    std::vector<int32_t> FirstOccurrence;
    // Per engine parameter: the first engine parameter (zero-based) of its
    // variable. Empty unless some name is written in two cases.
    std::vector<int32_t> ParameterLeader;
    int32_t Occurrences() const noexcept { return static_cast<int32_t>(Occurrence.size()); }
};

struct TSqliteCursor {
    TSqliteStmtPtr Stmt;
    // Of Stmt, and of the count statement wrapped around its text.
    TSqliteHostVariables Variables;
    std::string Text;                 // the SQL text as given (without the hidden key column)
    int EngineColumns = 0;            // result columns of Stmt
    std::string Table;                // the table rows are written to; empty when none
    std::vector<std::string> Origins; // per column: its column in Table, or empty
    std::vector<std::string> NotNull; // the columns of Table declared NOT NULL, once Table is read
    std::vector<int32_t> KeyColumns;  // the columns that identify a row
    int32_t RowIdColumn = -1;         // the hidden rowid column, -1 when none
    bool RowIdIsKeyAlias = false;     // the table's INTEGER PRIMARY KEY is selected as key
    TSqliteRowStore Rows;
    bool Done = false;        // the engine delivered its last row
    bool ForwardOnly = false; // rows are not kept (FetchFirstForward)
    bool Counted = false;     // RecordCount holds the count statement's answer
    // The values of the row LoadRow made current (LoadedRow), decoded once:
    // their text and bytes point into the store, so a memo value is read
    // without decoding the row again.
    const uint8_t* LoadedRow = nullptr;
    std::vector<TSqliteValue> Current;
    std::vector<TSqliteValue> NextCurrent; // filled while a row loads, swapped in on success
    std::vector<char> LoadScratch;         // the row format and indicators of a row being loaded
    TSqliteValue Decoded;                  // a value of a row not loaded, decoded when asked for
    // Column names asked for by GetStoredBytes with the column each one found
    // (the description list's own case-insensitive search, done once per name).
    std::vector<std::pair<std::string, int32_t>> NamesAsked;
    // (offset in the row format, column) sorted by offset.
    std::vector<std::pair<int32_t, int32_t>> ColumnByOffset;
    int64_t FirstKept = 0;    // row number of Rows.Row(0)
    int FailedRc = SQLITE_OK; // a step failed: reading past the kept rows reports it again
    std::string FailedMessage;
    int32_t FailedCode = 0;
};

struct TSqliteCommand {
    TSqliteStmtPtr Stmt;
    TSqliteHostVariables Variables;
};

struct TSqliteStatementAccess {
    static std::unique_ptr<TSqliteCursor>& CursorPtr(TSqliteSQL& sql) { return sql.FCursor; }
};

// Field type and sizes a declared type maps to.
struct TSqliteColumnType {
    TLumraFieldTypes FieldType = ntMemo;
    int32_t ExtType = SQLITE_NULL;
    int32_t Size = 4;
    int32_t Length = 0;
    int32_t Decimals = 0;
};
TSqliteColumnType SqliteMapDeclaredType(const char* declared);

// Prepares the one statement of sql. False (error recorded in the session)
// on an engine error, on text with no statement, and on text holding a second
// statement after the first.
bool SqlitePrepareOne(TLumraSession* session, sqlite3* db, const std::string& sql, TSqliteStmtPtr& out);
// Works out, once after prepare, the host-variable occurrences of sql (by
// SQLite's token rules: string literals, quoted names and comments hold none)
// and matches them to stmt's parameters.
void SqliteMapHostVariables(sqlite3_stmt* stmt, const std::string& sql, TSqliteHostVariables& out);
// The host-variable occurrences SqliteMapHostVariables finds in sql, in text
// order, each as written: "?", "?2", ":name", "@name", "$name".
std::vector<std::string> SqliteHostVariableTexts(const std::string& sql);
// True when `given` values can be bound: one per engine parameter, or one per
// occurrence. Else false with the count-mismatch error recorded.
bool SqliteCheckVariableCount(TLumraSession* session, const TSqliteHostVariables& variables, int parameters,
                              int32_t given);
// Binds the values of a variable list to stmt's parameters. One value per
// engine parameter binds one to one; one value per occurrence binds each
// engine parameter from the first occurrence of its variable. A later value
// of a variable must be null (it then takes the first one's value) or equal
// to the first; a different one is refused with a message naming the
// variable, never dropped. False with the error recorded when the counts fit
// neither way, values of one variable differ or the engine refuses.
// untilNextBind: the buffer's bytes stay valid and unchanged for as long as
// stmt may read them (it is stepped only before the buffer changes and is
// bound again), so text and bytes are bound without a copy.
bool SqliteBindVariables(TLumraSession* session, sqlite3* db, sqlite3_stmt* stmt, TLumraVariableDefs* defs,
                         const TSqliteHostVariables& variables, bool untilNextBind = false);
// Binds one stored value to parameter `index` (1-based); returns the engine's
// result. keepsBytes: value.Data outlives every step of stmt before the next bind.
int SqliteBindValue(sqlite3_stmt* stmt, int index, const TSqliteValue& value, bool keepsBytes = false);
// Fills in the cursor's table, key and hidden rowid column after it was
// prepared; may replace the engine statement. False with the error recorded
// on an engine error.
bool SqliteDescribeKeys(TSqliteSQL& sql, TSqliteCursor& cursor, sqlite3* db);
// The stored value of column (zero-based) in the row at the cursor; false
// when there is no current row.
bool SqliteCurrentValue(TSqliteSQL& sql, int32_t column, TSqliteValue& value);
// SqliteCurrentValuePtr for a row at the cursor that is not the one loaded
// (or was stored anew since): the value decoded into the cursor's scratch.
const TSqliteValue* SqliteDecodedValuePtr(TSqliteSQL& sql, int32_t column);
// The stored value without a copy, or null when there is no current row or
// no such column; valid until the cursor moves or closes. The loaded row's
// own values, which every field read while browsing finds, are answered here.
inline const TSqliteValue* SqliteCurrentValuePtr(TSqliteSQL& sql, int32_t column) {
    const TSqliteCursor* c = TSqliteStatementAccess::CursorPtr(sql).get();
    if (c != nullptr && c->LoadedRow != nullptr && sql.CursorOpen() && column >= 0 &&
        static_cast<size_t>(column) < c->Current.size()) {
        const int64_t index = sql.RecNo() - c->FirstKept;
        if (index >= 0 && static_cast<uint64_t>(index) < c->Rows.Count() &&
            c->Rows.Row(static_cast<size_t>(index)) == c->LoadedRow)
            return &c->Current[static_cast<size_t>(column)];
    }
    return SqliteDecodedValuePtr(sql, column);
}
// A stored value as bytes: text and blobs in place, a number (stored in a
// column without declared type) rendered into scratch.
void SqliteStoredBytes(const TSqliteValue& value, const char*& data, int64_t& size, std::string& scratch);
// The column whose value sits at offset in the row format; -1 when none.
int32_t SqliteColumnAtOffset(TSqliteSQL& sql, int32_t offset);
// Double-quoted SQL identifier.
std::string SqliteQuoteName(const std::string& name);
