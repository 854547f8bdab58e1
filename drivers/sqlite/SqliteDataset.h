// TSqliteQuery: the SQLite driver's query component, a TLumraCustomDataset
// on the driver's statement (TSqliteSQL). It converts single column values
// between the statement's row format (see SqliteStatement.h) and the host
// framework's field buffers, places the cursor for the dataset and names the
// catalogue query for a table's key columns.
//
// Field types: the dataset's mapping of column types, with two changes that
// keep every value whole: an 8-byte integer column (every SQLite INT
// column) becomes ftLargeint rather than the 32-bit ftInteger, and a binary
// column of declared length n becomes ftVarBytes of size n (length-prefixed,
// exactly the row format) rather than ftBytes, so its length survives.
//
// Memo and blob columns are read through CreateBlobStream, which serves the
// stored value of the active record; writing them needs the dataset blob
// stream of the editing layer.
#pragma once

#include <memory>
#include <string>

#include "LmrBasDS/LmrCustomDataset.h"
#include "drivers/sqlite/SqliteStatement.h"

class TSqliteQuery : public TLumraCustomDataset {
public:
    explicit TSqliteQuery(host::TComponent* owner = nullptr);

    TSqliteSQL* SqliteStatement() const noexcept;

    void InternalInitFieldDefs() override;
    // A read-only stream over the active record's memo or blob value (an
    // empty one for null or a record not yet stored); other modes raise
    // EDatabaseError. It reads the stored bytes in place, without a copy: they
    // stay valid while the record's row is kept, so read it before the cursor
    // moves on and never after the dataset closes. Write returns 0.
    std::unique_ptr<host::TStream> CreateBlobStream(host::TField* field, host::TBlobStreamMode mode) override;
    // The same stored value copied straight into Buffer, with no stream.
    int64_t GetBlobFieldData(int32_t fieldNo, std::string& buffer) override;

    std::unique_ptr<TLumraSQL> CreateStatement() override;
    void ConvertRowToField(TLumraFieldDef* fieldDef, char* rowValue, void* data) override;
    void ConvertFieldToRow(TLumraFieldDef* fieldDef, char* rowValue, const void* data) override;
    // SELECT of the primary-key columns of the table named by the one host
    // variable, in key order, as column "column_name".
    void GetKeyColumnsSQL(std::string& sql) override;
    void CursorFirst() override;
    // Reads to the end; a read error is raised as ELumraDatasetError.
    void CursorLast() override;
    bool CursorMoveTo(int32_t recNo) override;

private:
    // The stored value in `column` of the active record; null (nothing to
    // read) for a new record, a null value or no such column. It stays valid
    // until the cursor moves.
    const TSqliteValue* StoredValue(int32_t column);
};
