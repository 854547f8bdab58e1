// TSqliteSQL: the SQLite driver's statement. One prepared cursor and one
// prepared non-query statement, as the statement contract describes, on
// engine statements that stay private to the driver.
//
// Row format (what RowBuffer, OldRowBuffer and the dataset's record buffers
// hold for each column, at the column description's Offset; the dataset
// layer compares these bytes directly):
//
//   field type    Size   bytes in the row
//   ntString      n + 1  null-terminated 8-bit text (declared length n)
//   ntInteger     8      64-bit signed integer (all SQLite integers)
//                 4      32-bit signed integer (host variables of 32-bit values)
//   ntFloat       8      IEEE double
//   ntCurrency    8      IEEE double (host variables only)
//   ntDate        8      TDateTime double (whole days)
//   ntTime        8      TDateTime double (fraction of a day)
//   ntDateTime    8      TDateTime double
//   ntBoolean     1      0 or 1
//   ntBinary      n + 2  16-bit byte count, then the bytes (declared length n)
//   ntMemo        4      32-bit byte count of the stored value; the value
//   ntBlob        4      itself is read and written through the column's blob
//                        stream (TSqliteBlobStream), whole, at any size
//
// Null indicators: one byte per column (IndicatorSize = column count),
// 0 = a value, anything else = null.
//
// Declared type -> field type (first rule that matches the upper-cased
// declared type; "(n)" is the declared length, "(p,s)" precision and scale):
//
//   no declared type (expressions, untyped columns), or a type no rule names
//                                         ntMemo, ExtType SQLITE_NULL: the value
//                                         keeps its own engine type (a Variant
//                                         of 64-bit integer, double, text or bytes)
//   contains BOOL                         ntBoolean
//   DATETIME..., contains TIMESTAMP       ntDateTime (stored as text
//   DATE...                               ntDate      "YYYY-MM-DD HH:MM:SS.SSS",
//   TIME...                               ntTime      "YYYY-MM-DD", "HH:MM:SS.SSS")
//   contains INT                          ntInteger, Size 8
//   contains CHAR, CLOB or TEXT, with (n) ntString, Size n + 1, Length n
//                           without (n)   ntMemo
//   contains BINARY, with (n)             ntBinary, Size n + 2, Length n
//   contains BLOB, BINARY without (n)     ntBlob
//   contains REAL, FLOA or DOUB           ntFloat
//   contains NUMERIC, DECIMAL, MONEY, CURRENCY
//                                         ntFloat, Length p, Decimals s
//
// Nothing is truncated, wrapped or rounded. A stored value the column's field
// type cannot hold exactly makes the fetch fail (false, code -SQLITE_MISMATCH,
// a message naming the column): text longer than n or holding a zero byte in
// an ntString column, an integer beyond 2^53 or a real with a fraction in an
// integer or float column of the other kind, text in a number column, a date
// column holding text that is not a date (or a DATE holding a time). Values
// written (SetFieldValue, host variables) that do not fit raise an
// ELumraException with the same code.
//
// Host variables: SQLite makes one parameter of each distinct name (":x"
// written twice is one parameter; "?NNN" is parameter NNN). The values given
// are taken one per engine parameter, or else one per occurrence in the text,
// in text order, as the dataset hands them over; each engine parameter then
// takes the value of its variable's first occurrence. Occurrences inside
// string literals, quoted names and comments do not count. Names differing
// only in case (":a", ":A") are one variable, as parameter names are
// throughout the library, though SQLite keeps them apart: all their engine
// parameters take the first value. A later value of a variable must be null
// or equal to the first; a different one fails the open or execute with
// -SQLITE_MISMATCH and a message naming the variable, and a value count that
// fits neither way with -SQLITE_RANGE.
//
// Rows read are kept compactly in the driver (one byte of type, then a
// variable-length integer, 8 bytes of double, or a length and the bytes), in
// large shared blocks, so scrolling back re-reads them without the engine.
// Opening counts nothing. RecordCount is exact: once the end has been reached
// it is the number of rows read; before that, asking for it runs a separate
// count statement over the query once (the cursor's rows are not read for it),
// and an engine failure of that count raises.
//
// Rows are changed through UpdateRow, InsertRow and DeleteRow on the table
// the cursor reads, identified by its primary key columns when the select
// list holds them all, else by the rowid, fetched in a hidden last column
// (kiHiddenKeyField). A cursor over a view, a join, an aggregate or
// expressions has neither and refuses with "Cursor is missing rowid".
//
// Public header: no engine type appears here.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "LmrBase/LmrSQL.h"
#include "drivers/sqlite/SqliteGeneration.h"

class TSqliteSession;
struct TSqliteCursor;
struct TSqliteCommand;
struct TSqliteValue;

class TSqliteSQL : public TLumraSQL {
public:
    explicit TSqliteSQL(host::TComponent* owner = nullptr);
    ~TSqliteSQL() override;

    // The linked session as the driver's session (raises like GetSession).
    TSqliteSession* SqliteSession() const;

    // Cursor placement for the dataset: before the first row (the next
    // FetchNext reads row 0), and after the last row (reads to the end; the
    // next FetchPrior reads the last row). SetToEnd is false after an error.
    void SetToBegin();
    bool SetToEnd();

    // The stored bytes of a memo or blob column in the row at the cursor (a
    // number in a column without declared type gives its text form, built in
    // scratch). data stays valid until the cursor moves. False when there is
    // no current row or no such column.
    bool GetStoredBytes(const std::string& column, const char*& data, int64_t& size, std::string& scratch);
    // The same by column number (zero-based), without a name lookup.
    bool GetStoredBytes(int32_t column, const char*& data, int64_t& size, std::string& scratch);
    // Size of that value in bytes, -1 when there is none.
    int64_t GetStoredSize(const std::string& column);

    // --- Driver contract ---------------------------------------------------------
    bool InternalPrepare(const std::string& sql) override;
    bool InternalPrepareOpen(const std::string& sql) override;
    bool InternalBindOpen(void* arg) override;
    bool InternalOpen(bool readOnly) override;
    void InternalClose() override;
    void InternalUnprepareOpen() override;
    bool InternalPrepareExecute(const std::string& sql) override;
    bool InternalBindExecute(host::TStrings* list) override;
    bool InternalExecute(host::TStrings* list) override;
    void InternalUnprepareExecute() override;
    int32_t InternalGetVariableLength(TLumraFieldTypes fieldType) override;
    int32_t InternalGetVariableExtType(TLumraFieldTypes fieldType) override;
    bool FetchFirst() override;
    bool FetchFirstForward() override;
    void InternalGetValue(char* buffer, int32_t position, int32_t size, TLumraFieldTypes fieldType,
                          TLumraBlobStream* stream, host::Variant& value) override;
    void InternalSetValue(char* buffer, int32_t position, int32_t size, TLumraFieldTypes fieldType,
                          const host::Variant& value, TLumraBlobStream* stream) override;
    bool FetchNext() override;
    bool FetchCurrent() override;
    bool FetchPrior() override;
    bool UpdateRow() override;
    bool InsertRow() override;
    bool DeleteRow() override;
    bool IsNull(char* indicators, int32_t column) override {
        return indicators == nullptr || column < 0 || column >= IndicatorSize() || indicators[column] != 0;
    }
    void SetNull(char* indicators, int32_t column, bool value) override {
        if (indicators != nullptr && column >= 0 && column < IndicatorSize())
            indicators[column] = value ? 1 : 0;
    }

protected:
    int32_t InternalGetRecordCount() override;

private:
    bool MakeKeptRowCurrent(TSqliteCursor& c, int64_t target);
    // Makes a prepared engine statement that returns no rows the execute side.
    bool AdoptCommand(const std::string& sql, std::unique_ptr<TSqliteCommand> command);
    // InternalSetValue for every type and value, with its checks and errors.
    void StoreValue(char* buffer, int32_t position, int32_t size, TLumraFieldTypes fieldType,
                    const host::Variant& value, TLumraBlobStream* stream);
    friend struct TSqliteStatementAccess;
    std::unique_ptr<TSqliteCursor> FCursor;
    std::unique_ptr<TSqliteCommand> FCommand;
};
