// TSqliteBlobStream: the blob stream of one memo or blob column of the
// SQLite driver's cursor. Until something is written it serves the value
// stored in the row at the cursor, whole; once written (or truncated) it
// serves what was written, which is what UpdateRow and InsertRow store.
#pragma once

#include <cstdint>
#include <string>

#include "LmrBase/LmrBlobs.h"

class TSqliteSQL;

class TSqliteBlobStream : public TLumraBlobStream {
public:
    TSqliteBlobStream(TLumraBlobManager* manager, std::string fieldName);
    // Up to count bytes from the current position of the value served.
    int32_t Read(void* buffer, int32_t count) override;
    // The size of the value served: what was written when Modified, else the
    // stored value's size (0 for a null or no current row).
    int32_t GetBlobSize() override;

private:
    TSqliteSQL* Statement() const;
};
