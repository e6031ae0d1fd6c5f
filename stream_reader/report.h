// What the inspector prints for each sub-command, as text for a person or
// JSON for tests and scripts.
#pragma once

#include <string>

#include "stream_reader/stream.h"

namespace kzinspect {

enum class Command { Check, Dump, Stats };

// `scans` adds the scans of each page to the text of stats (JSON always has them).
std::string report(const Stream& stream, Command command, bool json, bool scans = false);

}  // namespace kzinspect
