// A minimal driver-side blob stream for the tests: Read delivers the written
// bytes from the stream's position, and the stored size can be set to stand
// in for a value the engine already holds.
#pragma once

#include <algorithm>
#include <cstring>
#include <optional>
#include <string>

#include "LmrBase/LmrBlobs.h"

class TTestBlobStream : public TLumraBlobStream {
public:
    using TLumraBlobStream::TLumraBlobStream;

    int32_t Read(void* buffer, int32_t count) override {
        const int32_t pos = StreamPosition();
        if (count <= 0 || pos < 0 || pos >= BufferedSize()) return 0;
        const int32_t n = std::min(count, BufferedSize() - pos);
        std::memcpy(buffer, Buffer() + pos, static_cast<size_t>(n));
        Seek(n, host::soFromCurrent);
        return n;
    }

    int32_t GetBlobSize() override { return StoredSize ? *StoredSize : TLumraBlobStream::GetBlobSize(); }

    // The written bytes as text, for comparisons.
    std::string Bytes() const {
        return Buffer() ? std::string(Buffer(), static_cast<size_t>(BufferedSize())) : "";
    }

    std::optional<int32_t> StoredSize;
};
