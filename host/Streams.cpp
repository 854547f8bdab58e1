// The stream classes. Positions and sizes are 64-bit; every copy is checked
// against the buffer it touches.
#include "host/Streams.h"

#include "host/Exceptions.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <system_error>
#include <unistd.h>

namespace host {

namespace {

std::string SystemMessage(int error) {
    return std::system_category().message(error);
}

int64_t ResolveSeek(int64_t offset, TSeekOrigin origin, int64_t position, int64_t size) {
    switch (origin) {
    case soFromBeginning:
        return offset;
    case soFromCurrent:
        return position + offset;
    case soFromEnd:
        return size + offset;
    }
    throw EStreamError("Invalid stream position");
}

} // namespace

// ---------------------------------------------------------------- TStream

int64_t TStream::Size() {
    const int64_t position = Seek(0, soFromCurrent);
    const int64_t result = Seek(0, soFromEnd);
    Seek(position, soFromBeginning);
    return result;
}

void TStream::SetSize(int64_t) {}

void TStream::ReadBuffer(void* buffer, int32_t count) {
    if (count != 0 && Read(buffer, count) != count) throw EReadError("Stream read error");
}

void TStream::WriteBuffer(const void* buffer, int32_t count) {
    if (count != 0 && Write(buffer, count) != count) throw EWriteError("Stream write error");
}

int64_t TStream::ReadWhole(std::string& bytes) {
    const int64_t size = Size();
    bytes.assign(static_cast<size_t>(std::max<int64_t>(size, 0)), '\0');
    SetPosition(0);
    int64_t got = 0;
    while (got < size) {
        const int32_t n =
            Read(bytes.data() + got, static_cast<int32_t>(std::min<int64_t>(size - got, INT32_MAX)));
        if (n <= 0) break;
        got += n;
    }
    bytes.resize(static_cast<size_t>(got));
    return got;
}

int64_t TStream::CopyFrom(TStream& source, int64_t count) {
    if (count < 0) throw EReadError("Stream read error");
    if (count == 0) {
        source.SetPosition(0);
        count = source.Size();
    }
    constexpr int64_t MaxBufSize = 0xF000;
    std::vector<char> buffer(static_cast<size_t>(std::min(count, MaxBufSize)));
    for (int64_t left = count; left > 0;) {
        const int32_t n = static_cast<int32_t>(std::min(left, MaxBufSize));
        source.ReadBuffer(buffer.data(), n);
        WriteBuffer(buffer.data(), n);
        left -= n;
    }
    return count;
}

// ---------------------------------------------------------------- TMemoryStream

int32_t TMemoryStream::Read(void* buffer, int32_t count) {
    const int64_t available = Size() - FPosition;
    if (count <= 0 || available <= 0) return 0;
    const int32_t n = static_cast<int32_t>(std::min<int64_t>(count, available));
    std::memcpy(buffer, FData.data() + FPosition, static_cast<size_t>(n));
    FPosition += n;
    return n;
}

int32_t TMemoryStream::Write(const void* buffer, int32_t count) {
    if (count <= 0) return 0;
    const int64_t end = FPosition + count;
    if (end > Size()) SetSize(end);
    std::memcpy(FData.data() + FPosition, buffer, static_cast<size_t>(count));
    FPosition = end;
    return count;
}

int64_t TMemoryStream::Seek(int64_t offset, TSeekOrigin origin) {
    const int64_t target = ResolveSeek(offset, origin, FPosition, Size());
    if (target < 0) throw EStreamError("Invalid stream position");
    FPosition = target;
    return FPosition;
}

void TMemoryStream::SetSize(int64_t newSize) {
    if (newSize < 0) throw EStreamError("Invalid stream size");
    const size_t wanted = static_cast<size_t>(newSize);
    // Doubling keeps a run of small writes linear overall.
    if (wanted > FData.capacity()) FData.reserve(std::max(wanted, FData.capacity() * 2));
    FData.resize(wanted, '\0');
    if (FPosition > newSize) FPosition = newSize;
}

void TMemoryStream::Clear() {
    std::vector<char>().swap(FData);
    FPosition = 0;
}

void TMemoryStream::LoadFromStream(TStream& stream) {
    stream.SetPosition(0);
    const int64_t count = stream.Size();
    std::vector<char> data(static_cast<size_t>(count));
    // Read in int32-sized pieces; a failing source leaves this stream unchanged.
    for (int64_t done = 0; done < count;) {
        const int32_t n = static_cast<int32_t>(std::min<int64_t>(count - done, INT32_MAX));
        stream.ReadBuffer(data.data() + done, n);
        done += n;
    }
    FData.swap(data);
    if (FPosition > count) FPosition = count;
}

void TMemoryStream::SaveToStream(TStream& stream) {
    const int64_t count = Size();
    for (int64_t done = 0; done < count;) {
        const int32_t n = static_cast<int32_t>(std::min<int64_t>(count - done, INT32_MAX));
        stream.WriteBuffer(FData.data() + done, n);
        done += n;
    }
}

void TMemoryStream::LoadFromFile(const std::string& fileName) {
    TFileStream file(fileName, fmOpenRead | fmShareDenyWrite);
    LoadFromStream(file);
}

void TMemoryStream::SaveToFile(const std::string& fileName) {
    TFileStream file(fileName, fmCreate);
    SaveToStream(file);
}

// ---------------------------------------------------------------- TFileStream

TFileStream::TFileStream(const std::string& fileName, uint16_t mode) : FFileName(fileName) {
    if ((mode & 0xFF00) == 0xFF00) {
        FHandle = ::open(fileName.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
        if (FHandle < 0)
            throw EFCreateError("Cannot create file \"" + fileName + "\". " + SystemMessage(errno));
        return;
    }
    int flags = O_CLOEXEC;
    switch (mode & 0x000F) {
    case fmOpenRead:
        flags |= O_RDONLY;
        break;
    case fmOpenWrite:
        flags |= O_WRONLY;
        break;
    case fmOpenReadWrite:
        flags |= O_RDWR;
        break;
    default:
        throw EFOpenError("Cannot open file \"" + fileName + "\". " + SystemMessage(EINVAL));
    }
    FHandle = ::open(fileName.c_str(), flags);
    if (FHandle < 0) throw EFOpenError("Cannot open file \"" + fileName + "\". " + SystemMessage(errno));
}

TFileStream::~TFileStream() {
    if (FHandle >= 0) ::close(FHandle);
}

int32_t TFileStream::Read(void* buffer, int32_t count) {
    if (count <= 0) return 0;
    int32_t done = 0;
    while (done < count) {
        const ssize_t n =
            ::read(FHandle, static_cast<char*>(buffer) + done, static_cast<size_t>(count - done));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        done += static_cast<int32_t>(n);
    }
    return done;
}

int32_t TFileStream::Write(const void* buffer, int32_t count) {
    if (count <= 0) return 0;
    int32_t done = 0;
    while (done < count) {
        const ssize_t n =
            ::write(FHandle, static_cast<const char*>(buffer) + done, static_cast<size_t>(count - done));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        done += static_cast<int32_t>(n);
    }
    return done;
}

int64_t TFileStream::Seek(int64_t offset, TSeekOrigin origin) {
    int whence = SEEK_SET;
    if (origin == soFromCurrent)
        whence = SEEK_CUR;
    else if (origin == soFromEnd)
        whence = SEEK_END;
    return static_cast<int64_t>(::lseek(FHandle, static_cast<off_t>(offset), whence));
}

void TFileStream::SetSize(int64_t newSize) {
    if (newSize < 0 || ::ftruncate(FHandle, static_cast<off_t>(newSize)) != 0)
        throw EStreamError("Cannot set the size of file \"" + FFileName + "\". " +
                           SystemMessage(newSize < 0 ? EINVAL : errno));
    if (Position() > newSize) SetPosition(newSize);
}

// ---------------------------------------------------------------- TStringStream

int32_t TStringStream::Read(void* buffer, int32_t count) {
    const int64_t available = Size() - FPosition;
    if (count <= 0 || available <= 0) return 0;
    const int32_t n = static_cast<int32_t>(std::min<int64_t>(count, available));
    std::memcpy(buffer, FDataString.data() + FPosition, static_cast<size_t>(n));
    FPosition += n;
    return n;
}

int32_t TStringStream::Write(const void* buffer, int32_t count) {
    if (count <= 0) return 0;
    const size_t end = static_cast<size_t>(FPosition) + static_cast<size_t>(count);
    if (end > FDataString.size()) FDataString.resize(end);
    std::memcpy(FDataString.data() + FPosition, buffer, static_cast<size_t>(count));
    FPosition = static_cast<int64_t>(end);
    return count;
}

int64_t TStringStream::Seek(int64_t offset, TSeekOrigin origin) {
    FPosition = std::clamp<int64_t>(ResolveSeek(offset, origin, FPosition, Size()), 0, Size());
    return FPosition;
}

void TStringStream::SetSize(int64_t newSize) {
    if (newSize < 0) throw EStreamError("Invalid stream size");
    FDataString.resize(static_cast<size_t>(newSize));
    if (FPosition > newSize) FPosition = newSize;
}

std::string TStringStream::ReadString(int32_t count) {
    const int64_t available = std::max<int64_t>(0, Size() - FPosition);
    const int64_t n = std::clamp<int64_t>(count, 0, available);
    std::string result = FDataString.substr(static_cast<size_t>(FPosition), static_cast<size_t>(n));
    FPosition += n;
    return result;
}

void TStringStream::WriteString(const std::string& value) {
    WriteBuffer(value.data(), static_cast<int32_t>(value.size()));
}

} // namespace host
