// TLumraSQL: the low-level statement object of the engine access core. One
// statement holds at the same time one prepared cursor (prepare, open, fetch,
// update the current row) and one prepared non-query statement (prepare,
// execute with input and output host variables). It keeps the column
// descriptions and row buffers, turns host-variable values into typed variable
// descriptions, decides when the driver must bind anew, tracks the cursor
// position, reads and writes single columns of the current row, and reports
// errors through its session. The abstract operations are the statement half
// of the driver contract.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <memory>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "LmrBase/LmrErrors.h"
#include "LmrBase/LmrFieldDefs.h"
#include "LmrBase/LmrSession.h"
#include "host/Classes.h"
#include "host/Variant.h"

namespace host {
class TStringList;
}

namespace host {
class TStrings;
}
class TLumraBlobManager;
class TLumraBlobStream;

class TLumraSQL : public host::TComponent {
public:
    // Inherited construction, then the description lists and the blob
    // manager; UniDirectional true, MaxFetchCount 25.
    explicit TLumraSQL(host::TComponent* owner);
    // Unprepares both sides, frees what the statement owns and leaves its
    // session. The base destructor reaches only the base bodies of the close
    // and unprepare operations, so a driver's destructor calls Unprepare
    // first to release its engine statements.
    ~TLumraSQL() override;

    TLumraSQL(const TLumraSQL&) = delete;
    TLumraSQL& operator=(const TLumraSQL&) = delete;

    // --- Session link --------------------------------------------------------

    // The linked session. Raises "The session property is not linked to a
    // session" (code 0, not recorded anywhere) when unlinked, except in the
    // designer, where it returns null.
    TLumraSession* GetSession() const;
    // Leaves the current session, then joins value (at the end of its list).
    void SetSession(TLumraSession* value);
    // The link without any check.
    TLumraSession* GetSessionObject() const noexcept { return FSession; }

    // --- Errors (all through GetSession) ---------------------------------------

    // Records msg and code as the session's last error and throws E(msg, code, 0).
    template <class E = ELumraException>
    [[noreturn]] void RaiseLastError(const std::string& msg, int32_t code) const {
        if (TLumraSession* session = GetSession()) session->template RaiseLastError<E>(msg, code);
        // Only in the designer without a session: nothing to record the error in.
        throw E(msg, code, 0);
    }
    std::string GetLastError() const;
    int32_t GetLastErrorCode() const;
    // The session's InternalCheck with the same arguments.
    bool Check(void* data, int32_t value1, int32_t value2, bool flag);

    // --- Settings --------------------------------------------------------------

    int32_t RowsProcessed() const noexcept { return FRowsProcessed; }
    void SetRowsProcessed(int32_t value) noexcept { FRowsProcessed = value; }
    int32_t BlobSize() const noexcept { return FBlobSize; }
    // Accepts 0..32763; other values are ignored.
    void SetBlobSize(int32_t value) noexcept;
    bool UniDirectional() const noexcept { return FUniDirectional; }
    void SetUniDirectional(bool value) noexcept { FUniDirectional = value; }
    int32_t MaxFetchCount() const noexcept { return FMaxFetchCount; }
    // Accepts 1..1000; other values are ignored.
    void SetMaxFetchCount(int32_t value) noexcept;

    // --- State -----------------------------------------------------------------

    bool ReadOnly() const noexcept { return FReadOnly; }
    bool CursorPrepared() const noexcept { return FCursorPrepared; }
    bool StatementPrepared() const noexcept { return FStatementPrepared; }
    bool CursorOpen() const noexcept { return FCursorOpen; }
    const std::string& CursorSQL() const noexcept { return FCursorSQL; }
    const std::string& StatementSQL() const noexcept { return FStatementSQL; }
    TLumraFieldDefs* FieldDefs() const noexcept { return FFieldDefs.get(); }
    TLumraVariableDefs* CursorVariables() const noexcept { return FCursorVariables.get(); }
    TLumraVariableDefs* ExecuteVariables() const noexcept { return FExecuteVariables.get(); }
    TLumraVariableDefs* OutputVariables() const noexcept { return FOutputVariables.get(); }
    TLumraBlobManager* BlobManager() const noexcept { return FBlobManager.get(); }

    // Cursor position and sizes: kept by the driver, read by the base and the dataset.
    int32_t FetchCount() const noexcept { return FFetchCount; }
    void SetFetchCount(int32_t value) noexcept { FFetchCount = value; }
    int32_t RowSetCount() const noexcept { return FRowSetCount; }
    int32_t RowSetCounter1() const noexcept { return FRowSetCounter1; }
    void SetRowSetCounter1(int32_t value) noexcept { FRowSetCounter1 = value; }
    int32_t RowSetCounter2() const noexcept { return FRowSetCounter2; }
    void SetRowSetCounter2(int32_t value) noexcept { FRowSetCounter2 = value; }
    // Zero-based current row; -1 before the first row.
    int32_t RecNo() const noexcept { return FRecNo; }
    void SetRecNo(int32_t value) noexcept { FRecNo = value; }
    int32_t RecordSize() const noexcept { return FRecordSize; }
    void SetRecordSize(int32_t value) noexcept { FRecordSize = value; }
    int32_t IndicatorSize() const noexcept { return FIndicatorSize; }
    void SetIndicatorSize(int32_t value) noexcept { FIndicatorSize = value; }
    // Rows of the open cursor as the driver reports them. A driver that counts
    // only when asked (so the first row never waits for the last) overrides
    // InternalGetRecordCount; the base answers the stored count.
    int32_t RecordCount() { return InternalGetRecordCount(); }
    void SetRecordCount(int32_t value) noexcept { FRecordCount = value; }
    bool Bof() const noexcept { return FBof; }
    void SetBof(bool value) noexcept { FBof = value; }
    bool Eof() const noexcept { return FEof; }
    void SetEof(bool value) noexcept { FEof = value; }

    // Row buffers (null until InternalAllocOpenBuffer): the row set of
    // RowSetCount rows, the current row and the row as fetched, each with its
    // null indicators.
    char* RowSetBuffer() const noexcept { return FRowSetBuffer.get(); }
    char* RowBuffer() const noexcept { return FRowBuffer.get(); }
    char* OldRowBuffer() const noexcept { return FOldRowBuffer.get(); }
    char* IndicatorSetBuffer() const noexcept { return FIndicatorSetBuffer.get(); }
    char* IndicatorBuffer() const noexcept { return FIndicatorBuffer.get(); }
    char* OldIndicatorBuffer() const noexcept { return FOldIndicatorBuffer.get(); }

    // --- Events ----------------------------------------------------------------

    // Fired after every successful open.
    const host::TNotifyEvent& OnAfterOpen() const noexcept { return FOnAfterOpen; }
    void SetOnAfterOpen(host::TNotifyEvent value) { FOnAfterOpen = std::move(value); }
    // For the driver to fire after it closed the cursor.
    const host::TNotifyEvent& OnAfterClose() const noexcept { return FOnAfterClose; }
    void SetOnAfterClose(host::TNotifyEvent value) { FOnAfterClose = std::move(value); }

    // --- Cursor operations ---------------------------------------------------
    // Every SQL text passes through StatementToOem first; the stored and
    // compared texts are the converted ones.

    // Unprepare, then the driver's InternalPrepare.
    bool Prepare(const std::string& sql);
    // UnprepareOpen, then InternalPrepareOpen.
    bool PrepareOpen(const std::string& sql);
    // Re-prepares for a different text, else closes; binds when the cursor
    // variables are not bound; opens; fires OnAfterOpen on success.
    bool Open(const std::string& sql, std::span<const host::Variant> values, bool readOnly);
    bool Open(const std::string& sql, std::initializer_list<host::Variant> values, bool readOnly);
    // Open read-only, then fetch the first row; true only when a row was read.
    bool OpenRead(const std::string& sql, std::span<const host::Variant> values);
    bool OpenRead(const std::string& sql, std::initializer_list<host::Variant> values = {});
    // Open for writing (re-preparing after a read-only open), then fetch the first row.
    bool OpenWrite(const std::string& sql, std::span<const host::Variant> values);
    bool OpenWrite(const std::string& sql, std::initializer_list<host::Variant> values = {});
    // The three opens of an already prepared cursor; raise "The cursor is not
    // prepared" (code 0) when none is.
    bool OpenPrepared(std::span<const host::Variant> values, bool readOnly);
    bool OpenPrepared(std::initializer_list<host::Variant> values, bool readOnly);
    bool OpenReadPrepared(std::span<const host::Variant> values);
    bool OpenReadPrepared(std::initializer_list<host::Variant> values = {});
    bool OpenWritePrepared(std::span<const host::Variant> values);
    bool OpenWritePrepared(std::initializer_list<host::Variant> values = {});
    // Prepares (if needed) without opening; true when prepared with at least
    // one column, or already prepared.
    bool Describe(const std::string& sql);
    // Closes the cursor; the preparation and column descriptions stay.
    void Close();
    void UnprepareOpen();
    void Unprepare();

    // --- Non-query operations -----------------------------------------------

    bool PrepareExecute(const std::string& sql);
    // Re-prepares for a different text; fills the input variables, clears the
    // output buffer, binds if needed and executes.
    bool Execute(const std::string& sql, std::span<const host::Variant> values);
    bool Execute(const std::string& sql, std::initializer_list<host::Variant> values = {});
    // Raises "The statement is not prepared" (code 0) when nothing is prepared.
    bool ExecutePrepared(std::span<const host::Variant> values);
    bool ExecutePrepared(std::initializer_list<host::Variant> values = {});
    void UnprepareExecute();
    // The declared types of the host variables the next opens and executions
    // take, by position (empty: none declared). A date Variant cannot say
    // whether it is a date, a time of day or a date-time at midnight; a
    // variable declared ntDate or ntTime takes a date Variant as that type,
    // every other date Variant is an ntDateTime. Values of other Variant
    // types are typed by their Variant alone.
    void SetVariableDataTypes(std::vector<TLumraFieldTypes> types) { FVariableDataTypes = std::move(types); }
    const std::vector<TLumraFieldTypes>& VariableDataTypes() const noexcept { return FVariableDataTypes; }
    // Value of an output (or in/out) host variable by identifier; raises
    // "Host variable "<id>" not found" (code 0) when there is none.
    host::Variant GetOutVar(const host::Variant& id);
    // Commits automatically when the session has AutoCommit and no user
    // transaction; for the driver.
    void InternalAutoCommit();

    // --- Buffers, for the driver ----------------------------------------------

    // RowSetCount := FetchCount; allocates the six zero-filled row buffers.
    void InternalAllocOpenBuffer();
    // Frees the blob streams and the six row buffers; sizes back to 0.
    void InternalFreeOpenBuffer();
    // The one way descriptions are made: the name is first made unique against
    // FieldDefs (ID, ID_1, ID_2, ... ignoring case), then added to defs.
    TLumraFieldDef* InternalAddFieldDef(TLumraFieldDefs* defs, const std::string& name,
                                        TLumraFieldTypes fieldType, int32_t extType, int32_t size,
                                        int32_t length, int32_t decimals, bool nulls,
                                        TLumraKeyIndicator keyIndicator);

#if LMR_HOST_GENERATION >= 4
    // Converts sql in place to the OEM code page when the session asks for it.
    void StatementToOem(std::string& sql);
#endif

    // --- Field access ------------------------------------------------------------
    // An identifier that is a 32-bit integer Variant is a zero-based column
    // number; any other Variant is converted to text and matched as a name,
    // ignoring case.

    bool FindField(const std::string& name) const;
    int32_t GetFieldCount() const;
    // Empty text for an index out of range.
    std::string GetFieldName(int32_t index) const;
    // Null when the identifier names no column.
    TLumraFieldDef* GetField(const host::Variant& id) const;
    // These answer ntUnknown, 0, 0, 0, false for an unknown identifier.
    TLumraFieldTypes GetFieldType(const host::Variant& id) const;
    int32_t GetFieldSize(const host::Variant& id) const;
    int32_t GetFieldLength(const host::Variant& id) const;
    int32_t GetFieldDecimals(const host::Variant& id) const;
    bool GetFieldNulls(const host::Variant& id) const;
    // The following raise "Field "<id>" not found" (code 0) for an unknown identifier.
    bool IsFieldNull(const host::Variant& id);
    bool IsFieldDirty(const host::Variant& id);
    // Raises "The cursor is not opened" when closed.
    bool IsDirty();
    bool CanModify() const noexcept {
        return FCursorOpen && !FReadOnly;
    }
    host::Variant GetFieldValue(const host::Variant& id);
    host::Variant GetOldValue(const host::Variant& id);
    // Raises "The cursor is read-only" before looking the identifier up.
    void SetFieldValue(const host::Variant& id, const host::Variant& value);
    // Zeroes the column's bytes in RowBuffer and sets its null indicator.
    void InternalClearField(TLumraFieldDef* def, bool makeNull);
    // By name only; an unknown name is ignored.
    void ClearField(const std::string& name);
    void ClearFieldNotNull(const std::string& name);
    // Raise "The cursor is not opened", then "The cursor is read-only";
    // clear every column except hidden key columns.
    void Clear();
    void ClearNotNull();

    // --- Driver contract, in slot order -------------------------------------------
    // (The ten driver operations the base never calls are left out.)

    // Prepares sql; the base uses only the result.
    virtual bool InternalPrepare(const std::string& sql) = 0;
    // Base: remembers sql as CursorSQL, CursorPrepared := true. The driver
    // prepares and describes the cursor, then calls this.
    virtual bool InternalPrepareOpen(const std::string& sql);
    // Binds CursorVariables; arg is always null from the base. May set the
    // list's Bound flag so later opens skip the call.
    virtual bool InternalBindOpen(void* arg) = 0;
    // Base: RecNo -1, Bof/Eof false, ReadOnly := readOnly, CursorOpen true.
    virtual bool InternalOpen(bool readOnly);
    // Base: RecNo -1, Bof/Eof true, RecordCount and row-set counters 0,
    // CursorOpen false. Safe when nothing is open.
    virtual void InternalClose();
    // Base: frees the open buffers, clears FieldDefs and CursorSQL,
    // CursorPrepared := false.
    virtual void InternalUnprepareOpen();
    // Base: remembers sql as StatementSQL, StatementPrepared := true.
    virtual bool InternalPrepareExecute(const std::string& sql);
    // Binds ExecuteVariables; receives the scratch list InternalExecute gets next.
    virtual bool InternalBindExecute(host::TStrings* list) = 0;
    // Executes, sets RowsProcessed and fills OutputVariables.
    virtual bool InternalExecute(host::TStrings* list) = 0;
    // Base: StatementSQL empty, StatementPrepared := false.
    virtual void InternalUnprepareExecute();
    // Buffer bytes a host variable of that type takes by default.
    virtual int32_t InternalGetVariableLength(TLumraFieldTypes fieldType) = 0;
    // The engine's own type code for that field type.
    virtual int32_t InternalGetVariableExtType(TLumraFieldTypes fieldType) = 0;
    virtual bool FetchFirst() = 0;
    virtual bool FetchFirstForward() = 0;
    // Base: false.
    virtual bool GetStillInProc();
    // Base: the table named in CursorSQL.
    virtual std::string GetTableName();
    // Converts the value at buffer+position (size bytes) to value, or into
    // stream for ntMemo/ntBlob.
    virtual void InternalGetValue(char* buffer, int32_t position, int32_t size, TLumraFieldTypes fieldType,
                                  TLumraBlobStream* stream, host::Variant& value) = 0;
    // Writes value (or the stream's content) at buffer+position within size bytes.
    virtual void InternalSetValue(char* buffer, int32_t position, int32_t size, TLumraFieldTypes fieldType,
                                  const host::Variant& value, TLumraBlobStream* stream) = 0;
    // Base: false.
    virtual bool Resume();
    // Must set Eof (FetchNext) or Bof (FetchPrior) when returning false
    // without a negative error code.
    virtual bool FetchNext() = 0;
    virtual bool FetchCurrent() = 0;
    virtual bool FetchPrior() = 0;
    // Walks with FetchNext/FetchPrior to the zero-based row; raises "The
    // cursor is not opened" when closed. True when the row was reached.
    virtual bool MoveTo(int32_t row);
    virtual bool UpdateRow() = 0;
    virtual bool InsertRow() = 0;
    virtual bool DeleteRow() = 0;
    virtual bool IsNull(char* indicators, int32_t column) = 0;
    virtual void SetNull(char* indicators, int32_t column, bool value) = 0;

protected:
    // Extension point after the contract's operations: the count behind
    // RecordCount. The base returns the value last stored with SetRecordCount.
    virtual int32_t InternalGetRecordCount() {
        return FRecordCount;
    }

    // Used by the driver only; the base initialises them.
    bool FDriverFlag = false;
    host::TNotifyEvent FDriverEvent1;
    host::TNotifyEvent FDriverEvent2;

private:
    friend class TLumraSession;
    // Unprepares both sides when prepared: what a statement prepared on a
    // connection never outlives its link to that connection's session.
    void ReleaseEngineStatements();
#if LMR_HOST_GENERATION < 4
    // Generation 3 runs the conversion privately before every prepare, open and execute.
    LMR_GEN3_INTERNAL void StatementToOem(std::string& sql);
#endif
    std::string ToOem(const std::string& sql);
    host::Variant InternalCheckVarValues(std::span<const host::Variant> values) const;
    TLumraFieldDef* FindVariable(TLumraVariableDefs* defs, const host::Variant& id) const;
    bool ColumnInRow(const TLumraFieldDef* def) const noexcept;
    TLumraFieldTypes InternalGetVariableTypeAndLength(const host::Variant& value, int32_t& length,
                                                      int32_t position);
    bool InternalNeedNewVariables(const host::Variant& value, TLumraVariableDefs* defs);
    void InternalSetVariables(const host::Variant& value, TLumraVariableDefs* defs);
    // The same for the caller's values as given: typed, compared and written
    // element by element without packing them into an array first.
    void SetVariableValues(std::span<const host::Variant> values, TLumraVariableDefs* defs);
    TLumraFieldDef* FieldOrRaise(const host::Variant& id);
    TLumraBlobStream* StreamFor(TLumraFieldDef* def);
    bool OpenCursor(const std::string* sql, std::span<const host::Variant> values, bool readOnly,
                    bool fetchFirst);
    bool ExecuteStatement(const std::string* sql, std::span<const host::Variant> values);
    void ClearAll(bool makeNull);
    void DoEvent(const host::TNotifyEvent& event);

    TLumraSession* FSession = nullptr;
    std::unique_ptr<char[]> FRowSetBuffer;
    std::unique_ptr<char[]> FRowBuffer;
    std::unique_ptr<char[]> FOldRowBuffer;
    std::unique_ptr<char[]> FIndicatorSetBuffer;
    std::unique_ptr<char[]> FIndicatorBuffer;
    std::unique_ptr<char[]> FOldIndicatorBuffer;
    int32_t FRowBufferSize = 0;       // bytes RowBuffer and OldRowBuffer were allocated with
    int32_t FIndicatorBufferSize = 0; // bytes IndicatorBuffer and OldIndicatorBuffer were allocated with
    bool FReadOnly = false;
    bool FCursorPrepared = false;
    bool FStatementPrepared = false;
    bool FCursorOpen = false;
    std::string FCursorSQL;
    std::string FStatementSQL;
    std::unique_ptr<TLumraFieldDefs> FFieldDefs;
    std::unique_ptr<TLumraVariableDefs> FCursorVariables;
    std::unique_ptr<TLumraVariableDefs> FExecuteVariables;
    std::unique_ptr<TLumraVariableDefs> FOutputVariables;
    int32_t FFetchCount = 0;
    int32_t FRowSetCount = 0;
    int32_t FRowSetCounter1 = 0;
    int32_t FRowSetCounter2 = 0;
    int32_t FRecNo = 0;
    int32_t FRecordSize = 0;
    int32_t FIndicatorSize = 0;
    int32_t FRecordCount = 0;
    bool FBof = false;
    bool FEof = false;
    bool FUniDirectional = true;
    std::unique_ptr<TLumraBlobManager> FBlobManager;
    int32_t FBlobSize = 0;
    host::TNotifyEvent FOnAfterOpen;
    host::TNotifyEvent FOnAfterClose;
    int32_t FRowsProcessed = 0;
    int32_t FMaxFetchCount = 25;
    // Scratch of SetVariableValues (type and length per value), kept between calls.
    std::vector<std::pair<TLumraFieldTypes, int32_t>> FVariableShapes;
    std::vector<TLumraFieldTypes> FVariableDataTypes;
    // The list handed to the driver's bind and execute, reused by every execute.
    std::unique_ptr<host::TStringList> FExecuteList;
    // What StreamFor found per column number, valid while the blob manager's
    // Generation and the column's name are those it was found with.
    struct TBlobLookup {
        uint64_t Generation = 0;
        std::string Name;
        TLumraBlobStream* Stream = nullptr;
    };
    std::vector<TBlobLookup> FBlobLookups;
};
