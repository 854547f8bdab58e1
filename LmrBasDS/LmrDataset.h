// TLumraDataset: the host framework's dataset built on one LumraDB statement.
// It serves the record-buffer protocol from the statement's row buffers (a
// fetch is two block copies; a column is converted by the driver only when a
// field is read or written), holds its session while prepared or open, turns
// the statement's column descriptions into field definitions, finds the
// :name parameters in its SQL text and follows a master dataset through
// TLumraDataLink. Drivers derive their query and stored-procedure components
// from it (usually through TLumraCustomDataset) and implement its abstract
// operations.
#pragma once

#include <bitset>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "LmrBasDS/LmrDatasetErrors.h"
#include "LmrBasDS/LmrParams.h"
#include "LmrBase/LmrFieldDefs.h"
#include "LmrBase/LmrSQL.h"
#include "LmrBase/LmrSession.h"
#include "host/DataLinks.h"
#include "host/DataSet.h"
#include "host/Lists.h"
#include "host/Params.h"
#include "host/Strings.h"

class TLumraDataset;

// Outcome of a driver's fetch, for drivers that report more than a Boolean.
// The base classes do not use it.
enum TLumraFetchError : uint8_t { NoError, BOFError, EOFError, FetchError };

// The bookmark kept in every record buffer and handed out by the dataset
// (BookmarkSize 8).
struct TLumraRecordBookmark {
    int32_t RecNo;       // zero-based row number of the statement; -1 for a record without a row
    uint8_t Flag;        // host::TBookmarkFlag
    uint8_t Reserved[3]; // no meaning
};
static_assert(sizeof(TLumraRecordBookmark) == 8, "a bookmark is 8 bytes");

// Follows the master dataset of a detail dataset: every move of the master
// (and every open) reopens the detail with the master's field values.
class TLumraDataLink : public host::TDataLink {
public:
    explicit TLumraDataLink(TLumraDataset* dataset);

    // Detail active: reopen it (RefreshParams).
    void ActiveChanged() override;
    // Detail active: the detail's CheckBrowseMode.
    void CheckBrowseMode() override;
    // A null field (the master record changed or moved) reopens an active
    // detail; a change of one master field does nothing.
    void RecordChanged(host::TField* field) override;

private:
    TLumraDataset* FDataset; // not owned
};

// Record buffer layout (sizes fixed when the dataset opens):
//
//   offset                         length           contents
//   0                              RecordSize       the statement's RowBuffer, in the engine's format
//   RecordSize                     CalcFieldsSize   calculated fields: per field a flag byte
//                                                   (0 = null) and DataSize bytes at its Offset
//   FBookmarkOfs                   8                TLumraRecordBookmark
//   FIndicatorOfs = FBookmarkOfs+8 IndicatorSize    the statement's IndicatorBuffer
class TLumraDataset : public host::TDataSet {
public:
    // The framework's construction, then the SQL list (its changes reach the
    // virtual QueryChanged), the parameters, the master link and the lists.
    // A base constructor cannot reach a subclass's CreateStatement, so the
    // driver's constructor passes the statement its CreateStatement makes;
    // the dataset owns it for its whole life.
    TLumraDataset(host::TComponent* owner, std::unique_ptr<TLumraSQL> statement);
    // Closes and unprepares (releasing the session hold), then frees what the
    // dataset owns.
    ~TLumraDataset() override;

    // --- Preparing and the session hold --------------------------------------

    // Holds the session (flag 1) and prepares. A failing prepare drops the
    // hold again.
    void Prepare();
    // Unprepares and drops the flag-1 hold.
    void UnPrepare();
    void SetPrepare(bool value);
    // False also when the statement lost its preparation behind the
    // dataset's back (its session closed while the dataset was prepared but
    // not open); the next Open or Prepare then starts afresh.
    bool Prepared() const noexcept { return FPrepared && !PreparationLost(); }
    // Prepares (true) or unprepares (false) the SQL; only while inactive.
    // Preparing builds the parameter descriptions first (CreateParamDesc
    // without parameters, SetServerParams with), then, unless only those are
    // wanted, prepares the SQL text: "No SQL statement available" when it is
    // shorter than 2 characters.
    void SetPrepared(bool value);
    void FreeStatement();
    // False with a negative statement error code raises ELumraDatasetError
    // with the statement's last message and code; other results pass.
    void Check(bool status);

    // --- Parameters -----------------------------------------------------------

    TLumraParams* Params() const noexcept { return FParams.get(); }
    // Raises ELumraException "Host variable ... not found" for an unknown name.
    TLumraParam* ParamByName(const std::string& name) const;
    int32_t GetParamsCount() const noexcept { return FParams->Count(); }
    // Rebuilds the parameters from the SQL text (values are not kept); only while inactive.
    void ResetParamsList();
    // Scans the SQL text for :name host variables and appends one parameter
    // per occurrence to list (null: none), with its Alias equal to its name.
    // Rewrites sql in place: an escaped colon "::" outside quotes becomes ":".
    // A name ends at CR, LF, blank, ",", ")", ";" or the end of the text
    // outside quotes; a quoted name (":'a b'" or ":\"a b\"") loses its quotes;
    // colons inside '...' or "..." literals are left alone.
    static void CreateParams(TLumraParams* list, std::string& sql);

    // --- Statement --------------------------------------------------------------

    TLumraSQL* Statement() const noexcept { return FStatement.get(); }
    int32_t GetRowsAffected() const noexcept { return FStatement->RowsProcessed(); }
    bool GetStillInProc();
    // Continues a procedure call still in progress and shows its next rows
    // without executing again; "The Stored Procedure has completed" when none
    // is in progress.
    void Resume();

    // --- Properties ------------------------------------------------------------

    // The statement's session link, unchecked.
    TLumraSession* GetSession() const noexcept { return FStatement->GetSessionObject(); }
    // Only while unprepared ("Cannot perform this operation on an open or
    // prepared dataset").
    void SetSession(TLumraSession* value);
    host::TStringList* SQL() const noexcept { return FSQL.get(); }
    // Replaces the SQL lines when their text differs (disconnecting first);
    // the same text changes nothing.
    void SetQuery(host::TStrings* value);
    const std::string& SQLText() const noexcept { return FSQLText; }
    bool ParamCheck() const noexcept { return FParamCheck; }
    void SetParamCheck(bool value) noexcept { FParamCheck = value; }
    bool ReadOnly() const noexcept { return FReadOnly; }
    // A new value only while unprepared.
    void SetReadOnly(bool value);
    bool SyncInserts() const noexcept { return FSyncInserts; }
    // A new value only while inactive.
    void SetSyncInserts(bool value);
    // Raises the framework's SCircularDataLink when value leads back here.
    void SetDataSource(host::TDataSource* value);
    host::TList* KeyFields() const noexcept { return FKeyFields.get(); }
    bool AtEnd() const noexcept { return FAtEnd; }
    // The record buffer layout of the open dataset (0 while closed).
    int32_t RecBufSize() const noexcept { return FRecBufSize; }
    int32_t BookmarkOfs() const noexcept { return FBookmarkOfs; }
    int32_t IndicatorOfs() const noexcept { return FIndicatorOfs; }

    // --- Master-detail --------------------------------------------------------

    // Fills every unbound parameter from the master field of the same name
    // (the framework's field-not-found error when there is none); the
    // parameter stays unbound so that the next open reads the master again.
    void SetParamsFromCursor();
    // Reopens the dataset when the master is active and not in dsSetKey.
    void RefreshParams();

    // --- Record buffers -----------------------------------------------------------

    // The buffer standing for the current record in the current state; false
    // (and null) when there is none.
    bool GetActiveRecBuf(host::TRecordBuffer& recBuf) {
        // Browsing, the common case, is answered here; the other states below.
        if (State() != host::dsBrowse) return GetActiveRecBufInState(recBuf);
        recBuf = IsEmpty() ? nullptr : ActiveBuffer();
        return recBuf != nullptr;
    }
    // The row as fetched (row data only) in FOldBuffer; null when the cursor
    // is closed.
    host::TRecordBuffer GetOldRecord();

    // --- Overrides of the framework, in its slot order ---------------------------
    void ClearCalcFields(host::TRecordBuffer buffer) override;
    void CloseCursor() override;
    bool GetCanModify() override;
    host::TDataSource* GetDataSource() override;
    int32_t GetRecordCount() override;
    int32_t GetRecNo() override;
    void InitRecord(host::TRecordBuffer buffer) override;
    void OpenCursor(bool infoQuery) override;
    void SetRecNo(int32_t value) override;
    host::TRecordBuffer AllocRecordBuffer() override;
    void FreeRecordBuffer(host::TRecordBuffer& buffer) override;
    void GetBookmarkData(host::TRecordBuffer buffer, void* data) override;
    host::TBookmarkFlag GetBookmarkFlag(host::TRecordBuffer buffer) override;
    host::TGetResult GetRecord(host::TRecordBuffer buffer, host::TGetMode getMode, bool doCheck) override;
    int32_t GetRecordSize() override;
    // Posting arrives with editing; until then a dataset that may be modified
    // refuses it.
    void InternalAddRecord(void* buffer, bool append) override;
    void InternalClose() override;
    void InternalDelete() override;
    void InternalFirst() override;
    void InternalGotoBookmark(void* bookmark) override;
    // There is no application object to show the error: it is passed on.
    void InternalHandleException() override;
    void InternalInitFieldDefs() override;
    void InternalInitRecord(host::TRecordBuffer buffer) override;
    void InternalLast() override;
    void InternalOpen() override;
    void InternalPost() override;
    void InternalSetToRecord(host::TRecordBuffer buffer) override;
    bool IsCursorOpen() override;
    void SetBookmarkFlag(host::TRecordBuffer buffer, host::TBookmarkFlag value) override;
    void SetBookmarkData(host::TRecordBuffer buffer, void* data) override;
    void SetFieldData(host::TField* field, const void* buffer) override;
    bool BookmarkValid(host::TBookmark bookmark) override;
    int32_t CompareBookmarks(host::TBookmark bookmark1, host::TBookmark bookmark2) override;
    bool GetCurrentRecord(host::TRecordBuffer buffer) override;
    bool GetFieldData(host::TField* field, void* buffer) override;
    int32_t Translate(const char* src, char* dest, bool toOem) override;

    // --- Virtual operations of the dataset, in slot order --------------------------

    // Prepares text on the statement, through Check.
    virtual void PrepareSQL(const std::string& text);
    // The SQL list changed: keeps its text, disconnects and (with ParamCheck
    // or in the designer) rebuilds the parameters, keeping the values of
    // those whose names remain. While loading only the text is kept.
    virtual void QueryChanged(host::TObject* sender);
    // Writer of Params: copies values by name; only while inactive.
    virtual void SetParamsList(TLumraParams* value);
    // A new statement of the driver's class, owned by the caller (second
    // statements read catalogue data with it).
    virtual std::unique_ptr<TLumraSQL> CreateStatement() = 0;
    // Writes the non-null column value at rowValue (inside a row buffer) into
    // the framework's field buffer data, in the format of the field's DataType.
    virtual void ConvertRowToField(TLumraFieldDef* fieldDef, char* rowValue, void* data) = 0;
    // The reverse: reads the field buffer data and writes the engine's format at rowValue.
    virtual void ConvertFieldToRow(TLumraFieldDef* fieldDef, char* rowValue, const void* data) = 0;
    // Opens the cursor (CreateCursor(true)) and follows the statement's close.
    virtual void CreateHandle();
    // Requires SQL lines, prepares, copies master values, then GetCursor.
    virtual void CreateCursor(bool genHandle);
    virtual void CreateParamDesc();
    virtual void SetServerParams();
    // Close, then UnPrepare: always ends unprepared without a session hold.
    virtual void Disconnect();
    // Adds (value true) or removes a reason 0..7 to hold the session; the
    // first reason opens the session hold ("The session property is not
    // linked to a session" without a session), the last one unprepares and
    // releases it. Returns whether the flag was set before.
    virtual bool SetDBFlag(int32_t flag, bool value);
    // Opens the prepared cursor (genHandle, read-only unless the dataset may
    // be modified) or executes the prepared statement, with the parameter
    // values as host variables.
    virtual void GetCursor(bool genHandle);
    // "Cannot perform this operation on an open or prepared dataset" while prepared.
    virtual void CheckUnPrepared();
    // Forgets a preparation the statement no longer holds (see Prepared),
    // with the reasons for holding the session, which the closing session
    // already gave up.
    void ForgetLostPreparation() noexcept;
    bool PreparationLost() const noexcept;
    // A catalogue query with one host variable (a table name) whose rows
    // carry a column "column_name", one per key column of that table.
    virtual void GetKeyColumnsSQL(std::string& sql) = 0;
    // Before the first row: the next FetchNext reads row 0.
    virtual void CursorFirst() = 0;
    // After the last row: the next FetchPrior reads the last row.
    virtual void CursorLast() = 0;
    // Makes the zero-based row current; false when there is no such row.
    virtual bool CursorMoveTo(int32_t recNo) = 0;

protected:
    // The statement's after-close notification while the cursor is open:
    // the dataset closes and unprepares itself.
    void FDoAfterClose(host::TObject* sender);
    // The key fields at open: the table's key columns from the catalogue
    // when inserted rows are to be found again, else every field.
    void UpdateKeyFields();
    // A copy of the bookmark stored in a record buffer. The bookmark area
    // follows row data of any length, so it is copied, never read in place.
    TLumraRecordBookmark BookmarkOf(host::TRecordBuffer buffer) const noexcept {
        TLumraRecordBookmark bookmark;
        std::memcpy(&bookmark, buffer + FBookmarkOfs, sizeof bookmark);
        return bookmark;
    }

    std::unique_ptr<TLumraSQL> FStatement;
    std::unique_ptr<host::TStringList> FSQL;
    std::string FSQLText;
    bool FParamCheck = true;
    bool FPrepared = false;
    bool FStatementHeld =
        false; // the prepare reached the statement (it may hold nothing when only describing parameters)
    host::TRecordBuffer FFilterBuffer = nullptr;
    std::unique_ptr<char[]> FOldBuffer;
    int32_t FRecBufSize = 0;
    bool FReadOnly = true;
    int32_t FBookmarkOfs = 0;
    int32_t FIndicatorOfs = 0;
    std::unique_ptr<TLumraParams> FParams;
    std::unique_ptr<TLumraDataLink> FDataLink;
    std::bitset<8> FDBFlags; // 0 cursor open, 1 prepared, 2 ExecSQL, 3 ExecProc, 4 provider transaction
    bool FAtEnd = false;
    bool FParamDescOnly = false;
    bool FResuming = false;
    bool FInProcResult = false;
    bool FEditChecked = false;
    bool FSyncInserts = false;
    // Set while ExecSQL releases what it prepared: FreeStatement then keeps
    // the statement's execute side for the next ExecSQL of the same text.
    bool FKeepExecute = false;
    // The parameter values of the latest open or execute (GetCursor).
    std::vector<host::Variant> FParamValues;
    std::unique_ptr<host::TList> FKeyFields; // of host::TField*, not owned
    // FIndexDefs (the ORDER BY index) arrives with searching; InternalOpen
    // then builds it after the key fields.
    host::TRecordBuffer FKeyBuffer = nullptr;
#if LMR_HOST_GENERATION >= 5
    // Provider support exists only in generation 5.
    std::unique_ptr<host::TParams> FProviderParams = std::make_unique<host::TParams>();
#endif

private:
    // GetActiveRecBuf in the states other than browsing.
    bool GetActiveRecBufInState(host::TRecordBuffer& recBuf);
};
