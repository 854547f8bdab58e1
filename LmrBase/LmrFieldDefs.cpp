// Column and variable descriptions: list ownership, buffer layout and the
// variable buffer.
#include "LmrBase/LmrFieldDefs.h"

#include <algorithm>
#include <cstring>
#include <iterator>
#include <limits>

#include "host/Exceptions.h"
#include "host/SysUtils.h"

// ---------------------------------------------------------------------------
// TLumraFieldDef

TLumraFieldDef::TLumraFieldDef(TLumraFieldDefs* owner, std::string name) : FName(std::move(name)) {
    if (owner != nullptr) {
        owner->Attach(this);
        FOwner = owner;
    }
}

TLumraFieldDef::~TLumraFieldDef() {
    if (FOwner != nullptr) FOwner->Detach(this);
}

// ---------------------------------------------------------------------------
// TLumraFieldDefs

TLumraFieldDefs::~TLumraFieldDefs() {
    TLumraFieldDefs::Clear();
}

void TLumraFieldDefs::Attach(TLumraFieldDef* def) {
    FList.emplace_back(def);
    FTotalSize += def->Size();
}

// Called from a description's destructor: the list gives up ownership
// without deleting, since the description is already being destroyed.
void TLumraFieldDefs::Detach(TLumraFieldDef* def) noexcept {
    // Searched from the end: a list is usually emptied last first.
    auto it = std::find_if(FList.rbegin(), FList.rend(), [def](const auto& p) { return p.get() == def; });
    if (it == FList.rend()) return;
    (void)it->release();
    FList.erase(std::next(it).base());
    FTotalSize -= def->Size();
}

void TLumraFieldDefs::Clear() {
    while (!FList.empty()) {
        // Taken out of the list before it is deleted, so the description's
        // destructor finds nothing left to detach.
        std::unique_ptr<TLumraFieldDef> last = std::move(FList.back());
        FList.pop_back();
        last->FOwner = nullptr;
    }
    FTotalSize = 0;
}

TLumraFieldDef* TLumraFieldDefs::AddFieldDef(const std::string& name) {
    const int32_t offset = Size();
    auto* def = new TLumraFieldDef(this, name);
    def->SetFieldNo(GetCount() - 1);
    def->SetOffset(offset);
    return def;
}

int32_t TLumraFieldDefs::Size() const {
    // Summed wide: a wrapped total would place the next column over earlier ones.
    const int64_t sum = FTotalSize;
    if (sum > std::numeric_limits<int32_t>::max() || sum < std::numeric_limits<int32_t>::min())
        throw host::ERangeError("Total size of the descriptions exceeds the 32-bit range");
    return static_cast<int32_t>(sum);
}

int32_t TLumraFieldDefs::IndexOf(const std::string& name) const {
    for (size_t i = 0; i < FList.size(); ++i)
        if (host::AnsiCompareText(FList[i]->Name(), name) == 0) return static_cast<int32_t>(i);
    return -1;
}

TLumraFieldDef* TLumraFieldDefs::FieldByName(const std::string& name) const {
    return GetItem(IndexOf(name));
}

bool TLumraFieldDefs::AnyBlob() const noexcept {
    return std::any_of(FList.begin(), FList.end(), [](const auto& def) {
        return def->FieldType() == ntMemo || def->FieldType() == ntBlob;
    });
}

// ---------------------------------------------------------------------------
// TLumraVariableDefs

TLumraVariableDefs::~TLumraVariableDefs() {
    TLumraVariableDefs::Clear();
}

void TLumraVariableDefs::Clear() {
    TLumraFieldDefs::Clear();
    FBuffer.reset();
    FBufSize = 0;
    FCapacity = 0;
    FBound = false;
}

void TLumraVariableDefs::SetBufSize(int32_t size) {
    if (size < 0) throw host::ERangeError("Negative variable buffer size");
    if (size == 0) {
        FBuffer.reset();
        FBufSize = 0;
        FCapacity = 0;
        return;
    }
    // Values that change shape from one execute to the next (a Null, then
    // text again) resize the buffer every time: a block large enough is kept.
    if (static_cast<size_t>(size) > FCapacity) {
        FBuffer.reset();
        FBufSize = 0;
        FCapacity = 0;
        FBuffer = std::make_unique_for_overwrite<char[]>(static_cast<size_t>(size));
        FCapacity = static_cast<size_t>(size);
    }
    std::memset(FBuffer.get(), 0, static_cast<size_t>(size));
    FBufSize = size;
}

void TLumraVariableDefs::ClearBuffer() noexcept {
    if (FBuffer) std::memset(FBuffer.get(), 0, static_cast<size_t>(FBufSize));
}
