// The library's generation mark, the one symbol that the generation check in
// host/Generation.h asks every translation unit's link for.
#include "host/Generation.h"

extern "C" {
[[gnu::visibility("default")]] extern const int LMR_GENERATION_SYMBOL = LMR_HOST_GENERATION;
}
