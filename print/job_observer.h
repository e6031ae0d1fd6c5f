// A seam for tests: every raster line the job gives the driver, as given.
#pragma once

#include <functional>

#include "kzrqo317/print.h"
#include "kzrqo317/records.h"

namespace kzp {

using LineObserver = std::function<void(const RasterInfo&)>;
void setLineObserver(kzp_job* job, LineObserver observer);

// Printed dots per input pixel of a plane: the printer prints each line of
// the 300 dpi qualities twice, widens its pixels on plain paper at normal
// quality, and splits the black pixels of those two lines between them.
int dotsPerPixel(const kzp_mode_info& mode, int plane);

}  // namespace kzp
