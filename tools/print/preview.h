// --preview: what the printer would print, drawn by the stream inspector.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace kzprint {

// Writes one PNG per page (path, then path-2.png ...); false with `error`.
bool writePreview(const std::vector<uint8_t>& stream, const std::string& path, std::string& error);

}  // namespace kzprint
