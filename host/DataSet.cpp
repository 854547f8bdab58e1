// The host dataset's shared logic: buffer ring, navigation, editing state
// machine, calculated fields and notification of data sources.
#include "host/DataSet.h"

#include <algorithm>
#include <cstring>

#include "host/DBConsts.h"
#include "host/DataLinks.h"
#include "host/Lists.h"
#include "host/Params.h"
#include "host/Streams.h"
#include "host/SysUtils.h"

namespace host {

namespace {

[[noreturn]] void DSError(const TResStringRec& msg, const TComponent* component) {
    DatabaseError(LoadResString(msg), component);
}

void Fire(const TDataSetNotifyEvent& event, TDataSet* dataSet) {
    if (event) event(dataSet);
}

} // namespace

std::string ExtractFieldName(const std::string& fields, int32_t& pos) {
    const auto len = static_cast<int32_t>(fields.size());
    int32_t i = pos;
    while (i <= len && fields[static_cast<size_t>(i - 1)] != ';')
        ++i;
    std::string result = Trim(fields.substr(static_cast<size_t>(pos - 1), static_cast<size_t>(i - pos)));
    if (i <= len && fields[static_cast<size_t>(i - 1)] == ';') ++i;
    pos = i;
    return result;
}

// ---------------------------------------------------------------------------
// Construction

TDataSet::TDataSet(TComponent* owner)
    : TComponent(owner), FFields(std::make_unique<TFields>(this)),
      FFieldDefs(std::make_unique<TFieldDefs>(this)) {}

TDataSet::~TDataSet() {
    Destroying();
    // The descendant's part is gone by now, so its buffer and cursor
    // operations cannot run: descendants close in their own destructor.
    // A dataset still open here gives its buffers up unreleased.
    FState = dsInactive;
    FBuffers.clear();
    while (!FDataSources.empty())
        FDataSources.back()->DetachDataSet();
    // Fields owned by this dataset are deleted; others only leave it.
    std::vector<TField*> fields;
    for (int32_t i = 0; i < FFields->Count(); ++i)
        fields.push_back(FFields->Fields(i));
    for (TField* f : fields) {
        if (f->Owner() == this)
            delete f;
        else
            f->SetDataSetUnchecked(nullptr);
    }
}

// ---------------------------------------------------------------------------
// Opening and closing

void TDataSet::SetActive(bool value) {
    if (Active() == value) return;
    if (value) {
        DoBeforeOpen();
        try {
            OpenCursor(false);
        } catch (...) {
            FState = dsInactive;
            try {
                CloseCursor();
            } catch (...) {
            }
            throw;
        }
        SetState(dsBrowse);
        DoAfterOpen();
        if (!IsEmpty()) DoAfterScroll();
    } else {
        const bool destroying = ComponentState().Contains(csDestroying);
        if (!destroying) DoBeforeClose();
        SetState(dsInactive);
        CloseCursor();
        if (!destroying) DoAfterClose();
    }
}

void TDataSet::OpenCursor(bool infoQuery) {
    if (infoQuery)
        InternalInitFieldDefs();
    else
        DoInternalOpen();
}

void TDataSet::DoInternalOpen() {
    FDefaultFields = FieldCount() == 0;
    InternalOpen();
    FInternalOpenComplete = true;
    UpdateBufferCount();
    FBOF = true;
}

void TDataSet::CloseCursor() {
    FInternalOpenComplete = false;
    FreeBuffers();
    InternalClose();
    FDefaultFields = false;
}

void TDataSet::FreeBuffers() noexcept {
    ClearBuffers();
    for (TRecordBuffer& b : FBuffers)
        if (b) {
            try {
                FreeRecordBuffer(b);
            } catch (...) {
            }
            b = nullptr;
        }
    FBuffers.clear();
    FBufferCount = 0;
    FCalcBuffer = nullptr;
}

void TDataSet::CheckActive() const {
    if (!Active()) DSError(SDataSetClosed, this);
}

void TDataSet::CheckInactive() const {
    if (Active()) DSError(SDataSetOpen, this);
}

void TDataSet::SetState(TDataSetState value) {
    if (FState == value) return;
    FState = value;
    FModified = false;
    DataEvent(deUpdateState, 0);
}

TDataSetState TDataSet::SetTempState(TDataSetState value) {
    const TDataSetState old = FState;
    FState = value;
    ++FDisableCount;
    return old;
}

void TDataSet::RestoreState(TDataSetState value) {
    FState = value;
    if (FDisableCount > 0) --FDisableCount;
}

// ---------------------------------------------------------------------------
// Buffers

void TDataSet::ClearBuffers() noexcept {
    FRecordCount = 0;
    FActiveRecord = 0;
    FCurrentRecord = -1;
    FBOF = true;
    FEOF = true;
}

void TDataSet::ActivateBuffers() noexcept {
    FRecordCount = 1;
    FActiveRecord = 0;
    FBOF = false;
    FEOF = false;
}

void TDataSet::MoveBuffer(int32_t curIndex, int32_t newIndex) {
    if (curIndex == newIndex) return;
    auto begin = FBuffers.begin();
    if (curIndex < newIndex)
        std::rotate(begin + curIndex, begin + curIndex + 1, begin + newIndex + 1);
    else
        std::rotate(begin + newIndex, begin + curIndex, begin + curIndex + 1);
    // The cursor stays on the same record, wherever its buffer went.
    if (FCurrentRecord == curIndex)
        FCurrentRecord = newIndex;
    else if (FCurrentRecord >= 0) {
        if (curIndex < newIndex && FCurrentRecord > curIndex && FCurrentRecord <= newIndex)
            --FCurrentRecord;
        else if (curIndex > newIndex && FCurrentRecord >= newIndex && FCurrentRecord < curIndex)
            ++FCurrentRecord;
    }
}

void TDataSet::SetCurrentRecord(int32_t index) {
    if (FCurrentRecord == index) return;
    TRecordBuffer buffer = FBuffers[static_cast<size_t>(index)];
    switch (GetBookmarkFlag(buffer)) {
    case bfCurrent:
        InternalSetToRecord(buffer);
        break;
    case bfInserted:
        // A new record has no place of its own in the cursor: standing on it
        // means standing on the record it goes in front of.
        if (!FInsertBookmark.empty())
            InternalGotoBookmark(FInsertBookmark.data());
        else
            InternalSetToRecord(buffer);
        break;
    case bfBOF:
        InternalFirst();
        break;
    case bfEOF:
        InternalLast();
        break;
    }
    FCurrentRecord = index;
}

bool TDataSet::GetNextRecord() {
    if (FRecordCount > 0) SetCurrentRecord(FRecordCount - 1);
    TGetMode mode = gmNext;
    // A new record not yet posted stands where the cursor is: its successor
    // is the record the cursor is on.
    if (FState == dsInsert && FCurrentRecord == FActiveRecord &&
        GetBookmarkFlag(ActiveBuffer()) == bfInserted && !FInsertBookmark.empty())
        mode = gmCurrent;
    const bool ok = GetRecord(FBuffers[static_cast<size_t>(FRecordCount)], mode, true) == grOK;
    if (!ok) {
        CursorPosChanged();
        return false;
    }
    if (FRecordCount == 0)
        ActivateBuffers();
    else if (FRecordCount < FBufferCount)
        ++FRecordCount;
    else
        MoveBuffer(0, FRecordCount);
    FCurrentRecord = FRecordCount - 1;
    return true;
}

bool TDataSet::GetPriorRecord() {
    if (FRecordCount > 0) SetCurrentRecord(0);
    const bool ok = GetRecord(FBuffers[static_cast<size_t>(FRecordCount)], gmPrior, true) == grOK;
    if (!ok) {
        CursorPosChanged();
        return false;
    }
    if (FRecordCount == 0)
        ActivateBuffers();
    else {
        MoveBuffer(FRecordCount, 0);
        if (FRecordCount < FBufferCount) {
            ++FRecordCount;
            ++FActiveRecord;
        }
    }
    FCurrentRecord = 0;
    return true;
}

int32_t TDataSet::GetNextRecords() {
    int32_t n = 0;
    while (FRecordCount < FBufferCount && GetNextRecord())
        ++n;
    return n;
}

int32_t TDataSet::GetPriorRecords() {
    int32_t n = 0;
    while (FRecordCount < FBufferCount && GetPriorRecord())
        ++n;
    return n;
}

std::vector<TDataLink*> TDataSet::AllLinks() const {
    std::vector<TDataLink*> links;
    for (TDataSource* ds : FDataSources)
        for (TDataLink* link : ds->FDataLinks)
            links.push_back(link);
    return links;
}

void TDataSet::AdjustLinksFirstRecord(int32_t delta) {
    if (delta == 0) return;
    for (TDataLink* link : AllLinks())
        if (link->Active()) link->FFirstRecord += delta;
}

void TDataSet::UpdateLinksRange() {
    for (TDataLink* link : AllLinks())
        if (link->Active()) link->UpdateRange();
}

void TDataSet::UpdateBufferCount() {
    if (!IsCursorOpen()) return;
    int32_t count = 1;
    for (TDataLink* link : AllLinks())
        count = std::max(count, link->BufferCount());
    SetBufferCount(count);
}

void TDataSet::SetBufferCount(int32_t value) {
    if (value == FBufferCount) return;
    if (value < FBufferCount && FRecordCount > value) {
        // Keep the active record: drop records in front of it first, then
        // from the end.
        int32_t shifted = 0;
        while (FRecordCount > value) {
            if (FActiveRecord >= value) {
                MoveBuffer(0, FBufferCount);
                if (FCurrentRecord == FBufferCount) FCurrentRecord = -1;
                --FActiveRecord;
                --shifted;
            } else if (FCurrentRecord == FRecordCount - 1) {
                FCurrentRecord = -1;
            }
            --FRecordCount;
        }
        AdjustLinksFirstRecord(shifted);
    }
    const auto newSize = static_cast<size_t>(value) + 1;
    if (newSize < FBuffers.size()) {
        for (size_t i = newSize; i < FBuffers.size(); ++i)
            if (FBuffers[i]) FreeRecordBuffer(FBuffers[i]);
        FBuffers.resize(newSize);
        if (FCurrentRecord >= static_cast<int32_t>(newSize)) FCurrentRecord = -1;
    } else {
        FBuffers.reserve(newSize);
        while (FBuffers.size() < newSize)
            FBuffers.push_back(AllocRecordBuffer());
    }
    FBufferCount = value;
    if (!ComponentState().Contains(csDestroying)) {
        GetNextRecords();
        if (FRecordCount < FBufferCount && FRecordCount > 0) AdjustLinksFirstRecord(GetPriorRecords());
    }
    UpdateLinksRange();
}

// ---------------------------------------------------------------------------
// Navigation

void TDataSet::First() {
    CheckBrowseMode();
    DoBeforeScroll();
    ClearBuffers();
    try {
        InternalFirst();
        GetNextRecord();
        GetNextRecords();
    } catch (...) {
        FBOF = true;
        DataEvent(deDataSetChange, 0);
        throw;
    }
    FBOF = true;
    DataEvent(deDataSetChange, 0);
    DoAfterScroll();
}

void TDataSet::Last() {
    CheckBrowseMode();
    DoBeforeScroll();
    ClearBuffers();
    try {
        InternalLast();
        GetPriorRecord();
        GetPriorRecords();
    } catch (...) {
        FEOF = true;
        DataEvent(deDataSetChange, 0);
        throw;
    }
    FEOF = true;
    DataEvent(deDataSetChange, 0);
    DoAfterScroll();
}

int32_t TDataSet::MoveBy(int32_t distance) {
    CheckBrowseMode();
    int32_t moved = 0;
    DoBeforeScroll();
    if ((distance > 0 && !FEOF) || (distance < 0 && !FBOF)) {
        FBOF = false;
        FEOF = false;
        const int32_t oldRecordCount = FRecordCount;
        int32_t scroll = 0; // positions the buffers moved
        auto notify = [&] {
            if (FRecordCount != oldRecordCount)
                DataEvent(deDataSetChange, 0);
            else
                DataEvent(deDataSetScroll, scroll);
        };
        try {
            while (distance > 0) {
                if (FActiveRecord < FRecordCount - 1) {
                    ++FActiveRecord;
                } else {
                    const bool full = FRecordCount == FBufferCount;
                    if (!GetNextRecord()) {
                        FEOF = true;
                        break;
                    }
                    if (full)
                        --scroll;
                    else
                        ++FActiveRecord;
                }
                --distance;
                ++moved;
            }
            while (distance < 0) {
                if (FActiveRecord > 0) {
                    --FActiveRecord;
                } else {
                    const bool full = FRecordCount == FBufferCount;
                    if (!GetPriorRecord()) {
                        FBOF = true;
                        break;
                    }
                    // The new record went to index 0; when the ring grew the
                    // active index moved with the old records.
                    if (full)
                        ++scroll;
                    else {
                        --FActiveRecord;
                        ++scroll;
                    }
                }
                ++distance;
                --moved;
            }
        } catch (...) {
            notify();
            throw;
        }
        notify();
        DoAfterScroll();
    }
    return moved;
}

void TDataSet::Resync(TResyncMode mode) {
    TRecordBuffer spare = FBuffers[static_cast<size_t>(FRecordCount)];
    if (mode.Contains(rmExact)) {
        CursorPosChanged();
        if (GetRecord(spare, gmCurrent, true) != grOK) DSError(SRecordNotFound, this);
    } else if (GetRecord(spare, gmCurrent, false) != grOK && GetRecord(spare, gmNext, false) != grOK &&
               GetRecord(spare, gmPrior, false) != grOK) {
        ClearBuffers();
        DataEvent(deDataSetChange, 0);
        return;
    }
    int32_t count = mode.Contains(rmCenter) ? (FBufferCount - 1) / 2 : FActiveRecord;
    MoveBuffer(FRecordCount, 0);
    ActivateBuffers();
    FCurrentRecord = 0;
    try {
        while (count > 0 && GetPriorRecord())
            --count;
        GetNextRecords();
        GetPriorRecords();
    } catch (...) {
        DataEvent(deDataSetChange, 0);
        throw;
    }
    DataEvent(deDataSetChange, 0);
}

bool TDataSet::IsSequenced() {
    return true;
}
int32_t TDataSet::GetRecordCount() {
    return -1;
}
int32_t TDataSet::GetRecNo() {
    return -1;
}
void TDataSet::SetRecNo(int32_t) {}

// ---------------------------------------------------------------------------
// Bookmarks

TBookmarkStr TDataSet::GetBookmarkStr() {
    if (!Active() || FRecordCount == 0 || FBookmarkSize <= 0) return TBookmarkStr();
    TRecordBuffer buffer = FState == dsCalcFields && FCalcBuffer ? FCalcBuffer : ActiveBuffer();
    if (GetBookmarkFlag(buffer) != bfCurrent) return TBookmarkStr();
    TBookmarkStr result(static_cast<size_t>(FBookmarkSize), '\0');
    GetBookmarkData(buffer, result.data());
    return result;
}

void TDataSet::SetBookmarkStr(const TBookmarkStr& value) {
    if (value.empty()) return;
    TBookmarkStr copy = value;
    GotoBookmark(copy.data());
}

TBookmark TDataSet::GetBookmark() {
    const TBookmarkStr s = GetBookmarkStr();
    if (s.empty()) return nullptr;
    char* result = new char[s.size()];
    std::memcpy(result, s.data(), s.size());
    return result;
}

void TDataSet::FreeBookmark(TBookmark bookmark) {
    delete[] static_cast<char*>(bookmark);
}

void TDataSet::GotoBookmark(TBookmark bookmark) {
    if (!bookmark) return;
    CheckBrowseMode();
    DoBeforeScroll();
    InternalGotoBookmark(bookmark);
    Resync({rmExact, rmCenter});
    DoAfterScroll();
}

int32_t TDataSet::CompareBookmarks(TBookmark bookmark1, TBookmark bookmark2) {
    if (!bookmark1 && !bookmark2) return 0;
    if (!bookmark1) return -1;
    if (!bookmark2) return 1;
    return 0;
}

bool TDataSet::BookmarkValid(TBookmark) {
    return false;
}

// ---------------------------------------------------------------------------
// Editing

void TDataSet::CheckCanModify() {
    if (!GetCanModify()) DSError(SDataSetReadOnly, this);
}

bool TDataSet::GetCanModify() {
    return true;
}
TDataSource* TDataSet::GetDataSource() {
    return nullptr;
}

void TDataSet::CheckOperation(const std::function<void()>& operation, const TDataSetErrorEvent& errorEvent) {
    for (;;) {
        try {
            UpdateCursorPos();
            operation();
            return;
        } catch (EDatabaseError& e) {
            TDataAction action = daFail;
            if (errorEvent) errorEvent(this, e, action);
            if (action == daFail) throw;
            if (action == daAbort) Abort();
            // daRetry: run again, from the active record.
            CursorPosChanged();
        }
    }
}

void TDataSet::UpdateRecord() {
    if (!(FState == dsEdit || FState == dsInsert || FState == dsSetKey)) DSError(SNotEditing, this);
    DataEvent(deUpdateRecord, 0);
}

void TDataSet::CheckBrowseMode() {
    CheckActive();
    DataEvent(deCheckBrowseMode, 0);
    switch (FState) {
    case dsEdit:
    case dsInsert:
        UpdateRecord();
        if (FModified)
            Post();
        else
            Cancel();
        break;
    case dsSetKey:
        Post();
        break;
    default:
        break;
    }
}

void TDataSet::Edit() {
    if (FState == dsEdit || FState == dsInsert) return;
    if (FRecordCount == 0) {
        Insert();
        return;
    }
    CheckBrowseMode();
    CheckCanModify();
    DoBeforeEdit();
    CheckOperation([this] { InternalEdit(); }, OnEditError);
    SetState(dsEdit);
    DataEvent(deRecordChange, 0);
    DoAfterEdit();
}

void TDataSet::BeginInsertAppend() {
    CheckBrowseMode();
    CheckCanModify();
    DoBeforeInsert();
    DoBeforeScroll();
}

void TDataSet::PrepareInsertBuffer() {
    // The cursor stands on the record the new one goes in front of, so the
    // descendant's InternalInsert / InternalPost know the place.
    // That record's bookmark stands for the new one's place until it is
    // posted or cancelled (see SetCurrentRecord).
    UpdateCursorPos();
    FInsertBookmark = GetBookmarkStr();
    const bool empty = FRecordCount == 0;
    MoveBuffer(FRecordCount, FActiveRecord);
    TRecordBuffer buffer = ActiveBuffer();
    InitRecord(buffer);
    if (empty) SetBookmarkFlag(buffer, bfBOF);
    if (FRecordCount < FBufferCount) ++FRecordCount;
    // The cursor already stands on the new record's place.
    FCurrentRecord = empty ? -1 : FActiveRecord;
    FBOF = false;
    FEOF = false;
}

void TDataSet::PrepareAppendBuffer() {
    ClearBuffers();
    TRecordBuffer buffer = FBuffers[0];
    InitRecord(buffer);
    SetBookmarkFlag(buffer, bfEOF);
    FRecordCount = 1;
    FBOF = false;
    FEOF = false;
    // Fill the records before the new one, so it appears after the last.
    FCurrentRecord = -1;
    AdjustLinksFirstRecord(GetPriorRecords());
}

void TDataSet::EndInsertAppend() {
    SetState(dsInsert);
    try {
        DoOnNewRecord();
    } catch (...) {
        UpdateCursorPos();
        SetState(dsBrowse);
        Resync({});
        throw;
    }
    FModified = false;
    DataEvent(deDataSetChange, 0);
    DoAfterInsert();
    DoAfterScroll();
}

void TDataSet::Insert() {
    BeginInsertAppend();
    PrepareInsertBuffer();
    InternalInsert();
    EndInsertAppend();
}

void TDataSet::Append() {
    BeginInsertAppend();
    PrepareAppendBuffer();
    InternalInsert();
    EndInsertAppend();
}

void TDataSet::Post() {
    UpdateRecord();
    if (FState != dsEdit && FState != dsInsert) return;
    DataEvent(deCheckBrowseMode, 0);
    DoBeforePost();
    CheckOperation([this] { InternalPost(); }, OnPostError);
    for (int32_t i = 0; i < FieldCount(); ++i)
        FFields->Fields(i)->SetModified(false);
    SetState(dsBrowse);
    Resync({});
    DoAfterPost();
}

void TDataSet::Cancel() {
    if (FState != dsEdit && FState != dsInsert) return;
    DataEvent(deCheckBrowseMode, 0);
    DoBeforeCancel();
    const bool scrollEvents = FState == dsInsert;
    if (scrollEvents) DoBeforeScroll();
    UpdateCursorPos();
    InternalCancel();
    for (int32_t i = 0; i < FieldCount(); ++i)
        FFields->Fields(i)->SetModified(false);
    SetState(dsBrowse);
    Resync({});
    DoAfterCancel();
    if (scrollEvents) DoAfterScroll();
}

void TDataSet::Delete() {
    CheckActive();
    if (FState == dsInsert || FState == dsSetKey) {
        Cancel();
        return;
    }
    if (FRecordCount == 0) DSError(SDataSetEmpty, this);
    DataEvent(deCheckBrowseMode, 0);
    DoBeforeDelete();
    DoBeforeScroll();
    CheckOperation([this] { InternalDelete(); }, OnDeleteError);
    SetState(dsBrowse);
    Resync({});
    DoAfterDelete();
    DoAfterScroll();
}

void TDataSet::SetFields(std::span<const Variant> values) {
    const auto n = std::min<size_t>(values.size(), static_cast<size_t>(FieldCount()));
    for (size_t i = 0; i < n; ++i)
        if (!values[i].IsEmpty()) FFields->Fields(static_cast<int32_t>(i))->SetAsVariant(values[i]);
}

void TDataSet::AddRecord(std::initializer_list<Variant> values, bool append) {
    BeginInsertAppend();
    if (append)
        PrepareAppendBuffer();
    else
        PrepareInsertBuffer();
    SetState(dsInsert);
    try {
        DoOnNewRecord();
        // Defaults set in AfterInsert give way to the values passed in.
        DoAfterInsert();
        SetFields(std::span<const Variant>(values.begin(), values.size()));
        DoBeforePost();
        TRecordBuffer buffer = ActiveBuffer();
        CheckOperation([this, buffer, append] { InternalAddRecord(buffer, append); }, OnPostError);
    } catch (...) {
        SetState(dsBrowse);
        Resync({});
        throw;
    }
    SetState(dsBrowse);
    Resync({});
    DoAfterPost();
    DoAfterScroll();
}

void TDataSet::InsertRecord(std::initializer_list<Variant> values) {
    AddRecord(values, false);
}
void TDataSet::AppendRecord(std::initializer_list<Variant> values) {
    AddRecord(values, true);
}

void TDataSet::Refresh() {
    DoBeforeRefresh();
    CheckBrowseMode();
    UpdateCursorPos();
    try {
        InternalRefresh();
    } catch (...) {
        Resync({});
        throw;
    }
    Resync({});
    DoAfterRefresh();
}

void TDataSet::InitRecord(TRecordBuffer buffer) {
    InternalInitRecord(buffer);
    ClearCalcFields(buffer);
    SetBookmarkFlag(buffer, bfInserted);
}

void TDataSet::ClearCalcFields(TRecordBuffer) {}
void TDataSet::DoBeforeEdit() {
    Fire(BeforeEdit, this);
}
void TDataSet::InternalCancel() {}
void TDataSet::InternalEdit() {}
void TDataSet::InternalInsert() {}
void TDataSet::InternalRefresh() {}
void TDataSet::InternalPost() {
    CheckRequiredFields();
}

void TDataSet::CheckRequiredFields() {
    for (int32_t i = 0; i < FieldCount(); ++i) {
        TField* f = FFields->Fields(i);
        if (f->Required() && !f->ReadOnly() && f->FieldKind() == fkData && f->IsNull()) {
            f->FocusControl();
            DatabaseError(Format(LoadResString(SFieldRequired), {f->DisplayName()}), this);
        }
    }
}

// ---------------------------------------------------------------------------
// Fields

void TDataSet::CreateFields() {
    for (int32_t i = 0; i < FFieldDefs->Count(); ++i) {
        TFieldDef* def = FFieldDefs->Items(i);
        if (def->DataType() == ftUnknown || def->Attributes().Contains(faHiddenCol)) continue;
        def->CreateField(this);
    }
}

void TDataSet::BindFields(bool binding) {
    FCalcFieldsSize = 0;
    for (int32_t i = 0; i < FieldCount(); ++i) {
        TField* f = FFields->Fields(i);
        if (!binding) {
            if (f->FieldKind() != fkData) f->SetFieldNo(0);
            f->SetOffset(0);
            continue;
        }
        if (f->FieldKind() == fkData) {
            TFieldDef* def = FFieldDefs->Find(f->FieldName());
            if (def->DataType() != f->DataType() &&
                !(f->DataType() == ftCurrency && def->DataType() == ftBCD) &&
                !(f->DataType() == ftString && def->DataType() == ftFixedChar) &&
                !(f->DataType() == ftBlob &&
                  (def->DataType() == ftTypedBinary || def->DataType() == ftOraBlob)) &&
                !(f->DataType() == ftMemo && (def->DataType() == ftFmtMemo || def->DataType() == ftOraClob)))
                DatabaseError(
                    Format(LoadResString(SFieldTypeMismatch),
                           {f->DisplayName(), FieldTypeName(f->DataType()), FieldTypeName(def->DataType())}),
                    this);
            f->SetFieldNo(def->FieldNo());
            f->SetOffset(0);
        } else {
            if (f->FieldKind() == fkLookup &&
                (!f->LookupDataSet() || f->KeyFields().empty() || f->LookupKeyFields().empty() ||
                 f->LookupResultField().empty()))
                DatabaseError(Format(LoadResString(SLookupInfoError), {f->DisplayName()}), this);
            f->SetFieldNo(-1);
            f->SetOffset(FCalcFieldsSize);
            FCalcFieldsSize += f->DataSize() + 1;
        }
    }
}

void TDataSet::DestroyFields() {
    std::vector<TField*> owned;
    for (int32_t i = 0; i < FieldCount(); ++i)
        if (FFields->Fields(i)->Owner() == this) owned.push_back(FFields->Fields(i));
    for (TField* f : owned)
        delete f; // each leaves the list in its destructor
}

void TDataSet::GetFieldList(std::vector<TField*>& list, const std::string& fieldNames) const {
    int32_t pos = 1;
    while (pos <= static_cast<int32_t>(fieldNames.size()))
        list.push_back(FieldByName(ExtractFieldName(fieldNames, pos)));
}

void TDataSet::GetFieldList(TList& list, const std::string& fieldNames) const {
    std::vector<TField*> fields;
    GetFieldList(fields, fieldNames);
    for (TField* f : fields)
        list.Add(f);
}

void TDataSet::GetFieldNames(std::vector<std::string>& list) const {
    if (FieldCount() > 0) {
        for (int32_t i = 0; i < FieldCount(); ++i)
            list.push_back(FFields->Fields(i)->FieldName());
    } else {
        FFieldDefs->Update();
        for (int32_t i = 0; i < FFieldDefs->Count(); ++i)
            list.push_back(FFieldDefs->Items(i)->Name());
    }
}

Variant TDataSet::GetFieldValue(const std::string& fieldNames) const {
    if (fieldNames.find(';') == std::string::npos) return FieldByName(fieldNames)->Value();
    std::vector<TField*> fields;
    GetFieldList(fields, fieldNames);
    Variant result = VarArrayCreate(0, static_cast<int32_t>(fields.size()) - 1, varVariant);
    for (size_t i = 0; i < fields.size(); ++i)
        result.SetElement(static_cast<int32_t>(i), fields[i]->Value());
    return result;
}

void TDataSet::SetFieldValue(const std::string& fieldNames, const Variant& value) {
    if (fieldNames.find(';') == std::string::npos) {
        FieldByName(fieldNames)->SetValue(value);
        return;
    }
    std::vector<TField*> fields;
    GetFieldList(fields, fieldNames);
    for (size_t i = 0; i < fields.size(); ++i)
        fields[i]->SetValue(value.GetElement(static_cast<int32_t>(i)));
}

void TDataSet::GetCalcFields(TRecordBuffer buffer) {
    if (FCalcFieldsSize <= 0) return;
    const TDataSetState saved = FState;
    FState = dsCalcFields;
    try {
        CalculateFields(buffer);
    } catch (...) {
        FState = saved;
        throw;
    }
    FState = saved;
}

void TDataSet::CalculateFields(TRecordBuffer buffer) {
    FCalcBuffer = buffer;
    if (FState != dsInternalCalc) {
        ClearCalcFields(buffer);
        for (int32_t i = 0; i < FieldCount(); ++i)
            if (FFields->Fields(i)->FieldKind() == fkLookup) CalcLookupValue(FFields->Fields(i));
    }
    DoOnCalcFields();
}

void TDataSet::CalcLookupValue(TField* field) {
    TDataSet* lookup = field->LookupDataSet();
    if (!lookup || !lookup->Active()) return;
    const Variant keys = GetFieldValue(field->KeyFields());
    const Variant value = lookup->Lookup(field->LookupKeyFields(), keys, field->LookupResultField());
    field->SetValue(value);
}

// ---------------------------------------------------------------------------
// Notification

bool TDataSet::IsLinkedTo(TDataSource* dataSource) {
    while (dataSource) {
        TDataSet* ds = dataSource->DataSet();
        if (!ds) break;
        if (ds == this) return true;
        dataSource = ds->GetDataSource();
    }
    return false;
}

void TDataSet::DataEvent(TDataEvent event, intptr_t info) {
    switch (event) {
    case deFieldChange: {
        auto* field = reinterpret_cast<TField*>(info);
        if (field && (field->FieldKind() == fkData || field->FieldKind() == fkInternalCalc)) FModified = true;
        // Calculated values follow edits only when AutoCalcFields.
        if (FState != dsSetKey && FAutoCalcFields && FCalcFieldsSize > 0 && ActiveBuffer() &&
            (FState == dsEdit || FState == dsInsert))
            GetCalcFields(ActiveBuffer());
        if (field) field->Change();
        break;
    }
    case dePropertyChange:
        FFieldDefs->SetUpdated(false);
        break;
    default:
        break;
    }
    if (FDisableCount == 0) {
        // Every scroll sends events: a dataset nobody watches answers at once.
        if (!FDataSources.empty()) NotifyDataSources(event, info);
    } else if ((event == deUpdateState && FState == dsInactive) || event == deLayoutChange) {
        FEnableEvent = deLayoutChange;
    }
}

void TDataSet::NotifyDataSources(TDataEvent event, intptr_t info) {
    // A copy: a source may detach itself while it handles the event.
    const std::vector<TDataSource*> sources = FDataSources;
    for (TDataSource* ds : sources)
        ds->DataEvent(event, info);
}

void TDataSet::DisableControls() {
    if (FDisableCount == 0) {
        FDisableState = FState;
        FEnableEvent = deDataSetChange;
    }
    ++FDisableCount;
}

void TDataSet::EnableControls() {
    if (FDisableCount == 0) return;
    if (--FDisableCount == 0) {
        if (FDisableState != FState) DataEvent(deUpdateState, 0);
        if (FDisableState != dsInactive && FState != dsInactive) DataEvent(FEnableEvent, 0);
    }
}

// ---------------------------------------------------------------------------
// Defaults of the optional operations

std::unique_ptr<TStream> TDataSet::CreateBlobStream(TField*, TBlobStreamMode) {
    return nullptr;
}

int64_t TDataSet::GetBlobFieldData(int32_t fieldNo, std::string& buffer) {
    buffer.clear();
    TField* field = FieldByNumber(fieldNo);
    if (field == nullptr) DatabaseErrorFmt(LoadResString(SFieldNotFound), {std::to_string(fieldNo)}, this);
    std::unique_ptr<TStream> stream = CreateBlobStream(field, bmRead);
    if (!stream) DatabaseErrorFmt(LoadResString(SBlobStreamUnavailable), {field->DisplayName()}, this);
    return stream->ReadWhole(buffer);
}
bool TDataSet::GetCurrentRecord(TRecordBuffer) {
    return false;
}
bool TDataSet::GetFieldData(TField*, void*) {
    return false;
}
bool TDataSet::Locate(const std::string&, const Variant&, TLocateOptions) {
    return false;
}
Variant TDataSet::Lookup(const std::string&, const Variant&, const std::string&) {
    return Variant::Null();
}

int32_t TDataSet::Translate(const char* src, char* dest, bool) {
    if (!src) return 0;
    const auto len = static_cast<int32_t>(std::strlen(src));
    if (dest && dest != src) std::memmove(dest, src, static_cast<size_t>(len) + 1);
    return len;
}

#if LMR_HOST_GENERATION >= 5
void TDataSet::PSEndTransaction(bool) {}
void TDataSet::PSExecute() {
    DSError(SProviderExecuteNotSupported, this);
}
int32_t TDataSet::PSExecuteStatement(const std::string&, TParams*, void*) {
    DSError(SProviderSQLNotSupported, this);
}
void TDataSet::PSGetAttributes(TList*) {}
std::unique_ptr<TIndexDef> TDataSet::PSGetDefaultOrder() {
    return nullptr;
}
std::string TDataSet::PSGetKeyFields() {
    return std::string();
}
TParams* TDataSet::PSGetParams() {
    return nullptr;
}
std::string TDataSet::PSGetQuoteChar() {
    return "\"";
}
std::string TDataSet::PSGetTableName() {
    return std::string();
}
TIndexDefs* TDataSet::PSGetIndexDefs(TIndexOptions) {
    return nullptr;
}
std::unique_ptr<EUpdateError> TDataSet::PSGetUpdateException(Exception& e, EUpdateError* prev) {
    const int32_t prevCode = prev ? prev->ErrorCode() : 0;
    return std::make_unique<EUpdateError>(e.Message(), std::string(), 0, prevCode, std::current_exception());
}
bool TDataSet::PSInTransaction() {
    return false;
}
bool TDataSet::PSIsSQLBased() {
    return false;
}
bool TDataSet::PSIsSQLSupported() {
    return false;
}
void TDataSet::PSReset() {}
void TDataSet::PSSetParams(TParams* params) {
    if (params && params->Count() > 0) DSError(SParamsNotSupported, this);
}
void TDataSet::PSSetCommandText(const std::string& commandText) {
    if (!commandText.empty()) DSError(SProviderSQLNotSupported, this);
}
void TDataSet::PSStartTransaction() {}
bool TDataSet::PSUpdateRecord(TUpdateKind, TDataSet*) {
    return false;
}
#endif

// ---------------------------------------------------------------------------
// Events

void TDataSet::DoAfterCancel() {
    Fire(AfterCancel, this);
}
void TDataSet::DoAfterClose() {
    Fire(AfterClose, this);
}
void TDataSet::DoAfterDelete() {
    Fire(AfterDelete, this);
}
void TDataSet::DoAfterEdit() {
    Fire(AfterEdit, this);
}
void TDataSet::DoAfterInsert() {
    Fire(AfterInsert, this);
}
void TDataSet::DoAfterOpen() {
    Fire(AfterOpen, this);
}
void TDataSet::DoAfterPost() {
    Fire(AfterPost, this);
}
void TDataSet::DoAfterScroll() {
    Fire(AfterScroll, this);
}
void TDataSet::DoAfterRefresh() {
    Fire(AfterRefresh, this);
}
void TDataSet::DoBeforeCancel() {
    Fire(BeforeCancel, this);
}
void TDataSet::DoBeforeClose() {
    Fire(BeforeClose, this);
}
void TDataSet::DoBeforeDelete() {
    Fire(BeforeDelete, this);
}
void TDataSet::DoBeforeInsert() {
    Fire(BeforeInsert, this);
}
void TDataSet::DoBeforeOpen() {
    Fire(BeforeOpen, this);
}
void TDataSet::DoBeforePost() {
    Fire(BeforePost, this);
}
void TDataSet::DoBeforeScroll() {
    Fire(BeforeScroll, this);
}
void TDataSet::DoBeforeRefresh() {
    Fire(BeforeRefresh, this);
}
void TDataSet::DoOnCalcFields() {
    Fire(OnCalcFields, this);
}
void TDataSet::DoOnNewRecord() {
    Fire(OnNewRecord, this);
}

} // namespace host
