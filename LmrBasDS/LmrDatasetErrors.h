// Errors of the dataset layer (unit LmrBasDS): the exception that carries a
// driver failure's code, the dataset layer's message catalogue and the check
// that turns a failed driver result into that exception.
#pragma once

#include "host/Exceptions.h"
#include "host/ResourceStrings.h"

#include <cstdint>
#include <string>

// The dataset layer's exception for failures reported by the driver. The
// dataset's post catches exactly this class to refresh its cursor before
// passing the error on.
class ELumraDatasetError : public host::EDatabaseError {
public:
    // Msg is taken as is (no formatting); the third argument is accepted for
    // the callers' sake and not stored.
    ELumraDatasetError(const std::string& Msg, int32_t AErrorCode, int32_t Reserved);

    int32_t ErrorCode() const noexcept { return FErrorCode; }

private:
    int32_t FErrorCode;
};

// Raises ELumraDatasetError(Msg, Status, 0) when Status is negative; a status
// of 0 or more returns without effect.
void LumraCheckError(const std::string& Msg, int32_t Status);

// ---- Message catalogue -------------------------------------------------------
// Load a text with host::LoadResString at the moment of use; fill "%s" with
// host::Format.

extern const host::TResStringRec SLmrEmptySQLStatement;
extern const host::TResStringRec SLmrDataSetPrepared;
extern const host::TResStringRec SLmrRowChanged;
extern const host::TResStringRec SLmrNoStoredProcName;
extern const host::TResStringRec SLmrTooManyResultProcParams;
extern const host::TResStringRec SLmrStoredProcCompleted;
extern const host::TResStringRec SLmrNoParameterValue; // placeholder: the parameter's name
extern const host::TResStringRec SLmrNoParameterType;  // placeholder: the parameter's name
extern const host::TResStringRec SLmrStoredProcRefresh;
extern const host::TResStringRec SLmrNoFieldAccess; // placeholder: the field's name
extern const host::TResStringRec SLmrNoMissingOrderBy;
