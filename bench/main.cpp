// lmr_bench: measures the fetch and insert paths of the library against the
// engine's C API on one generated SQLite file and prints one table (medians
// of several runs, ratios to the C API, peak resident memory, checksums).
//
//   lmr_bench [--rows N] [--insert-rows N] [--runs N] [--seed N] [--db PATH]
//             [--only W1,W2,...] [--variant TEXT]
//
// The items file is written once (to PATH, $LMR_BENCH_DB, or beside the
// program as bench-items-<rows>.db) and reused while it holds the same rows.
// The exit status is 1 when a variant failed or its checksum differs from
// the other variants over the same rows.
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "bench/BenchData.h"
#include "bench/BenchHarness.h"

namespace {

struct TOptions {
    int64_t Rows = 1000000;
    int64_t InsertRows = -1; // -1: the smaller of 200000 and the row count
    int Runs = 5;
    uint64_t Seed = 20240611;
    std::string Database;
    std::vector<std::string> Only;
    std::string Variant;
};

[[noreturn]] void Usage(const char* why) {
    std::fprintf(
        stderr,
        "lmr_bench: %s\nusage: lmr_bench [--rows N] [--insert-rows N] [--runs N] [--seed N] [--db PATH] "
        "[--only W1,W2,...] [--variant TEXT]\n",
        why);
    std::exit(2);
}

TOptions Parse(int argc, char** argv) {
    TOptions o;
    if (const char* env = std::getenv("LMR_BENCH_DB")) o.Database = env;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        auto value = [&]() -> std::string {
            if (i + 1 >= argc) Usage(("missing value after " + a).c_str());
            return argv[++i];
        };
        if (a == "--rows")
            o.Rows = std::stoll(value());
        else if (a == "--insert-rows")
            o.InsertRows = std::stoll(value());
        else if (a == "--runs")
            o.Runs = std::stoi(value());
        else if (a == "--seed")
            o.Seed = std::stoull(value());
        else if (a == "--db")
            o.Database = value();
        else if (a == "--variant")
            o.Variant = value();
        else if (a == "--only") {
            std::string list = value();
            size_t p = 0;
            while (p <= list.size()) {
                const size_t q = std::min(list.find(',', p), list.size());
                if (q > p) o.Only.push_back(list.substr(p, q - p));
                p = q + 1;
            }
        } else
            Usage(("unknown option " + a).c_str());
    }
    if (o.Rows < 1 || o.Runs < 1) Usage("--rows and --runs must be positive");
    if (o.InsertRows < 0) o.InsertRows = std::min<int64_t>(200000, o.Rows);
    return o;
}

std::string ProgramDir() {
    std::error_code ec;
    const auto exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    return ec ? std::string(".") : exe.parent_path().string();
}

// Reads the file once so the first measured variant does not pay for the disk.
void WarmCache(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::vector<char> buffer(1 << 20);
    while (in.read(buffer.data(), static_cast<std::streamsize>(buffer.size())) || in.gcount() > 0) {
    }
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    const size_t n = v.size();
    return n % 2 == 1 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

struct TRow {
    const TBenchVariant* Variant;
    std::vector<TBenchSample> Samples;
    std::string Error;
    double MedianSeconds = 0; // CPU
    double MinSeconds = 0;
    double MaxSeconds = 0;
    double MedianWall = 0;
    double MedianFirstRow = -1;
    int64_t PeakKb = 0; // median over runs
    int64_t GrowthKb = 0;
    uint64_t Checksum = 0;
    bool ChecksumsAgree = true;
    int64_t Rows = 0;
};

} // namespace

int main(int argc, char** argv) {
    const TOptions options = Parse(argc, argv);
    const std::string dir = ProgramDir();
    TBenchContext context;
    context.Database = options.Database.empty() ? dir + "/bench-items-" + std::to_string(options.Rows) + ".db"
                                                : options.Database;
    context.ScratchDir = dir + "/bench-scratch";
    context.Rows = options.Rows;
    context.InsertRows = options.InsertRows;
    context.Seed = options.Seed;
    std::filesystem::create_directories(context.ScratchDir);

    std::string error;
    const double genStart = BenchNow();
    if (!BenchEnsureDatabase(context.Database, options.Rows, options.Seed, error)) {
        std::fprintf(stderr, "lmr_bench: %s\n", error.c_str());
        return 1;
    }
    const double genSeconds = BenchNow() - genStart;
    const auto fileBytes = static_cast<int64_t>(std::filesystem::file_size(context.Database));
    WarmCache(context.Database);

    std::vector<TBenchVariant> all;
    BenchAddCApiVariants(all);
    BenchAddStatementVariants(all);
    BenchAddDatasetVariants(all);
    BenchAddParameterVariants(all);
    auto selected = [&](const TBenchVariant& v) {
        const bool workloadOk = options.Only.empty() || std::find(options.Only.begin(), options.Only.end(),
                                                                  v.Workload) != options.Only.end();
        return workloadOk && (options.Variant.empty() || v.Name.find(options.Variant) != std::string::npos);
    };
    // The C API variant a ratio divides by is measured whenever a variant that needs it is.
    std::vector<std::string> references;
    for (const TBenchVariant& v : all)
        if (selected(v)) references.push_back(v.Reference.empty() ? v.Workload : v.Reference);
    std::vector<TBenchVariant> chosen;
    // So is a baseline variant a target is judged against.
    std::vector<std::pair<std::string, std::string>> baselines;
    for (const TBenchVariant& v : all)
        if (selected(v) && !v.Baseline.empty()) baselines.emplace_back(v.Workload, v.Baseline);
    for (const TBenchVariant& v : all)
        if (selected(v) ||
            (v.Name == "C API" &&
             std::find(references.begin(), references.end(), v.Workload) != references.end()) ||
            std::find(baselines.begin(), baselines.end(), std::make_pair(v.Workload, v.Name)) !=
                baselines.end())
            chosen.push_back(v);

    std::printf(
        "lmr_bench: %lld rows in %s (%.1f MB, %s), %lld inserted rows, %d runs per variant, seed %llu\n",
        static_cast<long long>(options.Rows), context.Database.c_str(), fileBytes / 1048576.0,
        genSeconds > 0.5 ? "generated now" : "reused", static_cast<long long>(options.InsertRows),
        options.Runs, static_cast<unsigned long long>(options.Seed));

    // Runs are interleaved (every variant once, then again) so that a change in
    // the machine's load during the run falls on all variants alike.
    std::vector<TRow> rows;
    for (const TBenchVariant& v : chosen)
        rows.push_back(TRow{&v, {}, {}});
    for (int run = 0; run < options.Runs; ++run) {
        std::fprintf(stderr, "run %d of %d, CPU ms:", run + 1, options.Runs);
        for (TRow& row : rows) {
            if (!row.Error.empty()) continue;
            TBenchSample s = BenchRunInChild(*row.Variant, context);
            if (!s.Result.Error.empty())
                row.Error = s.Result.Error;
            else
                row.Samples.push_back(s);
            std::fprintf(stderr, " %s %s %.0f;", row.Variant->Workload.c_str(), row.Variant->Name.c_str(),
                         s.Result.CpuSeconds * 1000);
        }
        std::fprintf(stderr, "\n");
    }
    for (TRow& row : rows) {
        if (row.Error.empty()) {
            std::vector<double> secs, wall, first, peak, growth;
            for (const TBenchSample& s : row.Samples) {
                secs.push_back(s.Result.CpuSeconds);
                wall.push_back(s.Result.Seconds);
                if (s.Result.FirstRowSeconds >= 0) first.push_back(s.Result.FirstRowSeconds);
                peak.push_back(static_cast<double>(s.PeakKb));
                growth.push_back(static_cast<double>(s.PeakKb - s.StartKb));
                if (s.Result.Checksum != row.Samples[0].Result.Checksum) row.ChecksumsAgree = false;
            }
            row.MedianSeconds = Median(secs);
            row.MedianWall = Median(wall);
            row.MinSeconds = *std::min_element(secs.begin(), secs.end());
            row.MaxSeconds = *std::max_element(secs.begin(), secs.end());
            if (!first.empty()) row.MedianFirstRow = Median(first);
            row.PeakKb = static_cast<int64_t>(Median(peak));
            row.GrowthKb = static_cast<int64_t>(Median(growth));
            row.Checksum = row.Samples[0].Result.Checksum;
            row.Rows = row.Samples[0].Result.Rows;
        }
    }

    std::map<std::string, double> reference; // workload -> C API median
    std::map<std::string, const TRow*> referenceRow;
    for (const TRow& r : rows)
        if (r.Variant->Name == "C API" && r.Error.empty()) {
            reference[r.Variant->Workload] = r.MedianSeconds;
            referenceRow[r.Variant->Workload] = &r;
        }
    // The ratio of each run to the C API's time in the same run, then their
    // median: a slow spell of the machine falls on both halves of a ratio.
    auto pairedTo = [&](const TRow& r, const TRow& baseRow) {
        std::vector<double> ratios;
        const std::vector<TBenchSample>& base = baseRow.Samples;
        for (size_t i = 0; i < r.Samples.size() && i < base.size(); ++i)
            if (base[i].Result.CpuSeconds > 0)
                ratios.push_back(r.Samples[i].Result.CpuSeconds / base[i].Result.CpuSeconds);
        return ratios.empty() ? -1.0 : Median(ratios);
    };
    auto pairedRatio = [&](const TRow& r, const std::string& key) {
        const auto it = referenceRow.find(key);
        return it == referenceRow.end() ? -1.0 : pairedTo(r, *it->second);
    };

    std::printf(
        "\n| workload | variant | CPU ms (median) | min-max | wall ms | ratio | ratio of medians | target | "
        "first row ms | peak RSS MB | peak/file | growth MB | rows | checksum |\n");
    std::printf("|---|---|---:|---:|---:|---:|---:|---|---:|---:|---:|---:|---:|---|\n");
    for (const TRow& r : rows) {
        const TBenchVariant& v = *r.Variant;
        if (!r.Error.empty()) {
            std::printf("| %s | %s | failed: %s ||||||||||\n", v.Workload.c_str(), v.Name.c_str(),
                        r.Error.c_str());
            continue;
        }
        const std::string refKey = v.Reference.empty() ? v.Workload : v.Reference;
        std::string ratio = "-", ofMedians = "-", target = "-";
        if (auto it = reference.find(refKey); it != reference.end() && it->second > 0) {
            char text[64];
            std::snprintf(text, sizeof text, "%.2fx", r.MedianSeconds / it->second);
            ofMedians = text;
            const double q = pairedRatio(r, refKey);
            std::snprintf(text, sizeof text, "%.2fx", q);
            ratio = text;
            if (v.Target > 0 && v.Baseline.empty()) {
                std::snprintf(text, sizeof text, "<= %.1fx %s", v.Target, q <= v.Target ? "met" : "MISSED");
                target = text;
            }
        }
        if (!v.Baseline.empty()) {
            const TRow* base = nullptr;
            for (const TRow& other : rows)
                if (other.Variant->Workload == v.Workload && other.Variant->Name == v.Baseline &&
                    other.Error.empty())
                    base = &other;
            char text[96];
            const double q = base != nullptr ? pairedTo(r, *base) : -1.0;
            std::snprintf(text, sizeof text, "%.2fx of %s, <= %.2fx %s", q, v.Baseline.c_str(), v.Target,
                          q > 0 && q <= v.Target ? "met" : "MISSED");
            target = text;
        }
        if (v.SecondsTarget > 0) {
            char text[64];
            std::snprintf(text, sizeof text, "< %.1f s %s", v.SecondsTarget,
                          r.MedianSeconds < v.SecondsTarget ? "met" : "MISSED");
            target = target == "-" ? std::string(text) : target + "; " + text;
        }
        if (v.MemoryTarget > 0) {
            const double m = static_cast<double>(r.PeakKb) * 1024 / static_cast<double>(fileBytes);
            char text[64];
            std::snprintf(text, sizeof text, "; memory <= %.1fx file %s", v.MemoryTarget,
                          m <= v.MemoryTarget ? "met" : "MISSED");
            target += text;
        }
        if (!v.Reference.empty()) ratio += " of " + v.Reference + " C API";
        char first[32] = "-";
        if (r.MedianFirstRow >= 0) std::snprintf(first, sizeof first, "%.2f", r.MedianFirstRow * 1000);
        std::printf(
            "| %s | %s | %.0f | %.0f-%.0f | %.0f | %s | %s | %s | %s | %.1f | %.2f | %.1f | %lld | %016llx%s "
            "|\n",
            v.Workload.c_str(), v.Name.c_str(), r.MedianSeconds * 1000, r.MinSeconds * 1000,
            r.MaxSeconds * 1000, r.MedianWall * 1000, ratio.c_str(), ofMedians.c_str(), target.c_str(), first,
            r.PeakKb / 1024.0, static_cast<double>(r.PeakKb) * 1024 / static_cast<double>(fileBytes),
            r.GrowthKb / 1024.0, static_cast<long long>(r.Rows), static_cast<unsigned long long>(r.Checksum),
            r.ChecksumsAgree ? "" : " (differs between runs)");
    }
    std::printf(
        "\nA ratio is the median over the runs of the variant's CPU time (user + system of the child "
        "running\n"
        "it) divided by the C API's in the same run; the targets judge it. The ratio of medians divides the\n"
        "two medians instead. First row is the CPU time from the open to the first row's values; peak RSS\n"
        "is the child's VmHWM, growth its rise over the resident set before the workload; peak/file divides\n"
        "peak RSS by the file's size.\n");
    std::printf("database file: %.1f MB; variants:\n", fileBytes / 1048576.0);
    for (const TRow& r : rows)
        if (!r.Variant->Note.empty())
            std::printf("  %s %s: %s\n", r.Variant->Workload.c_str(), r.Variant->Name.c_str(),
                        r.Variant->Note.c_str());
    // A variant that failed or read other values than its workload's others makes the run fail.
    int status = 0;
    std::map<std::string, uint64_t> firstChecksum;
    for (const TRow& r : rows) {
        if (!r.Error.empty() || !r.ChecksumsAgree) {
            status = 1;
            continue;
        }
        // A workload measured against another one reads the same rows (W3 scrolls W1's table).
        const std::string& key = r.Variant->Reference.empty() ? r.Variant->Workload : r.Variant->Reference;
        const auto [it, fresh] = firstChecksum.emplace(key, r.Checksum);
        if (!fresh && it->second != r.Checksum) {
            std::printf("checksum of %s %s differs from its workload's first variant\n",
                        r.Variant->Workload.c_str(), r.Variant->Name.c_str());
            status = 1;
        }
    }
    return status;
}
