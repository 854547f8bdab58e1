// The SQLite cursor: opening and binding, counting on demand, the store of rows already
// read, moving both ways, and turning a stored row into the row format of the
// statement's buffers without changing any value.
#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string_view>
#include <utility>

#ifdef __linux__
#include <sys/mman.h>
#endif

#include "LmrBase/LmrBlobs.h"
#include "drivers/sqlite/SqliteBlob.h"
#include "drivers/sqlite/SqliteCursor.h"
#include "drivers/sqlite/SqliteErrors.h"
#include "drivers/sqlite/SqliteSession.h"
#include "host/DateTime.h"
#include "host/Exceptions.h"
#include "host/SysUtils.h"
#include "host/Variant.h"

// ---- Row store -------------------------------------------------------------------

namespace {

constexpr size_t FirstBlockSize = size_t{64} << 10;
constexpr size_t LargestBlockSize = size_t{4} << 20;
constexpr size_t HugePageSize = size_t{2} << 20;

size_t VarintSize(uint64_t v) noexcept {
    size_t n = 1;
    while (v >= 0x80) {
        v >>= 7;
        ++n;
    }
    return n;
}

uint8_t* PutVarint(uint8_t* out, uint64_t v) noexcept {
    while (v >= 0x80) {
        *out++ = static_cast<uint8_t>(v | 0x80);
        v >>= 7;
    }
    *out++ = static_cast<uint8_t>(v);
    return out;
}

const uint8_t* GetVarint(const uint8_t* p, uint64_t& v) noexcept {
    v = 0;
    for (int shift = 0;; shift += 7) {
        const uint8_t b = *p++;
        v |= static_cast<uint64_t>(b & 0x7F) << shift;
        if ((b & 0x80) == 0) return p;
    }
}

uint64_t ZigZag(int64_t i) noexcept {
    return (static_cast<uint64_t>(i) << 1) ^ static_cast<uint64_t>(i >> 63);
}

} // namespace

TSqliteRowBlock::TSqliteRowBlock(size_t size) : FSize(size) {
#ifdef __linux__
    if (size >= HugePageSize) {
        // Mapped with room to start on a huge-page boundary; the rest is given back.
        const size_t mapped = (size + HugePageSize - 1) / HugePageSize * HugePageSize;
        void* raw =
            mmap(nullptr, mapped + HugePageSize, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (raw != MAP_FAILED) {
            const auto base = reinterpret_cast<uintptr_t>(raw);
            const uintptr_t start = (base + HugePageSize - 1) & ~(uintptr_t{HugePageSize} - 1);
            const uintptr_t end = start + mapped;
            if (start > base) munmap(raw, start - base);
            if (base + mapped + HugePageSize > end)
                munmap(reinterpret_cast<void*>(end), base + mapped + HugePageSize - end);
            FData = reinterpret_cast<uint8_t*>(start);
            FMapped = mapped;
            return;
        }
    }
#endif
    FData = new uint8_t[size];
}

TSqliteRowBlock::~TSqliteRowBlock() {
    Release();
}

TSqliteRowBlock::TSqliteRowBlock(TSqliteRowBlock&& other) noexcept
    : FData(std::exchange(other.FData, nullptr)), FSize(std::exchange(other.FSize, 0)),
      FMapped(std::exchange(other.FMapped, 0)) {}

TSqliteRowBlock& TSqliteRowBlock::operator=(TSqliteRowBlock&& other) noexcept {
    if (this != &other) {
        Release();
        FData = std::exchange(other.FData, nullptr);
        FSize = std::exchange(other.FSize, 0);
        FMapped = std::exchange(other.FMapped, 0);
    }
    return *this;
}

void TSqliteRowBlock::Release() noexcept {
#ifdef __linux__
    if (FMapped != 0) {
        munmap(FData, FMapped);
        FData = nullptr;
        FMapped = 0;
        return;
    }
#endif
    delete[] FData;
    FData = nullptr;
}

void TSqliteRowStore::Clear() noexcept {
    FLastRow = nullptr;
    FBlocks.clear();
    FBlockSize = 0;
    FBlockUsed = 0;
    FRows.clear();
    FRows.shrink_to_fit();
}

void TSqliteRowStore::Reuse() noexcept {
    // Keeps the newest block (the one a forward reader fills) and the pointer
    // list's capacity, so reading row after row allocates nothing.
    FLastRow = nullptr;
    if (FBlocks.size() > 1) {
        TSqliteRowBlock last = std::move(FBlocks.back());
        FBlocks.clear();
        FBlocks.push_back(std::move(last));
    }
    FBlockUsed = 0;
    FRows.clear();
}

size_t TSqliteRowStore::EncodedSize(const TSqliteValue& v) noexcept {
    switch (v.Tag) {
    case svInteger:
        return 1 + VarintSize(ZigZag(v.Int));
    case svFloat:
        return 9;
    case svText:
    case svBlob:
        return 1 + VarintSize(v.Bytes) + v.Bytes;
    default:
        return 1;
    }
}

namespace {

// Copies n bytes of a value into the store. Most stored text is short: 4 to
// 64 bytes go as two overlapping moves each way, without a call.
template <size_t Half>
[[gnu::always_inline]] inline void CopyOverlapping(void* out, const void* data, size_t n) noexcept {
    unsigned char head[Half], tail[Half];
    std::memcpy(head, data, Half);
    std::memcpy(tail, static_cast<const char*>(data) + n - Half, Half);
    std::memcpy(out, head, Half);
    std::memcpy(static_cast<char*>(out) + n - Half, tail, Half);
}

[[gnu::always_inline]] inline void CopyBytes(void* out, const void* data, uint64_t n) noexcept {
    if (n >= 8 && n <= 16)
        CopyOverlapping<8>(out, data, n);
    else if (n > 16 && n <= 32)
        CopyOverlapping<16>(out, data, n);
    else if (n > 32 && n <= 64)
        CopyOverlapping<32>(out, data, n);
    else if (n >= 4 && n < 8)
        CopyOverlapping<4>(out, data, n);
    else if (n > 0)
        std::memcpy(out, data, n);
}

// The row format of one value; inlined into the loop that stores every row
// the engine delivers.
[[gnu::always_inline]] inline uint8_t* EncodeValue(uint8_t* out, const TSqliteValue& v) noexcept {
    *out++ = v.Tag;
    switch (v.Tag) {
    case svInteger:
        return PutVarint(out, ZigZag(v.Int));
    case svFloat:
        std::memcpy(out, &v.Float, 8);
        return out + 8;
    case svText:
    case svBlob:
        out = PutVarint(out, v.Bytes);
        CopyBytes(out, v.Data, v.Bytes);
        return out + v.Bytes;
    default:
        return out;
    }
}

} // namespace

uint8_t* TSqliteRowStore::EncodeTo(uint8_t* out, const TSqliteValue& v) noexcept {
    return EncodeValue(out, v);
}

void TSqliteRowStore::Encode(std::vector<uint8_t>& out, const TSqliteValue& v) {
    const size_t at = out.size();
    out.resize(at + EncodedSize(v));
    EncodeTo(out.data() + at, v);
}

const uint8_t* TSqliteRowStore::Decode(const uint8_t* p, TSqliteValue& v) noexcept {
    v = TSqliteValue{};
    v.Tag = *p++;
    switch (v.Tag) {
    case svInteger: {
        uint64_t z = 0;
        p = GetVarint(p, z);
        v.Int = static_cast<int64_t>(z >> 1) ^ -static_cast<int64_t>(z & 1);
        break;
    }
    case svFloat:
        std::memcpy(&v.Float, p, 8);
        p += 8;
        break;
    case svText:
    case svBlob:
        p = GetVarint(p, v.Bytes);
        v.Data = reinterpret_cast<const char*>(p);
        p += v.Bytes;
        break;
    default:
        break;
    }
    return p;
}

uint8_t* TSqliteRowStore::Reserve(size_t bytes) {
    if (FBlocks.empty() || FBlockSize - FBlockUsed < bytes) {
        // Each block twice the last up to the largest; a row larger than
        // that gets a block of its own size.
        const size_t next =
            FBlocks.empty() ? FirstBlockSize : std::min(FBlocks.back().Size() * 2, LargestBlockSize);
        FBlocks.emplace_back(std::max(next, bytes));
        FBlockSize = FBlocks.back().Size();
        FBlockUsed = 0;
    }
    uint8_t* at = FBlocks.back().Data() + FBlockUsed;
    FBlockUsed += bytes;
    return at;
}

void TSqliteRowStore::AppendFromEngine(const TSqliteApi& api, sqlite3_stmt* stmt, int columns) {
    // The engine's values stay valid until the next step, so the row is sized
    // (at most) first and then encoded straight into its place in the block.
    FLastRow = nullptr;
    FValues.resize(static_cast<size_t>(columns));
    size_t bytes = 0;
    for (int i = 0; i < columns; ++i) {
        TSqliteValue& v = FValues[static_cast<size_t>(i)];
        v.Tag = svNull;
        // One engine call per column: the value is then read without further lookups.
        sqlite3_value* value = api.column_value(stmt, i);
        switch (api.value_type(value)) {
        case SQLITE_INTEGER:
            v.Tag = svInteger;
            v.Int = api.value_int64(value);
            break;
        case SQLITE_FLOAT:
            v.Tag = svFloat;
            v.Float = api.value_double(value);
            break;
        case SQLITE_TEXT:
            v.Tag = svText;
            v.Data = reinterpret_cast<const char*>(api.value_text(value));
            v.Bytes = static_cast<uint64_t>(api.value_bytes(value));
            break;
        case SQLITE_BLOB:
            v.Tag = svBlob;
            v.Data = static_cast<const char*>(api.value_blob(value));
            v.Bytes = static_cast<uint64_t>(api.value_bytes(value));
            break;
        default: // null: nothing left over from the row before
            v.Data = nullptr;
            v.Bytes = 0;
            break;
        }
        // A tag, and a varint of at most ten bytes before any text or bytes.
        bytes += v.Tag == svText || v.Tag == svBlob ? 11 + v.Bytes : 11;
    }
    uint8_t* const row = Reserve(bytes);
    uint8_t* out = row;
    for (int i = 0; i < columns; ++i) {
        TSqliteValue& v = FValues[static_cast<size_t>(i)];
        out = EncodeValue(out, v);
        // From here on the value reads the store's copy, as a decoded one would.
        if (v.Tag == svText || v.Tag == svBlob) v.Data = reinterpret_cast<const char*>(out - v.Bytes);
    }
    // What the estimate left over goes back to the block.
    FBlockUsed -= bytes - static_cast<size_t>(out - row);
    FRows.push_back(row);
    FLastRow = row;
}

void TSqliteRowStore::Replace(size_t index, const std::vector<uint8_t>& encoded) {
    if (FRows[index] == FLastRow) FLastRow = nullptr;
    uint8_t* at = Reserve(encoded.size());
    if (!encoded.empty()) std::memcpy(at, encoded.data(), encoded.size());
    FRows[index] = at;
}

// ---- Conversion of stored values to the row format --------------------------------

namespace {

const char* TagName(uint8_t tag) {
    switch (tag) {
    case svInteger:
        return "an integer";
    case svFloat:
        return "a real";
    case svText:
        return "text";
    case svBlob:
        return "a blob";
    default:
        return "null";
    }
}

// A Julian day number (what julianday() writes) as a date-time, to the millisecond.
bool JulianDayToDateTime(double jd, host::TDateTime& value) {
    if (!(jd >= 1721425.5 && jd < 5373484.5)) return false; // 0001-01-01 .. 9999-12-31
    const int64_t total = std::llround((jd - 1721425.5) * host::MSecsPerDay) + host::MSecsPerDay;
    const int64_t day = total / host::MSecsPerDay;
    if (day > 3652059) return false;
    value = host::TimeStampToDateTime(
        {static_cast<int32_t>(total % host::MSecsPerDay), static_cast<int32_t>(day)});
    return true;
}

// Reads a date, time or date-time in the text forms SQLite's date and time
// functions accept, converting as they do: "YYYY-MM-DD", then optionally
// blanks or a "T" and "HH:MM", ":SS" and a fraction of any length (rounded to
// the millisecond), then optionally "Z" or an offset "+HH:MM" / "-HH:MM",
// which is taken off to give UTC; a time alone (on the zero day); or a
// Julian day number.
bool ReadSqliteDateTime(std::string_view text, host::TDateTime& value) {
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.front())))
        text.remove_prefix(1);
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back())))
        text.remove_suffix(1);
    size_t i = 0;
    auto digits = [&](size_t count, int& out) {
        if (i + count > text.size()) return false;
        out = 0;
        for (size_t k = 0; k < count; ++k) {
            const char c = text[i + k];
            if (c < '0' || c > '9') return false;
            out = out * 10 + (c - '0');
        }
        i += count;
        return true;
    };
    auto skip = [&](char c) {
        if (i < text.size() && text[i] == c) {
            ++i;
            return true;
        }
        return false;
    };
    int64_t day = 0; // day number, 1 = 0001-01-01
    int64_t ms = 0;
    int y = 0, mo = 0, d = 0;
    const size_t start = i;
    if (digits(4, y) && skip('-') && digits(2, mo) && skip('-') && digits(2, d)) {
        try {
            day = static_cast<int64_t>(host::EncodeDate(y, mo, d)) + host::DateDelta;
        } catch (const host::EConvertError&) {
            return false;
        }
        if (i < text.size()) {
            if (!skip('T'))
                while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i])))
                    ++i;
        }
    } else {
        i = start;
        // A Julian day number (noon-based; day 0 of TDateTime is 2415018.5).
        double jd = 0;
        const auto r = std::from_chars(text.data(), text.data() + text.size(), jd);
        if (r.ec == std::errc() && r.ptr == text.data() + text.size() &&
            text.find(':') == std::string_view::npos)
            return JulianDayToDateTime(jd, value);
        day = host::DateDelta;
    }
    if (i < text.size()) {
        int h = 0, mi = 0, sec = 0;
        if (!digits(2, h) || !skip(':') || !digits(2, mi)) return false;
        int64_t fracMs = 0;
        if (skip(':')) {
            if (!digits(2, sec)) return false;
            if (skip('.')) {
                // Any number of digits, rounded to the millisecond.
                double scale = 100, frac = 0;
                size_t n = 0;
                while (i < text.size() && text[i] >= '0' && text[i] <= '9') {
                    frac += (text[i] - '0') * scale;
                    scale /= 10;
                    ++i;
                    ++n;
                }
                if (n == 0) return false;
                fracMs = std::llround(frac);
            }
        }
        if (h > 23 || mi > 59 || sec > 59) return false;
        ms = ((h * 60 + mi) * 60 + sec) * int64_t{1000} + fracMs;
        while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i])))
            ++i;
        if (skip('Z') || skip('z')) {
        } else if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
            const int sign = text[i] == '-' ? -1 : 1;
            ++i;
            int oh = 0, om = 0;
            if (!digits(2, oh) || !skip(':') || !digits(2, om) || oh > 14 || om > 59) return false;
            // The local time minus its offset is UTC.
            ms -= sign * (oh * 60 + om) * int64_t{60000};
        }
        while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i])))
            ++i;
    }
    if (i != text.size()) return false;
    int64_t total = day * host::MSecsPerDay + ms;
    day = total / host::MSecsPerDay;
    ms = total % host::MSecsPerDay;
    if (total < host::MSecsPerDay || day > 3652059) return false;
    value = host::TimeStampToDateTime({static_cast<int32_t>(ms), static_cast<int32_t>(day)});
    return true;
}

// Writes v into slot in the format of def, every byte of the slot (the dataset
// compares whole records); false with the reason in why.
bool ToRowFormat(const TLumraFieldDef* def, const TSqliteValue& v, char* slot, std::string& why) {
    const int32_t size = def->Size();
    switch (def->FieldType()) {
    case ntString:
        if (v.Tag != svText && v.Tag != svBlob) break;
        if (v.Bytes + 1 > static_cast<uint64_t>(size)) {
            why = "text of " + std::to_string(v.Bytes) + " bytes is longer than the declared " +
                  std::to_string(size - 1);
            return false;
        }
        if (v.Bytes > 0 && std::memchr(v.Data, 0, v.Bytes) != nullptr) {
            why = "the text holds a zero byte";
            return false;
        }
        if (v.Bytes > 0) std::memcpy(slot, v.Data, v.Bytes);
        std::memset(slot + v.Bytes, 0, static_cast<size_t>(size) - v.Bytes);
        return true;
    case ntInteger: {
        int64_t i = 0;
        if (v.Tag == svInteger) {
            i = v.Int;
        } else if (v.Tag == svFloat && host::DoubleToInt64Exact(v.Float, i)) {
        } else {
            break;
        }
        if (size == 8) {
            std::memcpy(slot, &i, 8);
            return true;
        }
        if (size == 4 && i >= INT32_MIN && i <= INT32_MAX) {
            const int32_t i32 = static_cast<int32_t>(i);
            std::memcpy(slot, &i32, 4);
            return true;
        }
        why = "the integer " + std::to_string(i) + " does not fit " + std::to_string(size) + " bytes";
        return false;
    }
    case ntFloat:
    case ntCurrency: {
        double d = 0;
        if (v.Tag == svFloat) {
            d = v.Float;
        } else if (v.Tag == svInteger && host::Int64ToDoubleExact(v.Int, d)) {
        } else if (v.Tag == svInteger) {
            why = "the integer " + std::to_string(v.Int) + " has no exact double";
            return false;
        } else {
            break;
        }
        std::memcpy(slot, &d, 8);
        return true;
    }
    case ntBoolean:
        if (v.Tag != svInteger) break;
        if (v.Int != 0 && v.Int != 1) {
            why = "the integer " + std::to_string(v.Int) + " is not a Boolean";
            return false;
        }
        slot[0] = static_cast<char>(v.Int);
        return true;
    case ntDate:
    case ntTime:
    case ntDateTime: {
        if (v.Tag != svText && v.Tag != svFloat && v.Tag != svInteger) break;
        host::TDateTime d = 0;
        // A number is a Julian day, as SQLite's date functions read it.
        const std::string number = v.Tag == svText    ? std::string()
                                   : v.Tag == svFloat ? host::FloatToStr(v.Float)
                                                      : std::to_string(v.Int);
        const std::string_view text =
            v.Tag == svText ? std::string_view(v.Data, v.Bytes) : std::string_view(number);
        bool ok = v.Tag == svText
                      // Text SQLite's functions accept, or the library's own looser
                      // form (one-digit fields), which earlier versions read too.
                      ? ReadSqliteDateTime(text, d) || host::TryStrToDateTime(text, d)
                      : JulianDayToDateTime(v.Tag == svFloat ? v.Float : static_cast<double>(v.Int), d);
        if (ok && def->FieldType() == ntDate) ok = std::trunc(d) == d;
        if (ok && def->FieldType() == ntTime) ok = d >= 0 && d < 1;
        if (!ok) {
            why = std::string(v.Tag == svText ? "the text \"" : "the Julian day \"") +
                  std::string(text.substr(0, 64)) + "\" is not a " +
                  (def->FieldType() == ntDate   ? "date"
                   : def->FieldType() == ntTime ? "time"
                                                : "date and time");
            return false;
        }
        std::memcpy(slot, &d, 8);
        return true;
    }
    case ntBinary: {
        if (v.Tag != svText && v.Tag != svBlob) break;
        if (v.Bytes + 2 > static_cast<uint64_t>(size)) {
            why = std::to_string(v.Bytes) + " bytes are more than the declared " + std::to_string(size - 2);
            return false;
        }
        const uint16_t n = static_cast<uint16_t>(v.Bytes);
        std::memcpy(slot, &n, 2);
        if (n > 0) std::memcpy(slot + 2, v.Data, n);
        std::memset(slot + 2 + n, 0, static_cast<size_t>(size) - 2 - n);
        return true;
    }
    case ntMemo:
    case ntBlob: {
        const int32_t n = (v.Tag == svText || v.Tag == svBlob)
                              ? static_cast<int32_t>(std::min<uint64_t>(v.Bytes, INT32_MAX))
                              : 0;
        if (size >= 4) std::memcpy(slot, &n, 4);
        return true;
    }
    default:
        break;
    }
    why = std::string("it holds ") + TagName(v.Tag);
    return false;
}

} // namespace

// ---- Cursor --------------------------------------------------------------------

namespace {

std::string TrimStatementEnd(std::string text) {
    while (!text.empty() && (std::isspace(static_cast<unsigned char>(text.back())) || text.back() == ';'))
        text.pop_back();
    return text;
}

// Number of rows the cursor's text gives, without reading them into memory.
bool CountRows(TSqliteSQL& sql, TSqliteCursor& c, sqlite3* db, int64_t& count) {
    const TSqliteApi& api = SqliteApi();
    TLumraSession* session = sql.GetSession();
    const std::string wrapped = "SELECT count(*) FROM (" + TrimStatementEnd(c.Text) + "\n)";
    sqlite3_stmt* raw = nullptr;
    int rc = api.prepare_v2(db, wrapped.c_str(), static_cast<int>(wrapped.size()), &raw, nullptr);
    TSqliteStmtPtr counter(raw);
    bool countsRows = rc == SQLITE_OK && counter;
    if (rc == SQLITE_ERROR) {
        // Not a select (a pragma, for instance): run a second copy and count its rows.
        raw = nullptr;
        rc = api.prepare_v2(db, c.Text.c_str(), static_cast<int>(c.Text.size()), &raw, nullptr);
        counter.reset(raw);
    }
    if (rc != SQLITE_OK || !counter) {
        SqliteRecordError(session, db, rc == SQLITE_OK ? SQLITE_MISUSE : rc);
        return false;
    }
    if (!SqliteBindVariables(session, db, counter.get(), sql.CursorVariables(), c.Variables)) return false;
    // Counted inside the session's unit of work, as the cursor's rows are read.
    auto* sqlite = static_cast<TSqliteSession*>(session);
    bool began = false;
    if (sqlite->InUnitOfWork() && !sqlite->BeforeStatement(false, c.Text, began)) return false;
    count = 0;
    while ((rc = api.step(counter.get())) == SQLITE_ROW) {
        if (countsRows) {
            count = api.column_int64(counter.get(), 0);
        } else {
            ++count;
        }
    }
    sqlite->AfterStep(rc);
    if (rc != SQLITE_DONE) {
        SqliteRecordError(session, db, rc);
        return false;
    }
    return true;
}

} // namespace

// Reads one more row from the engine: 1 a row, 0 the end, -1 an error (recorded).
static int StepOne(TSqliteSQL& sql, TSqliteCursor& c, int64_t& read) {
    const TSqliteApi& api = SqliteApi();
    TLumraSession* session = sql.GetSession();
    if (c.FailedRc != SQLITE_OK) {
        session->SetLastError(c.FailedMessage, c.FailedCode);
        return -1;
    }
    if (c.Done) return 0;
    // Inside a unit of work the rows are read in its engine transaction.
    auto* sqlite = static_cast<TSqliteSession*>(session);
    bool began = false;
    if (sqlite->InUnitOfWork() &&
        !sqlite->BeforeStatement(api.stmt_readonly(c.Stmt.get()) == 0, c.Text, began))
        return -1;
    const int rc = api.step(c.Stmt.get());
    sqlite->AfterStep(rc);
    if (rc == SQLITE_ROW) {
        if (c.ForwardOnly) {
            c.Rows.Reuse();
            c.FirstKept = read;
        }
        c.Rows.AppendFromEngine(api, c.Stmt.get(), c.EngineColumns);
        ++read;
        return 1;
    }
    if (rc == SQLITE_DONE) {
        c.Done = true;
        // Releases the engine's read lock; the rows stay in the store.
        api.reset(c.Stmt.get());
        return 0;
    }
    // Stepping a failed statement again would start it over, so the failure sticks.
    sqlite3* db = static_cast<TSqliteSession*>(session)->Db();
    c.FailedRc = rc;
    c.FailedMessage = SqliteErrorMessage(db, rc);
    c.FailedCode = SqliteErrorCode(db, rc);
    session->SetLastError(c.FailedMessage, c.FailedCode);
    api.reset(c.Stmt.get());
    return -1;
}

namespace {
// Rows read from the engine so far (kept or not): FirstKept + kept rows.
int64_t RowsRead(const TSqliteCursor& c) {
    return c.FirstKept + static_cast<int64_t>(c.Rows.Count());
}
} // namespace

bool TSqliteSQL::InternalOpen(bool readOnly) {
    TSqliteSession* session = SqliteSession();
    sqlite3* db = session->Db();
    if (!FCursor || db == nullptr) {
        session->SetLastError(host::LoadResString(LUMRA_ERR_CURS_NOT_PREPARED), SqliteCodeMisuse);
        return false;
    }
    TSqliteCursor& c = *FCursor;
    const TSqliteApi& api = SqliteApi();
    // A change that returns rows runs when the cursor opens: a cursor asked
    // for as read-only must not run it at all. The engine counts every pragma
    // that may set something (journal_mode even when only asked) as a
    // change; a pragma changes no rows and stays readable.
    if (readOnly && !api.stmt_readonly(c.Stmt.get()) && !SqliteIsPragma(c.Text)) {
        session->SetLastError(
            host::LoadResString(LUMRA_ERR_CURS_READ_ONLY) +
                ": the statement changes data, so it was not run (open the cursor for writing)",
            0);
        return false;
    }
    api.reset(c.Stmt.get());
    c.Rows.Clear();
    c.Done = false;
    c.ForwardOnly = false;
    c.FirstKept = 0;
    c.FailedRc = SQLITE_OK;
    c.Counted = false;
    c.LoadedRow = nullptr;
    if (!SqliteBindVariables(session, db, c.Stmt.get(), CursorVariables(), c.Variables)) return false;
    int64_t count = 0;
    if (!api.stmt_readonly(c.Stmt.get())) {
        // A statement that changes data runs once: its rows are read now.
        int64_t read = 0;
        int r = 0;
        while ((r = StepOne(*this, c, read)) == 1) {
        }
        if (r < 0) return false;
        count = read;
    }
    if (!TLumraSQL::InternalOpen(readOnly)) return false;
    // A query's rows are counted only when somebody asks (InternalGetRecordCount),
    // so the first row never waits for the last.
    SetRecordCount(static_cast<int32_t>(std::min<int64_t>(count, INT32_MAX)));
    c.NamesAsked.clear();
    c.ColumnByOffset.clear();
    for (int32_t i = 0; i < FieldDefs()->GetCount(); ++i)
        c.ColumnByOffset.emplace_back(FieldDefs()->GetItem(i)->Offset(), i);
    std::sort(c.ColumnByOffset.begin(), c.ColumnByOffset.end());
    if (BlobManager()->Count() == 0) {
        for (int32_t i = 0; i < FieldDefs()->GetCount(); ++i) {
            const TLumraFieldDef* def = FieldDefs()->GetItem(i);
            if (def->FieldType() == ntMemo || def->FieldType() == ntBlob)
                new TSqliteBlobStream(BlobManager(), def->Name());
        }
    }
    return true;
}

void TSqliteSQL::InternalClose() {
    const bool wasOpen = CursorOpen();
    if (FCursor) {
        if (FCursor->Stmt) SqliteApi().reset(FCursor->Stmt.get());
        FCursor->Rows.Clear();
        FCursor->LoadedRow = nullptr;
        FCursor->Done = false;
        FCursor->FirstKept = 0;
        FCursor->FailedRc = SQLITE_OK;
    }
    TLumraSQL::InternalClose();
    // Tell the owner that the cursor went away (a dataset closes itself when
    // the session closes its statements). The handler may unassign itself, so
    // it is called through a copy.
    if (wasOpen && OnAfterClose()) {
        const host::TNotifyEvent handler = OnAfterClose();
        handler(this);
    }
}

void TSqliteSQL::InternalUnprepareOpen() {
    FCursor.reset();
    TLumraSQL::InternalUnprepareOpen();
}

namespace {

bool CursorReady(TSqliteSQL& sql, std::unique_ptr<TSqliteCursor>& cursor) {
    if (cursor && sql.CursorOpen()) return true;
    sql.GetSession()->SetLastError(host::LoadResString(LUMRA_ERR_CURS_NOT_OPENED), SqliteCodeMisuse);
    return false;
}

} // namespace

// Makes row `row` (kept in the store) current; false with the error recorded
// when a value does not fit its column (the current row stays as it was).
static bool LoadRow(TSqliteSQL& sql, TSqliteCursor& c, int64_t row) {
    TLumraFieldDefs* defs = sql.FieldDefs();
    const int32_t count = defs->GetCount();
    // The row is built in scratch first: a value that does not fit leaves
    // both row buffers and both indicator buffers as they were (the old-row
    // ones may differ from the edited ones, and an update or delete reads them).
    // Every slot is written whole (a null one as zeroes), so the record needs no clearing first.
    c.LoadScratch.resize(static_cast<size_t>(sql.RecordSize()) + static_cast<size_t>(sql.IndicatorSize()));
    char* data = c.LoadScratch.data();
    char* indicators = data + sql.RecordSize();
    const uint8_t* p = c.Rows.Row(static_cast<size_t>(row - c.FirstKept));
    const uint8_t* const start = p;
    std::string why; // filled only when a value does not fit
    // The row just read from the engine has its values at hand already.
    const bool fresh =
        start == c.Rows.LastAppended() && c.Rows.LastValues().size() >= static_cast<size_t>(count);
    if (fresh)
        c.Rows.TakeLastValues(c.NextCurrent);
    else
        c.NextCurrent.resize(static_cast<size_t>(count));
    TSqliteValue* const values = c.NextCurrent.data();
    if (!fresh) {
        for (int32_t i = 0; i < count; ++i)
            p = TSqliteRowStore::Decode(p, values[i]);
    }
    for (int32_t i = 0; i < count; ++i) {
        const TSqliteValue& v = values[i];
        const TLumraFieldDef* def = defs->GetItem(i);
        char* slot = data + def->Offset();
        if (v.Tag == svNull) {
            indicators[i] = 1;
            std::memset(slot, 0, static_cast<size_t>(def->Size()));
            continue;
        }
        indicators[i] = 0;
        if (!ToRowFormat(def, v, slot, why)) {
            sql.GetSession()->SetLastError("Value of column \"" + def->Name() + "\" in row " +
                                               std::to_string(row + 1) + " cannot be read: " + why,
                                           SqliteCodeMismatch);
            return false;
        }
    }
    std::memcpy(sql.RowBuffer(), data, static_cast<size_t>(sql.RecordSize()));
    std::memcpy(sql.OldRowBuffer(), data, static_cast<size_t>(sql.RecordSize()));
    std::memcpy(sql.IndicatorBuffer(), indicators, static_cast<size_t>(sql.IndicatorSize()));
    std::memcpy(sql.OldIndicatorBuffer(), indicators, static_cast<size_t>(sql.IndicatorSize()));
    c.Current.swap(c.NextCurrent);
    c.LoadedRow = start;
    sql.BlobManager()->ClearBlobs();
    return true;
}

bool TSqliteSQL::FetchFirst() {
    if (!CursorReady(*this, FCursor)) return false;
    TSqliteCursor& c = *FCursor;
    if (c.FirstKept > 0) {
        GetSession()->SetLastError(host::LoadResString(LUMRA_ERR_CURS_BI_NOT_SUPP), SqliteCodeMisuse);
        return false;
    }
    // A first row that cannot be read leaves the cursor where it was.
    const int32_t recNo = RecNo();
    const bool bof = Bof();
    const bool eof = Eof();
    SetToBegin();
    if (FetchNext()) return true;
    if (!Eof()) {
        SetRecNo(recNo);
        SetBof(bof);
        SetEof(eof);
    }
    return false;
}

bool TSqliteSQL::FetchFirstForward() {
    if (!CursorReady(*this, FCursor)) return false;
    // Forward reading keeps no rows, unless rows were kept already.
    if (RowsRead(*FCursor) == 0) FCursor->ForwardOnly = true;
    return FetchFirst();
}

// Loads a row already read from the engine and makes it the current one; a
// forward-only cursor no longer keeps rows before FirstKept.
bool TSqliteSQL::MakeKeptRowCurrent(TSqliteCursor& c, int64_t target) {
    if (target < c.FirstKept) {
        GetSession()->SetLastError(host::LoadResString(LUMRA_ERR_CURS_BI_NOT_SUPP), SqliteCodeMisuse);
        return false;
    }
    if (!LoadRow(*this, c, target)) return false;
    SetRecNo(static_cast<int32_t>(target));
    SetBof(false);
    SetEof(false);
    return true;
}

bool TSqliteSQL::FetchNext() {
    if (!CursorReady(*this, FCursor)) return false;
    TSqliteCursor& c = *FCursor;
    if (Eof()) return false;
    const int64_t target = static_cast<int64_t>(RecNo()) + 1;
    int64_t read = RowsRead(c);
    while (target >= read) {
        const int r = StepOne(*this, c, read);
        if (r < 0) return false;
        if (r == 0) {
            SetRecordCount(static_cast<int32_t>(std::min<int64_t>(read, INT32_MAX)));
            SetRecNo(static_cast<int32_t>(read));
            SetEof(true);
            SetBof(read == 0);
            return false;
        }
    }
    return MakeKeptRowCurrent(c, target);
}

bool TSqliteSQL::FetchPrior() {
    if (!CursorReady(*this, FCursor)) return false;
    TSqliteCursor& c = *FCursor;
    if (Bof()) return false;
    const int64_t target = static_cast<int64_t>(RecNo()) - 1;
    if (target < 0) {
        SetRecNo(-1);
        SetBof(true);
        SetEof(RowsRead(c) == 0 && c.Done);
        return false;
    }
    return MakeKeptRowCurrent(c, target);
}

bool TSqliteSQL::FetchCurrent() {
    if (!CursorReady(*this, FCursor)) return false;
    TSqliteCursor& c = *FCursor;
    const int64_t row = RecNo();
    if (row < 0) {
        SetBof(true);
        return false;
    }
    if (row >= RowsRead(c)) {
        SetEof(true);
        return false;
    }
    if (row < c.FirstKept) {
        GetSession()->SetLastError(host::LoadResString(LUMRA_ERR_CURS_BI_NOT_SUPP), SqliteCodeMisuse);
        return false;
    }
    return LoadRow(*this, c, row);
}

void TSqliteSQL::SetToBegin() {
    SetRecNo(-1);
    SetBof(true);
    SetEof(false);
}

bool TSqliteSQL::SetToEnd() {
    if (!CursorReady(*this, FCursor)) return false;
    TSqliteCursor& c = *FCursor;
    int64_t read = RowsRead(c);
    int r = 0;
    while ((r = StepOne(*this, c, read)) == 1) {
    }
    if (r < 0) return false;
    SetRecordCount(static_cast<int32_t>(std::min<int64_t>(read, INT32_MAX)));
    SetRecNo(static_cast<int32_t>(read));
    SetEof(true);
    SetBof(false);
    return true;
}

int32_t TSqliteSQL::InternalGetRecordCount() {
    if (!FCursor || !CursorOpen() || FCursor->Done || FCursor->Counted)
        return TLumraSQL::InternalGetRecordCount();
    TSqliteCursor& c = *FCursor;
    TSqliteSession* session = SqliteSession();
    int64_t count = 0;
    // An engine failure is no count: it is raised rather than answered as a number of rows.
    if (!CountRows(*this, c, session->Db(), count))
        RaiseLastError(session->LastError(), session->LastErrorCode());
    c.Counted = true;
    SetRecordCount(static_cast<int32_t>(std::min<int64_t>(count, INT32_MAX)));
    return TLumraSQL::InternalGetRecordCount();
}

// ---- Stored values of the current row -----------------------------------------------

static bool CurrentStoredValue(TSqliteSQL& sql, std::unique_ptr<TSqliteCursor>& cursor, int32_t column,
                               TSqliteValue& value) {
    if (!cursor || !sql.CursorOpen() || column < 0) return false;
    TSqliteCursor& c = *cursor;
    const int64_t row = sql.RecNo();
    if (row < c.FirstKept || row >= RowsRead(c) || column >= c.EngineColumns) return false;
    const uint8_t* p = c.Rows.Row(static_cast<size_t>(row - c.FirstKept));
    if (p == c.LoadedRow && static_cast<size_t>(column) < c.Current.size()) {
        value = c.Current[static_cast<size_t>(column)];
        return true;
    }
    for (int32_t i = 0; i <= column; ++i)
        p = TSqliteRowStore::Decode(p, value);
    return true;
}

const TSqliteValue* SqliteDecodedValuePtr(TSqliteSQL& sql, int32_t column) {
    std::unique_ptr<TSqliteCursor>& cursor = TSqliteStatementAccess::CursorPtr(sql);
    if (!cursor) return nullptr;
    return CurrentStoredValue(sql, cursor, column, cursor->Decoded) ? &cursor->Decoded : nullptr;
}

void SqliteStoredBytes(const TSqliteValue& value, const char*& data, int64_t& size, std::string& scratch) {
    data = value.Tag == svText || value.Tag == svBlob ? value.Data : nullptr;
    size = data != nullptr ? static_cast<int64_t>(value.Bytes) : 0;
    if (value.Tag == svInteger || value.Tag == svFloat) {
        if (value.Tag == svInteger) {
            scratch = std::to_string(value.Int);
        } else {
            char text[32];
            std::snprintf(text, sizeof text, "%.17g", value.Float);
            scratch = text;
        }
        data = scratch.data();
        size = static_cast<int64_t>(scratch.size());
    }
}

bool TSqliteSQL::GetStoredBytes(const std::string& column, const char*& data, int64_t& size,
                                std::string& scratch) {
    if (!FCursor) return false;
    // A reader asks for the same few names on every row.
    std::vector<std::pair<std::string, int32_t>>& asked = FCursor->NamesAsked;
    for (const auto& [name, index] : asked)
        if (name == column) return GetStoredBytes(index, data, size, scratch);
    const int32_t index = FieldDefs()->IndexOf(column);
    asked.emplace_back(column, index);
    return GetStoredBytes(index, data, size, scratch);
}

bool TSqliteSQL::GetStoredBytes(int32_t column, const char*& data, int64_t& size, std::string& scratch) {
    TSqliteValue v;
    if (!CurrentStoredValue(*this, FCursor, column, v)) return false;
    SqliteStoredBytes(v, data, size, scratch);
    return true;
}

int64_t TSqliteSQL::GetStoredSize(const std::string& column) {
    const char* data = nullptr;
    int64_t size = 0;
    std::string scratch;
    return GetStoredBytes(column, data, size, scratch) ? size : -1;
}

bool SqliteCurrentValue(TSqliteSQL& sql, int32_t column, TSqliteValue& value) {
    return CurrentStoredValue(sql, TSqliteStatementAccess::CursorPtr(sql), column, value);
}

int32_t SqliteColumnAtOffset(TSqliteSQL& sql, int32_t offset) {
    const std::unique_ptr<TSqliteCursor>& cursor = TSqliteStatementAccess::CursorPtr(sql);
    if (!cursor) return -1;
    const auto& list = cursor->ColumnByOffset;
    const auto at = std::lower_bound(list.begin(), list.end(), std::make_pair(offset, INT32_MIN));
    return at != list.end() && at->first == offset ? at->second : -1;
}
