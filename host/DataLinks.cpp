// Data sources and data links: distribution of a dataset's data events to
// the links, and each link's window onto the dataset's record buffers.
#include "host/DataLinks.h"

#include <algorithm>

#include "host/DBConsts.h"

namespace host {

// ---------------------------------------------------------------------------
// TDataSource

TDataSource::TDataSource(TComponent* owner) : TComponent(owner) {}

TDataSource::~TDataSource() {
    Destroying();
    // A link that leaves tells its owner, and a detail that re-opens its own
    // details may fail there: nothing can be reported from here, and the link
    // is gone either way.
    while (!FDataLinks.empty()) {
        try {
            RemoveDataLink(FDataLinks.back());
        } catch (...) {
        }
    }
    DetachDataSet();
}

void TDataSource::DetachDataSet() noexcept {
    if (!FDataSet) return;
    TDataSet* old = FDataSet;
    std::erase(old->FDataSources, this);
    FDataSet = nullptr;
    if (!old->ComponentState().Contains(csDestroying)) old->RemoveFreeNotification(this);
    try {
        UpdateState();
        if (old->Active()) old->UpdateBufferCount();
    } catch (...) {
    }
}

bool TDataSource::IsLinkedTo(TDataSet* dataSet) const {
    while (dataSet) {
        TDataSource* source = dataSet->GetDataSource();
        if (!source) break;
        if (source == this) return true;
        dataSet = source->DataSet();
    }
    return false;
}

void TDataSource::SetDataSet(TDataSet* value) {
    if (value == FDataSet) return;
    if (IsLinkedTo(value)) DatabaseError(LoadResString(SCircularDataLink), this);
    if (FDataSet) DetachDataSet();
    if (value) {
        value->FDataSources.push_back(this);
        FDataSet = value;
        value->FreeNotification(this);
        if (value->Active()) value->UpdateBufferCount();
    }
    UpdateState();
}

void TDataSource::SetEnabled(bool value) {
    FEnabled = value;
    UpdateState();
}

void TDataSource::Edit() {
    if (FAutoEdit && FState == dsBrowse) FDataSet->Edit();
}

void TDataSource::Notification(TComponent* component, TOperation operation) {
    TComponent::Notification(component, operation);
    if (operation == opRemove && component == FDataSet) DetachDataSet();
}

void TDataSource::AddDataLink(TDataLink* link) {
    FDataLinks.push_back(link);
    link->FDataSource = this;
    if (FDataSet && FDataSet->Active()) FDataSet->UpdateBufferCount();
    link->UpdateState();
}

void TDataSource::RemoveDataLink(TDataLink* link) {
    link->FDataSource = nullptr;
    std::erase(FDataLinks, link);
    link->UpdateState();
    if (FDataSet && FDataSet->Active() && !FDataSet->ComponentState().Contains(csDestroying))
        FDataSet->UpdateBufferCount();
}

void TDataSource::UpdateState() {
    SetState(FEnabled && FDataSet ? FDataSet->State() : dsInactive);
}

void TDataSource::SetState(TDataSetState value) {
    if (FState == value) return;
    const TDataSetState prior = FState;
    FState = value;
    NotifyDataLinks(deUpdateState, 0);
    if (ComponentState().Contains(csDestroying)) return;
    if (OnStateChange) OnStateChange(this);
    if (prior == dsInactive && OnDataChange) OnDataChange(this, nullptr);
}

void TDataSource::NotifyDataLinks(TDataEvent event, intptr_t info) {
    // A link may detach itself (or others) while handling the event.
    const std::vector<TDataLink*> links = FDataLinks;
    for (TDataLink* link : links)
        if (std::find(FDataLinks.begin(), FDataLinks.end(), link) != FDataLinks.end())
            link->DataEvent(event, info);
}

void TDataSource::DataEvent(TDataEvent event, intptr_t info) {
    if (event == deUpdateState) {
        UpdateState();
        return;
    }
    if (FState == dsInactive) return;
    NotifyDataLinks(event, info);
    switch (event) {
    case deFieldChange:
        if (OnDataChange) OnDataChange(this, reinterpret_cast<TField*>(info));
        break;
    case deRecordChange:
    case deDataSetChange:
    case deDataSetScroll:
    case deLayoutChange:
        if (OnDataChange) OnDataChange(this, nullptr);
        break;
    case deUpdateRecord:
        if (OnUpdateData) OnUpdateData(this);
        break;
    default:
        break;
    }
}

// ---------------------------------------------------------------------------
// TDataLink

TDataLink::TDataLink() = default;

TDataLink::~TDataLink() {
    if (FDataSource) FDataSource->RemoveDataLink(this);
}

TDataSet* TDataLink::DataSet() const noexcept {
    return FDataSource ? FDataSource->DataSet() : nullptr;
}

void TDataLink::SetDataSource(TDataSource* value) {
    if (value == FDataSource) return;
    if (FDataSourceFixed) DatabaseError(LoadResString(SDataSourceFixed));
    if (FDataSource) FDataSource->RemoveDataLink(this);
    if (value) value->AddDataLink(this);
}

void TDataLink::SetReadOnly(bool value) {
    if (FReadOnly == value) return;
    FReadOnly = value;
    UpdateState();
}

void TDataLink::SetBufferCount(int32_t value) {
    if (value < 1) value = 1;
    if (FBufferCount == value) return;
    FBufferCount = value;
    if (FActive) {
        UpdateRange();
        DataSet()->UpdateBufferCount();
        UpdateRange();
    }
}

int32_t TDataLink::ActiveRecord() const noexcept {
    if (!FActive || FDataSource->State() == dsSetKey) return 0;
    return DataSet()->FActiveRecord - FFirstRecord;
}

void TDataLink::SetActiveRecord(int32_t value) {
    if (!FActive || FDataSource->State() == dsSetKey) return;
    TDataSet* ds = DataSet();
    const int32_t index = value + FFirstRecord;
    if (index >= 0 && index < std::max(ds->FRecordCount, 1)) ds->FActiveRecord = index;
}

int32_t TDataLink::RecordCount() const noexcept {
    if (!FActive) return 0;
    if (FDataSource->State() == dsSetKey) return 1;
    return std::clamp(DataSet()->FRecordCount - FFirstRecord, 0, FBufferCount);
}

bool TDataLink::Edit() {
    if (!FReadOnly && FDataSource) FDataSource->Edit();
    return FEditing;
}

void TDataLink::UpdateRecord() {
    FUpdating = true;
    try {
        UpdateData();
    } catch (...) {
        FUpdating = false;
        throw;
    }
    FUpdating = false;
}

void TDataLink::DataSetScrolled(int32_t) {
    DataSetChanged();
}

void TDataLink::UpdateRange() {
    TDataSet* ds = DataSet();
    if (!ds) return;
    const int32_t active = ds->FActiveRecord;
    const int32_t min = std::max(active - FBufferCount + 1, 0);
    const int32_t max = std::min(std::max(ds->FBufferCount - FBufferCount, 0), active);
    if (FFirstRecord < min) FFirstRecord = min;
    if (FFirstRecord > max) FFirstRecord = max;
}

void TDataLink::SetActive(bool value) {
    if (FActive == value) return;
    FActive = value;
    if (value)
        UpdateRange();
    else
        FFirstRecord = 0;
    ActiveChanged();
}

void TDataLink::SetEditing(bool value) {
    if (FEditing == value) return;
    FEditing = value;
    EditingChanged();
}

void TDataLink::UpdateState() {
    const bool active = FDataSource && FDataSource->State() != dsInactive;
    SetActive(active);
    SetEditing(active && !FReadOnly &&
               (FDataSource->State() == dsEdit || FDataSource->State() == dsInsert ||
                FDataSource->State() == dsSetKey));
}

void TDataLink::DataEvent(TDataEvent event, intptr_t info) {
    if (event == deUpdateState) {
        UpdateState();
        return;
    }
    if (!FActive) return;
    switch (event) {
    case deFieldChange:
    case deRecordChange:
        if (!FUpdating) RecordChanged(reinterpret_cast<TField*>(info));
        break;
    case deDataSetChange:
    case deDataSetScroll:
    case deLayoutChange: {
        int32_t distance = 0;
        if (FDataSource->State() != dsSetKey) {
            const int32_t oldActive = ActiveRecord();
            if (event == deDataSetScroll) FFirstRecord += static_cast<int32_t>(info);
            UpdateRange();
            distance = ActiveRecord() - oldActive;
        }
        if (event == deDataSetChange)
            DataSetChanged();
        else if (event == deDataSetScroll)
            DataSetScrolled(distance);
        else
            LayoutChanged();
        break;
    }
    case deUpdateRecord:
        UpdateRecord();
        break;
    case deCheckBrowseMode:
        CheckBrowseMode();
        break;
    case deFocusControl:
        FocusControl(reinterpret_cast<TField**>(info));
        break;
    default:
        break;
    }
}

} // namespace host
