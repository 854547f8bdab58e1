// Blob streams of the SQLite cursor: reads serve the stored value of the
// current row until the application writes its own bytes.
#include "drivers/sqlite/SqliteBlob.h"

#include <algorithm>
#include <cstring>
#include <limits>

#include "drivers/sqlite/SqliteStatement.h"

TSqliteBlobStream::TSqliteBlobStream(TLumraBlobManager* manager, std::string fieldName)
    : TLumraBlobStream(manager, std::move(fieldName)) {}

TSqliteSQL* TSqliteBlobStream::Statement() const {
    return BlobManager() != nullptr ? dynamic_cast<TSqliteSQL*>(BlobManager()->SQL()) : nullptr;
}

int32_t TSqliteBlobStream::Read(void* buffer, int32_t count) {
    const int64_t position = StreamPosition();
    if (count <= 0 || position < 0) return 0;
    const char* data = nullptr;
    int64_t size = 0;
    std::string stored;
    if (Modified()) {
        data = Buffer();
        size = BufferedSize();
    } else if (TSqliteSQL* sql = Statement();
               sql == nullptr || !sql->GetStoredBytes(FieldName(), data, size, stored)) {
        return 0;
    }
    if (position >= size) return 0;
    const int32_t n = static_cast<int32_t>(std::min<int64_t>(count, size - position));
    std::memcpy(buffer, data + position, static_cast<size_t>(n));
    Seek(n, host::soFromCurrent);
    return n;
}

int32_t TSqliteBlobStream::GetBlobSize() {
    if (Modified()) return BufferedSize();
    TSqliteSQL* sql = Statement();
    const int64_t size = sql != nullptr ? sql->GetStoredSize(FieldName()) : -1;
    if (size < 0) return 0;
    // Positions are 32-bit in the stream model; the engine's limit is lower.
    return static_cast<int32_t>(std::min<int64_t>(size, std::numeric_limits<int32_t>::max()));
}
