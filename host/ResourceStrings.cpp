// The process-wide table of replaced resource-string texts.
#include "host/ResourceStrings.h"

#include <map>
#include <mutex>

namespace host {

namespace {

struct OverrideTable {
    std::mutex Lock;
    std::map<std::string, std::string, std::less<>> Texts;
};

OverrideTable& Overrides() {
    static OverrideTable table;
    return table;
}

} // namespace

std::string LoadResString(const TResStringRec& rec) {
    OverrideTable& t = Overrides();
    {
        std::lock_guard<std::mutex> guard(t.Lock);
        if (!t.Texts.empty() && rec.Identifier) {
            const auto it = t.Texts.find(std::string_view(rec.Identifier));
            if (it != t.Texts.end()) return it->second;
        }
    }
    return rec.Text ? rec.Text : "";
}

void SetResStringOverride(std::string_view identifier, std::string_view text) {
    OverrideTable& t = Overrides();
    std::lock_guard<std::mutex> guard(t.Lock);
    t.Texts.insert_or_assign(std::string(identifier), std::string(text));
}

void ClearResStringOverride(std::string_view identifier) {
    OverrideTable& t = Overrides();
    std::lock_guard<std::mutex> guard(t.Lock);
    const auto it = t.Texts.find(identifier);
    if (it != t.Texts.end()) t.Texts.erase(it);
}

void ClearResStringOverrides() {
    OverrideTable& t = Overrides();
    std::lock_guard<std::mutex> guard(t.Lock);
    t.Texts.clear();
}

} // namespace host
