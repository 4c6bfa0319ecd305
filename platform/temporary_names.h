// The names of a state file's temporary siblings, <name>.XXXXXX, alike on every platform so that
// a crash's leftovers are found whichever build wrote them.
#pragma once

#include <cstddef>
#include <functional>
#include <string_view>

namespace platform {

// mkostemp's six characters, which the Windows build imitates.
inline constexpr std::size_t kTempSuffixSize = 6;

// True for <name>.XXXXXX (letters and digits) with a name `ours` accepts.
bool isTemporaryOf(std::string_view entry, const std::function<bool(std::string_view)>& ours);

}  // namespace platform
