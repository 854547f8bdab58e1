// TLumraDataset and TLumraDataLink: record buffers served from the
// statement's row buffers, opening and closing with the session hold, field
// definitions from column descriptions, parameters from the SQL text and
// master-detail reopening.
#include "LmrBasDS/LmrDataset.h"

#include <algorithm>
#include <cstring>
#include <exception>
#include <limits>
#include <vector>

#include "LmrBase/LmrErrors.h"
#include "LmrUtil/LmrUtil.h"
#include "host/DBConsts.h"
#include "host/Fields.h"
#include "host/SysUtils.h"

using namespace host;

namespace {

// The SQL text's length as the host measures it. The host joins lines with
// CR LF, so its shortest text from a non-empty list is a bare line break of 2
// characters, and that still reaches the statement; our lines end in LF
// alone, which therefore counts twice here.
size_t HostTextLength(const std::string& text) noexcept {
    return text.size() + static_cast<size_t>(std::count(text.begin(), text.end(), '\n'));
}

// Restores the disable count on every exit, so nested failures still
// re-enable controls. Re-enabling sends the held-back change to the dataset's
// own details, which re-open and may fail: on the normal path Enable() lets
// that error reach the caller; while another error is already on its way the
// destructor re-enables quietly, as nothing may leave a destructor.
class TControlsGuard {
public:
    explicit TControlsGuard(TDataSet* dataSet) : FDataSet(dataSet) { FDataSet->DisableControls(); }
    ~TControlsGuard() {
        if (FDataSet == nullptr) return;
        try {
            FDataSet->EnableControls();
        } catch (...) {
            // The first error is the one that is on its way to the caller.
        }
    }
    void Enable() {
        TDataSet* dataSet = FDataSet;
        FDataSet = nullptr;
        dataSet->EnableControls();
    }
    TControlsGuard(const TControlsGuard&) = delete;
    TControlsGuard& operator=(const TControlsGuard&) = delete;

private:
    TDataSet* FDataSet;
};

} // namespace

// ---------------------------------------------------------------------------
// TLumraDataLink

TLumraDataLink::TLumraDataLink(TLumraDataset* dataset) : FDataset(dataset) {}

void TLumraDataLink::ActiveChanged() {
    if (FDataset->Active()) FDataset->RefreshParams();
}

void TLumraDataLink::CheckBrowseMode() {
    if (FDataset->Active()) FDataset->CheckBrowseMode();
}

void TLumraDataLink::RecordChanged(TField* field) {
    if (field == nullptr && FDataset->Active()) FDataset->RefreshParams();
}

// ---------------------------------------------------------------------------
// Construction

TLumraDataset::TLumraDataset(TComponent* owner, std::unique_ptr<TLumraSQL> statement)
    : TDataSet(owner), FStatement(std::move(statement)), FSQL(std::make_unique<TStringList>()),
      FParams(std::make_unique<TLumraParams>(this)), FDataLink(std::make_unique<TLumraDataLink>(this)),
      FKeyFields(std::make_unique<TList>()) {
    if (!FStatement) DatabaseError("A dataset needs a statement", this);
    // Bound to the virtual operation, so a subclass's QueryChanged is the one called.
    FSQL->SetOnChange([this](TObject* sender) { QueryChanged(sender); });
}

TLumraDataset::~TLumraDataset() {
    Destroying();
    try {
        Disconnect();
    } catch (...) {
        // A destructor cannot report; the statement is released below anyway.
    }
    FSQL->SetOnChange(nullptr);
    FStatement->SetOnAfterClose(nullptr);
#if LMR_HOST_GENERATION >= 5
    FProviderParams.reset();
#endif
    FKeyFields.reset();
    FStatement.reset();
    FSQL.reset();
    FParams.reset();
    FDataLink.reset();
}

// ---------------------------------------------------------------------------
// Preparing and the session hold

bool TLumraDataset::PreparationLost() const noexcept {
    return FPrepared && FStatementHeld && !FStatement->CursorPrepared() && !FStatement->StatementPrepared();
}

void TLumraDataset::ForgetLostPreparation() noexcept {
    if (!PreparationLost() || FDBFlags.test(0)) return;
    FPrepared = false;
    FStatementHeld = false;
    FDBFlags.reset();
}

void TLumraDataset::Prepare() {
    ForgetLostPreparation();
    const bool wasSet = SetDBFlag(1, true);
    try {
        SetPrepared(true);
    } catch (...) {
        // A prepare that failed is no reason to keep the session.
        if (!wasSet) {
            try {
                SetDBFlag(1, false);
            } catch (...) {
            }
        }
        throw;
    }
}

void TLumraDataset::UnPrepare() {
    ForgetLostPreparation();
    SetPrepared(false);
    SetDBFlag(1, false);
}

void TLumraDataset::SetPrepare(bool value) {
    if (value)
        Prepare();
    else
        UnPrepare();
}

void TLumraDataset::SetPrepared(bool value) {
    CheckInactive();
    if (value == FPrepared) return;
    if (value) {
        if (FParams->Count() == 0)
            CreateParamDesc();
        else
            SetServerParams();
        if (!FParamDescOnly) {
            if (HostTextLength(FSQLText) < 2) DatabaseError(LoadResString(SLmrEmptySQLStatement));
            PrepareSQL(FSQLText);
        }
    } else {
        FreeStatement();
    }
    FPrepared = value;
    FStatementHeld = value && (FStatement->CursorPrepared() || FStatement->StatementPrepared());
}

void TLumraDataset::FreeStatement() {
    // What ExecSQL prepared for itself stays prepared in the statement, so that
    // executing the same text again costs no engine prepare (PrepareSQL). It
    // holds no session: the session unprepares it when it closes.
    if (FKeepExecute && !FStatement->CursorPrepared()) return;
    FStatement->Unprepare();
}

void TLumraDataset::Check(bool status) {
    if (status) return;
    LumraCheckError(FStatement->GetLastError(), FStatement->GetLastErrorCode());
}

bool TLumraDataset::SetDBFlag(int32_t flag, bool value) {
    const bool inRange = flag >= 0 && flag <= 7;
    const bool wasSet = inRange && FDBFlags.test(static_cast<size_t>(flag));
    if (!inRange) return false;
    if (value && !wasSet) {
        if (FDBFlags.none()) {
            TLumraSession* session = GetSession();
            if (session == nullptr) throw ELumraException(LoadResString(LUMRA_ERR_SESS_NIL), 0, 0);
            session->OpenSession();
        }
        FDBFlags.set(static_cast<size_t>(flag));
    } else if (!value && wasSet) {
        FDBFlags.reset(static_cast<size_t>(flag));
        if (FDBFlags.none()) {
            // The hold goes even when unpreparing fails, or it would never be released.
            try {
                SetPrepared(false);
            } catch (...) {
                if (TLumraSession* session = GetSession()) session->CloseSession();
                throw;
            }
            if (TLumraSession* session = GetSession()) session->CloseSession();
        }
    }
    return wasSet;
}

void TLumraDataset::CheckUnPrepared() {
    if (FPrepared) DatabaseError(LoadResString(SLmrDataSetPrepared));
}

void TLumraDataset::PrepareSQL(const std::string& text) {
    if (FStatement->StatementPrepared() && !FStatement->CursorPrepared() &&
        FStatement->StatementSQL() == text)
        return;
    Check(FStatement->Prepare(text));
}

void TLumraDataset::CreateParamDesc() {}

void TLumraDataset::SetServerParams() {}

void TLumraDataset::Disconnect() {
    Close();
    UnPrepare();
}

// ---------------------------------------------------------------------------
// Parameters

TLumraParam* TLumraDataset::ParamByName(const std::string& name) const {
    return FParams->ParamByName(name);
}

void TLumraDataset::SetParamsList(TLumraParams* value) {
    CheckInactive();
    FParams->AssignValues(value);
}

void TLumraDataset::ResetParamsList() {
    CheckInactive();
    FParams->Clear();
    CreateParams(FParams.get(), FSQLText);
}

void TLumraDataset::CreateParams(TLumraParams* list, std::string& sql) {
    std::string rewritten;
    const std::vector<std::string> names = LmrScanParams(sql, rewritten);
    if (list != nullptr) {
        for (const std::string& name : names) {
            auto param = std::make_unique<TLumraParam>(list, name);
            param->SetAlias(name);
            param.release(); // the collection owns it now
        }
    }
    sql = std::move(rewritten);
}

void TLumraDataset::QueryChanged(TObject*) {
    FSQLText = FSQL->Text();
    if (ComponentState().Contains(csLoading)) {
        CreateParams(nullptr, FSQLText);
        return;
    }
    Disconnect();
    if (FParamCheck || ComponentState().Contains(csDesigning)) {
        try {
            auto list = std::make_unique<TLumraParams>(this);
            CreateParams(list.get(), FSQLText);
            list->AssignValues(FParams.get());
            FParams = std::move(list);
        } catch (...) {
            // The old parameters stay; an SQL change never fails for their sake.
        }
    }
    DataEvent(dePropertyChange, 0);
}

// ---------------------------------------------------------------------------
// Properties

bool TLumraDataset::GetStillInProc() {
    return FStatement->GetStillInProc();
}

void TLumraDataset::SetSession(TLumraSession* value) {
    CheckUnPrepared();
    // An execute side kept from ExecSQL belongs to the old session's connection.
    if (value != FStatement->GetSessionObject()) FStatement->Unprepare();
    FStatement->SetSession(value);
    DataEvent(dePropertyChange, 0);
}

void TLumraDataset::SetQuery(TStrings* value) {
    if (value == nullptr || FSQL->Text() == value->Text()) return;
    Disconnect();
    FSQL->BeginUpdate();
    try {
        FSQL->Assign(value);
    } catch (...) {
        FSQL->EndUpdate();
        throw;
    }
    FSQL->EndUpdate();
}

void TLumraDataset::SetReadOnly(bool value) {
    if (value == FReadOnly) return;
    CheckUnPrepared();
    FReadOnly = value;
}

void TLumraDataset::SetSyncInserts(bool value) {
    if (value == FSyncInserts) return;
    CheckInactive();
    FSyncInserts = value;
}

TDataSource* TLumraDataset::GetDataSource() {
    return FDataLink->DataSource();
}

void TLumraDataset::SetDataSource(TDataSource* value) {
    if (IsLinkedTo(value)) DatabaseError(LoadResString(SCircularDataLink), this);
    FDataLink->SetDataSource(value);
}

bool TLumraDataset::GetCanModify() {
    return TDataSet::GetCanModify() && !FReadOnly && !FInProcResult;
}

// ---------------------------------------------------------------------------
// Opening and closing

void TLumraDataset::OpenCursor(bool infoQuery) {
    if (!FResuming) {
        ForgetLostPreparation();
        SetDBFlag(0, true);
        FInProcResult = false;
        CreateHandle();
    }
    TDataSet::OpenCursor(infoQuery);
}

void TLumraDataset::CreateHandle() {
    CreateCursor(true);
    FStatement->SetOnAfterClose([this](TObject* sender) { FDoAfterClose(sender); });
}

void TLumraDataset::CreateCursor(bool genHandle) {
    if (FSQL->Count() == 0) DatabaseError(LoadResString(SLmrEmptySQLStatement));
    SetPrepared(true);
    if (FDataLink->DataSource() != nullptr) SetParamsFromCursor();
    GetCursor(genHandle);
}

void TLumraDataset::GetCursor(bool genHandle) {
    // Kept between calls, so that its storage serves every execute.
    std::vector<Variant>& values = FParamValues;
    FParams->GetInputValues(values);
    // A lone Null would read as "no values at all": one null input goes as
    // the ready-made array of its one element.
    if (values.size() == 1 && (values[0].IsNull() || values[0].IsEmpty()))
        values.assign(1, FParams->GetParamValues());
    // Date and time inputs tell the statement what they are, which their
    // Variants cannot.
    std::vector<TLumraFieldTypes> types;
    for (int32_t i = 0, k = 0; i < FParams->Count(); ++i) {
        const TLumraParam* param = FParams->GetParam(static_cast<uint16_t>(i));
        if (param->ParamType() >= nptOutput) continue;
        if (param->DataType() == ntDate || param->DataType() == ntTime) {
            types.resize(static_cast<size_t>(k) + 1, ntUnknown);
            types[static_cast<size_t>(k)] = param->DataType();
        }
        ++k;
    }
    // The declarations hold for this call only.
    struct TTypesGuard {
        TLumraSQL* Statement;
        ~TTypesGuard() { Statement->SetVariableDataTypes({}); }
    } guard{FStatement.get()};
    FStatement->SetVariableDataTypes(std::move(types));
    if (!genHandle) {
        // Prepared as a query, a select has no statement to execute.
        if (!FStatement->StatementPrepared() && FStatement->CursorPrepared())
            DatabaseError(LoadResString(LUMRA_ERR_CURS_IS_QUERY), this);
        Check(FStatement->ExecutePrepared(std::span<const Variant>(values)));
        return;
    }
    if (!FStatement->CursorPrepared() && FStatement->StatementPrepared())
        DatabaseError(LoadResString(LUMRA_ERR_CURS_NOT_QUERY), this);
    Check(FStatement->OpenPrepared(std::span<const Variant>(values), !GetCanModify()));
}

void TLumraDataset::InternalOpen() {
    FieldDefs()->SetUpdated(false);
    FieldDefs()->Update();
    if (DefaultFields()) CreateFields();
    BindFields(true);
    SetBookmarkSize(static_cast<int32_t>(sizeof(TLumraRecordBookmark)));
    FBookmarkOfs = FStatement->RecordSize() + CalcFieldsSize();
    FIndicatorOfs = FBookmarkOfs + static_cast<int32_t>(sizeof(TLumraRecordBookmark));
    FRecBufSize = FIndicatorOfs + FStatement->IndicatorSize();
    FOldBuffer.reset(new char[static_cast<size_t>(FRecBufSize)]());
    CursorFirst();
    FAtEnd = false;
    UpdateKeyFields();
    // The ORDER BY index (UpdateIndexFields) is built here, after the key
    // fields, once searching exists.
}

void TLumraDataset::CloseCursor() {
    TDataSet::CloseCursor();
    if (!FResuming) {
        // The dataset closes the cursor itself: its own notification must not
        // close the dataset again.
        FStatement->SetOnAfterClose(nullptr);
        FStatement->Close();
        SetDBFlag(0, false);
    }
}

void TLumraDataset::InternalClose() {
    FOldBuffer.reset();
    FKeyFields->Clear();
    BindFields(false);
    if (DefaultFields()) DestroyFields();
    FRecBufSize = 0;
    FBookmarkOfs = 0;
    FIndicatorOfs = 0;
}

void TLumraDataset::FDoAfterClose(TObject*) {
    Disconnect();
    DataEvent(dePropertyChange, 0);
}

void TLumraDataset::InternalInitFieldDefs() {
    FieldDefs()->Clear();
    TLumraFieldDefs* columns = FStatement->FieldDefs();
    for (int32_t i = 0; i < columns->GetCount(); ++i) {
        TLumraFieldDef* column = columns->GetItem(i);
        std::string name = column->Name();
        for (int32_t j = 1; FieldDefs()->IndexOf(name) >= 0; ++j)
            name = column->Name() + "_" + std::to_string(j);
        TFieldType dataType = ftUnknown;
        int32_t size = 0;
        switch (column->FieldType()) {
        case ntString:
            dataType = ftString, size = column->Size() - 1;
            break;
        case ntInteger:
            dataType = ftInteger;
            break;
        case ntFloat:
            dataType = ftFloat;
            break;
        case ntCurrency:
            dataType = ftCurrency;
            break;
        case ntDate:
            dataType = ftDate;
            break;
        case ntTime:
            dataType = ftTime;
            break;
        case ntDateTime:
            dataType = ftDateTime;
            break;
        case ntBoolean:
            dataType = ftBoolean;
            break;
        case ntBinary:
            dataType = ftBytes, size = column->Size() - 2;
            break;
        case ntMemo:
            dataType = ftMemo;
            break;
        case ntBlob:
            dataType = ftBlob;
            break;
        default:
            dataType = ftUnknown;
            break;
        }
#if LMR_HOST_GENERATION == 3
        if (dataType == ftUnknown) continue;
#endif
        auto* def = new TFieldDef(FieldDefs(), name, dataType, static_cast<int16_t>(size), false, i + 1);
        def->SetPrecision(0);
        def->SetAttributes({});
    }
}

// ---------------------------------------------------------------------------
// Master-detail

void TLumraDataset::SetParamsFromCursor() {
    TDataSource* source = FDataLink->DataSource();
    if (source == nullptr || source->DataSet() == nullptr) return;
    TDataSet* master = source->DataSet();
    master->FieldDefs()->Update();
    // Through the namesake rule, as every other reader of the values: a name
    // given a value once (on its first occurrence) is bound everywhere.
    for (int32_t i = 0; i < FParams->Count(); ++i) {
        TLumraParam* param = FParams->GetParam(static_cast<uint16_t>(i));
        if (param->Bound()) continue;
        param->AssignField(master->FieldByName(param->Name()));
        param->SetBound(false);
    }
}

void TLumraDataset::RefreshParams() {
    TControlsGuard guard(this);
    TDataSource* source = FDataLink->DataSource();
    if (source != nullptr && source->DataSet() != nullptr && source->DataSet()->Active() &&
        source->DataSet()->State() != dsSetKey) {
        Close();
        Open();
    }
    guard.Enable();
}

// ---------------------------------------------------------------------------
// Procedures still in progress

void TLumraDataset::Resume() {
    if (!GetStillInProc()) DatabaseError(LoadResString(SLmrStoredProcCompleted));
    CheckActive();
    FStatement->Resume();
    if (GetStillInProc()) {
        FInProcResult = true;
        FResuming = true;
        try {
            Close();
            Open();
        } catch (...) {
            FResuming = false;
            throw;
        }
        FResuming = false;
    } else {
        Disconnect();
    }
}

// ---------------------------------------------------------------------------
// Key fields

void TLumraDataset::UpdateKeyFields() {
    FKeyFields->Clear();
    if (ComponentState().Contains(csDesigning) || !FSyncInserts || !GetCanModify()) return;
    std::unique_ptr<TLumraSQL> query = CreateStatement();
    query->SetSession(GetSession());
    const std::string tableName = FStatement->GetTableName();
    if (!tableName.empty()) {
        std::string sql;
        GetKeyColumnsSQL(sql);
        if (query->Open(sql, {Variant(tableName)}, true)) {
            while (query->FetchNext())
                if (TField* field = FindField(query->GetFieldValue(Variant("column_name")).AsString()))
                    FKeyFields->Add(field);
            query->Close();
        }
    }
    if (FKeyFields->Count() == 0)
        for (int32_t i = 0; i < FieldCount(); ++i)
            FKeyFields->Add(Fields()->Fields(i));
}

// ---------------------------------------------------------------------------
// Record buffers

TRecordBuffer TLumraDataset::AllocRecordBuffer() {
    TRecordBuffer buffer = StrAlloc(static_cast<uint32_t>(FRecBufSize));
    // A buffer the framework shows before any fetch reaches must not read
    // as a row: it gets a bookmark without a row number.
    TLumraRecordBookmark none{-1, bfEOF, {0, 0, 0}};
    std::memcpy(buffer + FBookmarkOfs, &none, sizeof none);
    return buffer;
}

void TLumraDataset::FreeRecordBuffer(TRecordBuffer& buffer) {
    StrDispose(buffer);
    buffer = nullptr;
}

void TLumraDataset::InternalInitRecord(TRecordBuffer buffer) {
    std::memset(buffer, 0, static_cast<size_t>(FStatement->RecordSize()));
    std::memset(buffer + FIndicatorOfs, 255, static_cast<size_t>(FStatement->IndicatorSize()));
}

void TLumraDataset::ClearCalcFields(TRecordBuffer buffer) {
    std::memset(buffer + FStatement->RecordSize(), 0, static_cast<size_t>(CalcFieldsSize()));
}

void TLumraDataset::InitRecord(TRecordBuffer buffer) {
    TDataSet::InitRecord(buffer);
    TLumraRecordBookmark bookmark{-1, bfInserted, {0, 0, 0}};
    SetBookmarkData(buffer, &bookmark);
}

TGetResult TLumraDataset::GetRecord(TRecordBuffer buffer, TGetMode getMode, bool doCheck) {
    bool ok = false;
    switch (getMode) {
    case gmNext:
        ok = FStatement->FetchNext();
        break;
    case gmPrior:
        ok = FStatement->FetchPrior();
        break;
    case gmCurrent:
        ok = FStatement->FetchCurrent();
        break;
    }
    TGetResult result = grOK;
    if (!ok) {
        if (getMode == gmNext)
            result = FStatement->Eof() ? grEOF : grError;
        else if (getMode == gmPrior)
            result = FStatement->Bof() ? grBOF : grError;
        else
            result = FStatement->Bof() ? grBOF : FStatement->Eof() ? grEOF : grError;
    }
    TLumraRecordBookmark bookmark{-1, bfCurrent, {0, 0, 0}};
    switch (result) {
    case grOK:
        std::memcpy(buffer, FStatement->RowBuffer(), static_cast<size_t>(FStatement->RecordSize()));
        std::memcpy(buffer + FIndicatorOfs, FStatement->IndicatorBuffer(),
                    static_cast<size_t>(FStatement->IndicatorSize()));
        bookmark.RecNo = FStatement->RecNo();
        break;
    case grBOF:
    case grEOF:
        std::memcpy(buffer + FIndicatorOfs, FStatement->IndicatorBuffer(),
                    static_cast<size_t>(FStatement->IndicatorSize()));
        bookmark.Flag = result == grBOF ? bfBOF : bfEOF;
        break;
    case grError:
        if (doCheck) Check(false);
        return grError;
    }
    SetBookmarkData(buffer, &bookmark);
    if (result == grOK) GetCalcFields(buffer);
    return result;
}

bool TLumraDataset::GetCurrentRecord(TRecordBuffer buffer) {
    if (IsEmpty() || GetBookmarkFlag(ActiveBuffer()) != bfCurrent) return false;
    UpdateCursorPos();
    if (buffer == nullptr) return false;
    std::memcpy(buffer, FStatement->RowBuffer(), static_cast<size_t>(FStatement->RecordSize()));
    return true;
}

int32_t TLumraDataset::GetRecordSize() {
    return FStatement->RecordSize();
}

void TLumraDataset::GetBookmarkData(TRecordBuffer buffer, void* data) {
    std::memcpy(data, buffer + FBookmarkOfs, sizeof(TLumraRecordBookmark));
}

void TLumraDataset::SetBookmarkData(TRecordBuffer buffer, void* data) {
    std::memcpy(buffer + FBookmarkOfs, data, sizeof(TLumraRecordBookmark));
}

TBookmarkFlag TLumraDataset::GetBookmarkFlag(TRecordBuffer buffer) {
    return static_cast<TBookmarkFlag>(BookmarkOf(buffer).Flag);
}

void TLumraDataset::SetBookmarkFlag(TRecordBuffer buffer, TBookmarkFlag value) {
    buffer[FBookmarkOfs + static_cast<int32_t>(offsetof(TLumraRecordBookmark, Flag))] =
        static_cast<char>(value);
}

void TLumraDataset::InternalGotoBookmark(void* bookmark) {
    int32_t recNo = 0;
    std::memcpy(&recNo, bookmark, sizeof recNo);
    if (CursorMoveTo(recNo)) FStatement->FetchCurrent();
}

void TLumraDataset::InternalSetToRecord(TRecordBuffer buffer) {
    InternalGotoBookmark(buffer + FBookmarkOfs);
}

int32_t TLumraDataset::CompareBookmarks(TBookmark bookmark1, TBookmark bookmark2) {
    if (bookmark1 == nullptr && bookmark2 == nullptr) return 0;
    if (bookmark1 == nullptr) return 1;
    if (bookmark2 == nullptr) return -1;
    int32_t a = 0, b = 0;
    std::memcpy(&a, bookmark1, sizeof a);
    std::memcpy(&b, bookmark2, sizeof b);
    return a < b ? -1 : a > b ? 1 : 0;
}

bool TLumraDataset::BookmarkValid(TBookmark bookmark) {
    CheckActive();
    CursorPosChanged();
    if (bookmark == nullptr) return false;
    int32_t recNo = 0;
    std::memcpy(&recNo, bookmark, sizeof recNo);
    return recNo >= 0 && recNo < GetRecordCount();
}

void TLumraDataset::InternalFirst() {
    CursorFirst();
    FAtEnd = false;
}

void TLumraDataset::InternalLast() {
    CursorLast();
    FAtEnd = true;
}

int32_t TLumraDataset::GetRecordCount() {
    CheckActive();
    return FStatement->RecordCount();
}

int32_t TLumraDataset::GetRecNo() {
    CheckActive();
    TRecordBuffer buffer = State() == dsCalcFields ? CalcBuffer() : ActiveBuffer();
    if (buffer == nullptr) return -1;
    const int32_t recNo = BookmarkOf(buffer).RecNo;
    // A slot that holds no row number of a row (a damaged or foreign bookmark) has none.
    return recNo < 0 || recNo == std::numeric_limits<int32_t>::max() ? -1 : recNo + 1;
}

void TLumraDataset::SetRecNo(int32_t value) {
    CheckBrowseMode();
    if (!IsSequenced() || value == GetRecNo()) return;
    DoBeforeScroll();
    CursorPosChanged();
    // No row lies before the first, and value - 1 would overflow for the lowest value.
    if (value >= 1 && CursorMoveTo(value - 1)) {
        Resync({rmCenter});
        DoAfterScroll();
    }
}

bool TLumraDataset::IsCursorOpen() {
    return FStatement->CursorOpen();
}

int32_t TLumraDataset::Translate(const char* src, char* dest, bool toOem) {
    const int32_t result = TDataSet::Translate(src, dest, toOem);
    if (result > 0)
        if (TLumraSession* session = GetSession())
            session->TranslateChar(src, dest, static_cast<int32_t>(StrLen(src)), toOem);
    return result;
}

bool TLumraDataset::GetActiveRecBufInState(TRecordBuffer& recBuf) {
    switch (State()) {
    case dsBrowse:
    case dsBlockRead:
        recBuf = IsEmpty() ? nullptr : ActiveBuffer();
        break;
    case dsEdit:
    case dsInsert:
    case dsNewValue:
        recBuf = ActiveBuffer();
        break;
    case dsCalcFields:
        recBuf = CalcBuffer();
        break;
    case dsFilter:
        recBuf = FFilterBuffer;
        break;
    case dsOldValue:
        recBuf = GetOldRecord();
        break;
    default:
        recBuf = nullptr;
        break;
    }
    return recBuf != nullptr;
}

TRecordBuffer TLumraDataset::GetOldRecord() {
    UpdateCursorPos();
    if (!FStatement->CursorOpen() || !FOldBuffer) return nullptr;
    std::memcpy(FOldBuffer.get(), FStatement->OldRowBuffer(), static_cast<size_t>(FStatement->RecordSize()));
    return FOldBuffer.get();
}

bool TLumraDataset::GetFieldData(TField* field, void* buffer) {
    TRecordBuffer record = nullptr;
    if (!GetActiveRecBuf(record)) return false;
    if (field->FieldNo() > 0) {
        TLumraFieldDef* def = FStatement->FieldDefs()->GetItem(field->FieldNo() - 1);
        // A field number beyond the columns has no indicator to read.
        if (def == nullptr) return false;
        const bool result =
            State() == dsOldValue || !FStatement->IsNull(record + FIndicatorOfs, field->FieldNo() - 1);
        if (result && buffer != nullptr) ConvertRowToField(def, record + def->Offset(), buffer);
        return result;
    }
    const TDataSetState state = State();
    if (state != dsBrowse && state != dsEdit && state != dsInsert && state != dsCalcFields) return false;
    const char* slot = record + GetRecordSize() + field->Offset();
    if (slot[0] == 0) return false;
    if (buffer != nullptr) std::memcpy(buffer, slot + 1, static_cast<size_t>(field->DataSize()));
    return true;
}

void TLumraDataset::SetFieldData(TField* field, const void* buffer) {
    const TDataSetState state = State();
    if (state != dsEdit && state != dsInsert && state != dsSetKey && state != dsCalcFields &&
        state != dsFilter && state != dsNewValue && state != dsInternalCalc)
        DatabaseError(LoadResString(SNotEditing), this);
    TRecordBuffer record = nullptr;
    if (!GetActiveRecBuf(record)) DatabaseError(LoadResString(SNotEditing), this);
    if (field->FieldNo() > 0) {
        if (state == dsCalcFields) DatabaseError(LoadResString(SNotEditing), this);
        if (field->ReadOnly() && state != dsSetKey && state != dsFilter)
            DatabaseErrorFmt(LoadResString(SFieldReadOnly), {field->DisplayName()}, this);
        field->Validate(buffer);
        const int32_t column = field->FieldNo() - 1;
        TLumraFieldDef* def = FStatement->FieldDefs()->GetItem(column);
        if (buffer != nullptr && def != nullptr) {
            ConvertFieldToRow(def, record + def->Offset(), buffer);
            FStatement->SetNull(record + FIndicatorOfs, column, false);
        } else if (def != nullptr) {
            // The row bytes stay; only the indicator says null.
            FStatement->SetNull(record + FIndicatorOfs, column, true);
        }
    } else {
        char* slot = record + GetRecordSize() + field->Offset();
        slot[0] = buffer != nullptr ? 1 : 0;
        if (buffer != nullptr) std::memcpy(slot + 1, buffer, static_cast<size_t>(field->DataSize()));
    }
    if (state != dsCalcFields && state != dsFilter && state != dsNewValue)
        DataEvent(deFieldChange, reinterpret_cast<intptr_t>(field));
}

// ---------------------------------------------------------------------------
// Editing (posting arrives with the editing code)

void TLumraDataset::InternalAddRecord(void*, bool) {
    DatabaseError(LoadResString(SDataSetReadOnly), this);
}
void TLumraDataset::InternalDelete() {
    DatabaseError(LoadResString(SDataSetReadOnly), this);
}
void TLumraDataset::InternalPost() {
    DatabaseError(LoadResString(SDataSetReadOnly), this);
}

void TLumraDataset::InternalHandleException() {
    // Without an application object to show it, an error being handled is passed on.
    if (std::current_exception()) throw;
}
