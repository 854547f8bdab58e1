// TLumraCustomDataset: ExecSQL on the dataset core's prepare-and-execute path.
#include "LmrBasDS/LmrCustomDataset.h"

TLumraCustomDataset::TLumraCustomDataset(host::TComponent* owner, std::unique_ptr<TLumraSQL> statement)
    : TLumraDataset(owner, std::move(statement)) {}

void TLumraCustomDataset::ExecSQL() {
    CheckInactive();
    ForgetLostPreparation();
    SetDBFlag(2, true);
    try {
        CreateCursor(false);
    } catch (...) {
        SetDBFlag(2, false);
        throw;
    }
    FKeepExecute = true;
    try {
        SetDBFlag(2, false);
    } catch (...) {
        FKeepExecute = false;
        throw;
    }
    FKeepExecute = false;
}
