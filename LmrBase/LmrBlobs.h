// Statement blob streams: one buffering stream per blob column of the
// current row, and the manager through which a statement owns them and finds
// them by column name.
//
// A stream collects the bytes written to it since its last Clear; the driver
// hands it to its value-reading and value-writing operations and reads or
// fills the engine's value through it. Reading the stored value is the
// driver's: the base class leaves the host stream's Read abstract.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "host/Streams.h"

class TLumraSQL;
class TLumraBlobManager;

// The stream that serves one blob column of the current row.
//
// Positions and sizes are 32-bit, as the row model has them; a Seek whose
// target does not fit 32 bits raises host::EStreamError instead of wrapping.
class TLumraBlobStream : public host::TStream {
public:
    // Registers the new stream with `manager` when one is given: the manager
    // then owns it, so such a stream must be created with `new`.
    TLumraBlobStream(TLumraBlobManager* manager, std::string fieldName);
    // Frees the buffer and unregisters from the manager, if registered.
    ~TLumraBlobStream() override;

    TLumraBlobStream(const TLumraBlobStream&) = delete;
    TLumraBlobStream& operator=(const TLumraBlobStream&) = delete;

    // Appends `count` bytes at the current position and advances it.
    // BufferedSize grows by `count` whatever the position, so a write after a
    // backward Seek still lengthens the blob; bytes at the end that the write
    // did not cover read as zeros. A write at a position beyond the buffered
    // size grows the buffer far enough to hold it (the gap reads as zeros).
    // Returns `count`, or 0 when nothing was stored: `count` <= 0 with an
    // empty buffer, a negative `count`, a negative position, or a size
    // beyond the 32-bit range. Sets Modified when bytes were stored; Empty
    // reflects whether the buffer holds anything afterwards.
    int32_t Write(const void* buffer, int32_t count) override;

    // Moves the position: soFromBeginning to `offset`, soFromCurrent by
    // `offset`, soFromEnd to `offset` + GetBlobSize() (virtual, so a driver's
    // stored size counts). Positions are not clamped to the blob, but one
    // outside the 32-bit range raises host::EStreamError and leaves the
    // position unchanged. Returns the new position.
    int64_t Seek(int64_t offset, host::TSeekOrigin origin) override;

    // Empties the blob and marks it changed: Modified and Empty become true.
    void Truncate();
    // Forgets everything written: no buffer, size and position 0, not
    // Modified, Empty. Called for every row, so a stream that holds nothing
    // keeps its (empty) buffer as it is.
    void Clear() noexcept {
        if (FBuffer.capacity() != 0) std::vector<char>().swap(FBuffer);
        FBufferedSize = 0;
        FStreamPosition = 0;
        FModified = false;
        FEmpty = true;
    }

    // The blob's size: BufferedSize when Modified, otherwise 0. A driver
    // overrides it to report the stored value's size before anything was
    // written.
    virtual int32_t GetBlobSize();

    // The column's number in the manager's statement, found by FieldName;
    // -1 when unregistered or when the statement has no such column.
    int32_t GetFieldNo() const;
    // The column's ExtType, with the same -1 cases as GetFieldNo.
    int32_t GetFieldExtType() const;

    // The manager this stream is registered with, or null. Not owned.
    TLumraBlobManager* BlobManager() const noexcept { return FBlobManager; }
    // The column the stream serves; the key of BlobByName.
    const std::string& FieldName() const noexcept { return FFieldName; }
    // Bytes in Buffer().
    int32_t BufferedSize() const noexcept { return FBufferedSize; }
    // The bytes written since the last Clear, or null when there are none.
    const char* Buffer() const noexcept { return FBuffer.empty() ? nullptr : FBuffer.data(); }
    int32_t StreamPosition() const noexcept { return FStreamPosition; }
    // Bytes were written or the blob truncated since the last Clear.
    bool Modified() const noexcept { return FModified; }
    // The blob holds no written data.
    bool Empty() const noexcept { return FEmpty; }

private:
    friend class TLumraBlobManager;

    TLumraBlobManager* FBlobManager = nullptr;
    std::string FFieldName;
    int32_t FBufferedSize = 0;
    std::vector<char> FBuffer;
    int32_t FStreamPosition = 0;
    bool FModified = false;
    bool FEmpty = false;
};

// Owns the blob streams of a statement's current row and finds them by the
// name of their column.
class TLumraBlobManager {
public:
    // `sql` is the statement that owns the manager (a back reference).
    explicit TLumraBlobManager(TLumraSQL* sql);
    // Deletes every registered stream.
    virtual ~TLumraBlobManager();

    TLumraBlobManager(const TLumraBlobManager&) = delete;
    TLumraBlobManager& operator=(const TLumraBlobManager&) = delete;

    TLumraSQL* SQL() const noexcept { return FSQL; }

    // Appends `stream` and takes ownership of it (it must come from `new`).
    // A stream registered elsewhere is first taken from its old manager; one
    // already registered here stays where it is. Null is ignored.
    void AddBlob(TLumraBlobStream* stream);
    // Takes `stream` out of the list without deleting it; the caller owns it
    // afterwards. A stream that is not registered here is left untouched.
    void RemoveBlob(TLumraBlobStream* stream) noexcept;
    int32_t Count() const noexcept { return static_cast<int32_t>(FList.size()); }
    // Deletes the streams, always the last one first.
    void Clear();
    // Clears every stream's data; the streams stay registered.
    void ClearBlobs() noexcept;
    // The stream BlobByName finds for the name of the entry at `index`, so of
    // several entries with the same name every position yields the first.
    // Raises host::EListError when `index` >= Count().
    TLumraBlobStream* GetBlob(uint16_t index) const;
    // The first stream whose FieldName equals `name` ignoring case. When none
    // does, raises ELumraException "Field "<name>" is not a blob" with code 0
    // through the statement's RaiseLastError, so the session records it.
    TLumraBlobStream* BlobByName(const std::string& name) const;

    // Changes whenever a stream is added, removed or deleted, so a caller
    // may keep what BlobByName found for as long as it stays the same.
    uint64_t Generation() const noexcept { return FGeneration; }

private:
    TLumraSQL* FSQL;
    std::vector<std::unique_ptr<TLumraBlobStream>> FList;
    uint64_t FGeneration = 1;
};
