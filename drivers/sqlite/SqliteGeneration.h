// The driver's own generation mark: every translation unit that includes the
// driver's public headers references a symbol only the driver of its
// generation defines, so a program built for generation 5 does not link
// against lmrsqlite3 (which would bring lmrpack3 along with it).
#pragma once

#include "host/Generation.h"

// lmr_sqlite_generation_5, lmr_sqlite_generation_4 or lmr_sqlite_generation_3.
#define LMR_SQLITE_GENERATION_SYMBOL LMR_GENERATION_CONCAT(lmr_sqlite_generation_, LMR_HOST_GENERATION)

extern "C" {
extern const int LMR_SQLITE_GENERATION_SYMBOL;
}

namespace host::generation_check {
[[gnu::used]] static const int* const LinkedSqliteGeneration = &LMR_SQLITE_GENERATION_SYMBOL;
} // namespace host::generation_check
