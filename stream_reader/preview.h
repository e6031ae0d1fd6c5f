// A preview of printer bytes: what the printer would print, one PNG per page.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace kzinspect {

// Writes one PNG per page (path, then path-2.png ...); false with `error`.
bool writePreview(const std::vector<uint8_t>& stream, const std::string& path, std::string& error);

}  // namespace kzinspect
