// The driver's generation mark, asked for by drivers/sqlite/SqliteGeneration.h.
#include "drivers/sqlite/SqliteGeneration.h"

extern "C" {
[[gnu::visibility("default")]] extern const int LMR_SQLITE_GENERATION_SYMBOL = LMR_HOST_GENERATION;
}
