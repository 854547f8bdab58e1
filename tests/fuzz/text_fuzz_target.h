// One fuzz target over the library's text readers: SQL text analysis, the
// parameter scan, the Variant's text conversions and Format. Every input is
// tried on all of them; an invariant that does not hold aborts, and an
// exception other than host::EConvertError escapes, so either shows up as a
// crash under libFuzzer and as a failure in the corpus replay.
#pragma once

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);
