// Runs one variant in a forked child and passes its result back through a
// pipe. The child reads its own /proc/self/status for the resident set, so
// the peak is the workload's and not the parent's.
#include "bench/BenchHarness.h"

#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <exception>
#include <fstream>

double BenchNow() {
    using namespace std::chrono;
    return duration<double>(steady_clock::now().time_since_epoch()).count();
}

double BenchCpuNow() {
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

namespace {

int64_t StatusKb(const char* key) {
    std::ifstream in("/proc/self/status");
    std::string line;
    const size_t n = std::strlen(key);
    while (std::getline(in, line))
        if (line.compare(0, n, key) == 0) return std::stoll(line.substr(n + 1));
    return -1;
}

// The fixed part of the message, then the error text.
struct TWire {
    double Seconds;
    double CpuSeconds;
    double FirstRowSeconds;
    uint64_t Checksum;
    int64_t Rows;
    int64_t PeakKb;
    int64_t StartKb;
    uint32_t ErrorLength;
};

bool WriteAll(int fd, const void* data, size_t n) {
    const char* p = static_cast<const char*>(data);
    while (n > 0) {
        const ssize_t w = ::write(fd, p, n);
        if (w <= 0) return false;
        p += w;
        n -= static_cast<size_t>(w);
    }
    return true;
}

bool ReadAll(int fd, void* data, size_t n) {
    char* p = static_cast<char*>(data);
    while (n > 0) {
        const ssize_t r = ::read(fd, p, n);
        if (r <= 0) return false;
        p += r;
        n -= static_cast<size_t>(r);
    }
    return true;
}

} // namespace

TBenchSample BenchRunInChild(const TBenchVariant& variant, const TBenchContext& context) {
    TBenchSample sample;
    int fds[2];
    if (::pipe(fds) != 0) {
        sample.Result.Error = "pipe failed";
        return sample;
    }
    std::fflush(nullptr);
    const pid_t pid = ::fork();
    if (pid < 0) {
        sample.Result.Error = "fork failed";
        return sample;
    }
    if (pid == 0) {
        ::close(fds[0]);
        TWire wire{};
        TBenchResult result;
        wire.StartKb = StatusKb("VmRSS:");
        try {
            result = variant.Run(context);
        } catch (const std::exception& e) {
            result.Error = std::string("exception: ") + e.what();
        } catch (...) {
            result.Error = "unknown exception";
        }
        wire.PeakKb = StatusKb("VmHWM:");
        wire.Seconds = result.Seconds;
        wire.CpuSeconds = result.CpuSeconds;
        wire.FirstRowSeconds = result.FirstRowSeconds;
        wire.Checksum = result.Checksum;
        wire.Rows = result.Rows;
        wire.ErrorLength = static_cast<uint32_t>(result.Error.size());
        const bool ok = WriteAll(fds[1], &wire, sizeof wire) &&
                        WriteAll(fds[1], result.Error.data(), result.Error.size());
        // Skips the destructors of everything the parent built: the child only reports.
        ::_exit(ok ? 0 : 1);
    }
    ::close(fds[1]);
    TWire wire{};
    if (ReadAll(fds[0], &wire, sizeof wire)) {
        sample.Result.Seconds = wire.Seconds;
        sample.Result.CpuSeconds = wire.CpuSeconds;
        sample.Result.FirstRowSeconds = wire.FirstRowSeconds;
        sample.Result.Checksum = wire.Checksum;
        sample.Result.Rows = wire.Rows;
        sample.PeakKb = wire.PeakKb;
        sample.StartKb = wire.StartKb;
        sample.Result.Error.resize(wire.ErrorLength);
        if (wire.ErrorLength > 0 && !ReadAll(fds[0], sample.Result.Error.data(), wire.ErrorLength))
            sample.Result.Error = "short error message";
    } else {
        sample.Result.Error = "the child died before reporting";
    }
    ::close(fds[0]);
    int status = 0;
    ::waitpid(pid, &status, 0);
    if (sample.Result.Error.empty() && !(WIFEXITED(status) && WEXITSTATUS(status) == 0))
        sample.Result.Error = "the child ended abnormally";
    return sample;
}
