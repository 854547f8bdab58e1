// The host framework's byte streams: the abstract stream with its buffer and
// copy helpers, a growable stream in memory, a stream on a file and a stream
// over an owned string. Blob values travel through these.
#pragma once

#include "host/Classes.h"

#include <cstdint>
#include <string>
#include <vector>

namespace host {

enum TSeekOrigin : uint16_t { soFromBeginning = 0, soFromCurrent = 1, soFromEnd = 2 };

// File stream modes. The low bits choose the access, the share bits are
// accepted for compatibility and ignored; fmCreate creates or truncates.
constexpr uint16_t fmCreate = 0xFFFF;
constexpr uint16_t fmOpenRead = 0x0000;
constexpr uint16_t fmOpenWrite = 0x0001;
constexpr uint16_t fmOpenReadWrite = 0x0002;
constexpr uint16_t fmShareCompat = 0x0000;
constexpr uint16_t fmShareExclusive = 0x0010;
constexpr uint16_t fmShareDenyWrite = 0x0020;
constexpr uint16_t fmShareDenyRead = 0x0030;
constexpr uint16_t fmShareDenyNone = 0x0040;

class TStream : public TObject {
public:
    // Reads up to Count bytes into Buffer from the position; returns the
    // number read (0 at the end or for Count <= 0) and advances the position.
    virtual int32_t Read(void* buffer, int32_t count) = 0;
    // Writes Count bytes at the position; returns the number written.
    virtual int32_t Write(const void* buffer, int32_t count) = 0;
    // Moves the position; returns the new position.
    virtual int64_t Seek(int64_t offset, TSeekOrigin origin) = 0;

    // Position and size are derived from Seek, so a subclass only overrides Seek.
    int64_t Position() { return Seek(0, soFromCurrent); }
    void SetPosition(int64_t value) { Seek(value, soFromBeginning); }
    virtual int64_t Size();
    // The base ignores size changes; streams that can be resized override it.
    virtual void SetSize(int64_t newSize);

    // Read/Write that must move exactly Count bytes: EReadError
    // "Stream read error" / EWriteError "Stream write error" otherwise.
    void ReadBuffer(void* buffer, int32_t count);
    void WriteBuffer(const void* buffer, int32_t count);

    // Copies Count bytes from Source's position to this stream's position and
    // returns Count. Count 0 copies the whole of Source from position 0.
    // A short source raises EReadError; a negative Count raises EReadError too.
    int64_t CopyFrom(TStream& source, int64_t count);

    // Reads the whole stream from position 0 into Bytes (replacing what it
    // held), in reads of at most 2 GB, stopping early when a read gives
    // nothing; returns the bytes read.
    int64_t ReadWhole(std::string& bytes);
};

// A stream over a growable block of memory. Seeking past the end is allowed;
// a write there fills the gap with zero bytes. A negative position raises
// EStreamError "Invalid stream position".
class TMemoryStream : public TStream {
public:
    TMemoryStream() = default;

    int32_t Read(void* buffer, int32_t count) override;
    int32_t Write(const void* buffer, int32_t count) override;
    int64_t Seek(int64_t offset, TSeekOrigin origin) override;
    int64_t Size() override { return static_cast<int64_t>(FData.size()); }
    // Keeps the first NewSize bytes (zero-filling growth); a position past the
    // new end moves to the end.
    void SetSize(int64_t newSize) override;

    // The bytes; valid until the next size change.
    char* Memory() noexcept { return FData.data(); }
    const char* Memory() const noexcept { return FData.data(); }
    int64_t Capacity() const noexcept { return static_cast<int64_t>(FData.capacity()); }

    // Frees the memory; size and position 0.
    void Clear();
    // Replaces the contents with the whole of Stream (read from its position 0).
    void LoadFromStream(TStream& stream);
    // Writes the whole contents at Stream's position.
    void SaveToStream(TStream& stream);
    void LoadFromFile(const std::string& fileName);
    void SaveToFile(const std::string& fileName);

private:
    std::vector<char> FData; // grows geometrically
    int64_t FPosition = 0;
};

// A stream on an operating-system file. The handle is closed by the
// destructor; a constructor that raises leaves nothing open.
class TFileStream : public TStream {
public:
    // Raises EFCreateError "Cannot create file "<name>". <system message>" for
    // fmCreate, EFOpenError "Cannot open file "<name>". <system message>" otherwise.
    TFileStream(const std::string& fileName, uint16_t mode);
    ~TFileStream() override;

    int32_t Read(void* buffer, int32_t count) override; // 0 on a system error
    int32_t Write(const void* buffer, int32_t count) override;
    int64_t Seek(int64_t offset, TSeekOrigin origin) override; // -1 on a system error
    // Truncates or extends the file; EStreamError on failure.
    void SetSize(int64_t newSize) override;

    const std::string& FileName() const noexcept { return FFileName; }
    int Handle() const noexcept { return FHandle; }

private:
    std::string FFileName;
    int FHandle = -1;
};

// A stream over an owned string. Positions are clamped to 0..Size.
class TStringStream : public TStream {
public:
    explicit TStringStream(std::string data = {}) : FDataString(std::move(data)) {}

    int32_t Read(void* buffer, int32_t count) override;
    // Overwrites from the position and extends the string past its end.
    int32_t Write(const void* buffer, int32_t count) override;
    int64_t Seek(int64_t offset, TSeekOrigin origin) override;
    int64_t Size() override { return static_cast<int64_t>(FDataString.size()); }
    void SetSize(int64_t newSize) override;

    const std::string& DataString() const noexcept { return FDataString; }
    // Reads up to Count bytes as a string.
    std::string ReadString(int32_t count);
    void WriteString(const std::string& value);

private:
    std::string FDataString;
    int64_t FPosition = 0;
};

} // namespace host
