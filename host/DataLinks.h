// Data sources and data links: how controls and detail datasets follow a
// dataset. A TDataSource connects one dataset to any number of TDataLink
// objects and turns the dataset's data events into calls of the links'
// virtual operations; each link asks the dataset to keep BufferCount records
// in its ring and sees a window of them, ActiveRecord being the current one.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "host/Classes.h"
#include "host/DataSet.h"

namespace host {

using TDataChangeEvent = std::function<void(TObject* sender, TField* field)>;

class TDataSource : public TComponent {
public:
    explicit TDataSource(TComponent* owner);
    // Detaches every link (they become inactive) and leaves the dataset.
    ~TDataSource() override;

    TDataSet* DataSet() const noexcept { return FDataSet; }
    // SCircularDataLink when DataSet's master chain leads back here.
    void SetDataSet(TDataSet* value);
    // The dataset's state while enabled and attached, else dsInactive.
    TDataSetState State() const noexcept { return FState; }
    bool Enabled() const noexcept { return FEnabled; }
    void SetEnabled(bool value);
    // Controls may put the dataset in edit state on their own (Edit).
    bool AutoEdit() const noexcept { return FAutoEdit; }
    void SetAutoEdit(bool value) noexcept { FAutoEdit = value; }
    // True when DataSet's master chain (DataSet->DataSource->DataSet ...)
    // reaches this data source.
    bool IsLinkedTo(TDataSet* dataSet) const;
    // Puts the dataset in edit state when AutoEdit and it is browsing.
    void Edit();

    int32_t DataLinkCount() const noexcept { return static_cast<int32_t>(FDataLinks.size()); }
    TDataLink* DataLinks(int32_t index) const { return FDataLinks.at(static_cast<size_t>(index)); }

    // Called when the data of the current record, or the record, changed
    // (Field is the changed field or null).
    TDataChangeEvent OnDataChange;
    TNotifyEvent OnStateChange;
    TNotifyEvent OnUpdateData;

    void Notification(TComponent* component, TOperation operation) override;

private:
    friend class TDataSet;
    friend class TDataLink;
    void AddDataLink(TDataLink* link);
    void RemoveDataLink(TDataLink* link);
    void DataEvent(TDataEvent event, intptr_t info);
    void UpdateState();
    void SetState(TDataSetState value);
    void NotifyDataLinks(TDataEvent event, intptr_t info);
    void DetachDataSet() noexcept;

    TDataSet* FDataSet = nullptr;
    TDataSetState FState = dsInactive;
    bool FEnabled = true;
    bool FAutoEdit = true;
    std::vector<TDataLink*> FDataLinks; // not owned
};

class TDataLink : public TPersistent {
public:
    TDataLink();
    // Leaves its data source.
    ~TDataLink() override;

    TDataSource* DataSource() const noexcept { return FDataSource; }
    void SetDataSource(TDataSource* value);
    // When fixed, SetDataSource raises SDataSourceFixed.
    bool DataSourceFixed() const noexcept { return FDataSourceFixed; }
    void SetDataSourceFixed(bool value) noexcept { FDataSourceFixed = value; }
    TDataSet* DataSet() const noexcept;
    // Attached to an enabled data source whose dataset is open.
    bool Active() const noexcept { return FActive; }
    // The data source's state is dsEdit or dsInsert (and the link is not read-only).
    bool Editing() const noexcept { return FEditing; }
    bool ReadOnly() const noexcept { return FReadOnly; }
    void SetReadOnly(bool value);

    int32_t BufferCount() const noexcept { return FBufferCount; }
    // Resizes the dataset's ring when this link needs more (or fewer) records.
    void SetBufferCount(int32_t value);
    // Position of the dataset's current record within this link's window
    // (0 .. RecordCount-1); 0 when inactive or in dsSetKey.
    int32_t ActiveRecord() const noexcept;
    // Makes the record at that window position the dataset's active buffer
    // (controls use this to draw other rows; set it back afterwards).
    void SetActiveRecord(int32_t value);
    // Records in this link's window.
    int32_t RecordCount() const noexcept;

    // Asks the dataset to enter edit state; false when it cannot.
    bool Edit();
    // Writes pending edits of the control (UpdateData) once.
    void UpdateRecord();

    // ----- notifications, in the host's slot order
    virtual void ActiveChanged() {}
    virtual void CheckBrowseMode() {}
    virtual void DataSetChanged() { RecordChanged(nullptr); }
    virtual void DataSetScrolled(int32_t distance);
    virtual void FocusControl(TField** field) { (void)field; }
    virtual void EditingChanged() {}
    virtual void LayoutChanged() { DataSetChanged(); }
    virtual void RecordChanged(TField* field) { (void)field; }
    virtual void UpdateData() {}

    // Index of the first record of this link's window within the dataset's ring.
    int32_t FirstRecord() const noexcept { return FFirstRecord; }

private:
    friend class TDataSource;
    friend class TDataSet;
    void DataEvent(TDataEvent event, intptr_t info);
    void UpdateState();
    void SetActive(bool value);
    void SetEditing(bool value);
    void UpdateRange();

    TDataSource* FDataSource = nullptr;
    int32_t FFirstRecord = 0;
    int32_t FBufferCount = 1;
    bool FActive = false;
    bool FEditing = false;
    bool FReadOnly = false;
    bool FUpdating = false;
    bool FDataSourceFixed = false;
};

} // namespace host
