// The statement blob stream's own buffering: the state after each sequence of
// writes, seeks, truncations and clears, and seeking within 32-bit positions.
#include <gtest/gtest.h>

#include <limits>
#include <string>
#include <vector>

#include "host/Exceptions.h"
#include "tests/descriptions/test_blob_stream.h"

namespace {

enum class Op { Write, Seek, Truncate, Clear };

struct Step {
    Op op;
    std::string data = {}; // bytes to write
    int64_t offset = 0;    // seek target from the beginning
};

Step W(std::string data) {
    return {Op::Write, std::move(data)};
}
Step S(int64_t offset) {
    return {Op::Seek, {}, offset};
}
const Step T{Op::Truncate};
const Step C{Op::Clear};

struct StateCase {
    const char* name;
    std::vector<Step> steps;
    int32_t lastResult; // result of the last Write, or -1 when the last step is no Write
    int32_t blobSize;
    int32_t bufferedSize;
    int32_t position;
    bool modified;
    bool empty;
    std::string bytes; // buffer content; '\0' where nothing was written
};

void PrintTo(const StateCase& c, std::ostream* os) {
    *os << c.name;
}

using namespace std::string_literals;

const StateCase kStateCases[] = {
    {"Fresh", {}, -1, 0, 0, 0, false, false, ""},
    {"Cleared", {C}, -1, 0, 0, 0, false, true, ""},
    {"Truncated", {T}, -1, 0, 0, 0, true, true, ""},
    {"TruncatedThenWritten", {T, W("hello")}, 5, 5, 5, 5, true, false, "hello"},
    {"WrittenOnFresh", {W("hello")}, 5, 5, 5, 5, true, false, "hello"},
    {"TwoWritesAppend", {W("ab"), W("cde")}, 3, 5, 5, 5, true, false, "abcde"},
    {"WrittenThenCleared", {W("hello"), C}, -1, 0, 0, 0, false, true, ""},
    {"WrittenThenTruncated", {W("hello"), T}, -1, 0, 0, 0, true, true, ""},
    {"EmptyWriteOnFreshStoresNothing", {W("")}, 0, 0, 0, 0, false, true, ""},
    {"EmptyWriteAfterDataKeepsIt", {W("ab"), W("")}, 0, 2, 2, 2, true, false, "ab"},
    // After a backward seek the blob still grows by the count; the uncovered
    // tail reads as zeros.
    {"WriteAfterBackwardSeekStillGrows", {W("hello"), S(0), W("XY")}, 2, 7, 7, 2, true, false, "XYllo\0\0"s},
    // Past the end the buffer grows to hold the write; nothing lands outside it.
    {"WriteBeyondTheEndGrowsToCoverIt",
     {W("ab"), S(10), W("xyz")},
     3,
     13,
     13,
     13,
     true,
     false,
     "ab\0\0\0\0\0\0\0\0xyz"s},
    {"WriteFarBeyondAFreshStream",
     {S(4096), W("z")},
     1,
     4097,
     4097,
     4097,
     true,
     false,
     std::string(4096, '\0') + "z"},
    // A negative position is refused rather than written in front of the buffer.
    {"WriteAtANegativePositionIsRefused", {W("ab"), S(-3), W("xyz")}, 0, 2, 2, -3, true, false, "ab"},
};

class BlobStreamState : public ::testing::TestWithParam<StateCase> {};

TEST_P(BlobStreamState, EndsInTheExpectedState) {
    const StateCase& c = GetParam();
    TTestBlobStream stream(nullptr, "DATA");
    int32_t last = -1;
    for (const Step& step : c.steps) {
        switch (step.op) {
        case Op::Write:
            last = stream.Write(step.data.data(), static_cast<int32_t>(step.data.size()));
            break;
        case Op::Seek:
            stream.Seek(step.offset, host::soFromBeginning);
            last = -1;
            break;
        case Op::Truncate:
            stream.Truncate();
            last = -1;
            break;
        case Op::Clear:
            stream.Clear();
            last = -1;
            break;
        }
    }
    EXPECT_EQ(last, c.lastResult);
    EXPECT_EQ(stream.GetBlobSize(), c.blobSize);
    EXPECT_EQ(stream.BufferedSize(), c.bufferedSize);
    EXPECT_EQ(stream.StreamPosition(), c.position);
    EXPECT_EQ(stream.Modified(), c.modified);
    EXPECT_EQ(stream.Empty(), c.empty);
    EXPECT_EQ(stream.Bytes(), c.bytes);
    EXPECT_EQ(stream.Buffer() == nullptr, c.bufferedSize == 0);
}

INSTANTIATE_TEST_SUITE_P(Sequences, BlobStreamState, ::testing::ValuesIn(kStateCases),
                         [](const auto& info) { return std::string(info.param.name); });

} // namespace

TEST(BlobStream, SeekFromTheEndOfAFreshOrClearedStreamIsZero) {
    TTestBlobStream stream(nullptr, "DATA");
    EXPECT_EQ(stream.Seek(0, host::soFromEnd), 0);
    stream.Write("abc", 3);
    stream.Clear();
    EXPECT_EQ(stream.Seek(0, host::soFromEnd), 0);
}

TEST(BlobStream, SeekMovesFromEachOriginWithoutClamping) {
    TTestBlobStream stream(nullptr, "DATA");
    stream.Write("hello", 5);
    EXPECT_EQ(stream.Seek(-2, host::soFromEnd), 3);
    EXPECT_EQ(stream.Seek(1, host::soFromCurrent), 4);
    EXPECT_EQ(stream.Seek(-10, host::soFromCurrent), -6);
    EXPECT_EQ(stream.Seek(100, host::soFromBeginning), 100);
    EXPECT_EQ(stream.Position(), 100);
    // An origin the stream does not know leaves the position.
    EXPECT_EQ(stream.Seek(7, static_cast<host::TSeekOrigin>(9)), 100);
}

TEST(BlobStream, SeekFromTheEndCountsTheDriversStoredSize) {
    TTestBlobStream stream(nullptr, "DATA");
    stream.StoredSize = 1000;
    EXPECT_EQ(stream.Seek(-1, host::soFromEnd), 999);
    EXPECT_EQ(stream.Size(), 1000);
}

TEST(BlobStream, SeekOutsideThe32BitRangeRaisesAndKeepsThePosition) {
    constexpr int64_t kMax = std::numeric_limits<int32_t>::max();
    constexpr int64_t kMin = std::numeric_limits<int32_t>::min();
    TTestBlobStream stream(nullptr, "DATA");
    stream.Seek(10, host::soFromBeginning);

    EXPECT_THROW(stream.Seek(kMax + 1, host::soFromBeginning), host::EStreamError);
    EXPECT_THROW(stream.Seek(kMin - 1, host::soFromBeginning), host::EStreamError);
    EXPECT_THROW(stream.Seek(kMax - 9, host::soFromCurrent), host::EStreamError);
    EXPECT_THROW(stream.Seek(std::numeric_limits<int64_t>::max(), host::soFromCurrent), host::EStreamError);
    EXPECT_THROW(stream.Seek(std::numeric_limits<int64_t>::min(), host::soFromEnd), host::EStreamError);
    EXPECT_EQ(stream.StreamPosition(), 10);

    EXPECT_EQ(stream.Seek(kMax - 10, host::soFromCurrent), kMax);
    EXPECT_EQ(stream.Seek(kMin, host::soFromBeginning), kMin);
}

TEST(BlobStream, WriteThatWouldPassThe32BitRangeStoresNothing) {
    TTestBlobStream stream(nullptr, "DATA");
    stream.Write("ab", 2);
    stream.Seek(std::numeric_limits<int32_t>::max() - 1, host::soFromBeginning);
    EXPECT_EQ(stream.Write("xyz", 3), 0);
    EXPECT_EQ(stream.BufferedSize(), 2);
    EXPECT_EQ(stream.Bytes(), "ab");
}

TEST(BlobStream, NegativeCountStoresNothing) {
    TTestBlobStream stream(nullptr, "DATA");
    stream.Write("ab", 2);
    EXPECT_EQ(stream.Write("xyz", -1), 0);
    EXPECT_EQ(stream.BufferedSize(), 2);
    EXPECT_EQ(stream.StreamPosition(), 2);
}

TEST(BlobStream, WrittenBytesReadBackThroughTheHostStreamHelpers) {
    TTestBlobStream stream(nullptr, "DATA");
    stream.WriteBuffer("hello world", 11);
    stream.SetPosition(6);
    char out[5] = {};
    stream.ReadBuffer(out, 5);
    EXPECT_EQ(std::string(out, 5), "world");
}

TEST(BlobStream, UnregisteredStreamHasNoColumn) {
    TTestBlobStream stream(nullptr, "DATA");
    EXPECT_EQ(stream.BlobManager(), nullptr);
    EXPECT_EQ(stream.GetFieldNo(), -1);
    EXPECT_EQ(stream.GetFieldExtType(), -1);
}
