// The paper sizes and media types the capability query offers.
#pragma once

#include <cstddef>
#include <span>

#include "kzrqo317/print.h"

namespace kzp {

std::span<const kzp_paper> papers();
std::span<const kzp_media> mediaTypes();
// NULL when unknown.  A paper goes by its PWG name or its short name (any
// case); "code-N" finds a paper by its code; a media "code-N"
// works for any code N (unknown codes act as plain paper, loading otherwise).
const kzp_paper* findPaper(const char* name);
const kzp_media* findMedia(const char* name);

}  // namespace kzp
