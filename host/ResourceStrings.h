// Resource strings: messages with a stable identifier whose text is fetched
// at the moment of use, so an application can replace (translate) any of
// them process-wide before or while it runs.
#pragma once

#include <string>
#include <string_view>

namespace host {

struct TResStringRec {
    const char* Identifier; // stable name, e.g. "SInvalidInteger"
    const char* Text;       // built-in text
};

// Declares a resource string constant whose identifier is its own name:
//   HOST_RESOURCESTRING(SNoData, "No data")
#define HOST_RESOURCESTRING(Name, Text) inline constexpr ::host::TResStringRec Name{#Name, Text};

// The current text of rec: its override if one is set, else rec.Text.
// Safe to call from any thread.
std::string LoadResString(const TResStringRec& rec);
// Replaces the text of every resource string with this identifier.
void SetResStringOverride(std::string_view identifier, std::string_view text);
// Removes one override / every override.
void ClearResStringOverride(std::string_view identifier);
void ClearResStringOverrides();

} // namespace host
