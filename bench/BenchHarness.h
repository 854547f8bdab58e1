// The plain harness of lmr_bench: a list of variants, each run several times
// in a child process of its own (so that its peak resident memory is its own
// and one variant's heap never slows the next), and one table of medians,
// ratios to the engine's C API, peak memory and checksums.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

// What every variant is given.
struct TBenchContext {
    std::string Database;   // the items file (read only)
    std::string ScratchDir; // where insert targets are made
    int64_t Rows = 0;       // rows in items
    int64_t InsertRows = 0; // rows the insert workload writes
    uint64_t Seed = 0;
};

// What one run reports. The times cover the workload only (opening and
// preparing included, process start and data generation not). CPU time is
// what the ratios use: on a shared machine the wall clock mostly measures
// the neighbours.
struct TBenchResult {
    double Seconds = 0;    // wall clock
    double CpuSeconds = 0; // user + system time of the process
    // CPU time from the start of the open to the first row's values; -1 when not measured.
    double FirstRowSeconds = -1;
    uint64_t Checksum = 0;
    int64_t Rows = 0;  // rows the variant read or wrote
    std::string Error; // not empty: the run failed
};

// Seconds since an arbitrary start, monotonic.
double BenchNow();
// CPU seconds the process has used.
double BenchCpuNow();

// Started on construction; Stop fills the result's wall and CPU times,
// FirstRow its first-row time.
class TBenchTimer {
public:
    TBenchTimer() : FWall(BenchNow()), FCpu(BenchCpuNow()) {}
    void FirstRow(TBenchResult& r) const { r.FirstRowSeconds = BenchCpuNow() - FCpu; }
    void Stop(TBenchResult& r) const {
        r.CpuSeconds = BenchCpuNow() - FCpu;
        r.Seconds = BenchNow() - FWall;
    }

private:
    double FWall;
    double FCpu;
};

struct TBenchVariant {
    std::string Workload;    // "W1", "W2", "W3", ...
    std::string Name;        // "C API", "statement", "dataset"
    std::string Reference;   // the C API variant whose median the ratio divides by ("" for none)
    double Target = 0;       // the target ratio, 0 when the variant has none
    double MemoryTarget = 0; // the target of peak RSS over the file's size, 0 when none
    std::string Note;        // shown beside the target
    std::function<TBenchResult(const TBenchContext&)> Run;
    // The variant of the same workload the target is judged against instead of
    // the C API (the ratio column keeps dividing by the C API), "" for none.
    std::string Baseline;
    // A target on the CPU seconds themselves, 0 when none.
    double SecondsTarget = 0;
};

// Every variant this program knows, in table order.
void BenchAddCApiVariants(std::vector<TBenchVariant>& list);
void BenchAddStatementVariants(std::vector<TBenchVariant>& list);
void BenchAddDatasetVariants(std::vector<TBenchVariant>& list);
void BenchAddParameterVariants(std::vector<TBenchVariant>& list);

// One measured run in a forked child: the result plus the child's peak
// resident set (VmHWM) and its resident set just before the workload began.
struct TBenchSample {
    TBenchResult Result;
    int64_t PeakKb = 0;
    int64_t StartKb = 0;
};
TBenchSample BenchRunInChild(const TBenchVariant& variant, const TBenchContext& context);
