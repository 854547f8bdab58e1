#include "bench/BenchHarness.h"
void BenchAddStatementVariants(std::vector<TBenchVariant>&) {}
