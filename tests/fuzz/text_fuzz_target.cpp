// The fuzz target (see text_fuzz_target.h). Built into the corpus replay
// test; for a libFuzzer campaign compile this file alone, from the top of
// the tree, with clang++ -std=c++20 -fsanitize=fuzzer,address,undefined
// -I. -Itests, linked against the library and the SQLite driver, and run it
// on tests/fuzz/corpus.
#include "fuzz/text_fuzz_target.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <span>
#include <string>
#include <vector>

#include "LmrUtil/LmrUtil.h"
#include "drivers/sqlite/SqliteCursor.h"
#include "host/DateTime.h"
#include "host/Exceptions.h"
#include "host/SysUtils.h"
#include "host/Variant.h"

namespace {

[[noreturn]] void Broken(const char* what, const std::string& input) {
    std::fprintf(stderr, "invariant broken: %s for input of %zu bytes\n", what, input.size());
    std::abort();
}

size_t Parts(const std::string& list) {
    if (list.empty()) return 0;
    size_t n = 1;
    for (char c : list)
        n += c == ';' ? 1 : 0;
    return n;
}

void SqlAnalysis(const std::string& text) {
    (void)LmrGetTableNameFromSQL(text);
    (void)LmrGetParamsFromSQL(text);
    std::string directions;
    const std::string columns = LmrGetOrderByFromSQL(text, directions);
    // The lists are ";"-separated and a name may hold ";" itself: without one
    // in the text they pair up.
    if (text.find(';') == std::string::npos && Parts(columns) != Parts(directions))
        Broken("order-by columns and directions pair up", text);

    std::string rewritten;
    const std::vector<std::string> names = LmrScanParams(text, rewritten);
    if (rewritten.size() > text.size()) Broken("the escape rewrite never lengthens the text", text);
    std::string again;
    (void)LmrScanParams(rewritten, again);
    (void)SqliteHostVariableTexts(text);
    (void)SqliteHostVariableTexts(rewritten);
    for (const std::string& n : names)
        if (n.find('\0') != std::string::npos) Broken("a name ends at the text's end", text);
}

template <class F> void Converting(F&& f) {
    try {
        f();
    } catch (const host::EConvertError&) {
    }
}

void VariantText(const std::string& text) {
    const host::Variant v(text);
    Converting([&] { (void)v.AsInteger(); });
    Converting([&] { (void)v.AsSmallint(); });
    Converting([&] { (void)v.AsByte(); });
    Converting([&] { (void)v.AsBoolean(); });
    Converting([&] {
        const int64_t i = v.AsInt64();
        if (host::Variant(host::Variant(i).AsString()).AsInt64() != i)
            Broken("an int64 reads back from its text", text);
    });
    Converting([&] {
        const double d = v.AsDouble();
        if (std::isfinite(d) && host::Variant(host::Variant(d).AsString()).AsDouble() != d)
            Broken("a double reads back from its text", text);
    });
    Converting([&] {
        const host::Currency c = v.AsCurrency();
        if (host::Currency::Parse(c.ToString()) != c) Broken("a currency reads back from its text", text);
    });
    Converting([&] {
        const host::TDateTime d = v.AsDateTime();
        const host::TDateTime back = host::StrToDateTime(host::DateTimeToStr(d));
        if (host::DateTimeToTimeStamp(back).Time != host::DateTimeToTimeStamp(d).Time ||
            host::DateTimeToTimeStamp(back).Date != host::DateTimeToTimeStamp(d).Date)
            Broken("a date-time reads back from its text", text);
    });
    Converting([&] { (void)host::StrToDate(text); });
    Converting([&] { (void)host::StrToTime(text); });
}

void Formatting(const std::string& text) {
    static const host::Variant args[] = {host::Variant(42),
                                         host::Variant(int64_t{-7}),
                                         host::Variant(1.5e100),
                                         host::Variant("text"),
                                         host::Variant(host::Currency::FromScaled(INT64_MIN)),
                                         host::Variant(3)};
    Converting([&] { (void)host::Format(text, std::span<const host::Variant>(args)); });
    // Sizes taken from "*" come from the arguments: give huge ones too.
    static const host::Variant huge[] = {host::Variant(2147483647), host::Variant(2000000000),
                                         host::Variant(-1.0)};
    Converting([&] { (void)host::Format(text, std::span<const host::Variant>(huge)); });
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    SqlAnalysis(text);
    VariantText(text);
    Formatting(text);
    return 0;
}
