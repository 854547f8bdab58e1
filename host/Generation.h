// Which host generation the code including the library's headers is built
// for. The three deliverables differ in their classes' layouts and virtual
// tables, so code compiled for one generation must never meet another
// generation's library: a missing generation stops the compile, and every
// translation unit that includes these headers references a symbol only the
// library of its own generation defines, so a mismatch stops the link.
#pragma once

#ifndef LMR_HOST_GENERATION
#error "LMR_HOST_GENERATION is not defined: build with the LumraDB target of your generation \
(find_package(LumraDB): LumraDB::lmrpack5, pkg-config lumradb5) or pass -DLMR_HOST_GENERATION=5, 4 or 3"
#elif LMR_HOST_GENERATION != 3 && LMR_HOST_GENERATION != 4 && LMR_HOST_GENERATION != 5
#error "LMR_HOST_GENERATION must be 5, 4 or 3"
#endif

#define LMR_GENERATION_CONCAT2(a, b) a##b
#define LMR_GENERATION_CONCAT(a, b) LMR_GENERATION_CONCAT2(a, b)
// lmr_host_generation_5, lmr_host_generation_4 or lmr_host_generation_3.
#define LMR_GENERATION_SYMBOL LMR_GENERATION_CONCAT(lmr_host_generation_, LMR_HOST_GENERATION)

extern "C" {
extern const int LMR_GENERATION_SYMBOL;
}

namespace host::generation_check {
// Kept in every object file (even unused and optimised), so its relocation
// asks the linker for the generation's symbol.
[[gnu::used]] static const int* const LinkedGeneration = &LMR_GENERATION_SYMBOL;
} // namespace host::generation_check

// Operations that later generations export but generation 3 keeps inside
// the library: declared with this, they stay callable within the library and
// are missing from its export list.
#if LMR_HOST_GENERATION == 3
#define LMR_GEN3_INTERNAL [[gnu::visibility("hidden")]]
#else
#define LMR_GEN3_INTERNAL
#endif
