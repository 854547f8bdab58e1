// A query dataset on the recording statement of the base tests: integer
// columns hold the row number, so the dataset's own contracts (buffers,
// session hold, parameters, failures) can be watched without an engine.
#pragma once

#include <cstring>
#include <memory>
#include <string>

#include "LmrBasDS/LmrBasDS.h"
#include "base/recording_driver.h"

namespace recording {

// Prepares the way a driver does: a text that reads rows prepares the
// cursor side, anything else the non-query side.
class PreparingSQL : public RecordingSQL {
public:
    using RecordingSQL::RecordingSQL;
    bool InternalPrepare(const std::string& sql) override {
        if (!RecordingSQL::InternalPrepare(sql)) return false;
        return sql.rfind("select", 0) == 0 ? InternalPrepareOpen(sql) : InternalPrepareExecute(sql);
    }
    // A procedure call still in progress for this many more Resume calls.
    int32_t InProc = 0;
    bool GetStillInProc() override { return InProc > 0; }
    bool Resume() override {
        Add("Resume");
        if (InProc > 0) --InProc;
        return true;
    }
};

class RecordingDataset : public TLumraCustomDataset {
public:
    explicit RecordingDataset(Log* log, host::TComponent* owner = nullptr)
        : TLumraCustomDataset(owner, std::make_unique<PreparingSQL>(log)), FLog(log) {
        Sql()->Columns = {{"ID", ntInteger, 4}, {"NAME", ntString, 11}};
    }

    PreparingSQL* Sql() const { return static_cast<PreparingSQL*>(Statement()); }

    std::unique_ptr<TLumraSQL> CreateStatement() override { return std::make_unique<PreparingSQL>(FLog); }
    void ConvertRowToField(TLumraFieldDef* def, char* row, void* data) override {
        std::memcpy(data, row, static_cast<size_t>(def->Size()));
    }
    void ConvertFieldToRow(TLumraFieldDef* def, char* row, const void* data) override {
        std::memcpy(row, data, static_cast<size_t>(def->Size()));
    }
    void GetKeyColumnsSQL(std::string& sql) override { sql = "keys of ?"; }
    void CursorFirst() override {
        Sql()->SetRecordCount(Sql()->Rows);
        Sql()->SetRecNo(-1);
    }
    void CursorLast() override { Sql()->SetRecNo(Sql()->Rows); }
    bool CursorMoveTo(int32_t recNo) override { return Sql()->MoveTo(recNo); }

private:
    Log* FLog;
};

} // namespace recording
