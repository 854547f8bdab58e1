// The host framework's dataset: the state machine, the ring of record buffers
// and the navigation, editing and notification logic that every concrete
// dataset shares. A descendant serves the record-buffer protocol (allocating
// buffers, fetching one record per GetRecord, moving its cursor to a
// bookmark, reading and writing field buffers, posting); this class decides
// when each of those runs, keeps the buffers its data links show, and tells
// the data sources what changed.
//
// Record buffers. The dataset keeps BufferCount buffers (the largest
// BufferCount of the data links attached through data sources, at least 1)
// plus one spare. Buffers 0 .. RecordCount-1 hold consecutive records of the
// cursor in order; ActiveBuffer is the current record; TempBuffer is the
// spare (the first buffer not holding a record). Each buffer carries a
// bookmark and a bookmark flag (bfCurrent for a fetched record, bfBOF/bfEOF
// for the positions before the first/after the last record, bfInserted for a
// new record) that the descendant keeps inside the buffer. The dataset
// remembers which buffer the cursor stands on; UpdateCursorPos brings the
// cursor back to the active record (InternalSetToRecord, or InternalFirst /
// InternalLast for bfBOF / bfEOF) only when it was moved elsewhere.
//
// Inserting. Insert keeps the new record's own bookmark (InitRecord) and
// leaves the cursor on the record the new one goes in front of; the cursor
// "on" a bfInserted buffer means on that record (InternalGotoBookmark with
// its bookmark), so Cancel, a failing OnNewRecord and the post show it again.
//
// Fetching. GetNextRecord/GetPriorRecord fetch into the spare buffer with
// GetRecord(gmNext / gmPrior) and rotate it in at the end / the start of the
// ring, dropping the buffer at the other end when the ring is full. Resync
// re-reads the current record (gmCurrent) and refills the ring around it.
//
// Editing (Edit, Insert, Append, Post, Cancel, Delete) runs the operations in
// the host's order; InternalEdit, InternalPost and InternalDelete run through
// CheckOperation, which on an EDatabaseError asks OnEditError / OnPostError /
// OnDeleteError: daFail re-raises, daAbort raises the silent EAbort, daRetry
// runs the operation again.
#pragma once

#include <cstdint>
#include <functional>
#include <initializer_list>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "host/Classes.h"
#include "host/Exceptions.h"
#include "host/Fields.h"
#include "host/IndexDefs.h"
#include "host/Variant.h"

namespace host {

class TDataSource;
class TDataLink;
class TList;
class TParams;
class TStream;

using TRecordBuffer = char*;
// A bookmark as handed out by GetBookmark: BookmarkSize bytes owned by the
// caller until FreeBookmark.
using TBookmark = void*;
// A bookmark as a value: BookmarkSize bytes, empty when there is none.
using TBookmarkStr = std::string;

enum TDataSetState : uint8_t {
    dsInactive,
    dsBrowse,
    dsEdit,
    dsInsert,
    dsSetKey,
    dsCalcFields,
    dsFilter,
    dsNewValue,
    dsOldValue,
    dsCurValue,
    dsBlockRead,
    dsInternalCalc
};

// Info of DataEvent: deFieldChange carries a TField*, deFocusControl a
// TField** (a control may replace the field),
// deDataSetScroll the number of positions the buffers moved (negative when
// records left at the start), the others 0. Pointers travel as intptr_t.
enum TDataEvent : uint8_t {
    deFieldChange,
    deRecordChange,
    deDataSetChange,
    deDataSetScroll,
    deLayoutChange,
    deUpdateRecord,
    deUpdateState,
    deCheckBrowseMode,
    dePropertyChange,
    deFieldListChange,
    deFocusControl
};

enum TGetMode : uint8_t { gmCurrent, gmNext, gmPrior };
enum TGetResult : uint8_t { grOK, grBOF, grEOF, grError };
enum TResyncModeItem : uint8_t { rmExact, rmCenter };
using TResyncMode = TSet<TResyncModeItem>;
enum TBookmarkFlag : uint8_t { bfCurrent, bfBOF, bfEOF, bfInserted };
enum TDataAction : uint8_t { daFail, daAbort, daRetry };
enum TLocateOption : uint8_t { loCaseInsensitive, loPartialKey };
using TLocateOptions = TSet<TLocateOption>;
enum TUpdateKind : uint8_t { ukModify, ukInsert, ukDelete };

using TDataSetNotifyEvent = std::function<void(TDataSet* dataSet)>;
using TDataSetErrorEvent = std::function<void(TDataSet* dataSet, EDatabaseError& e, TDataAction& action)>;

// Splits ";"-separated field names: returns the name starting at the 1-based
// position Pos (trimmed) and moves Pos past the following ";". Loop while
// Pos <= length.
std::string ExtractFieldName(const std::string& fields, int32_t& pos);

class TDataSet : public TComponent {
public:
    explicit TDataSet(TComponent* owner);
    // Detaches its data sources and persistent fields and deletes the fields
    // it owns. Descendants close the dataset in their own destructor (their
    // buffer and cursor operations no longer run here).
    ~TDataSet() override;

    // ----- opening and state
    void Open() { SetActive(true); }
    void Close() { SetActive(false); }
    bool Active() const noexcept { return FState != dsInactive; }
    // Opening: BeforeOpen, OpenCursor(false) (InternalOpen, then the buffers
    // are allocated and filled from the cursor), state dsBrowse, AfterOpen.
    // Closing: BeforeClose, state dsInactive, CloseCursor, AfterClose.
    void SetActive(bool value);
    TDataSetState State() const noexcept { return FState; }
    bool Modified() const noexcept { return FModified; }
    bool CanModify() { return GetCanModify(); }
    bool DefaultFields() const noexcept { return FDefaultFields; }
    bool AutoCalcFields() const noexcept { return FAutoCalcFields; }
    void SetAutoCalcFields(bool value) noexcept { FAutoCalcFields = value; }

    void CheckActive() const;   // SDataSetClosed when inactive
    void CheckInactive() const; // SDataSetOpen when active
    // Ends an edit: posts when modified, cancels otherwise (SDataSetClosed
    // when inactive). Data links are asked first (deCheckBrowseMode).
    void CheckBrowseMode();

    // ----- navigation
    void First();
    void Last();
    void Next() { MoveBy(1); }
    void Prior() { MoveBy(-1); }
    // Moves Distance records; returns how many it moved. Sets Eof / Bof when
    // it ran into an end.
    int32_t MoveBy(int32_t distance);
    bool Eof() const noexcept { return FEOF; }
    bool Bof() const noexcept { return FBOF; }
    // True when there is no record to show, a closed dataset included.
    bool IsEmpty() const noexcept { return FRecordCount == 0 && FState != dsInsert; }
    int32_t RecNo() { return GetRecNo(); }
    void SetRecNoValue(int32_t value) { SetRecNo(value); }
    int32_t RecordCount() { return GetRecordCount(); }
    virtual bool IsSequenced();

    // Re-reads the current record and refills the buffers around it: with
    // rmExact the record must still exist (SRecordNotFound), otherwise the
    // next or prior one is taken; with rmCenter it is put in the middle of
    // the ring, otherwise at its old position.
    void Resync(TResyncMode mode);
    // Forgets where the cursor is, so the next UpdateCursorPos repositions it.
    void CursorPosChanged() noexcept { FCurrentRecord = -1; }
    // Brings the cursor to the active record when it stands elsewhere.
    void UpdateCursorPos() {
        if (FRecordCount > 0 && FCurrentRecord != FActiveRecord) SetCurrentRecord(FActiveRecord);
    }

    // ----- bookmarks
    int32_t BookmarkSize() const noexcept { return FBookmarkSize; }
    void SetBookmarkSize(int32_t value) noexcept { FBookmarkSize = value; }
    // A copy of the active record's bookmark (null when the active record
    // has none); free it with FreeBookmark.
    TBookmark GetBookmark();
    void GotoBookmark(TBookmark bookmark);
    void FreeBookmark(TBookmark bookmark);
    TBookmarkStr Bookmark() { return GetBookmarkStr(); }
    void SetBookmark(const TBookmarkStr& value) { SetBookmarkStr(value); }
    virtual TBookmarkStr GetBookmarkStr();
    virtual void SetBookmarkStr(const TBookmarkStr& value);

    // ----- editing
    void Edit();
    void Insert();
    void Append();
    void Post();
    void Cancel();
    void Delete();
    // Inserts / appends a record with these field values (in field order;
    // Empty values leave a field as OnNewRecord made it) and posts it through
    // InternalAddRecord.
    void InsertRecord(std::initializer_list<Variant> values);
    void AppendRecord(std::initializer_list<Variant> values);
    void SetFields(std::span<const Variant> values);
    void Refresh();
    // Asks the data links to write pending edits (deUpdateRecord).
    void UpdateRecord();

    // ----- fields
    TFields* Fields() const noexcept { return FFields.get(); }
    int32_t FieldCount() const noexcept { return FFields->Count(); }
    TFieldDefs* FieldDefs() const noexcept { return FFieldDefs.get(); }
    TField* FindField(const std::string& fieldName) const { return FFields->FindField(fieldName); }
    TField* FieldByName(const std::string& fieldName) const { return FFields->FieldByName(fieldName); }
    TField* FieldByNumber(int32_t fieldNo) const { return FFields->FieldByNumber(fieldNo); }
    // Appends the fields named in the ";"-separated list (FieldByName each).
    void GetFieldList(TList& list, const std::string& fieldNames) const;
    void GetFieldList(std::vector<TField*>& list, const std::string& fieldNames) const;
    void GetFieldNames(std::vector<std::string>& list) const;
    // The value of one field, or with several ";"-separated names a Variant
    // array of their values.
    Variant GetFieldValue(const std::string& fieldNames) const;
    void SetFieldValue(const std::string& fieldNames, const Variant& value);
    Variant FieldValues(const std::string& fieldNames) const { return GetFieldValue(fieldNames); }
    void SetFieldValues(const std::string& fieldNames, const Variant& value) {
        SetFieldValue(fieldNames, value);
    }
    // Bytes of the calculated-field area of a record buffer (set by BindFields).
    int32_t CalcFieldsSize() const noexcept { return FCalcFieldsSize; }

    // ----- data sources and controls
    TDataSource* DataSource() { return GetDataSource(); }
    // True when DataSource (or a master of it, followed through the datasets'
    // DataSource) leads back to this dataset.
    bool IsLinkedTo(TDataSource* dataSource);
    // Sends Event to the data sources (unless controls are disabled).
    virtual void DataEvent(TDataEvent event, intptr_t info);
    void DisableControls();
    void EnableControls();
    bool ControlsDisabled() const noexcept { return FDisableCount != 0; }

    // ----- buffers, for descendants and data links
    TRecordBuffer ActiveBuffer() const noexcept {
        return FBuffers.empty() ? nullptr : FBuffers[static_cast<size_t>(FActiveRecord)];
    }
    TRecordBuffer CalcBuffer() const noexcept { return FCalcBuffer; }
    TRecordBuffer TempBuffer() const noexcept {
        return FBuffers.empty() ? nullptr : FBuffers[static_cast<size_t>(FRecordCount)];
    }
    int32_t BufferCount() const noexcept { return FBufferCount; }
    // Index of the active buffer in the ring.
    int32_t ActiveRecord() const noexcept { return FActiveRecord; }
    // Number of buffers holding records.
    int32_t BufferedRecordCount() const noexcept { return FRecordCount; }

    // ----- events
    TDataSetNotifyEvent BeforeOpen, AfterOpen, BeforeClose, AfterClose, BeforeInsert, AfterInsert, BeforeEdit,
        AfterEdit, BeforePost, AfterPost, BeforeCancel, AfterCancel, BeforeDelete, AfterDelete, BeforeScroll,
        AfterScroll, OnNewRecord, OnCalcFields, BeforeRefresh, AfterRefresh;
    TDataSetErrorEvent OnEditError, OnPostError, OnDeleteError;

    // ----- virtual operations, in the host's slot order
    virtual void ClearCalcFields(TRecordBuffer buffer);
    virtual void CloseCursor();
    virtual void DoBeforeEdit();
    virtual bool GetCanModify();
    virtual TDataSource* GetDataSource();
    virtual int32_t GetRecordCount();
    virtual int32_t GetRecNo();
    virtual void InitRecord(TRecordBuffer buffer);
    virtual void InternalCancel();
    virtual void InternalEdit();
    virtual void InternalInsert();
    virtual void InternalRefresh();
    virtual void OpenCursor(bool infoQuery);
    virtual void SetRecNo(int32_t value);
    virtual TRecordBuffer AllocRecordBuffer() = 0;
    virtual void FreeRecordBuffer(TRecordBuffer& buffer) = 0;
    virtual void GetBookmarkData(TRecordBuffer buffer, void* data) = 0;
    virtual TBookmarkFlag GetBookmarkFlag(TRecordBuffer buffer) = 0;
    virtual TGetResult GetRecord(TRecordBuffer buffer, TGetMode getMode, bool doCheck) = 0;
    virtual int32_t GetRecordSize() = 0;
    virtual void InternalAddRecord(void* buffer, bool append) = 0;
    virtual void InternalClose() = 0;
    virtual void InternalDelete() = 0;
    virtual void InternalFirst() = 0;
    virtual void InternalGotoBookmark(void* bookmark) = 0;
    virtual void InternalHandleException() = 0;
    virtual void InternalInitFieldDefs() = 0;
    virtual void InternalInitRecord(TRecordBuffer buffer) = 0;
    virtual void InternalLast() = 0;
    virtual void InternalOpen() = 0;
    // The base checks required fields (SFieldRequired).
    virtual void InternalPost();
    virtual void InternalSetToRecord(TRecordBuffer buffer) = 0;
    virtual bool IsCursorOpen() = 0;
    virtual void SetBookmarkFlag(TRecordBuffer buffer, TBookmarkFlag value) = 0;
    virtual void SetBookmarkData(TRecordBuffer buffer, void* data) = 0;
    virtual void SetFieldData(TField* field, const void* buffer) = 0;
    // Null bookmarks sort first; the base compares nothing else (0).
    virtual int32_t CompareBookmarks(TBookmark bookmark1, TBookmark bookmark2);
    virtual bool BookmarkValid(TBookmark bookmark);
    // A stream over the blob field's value in the active record; the base
    // gives none.
    virtual std::unique_ptr<TStream> CreateBlobStream(TField* field, TBlobStreamMode mode);
    virtual bool GetCurrentRecord(TRecordBuffer buffer);
    // Copies the field buffer of the current record into Buffer (null: only
    // asks whether there is a value); false when null. The base has none.
    virtual bool GetFieldData(TField* field, void* buffer);
    virtual bool Locate(const std::string& keyFields, const Variant& keyValues, TLocateOptions options);
    virtual Variant Lookup(const std::string& keyFields, const Variant& keyValues,
                           const std::string& resultFields);
    // Converts text between the ANSI and OEM code pages. The base converts
    // nothing: it copies Src to Dest when they differ and returns Src's length.
    virtual int32_t Translate(const char* src, char* dest, bool toOem);

#if LMR_HOST_GENERATION >= 5
    // ----- provider operations, in the host's slot order, with the host's
    // default answers.
    virtual void PSEndTransaction(bool commit);
    virtual void PSExecute(); // SProviderExecuteNotSupported
    // SProviderSQLNotSupported.
    virtual int32_t PSExecuteStatement(const std::string& sql, TParams* params, void* resultSet = nullptr);
    virtual void PSGetAttributes(TList* list);
    // None in the base; the caller owns what it gets.
    virtual std::unique_ptr<TIndexDef> PSGetDefaultOrder();
    virtual std::string PSGetKeyFields();                      // ""
    virtual TParams* PSGetParams();                            // null
    virtual std::string PSGetQuoteChar();                      // "\""
    virtual std::string PSGetTableName();                      // ""
    virtual TIndexDefs* PSGetIndexDefs(TIndexOptions options); // null
    // An EUpdateError carrying E's message, no context, code 0 and Prev's
    // code (0 without Prev); the wrapped exception is the one being handled
    // (std::current_exception()) when called inside a handler.
    virtual std::unique_ptr<EUpdateError> PSGetUpdateException(Exception& e, EUpdateError* prev);
    virtual bool PSInTransaction();  // false
    virtual bool PSIsSQLBased();     // false
    virtual bool PSIsSQLSupported(); // false
    virtual void PSReset();
    // SParamsNotSupported when AParams holds parameters.
    virtual void PSSetParams(TParams* params);
    // SProviderSQLNotSupported for non-empty text.
    virtual void PSSetCommandText(const std::string& commandText);
    virtual void PSStartTransaction();
    virtual bool PSUpdateRecord(TUpdateKind updateKind, TDataSet* delta); // false
#endif

    // The whole value of the blob field numbered FieldNo in the active
    // record, put into Buffer (replacing what it held); returns its size.
    // The base reads it through CreateBlobStream; a dataset that holds the
    // bytes itself hands them over without a stream. Raises like
    // FieldByNumber's caller would when there is no such field or stream.
    virtual int64_t GetBlobFieldData(int32_t fieldNo, std::string& buffer);

    // ----- helpers descendants call
    // Enters State temporarily without telling the data sources; returns the
    // previous state for RestoreState.
    TDataSetState SetTempState(TDataSetState value);
    void RestoreState(TDataSetState value);
    void SetState(TDataSetState value);
    // Computes the calculated and lookup fields of Buffer (state
    // dsCalcFields) when there are any.
    void GetCalcFields(TRecordBuffer buffer);
    // Clears the calculated area, computes lookup fields, runs OnCalcFields;
    // the caller sets the state.
    void CalculateFields(TRecordBuffer buffer);
    // Creates one field object per field definition (owned by the dataset).
    void CreateFields();
    // Binding: data fields get their FieldNo from the field definition of
    // the same name (SFieldNotFound when none); calculated and lookup fields
    // get FieldNo -1 and a slot (flag byte + DataSize) at Offset within the
    // calculated area, whose total is CalcFieldsSize. Unbinding resets both.
    void BindFields(bool binding);
    // Deletes the fields the dataset owns and empties the field list.
    void DestroyFields();
    void CheckRequiredFields();
    void CheckCanModify(); // SDataSetReadOnly
    void SetModified(bool value) noexcept {
        FModified = value;
    }

protected:
    virtual void DoAfterCancel();
    virtual void DoAfterClose();
    virtual void DoAfterDelete();
    virtual void DoAfterEdit();
    virtual void DoAfterInsert();
    virtual void DoAfterOpen();
    virtual void DoAfterPost();
    virtual void DoAfterScroll();
    virtual void DoAfterRefresh();
    virtual void DoBeforeCancel();
    virtual void DoBeforeClose();
    virtual void DoBeforeDelete();
    virtual void DoBeforeInsert();
    virtual void DoBeforeOpen();
    virtual void DoBeforePost();
    virtual void DoBeforeScroll();
    virtual void DoBeforeRefresh();
    virtual void DoOnCalcFields();
    virtual void DoOnNewRecord();

    // Runs Operation with the cursor at the active record; on EDatabaseError
    // asks ErrorEvent what to do (see the top of this file).
    void CheckOperation(const std::function<void()>& operation, const TDataSetErrorEvent& errorEvent);

    bool GetNextRecord();
    bool GetPriorRecord();
    int32_t GetNextRecords();
    int32_t GetPriorRecords();
    void ClearBuffers() noexcept;
    void ActivateBuffers() noexcept;
    // Re-sizes the ring to the largest BufferCount of the attached links.
    void UpdateBufferCount();
    void SetBufferCount(int32_t value);
    TRecordBuffer Buffer(int32_t index) const {
        return FBuffers[static_cast<size_t>(index)];
    }

private:
    friend class TDataSource;
    friend class TDataLink;

    void SetCurrentRecord(int32_t index);
    void NotifyDataSources(TDataEvent event, intptr_t info);
    void MoveBuffer(int32_t curIndex, int32_t newIndex);
    void FreeBuffers() noexcept;
    void DoInternalOpen();
    void BeginInsertAppend();
    void EndInsertAppend();
    void PrepareInsertBuffer();
    void PrepareAppendBuffer();
    void AddRecord(std::initializer_list<Variant> values, bool append);
    void CalcLookupValue(TField* field);
    // Shifts every active link's first record by Delta buffers.
    void AdjustLinksFirstRecord(int32_t delta);
    void UpdateLinksRange();
    std::vector<TDataLink*> AllLinks() const;

    TDataSetState FState = dsInactive;
    TDataSetState FDisableState = dsInactive;
    TDataEvent FEnableEvent = deDataSetChange;
    int32_t FDisableCount = 0;
    std::vector<TRecordBuffer> FBuffers; // FBufferCount + 1 while open
    int32_t FBufferCount = 0;
    int32_t FRecordCount = 0;
    int32_t FActiveRecord = 0;
    int32_t FCurrentRecord = -1;
    TRecordBuffer FCalcBuffer = nullptr;
    int32_t FBookmarkSize = 0;
    int32_t FCalcFieldsSize = 0;
    bool FBOF = true;
    bool FEOF = true;
    bool FModified = false;
    bool FDefaultFields = false;
    bool FAutoCalcFields = true;
    bool FInternalOpenComplete = false;
    // Bookmark of the record an inserted record goes in front of; empty when
    // it has none (an empty dataset, or no bookmark support).
    TBookmarkStr FInsertBookmark;
    std::unique_ptr<TFields> FFields;
    std::unique_ptr<TFieldDefs> FFieldDefs;
    std::vector<TDataSource*> FDataSources; // not owned
};

} // namespace host
