// Replays the committed fuzz corpus through the fuzz target: every input that
// once found a fault, and the seeds, run on every build (with the sanitizers
// in the sanitizer build).
#include <gtest/gtest.h>

#include <exception>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <typeinfo>
#include <vector>

#include "fuzz/text_fuzz_target.h"

namespace {

// Next to this source file. A compiler cache may make __FILE__ relative to
// the folder the test was compiled in, which is where its executable lives,
// so a relative path is tried from there as well as from the current folder.
std::filesystem::path CorpusFolder() {
    const std::filesystem::path here = std::filesystem::path(__FILE__).parent_path() / "corpus";
    if (here.is_absolute() || std::filesystem::is_directory(here)) return here;
    std::error_code error;
    const std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", error);
    if (!error && std::filesystem::is_directory(exe.parent_path() / here)) return exe.parent_path() / here;
    return here;
}

TEST(FuzzCorpus, EveryCorpusInputRunsThroughTheTargetCleanly) {
    std::vector<std::filesystem::path> files;
    for (const auto& entry : std::filesystem::directory_iterator(CorpusFolder()))
        if (entry.is_regular_file()) files.push_back(entry.path());
    ASSERT_FALSE(files.empty()) << "no corpus in " << CorpusFolder();
    for (const auto& file : files) {
        std::ifstream in(file, std::ios::binary);
        ASSERT_TRUE(in) << file;
        const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        try {
            LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
        } catch (const std::exception& e) {
            ADD_FAILURE() << file.filename() << " let " << typeid(e).name() << " escape: " << e.what();
        }
    }
}

} // namespace
