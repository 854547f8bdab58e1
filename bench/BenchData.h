// The benchmark's data: the deterministic rows of the items table, the file
// that holds them (written once through the engine's C API and reused while
// it matches the requested row count), and the checksum every variant
// computes over the values it read, so that a variant that skips or
// misreads a value shows a different number.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

// One row of items as native values. Text lives in the row's own buffers.
struct TBenchRow {
    int64_t Id = 0;
    std::string Name;
    double Amount = 0;
    std::string Created; // 'YYYY-MM-DD HH:MM:SS'
    int64_t Flag = 0;
    bool NoteNull = false;
    std::string Note;
};

// Fills row with the values of row number id (1-based) for the given seed;
// the same (seed, id) always gives the same values.
void BenchMakeRow(uint64_t seed, int64_t id, TBenchRow& row);

// Makes sure path holds the items table with exactly rows rows of seed;
// writes it (in one transaction) when it is missing or holds another count.
// Returns false with a message in error when the engine refuses.
bool BenchEnsureDatabase(const std::string& path, int64_t rows, uint64_t seed, std::string& error);

// Creates (after removing any old file) a database at path with an empty
// table of the items layout named items_w2, for the insert workload.
bool BenchCreateInsertTarget(const std::string& path, std::string& error);

// Checksum of one table of the items layout read through the C API (outside
// any timing): the sum of BenchRowHash over its rows.
bool BenchTableChecksum(const std::string& path, const std::string& table, uint64_t& checksum,
                        std::string& error);

// Order-independent per-row hash; variants add the hashes of their rows, so a
// scan backwards gives the same sum as a scan forwards.
class TBenchHasher {
public:
    void Int(int64_t v) noexcept { Mix(static_cast<uint64_t>(v)); }
    void Float(double v) noexcept {
        uint64_t bits;
        std::memcpy(&bits, &v, 8);
        Mix(bits);
    }
    void Null() noexcept { Mix(0x9E3779B97F4A7C15ull); }
    void Text(std::string_view s) noexcept {
        Mix(s.size());
        size_t i = 0;
        for (; i + 8 <= s.size(); i += 8) {
            uint64_t w;
            std::memcpy(&w, s.data() + i, 8);
            Mix(w);
        }
        uint64_t tail = 0;
        std::memcpy(&tail, s.data() + i, s.size() - i);
        Mix(tail);
    }
    uint64_t Value() const noexcept { return FH ^ (FH >> 29); }

private:
    void Mix(uint64_t w) noexcept {
        FH = (FH ^ w) * 0x100000001B3ull;
        FH ^= FH >> 31;
    }
    uint64_t FH = 0xCBF29CE484222325ull;
};
