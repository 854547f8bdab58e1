// Statement blob streams and their manager: the buffering of written blob
// data and the lookup of a column's stream by name.
#include "LmrBase/LmrBlobs.h"

#include <algorithm>
#include <cstring>
#include <limits>

#include "LmrBase/LmrErrors.h"
#include "LmrBase/LmrFieldDefs.h"
#include "LmrBase/LmrSQL.h"
#include "host/Exceptions.h"
#include "host/SysUtils.h"

namespace {

constexpr int64_t kMaxPosition = std::numeric_limits<int32_t>::max();
constexpr int64_t kMinPosition = std::numeric_limits<int32_t>::min();

// The statement's description of the stream's column, or null.
TLumraFieldDef* ColumnOf(const TLumraBlobStream& stream) {
    TLumraBlobManager* manager = stream.BlobManager();
    if (manager == nullptr || manager->SQL() == nullptr) return nullptr;
    // Passed as text, so a column named "2" is not mistaken for column 2.
    return manager->SQL()->GetField(host::Variant(stream.FieldName()));
}

} // namespace

// ---------------------------------------------------------------------------
// TLumraBlobStream

TLumraBlobStream::TLumraBlobStream(TLumraBlobManager* manager, std::string fieldName)
    : FFieldName(std::move(fieldName)) {
    if (manager != nullptr) manager->AddBlob(this);
}

TLumraBlobStream::~TLumraBlobStream() {
    if (FBlobManager != nullptr) FBlobManager->RemoveBlob(this);
}

int32_t TLumraBlobStream::Write(const void* buffer, int32_t count) {
    if (count < 0 || FStreamPosition < 0 || (buffer == nullptr && count > 0)) return 0;
    // The blob grows by count wherever the position is, and also far enough
    // to hold bytes written past its end after a Seek beyond it, so the copy
    // below always stays inside the buffer.
    const int64_t end = int64_t{FStreamPosition} + count;
    const int64_t newSize = std::max(int64_t{FBufferedSize} + count, end);
    if (newSize > kMaxPosition) return 0;

    FBuffer.resize(static_cast<size_t>(newSize)); // new bytes are zero
    FBufferedSize = static_cast<int32_t>(newSize);
    FEmpty = FBufferedSize == 0;
    if (FEmpty) return 0;

    if (count > 0) std::memcpy(FBuffer.data() + FStreamPosition, buffer, static_cast<size_t>(count));
    FStreamPosition = static_cast<int32_t>(end);
    FModified = true;
    return count;
}

int64_t TLumraBlobStream::Seek(int64_t offset, host::TSeekOrigin origin) {
    int64_t base = 0;
    switch (origin) {
    case host::soFromBeginning:
        base = 0;
        break;
    case host::soFromCurrent:
        base = FStreamPosition;
        break;
    case host::soFromEnd:
        base = GetBlobSize();
        break;
    default:
        return FStreamPosition;
    }
    // Checked before adding: an offset this far out cannot land in range, and
    // the sum of two 64-bit values could itself overflow.
    if (offset > 2 * kMaxPosition + 1 || offset < 2 * kMinPosition)
        throw host::EStreamError("Seek position outside the 32-bit range of a blob stream");
    const int64_t target = base + offset;
    if (target > kMaxPosition || target < kMinPosition)
        throw host::EStreamError("Seek position outside the 32-bit range of a blob stream");
    FStreamPosition = static_cast<int32_t>(target);
    return FStreamPosition;
}

void TLumraBlobStream::Truncate() {
    Clear();
    FModified = true;
}

int32_t TLumraBlobStream::GetBlobSize() {
    return FModified ? FBufferedSize : 0;
}

int32_t TLumraBlobStream::GetFieldNo() const {
    TLumraFieldDef* def = ColumnOf(*this);
    return def != nullptr ? def->FieldNo() : -1;
}

int32_t TLumraBlobStream::GetFieldExtType() const {
    TLumraFieldDef* def = ColumnOf(*this);
    return def != nullptr ? def->ExtType() : -1;
}

// ---------------------------------------------------------------------------
// TLumraBlobManager

TLumraBlobManager::TLumraBlobManager(TLumraSQL* sql) : FSQL(sql) {}

TLumraBlobManager::~TLumraBlobManager() {
    Clear();
}

void TLumraBlobManager::AddBlob(TLumraBlobStream* stream) {
    if (stream == nullptr || stream->FBlobManager == this) return;
    // Two owners would delete it twice.
    if (stream->FBlobManager != nullptr) stream->FBlobManager->RemoveBlob(stream);
    FList.emplace_back(stream);
    stream->FBlobManager = this;
    ++FGeneration;
}

void TLumraBlobManager::RemoveBlob(TLumraBlobStream* stream) noexcept {
    auto it = std::find_if(FList.begin(), FList.end(), [stream](const auto& p) { return p.get() == stream; });
    if (it == FList.end()) return;
    (void)it->release();
    FList.erase(it);
    stream->FBlobManager = nullptr;
    ++FGeneration;
}

void TLumraBlobManager::Clear() {
    while (!FList.empty()) {
        // Unregistered before deletion, so the stream's destructor has
        // nothing left to remove.
        std::unique_ptr<TLumraBlobStream> last = std::move(FList.back());
        FList.pop_back();
        last->FBlobManager = nullptr;
        ++FGeneration;
    }
}

void TLumraBlobManager::ClearBlobs() noexcept {
    for (auto& stream : FList)
        stream->Clear();
}

TLumraBlobStream* TLumraBlobManager::GetBlob(uint16_t index) const {
    if (index >= FList.size())
        throw host::EListError("List index out of bounds (" + std::to_string(index) + ")");
    return BlobByName(FList[index]->FieldName());
}

TLumraBlobStream* TLumraBlobManager::BlobByName(const std::string& name) const {
    for (const auto& stream : FList)
        if (host::AnsiCompareText(stream->FieldName(), name) == 0) return stream.get();

    const std::string message = host::Format(host::LoadResString(LUMRA_ERR_BLOB_REQUIRED), {name});
    // Without a statement there is no session to record the error in.
    if (FSQL == nullptr) throw ELumraException(message, 0, 0);
    FSQL->RaiseLastError(message, 0);
}
