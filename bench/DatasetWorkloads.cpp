#include "bench/BenchHarness.h"
void BenchAddDatasetVariants(std::vector<TBenchVariant>&) {}
