// The dataset layer's exception class, its message texts and LumraCheckError.
#include "LmrBasDS/LmrDatasetErrors.h"

ELumraDatasetError::ELumraDatasetError(const std::string& Msg, int32_t AErrorCode, int32_t /*Reserved*/)
    : host::EDatabaseError(Msg), FErrorCode(AErrorCode) {}

void LumraCheckError(const std::string& Msg, int32_t Status) {
    // Drivers report warnings and "no data" with codes of 0 and above; only a
    // negative code is an error.
    if (Status < 0) throw ELumraDatasetError(Msg, Status, 0);
}

#define LMR_RESOURCESTRING(Name, Text) const host::TResStringRec Name = {#Name, Text};

LMR_RESOURCESTRING(SLmrEmptySQLStatement, "No SQL statement available")
LMR_RESOURCESTRING(SLmrDataSetPrepared, "Cannot perform this operation on an open or prepared dataset")
LMR_RESOURCESTRING(SLmrRowChanged, "Couldn't perform the edit because another user changed the record")
LMR_RESOURCESTRING(SLmrNoStoredProcName, "Empty or missing Stored Procedure name")
LMR_RESOURCESTRING(SLmrTooManyResultProcParams, "Too many Stored Function result parameters")
LMR_RESOURCESTRING(SLmrStoredProcCompleted, "The Stored Procedure has completed")
LMR_RESOURCESTRING(SLmrNoParameterValue, "No value for parameter '%s'")
LMR_RESOURCESTRING(SLmrNoParameterType, "No parameter type for parameter '%s'")
LMR_RESOURCESTRING(SLmrStoredProcRefresh, "Cannot perform this operation on a Stored Procedure")
LMR_RESOURCESTRING(SLmrNoFieldAccess, "Cannot access field '%s' in a filter")
LMR_RESOURCESTRING(SLmrNoMissingOrderBy, "Missing ORDER BY clause to build index")

#undef LMR_RESOURCESTRING
