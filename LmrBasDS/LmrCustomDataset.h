// TLumraCustomDataset: the query dataset drivers derive their query
// component from. It runs statements that return no rows (ExecSQL) and
// publishes the query properties the dataset core keeps: DataSource,
// ParamCheck, ReadOnly, SQL and SyncInserts.
#pragma once

#include <memory>

#include "LmrBasDS/LmrDataset.h"

class TLumraCustomDataset : public TLumraDataset {
public:
    // As TLumraDataset: the driver passes the statement its CreateStatement makes.
    TLumraCustomDataset(host::TComponent* owner, std::unique_ptr<TLumraSQL> statement);

    // Executes the SQL text with the parameter values as host variables,
    // without a result set; the rows it changed are GetRowsAffected. Only
    // while closed (the framework's SDataSetOpen). Holds the session for its
    // duration; leaves the dataset unprepared unless Prepare was called
    // before, also when the execution fails.
    void ExecSQL();

    // Published properties, in this order (storage and setters in TLumraDataset):
    //   DataSource   GetDataSource / SetDataSource
    //   ParamCheck   default true
    //   ReadOnly     default true, SetReadOnly
    //   SQL          SetQuery
    //   SyncInserts  default false, SetSyncInserts
};
