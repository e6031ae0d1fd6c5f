// PNG and JPEG: read and placed by the picture library kzrqo317-print uses
// (frontend/), so that each picture is resampled once, with pixman's
// filters, to the print mode's area.  PAPPL's own readers are not used: they
// sample by nearest pixel to the raster's resolution (which the raster
// callbacks sample again to the mode's), and PAPPL 1.3's PNG reader spins
// forever on a file that ends early.  A damaged or oversized file fails its
// job with the reason.
#include <algorithm>
#include <cctype>
#include <cstring>
#include <string>
#include <vector>

#include "app/app.h"
#include "frontend/input/open_pages.h"
#include "frontend/place.h"

namespace kzapp {
namespace {

using kzprint::Fit;
using kzprint::Picture;
using kzprint::Turn;

bool refuse(pappl_job_t* job, const std::string& why) {
    papplLogJob(job, PAPPL_LOGLEVEL_ERROR, "%s", why.c_str());
    papplJobSetMessage(job, "%s", why.c_str());
    return false;
}

// The reader's message as a sentence, without the spool file's name.
std::string sentence(std::string message, const std::string& path) {
    if (message.compare(0, path.size() + 2, path + ": ") == 0) message.erase(0, path.size() + 2);
    if (!message.empty())
        message[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(message[0])));
    return message + ".";
}

// orientation-requested: landscape turns counterclockwise, reverse landscape
// clockwise; none turns a picture that lies across the paper as documents
// turn.  Portrait and reverse portrait print upright (no half turn here).
Turn turnFor(ipp_orient_t orientation, const Picture& p, const kzp_page_format& f) {
    switch (orientation) {
        case IPP_ORIENT_PORTRAIT:
        case IPP_ORIENT_REVERSE_PORTRAIT:
            return Turn::None;
        case IPP_ORIENT_LANDSCAPE:
            return Turn::Counterclockwise;
        case IPP_ORIENT_REVERSE_LANDSCAPE:
            return Turn::Clockwise;
        default:
            return kzprint::turnToFit(p.width, p.height, f.width_px, f.height_px,
                                      Turn::Counterclockwise);
    }
}

struct Scaling {
    Fit fit;
    double percent;  // of the fitted or filled size
};

// print-scaling as PAPPL's image filter reads it: 'fit' and 'fill' as named;
// 'auto' fits (fills when borderless) and 'auto-fit' fits a picture larger
// than the area; a smaller one, and any with 'none', prints at its own size
// (72 pixels per inch when the file does not say), centred.
Scaling scalingFor(pappl_scaling_t asked, const Picture& p, Turn turn, const kzp_page_format& f) {
    const bool turned = turn != Turn::None;
    const double w = turned ? p.height : p.width, h = turned ? p.width : p.height;
    const double natural =
        f.mode->xdpi / (p.ppi > 0 ? p.ppi : 72.0);  // area pixels per picture pixel
    const bool larger = w * natural > f.width_px || h * natural > f.height_px;
    const bool autoScaled = asked == PAPPL_SCALING_AUTO || asked == PAPPL_SCALING_AUTO_FIT;
    if (asked == PAPPL_SCALING_FILL || (asked == PAPPL_SCALING_AUTO && larger && f.mode->borderless))
        return {Fit::Fill, 100};
    if (asked == PAPPL_SCALING_FIT || (autoScaled && larger)) return {Fit::Fit, 100};
    return {Fit::Fit, 100 * natural / std::min(f.width_px / w, f.height_px / h)};
}

}  // namespace

bool printPicture(pappl_job_t* job, pappl_device_t* device, void*) {
    const std::string path = papplJobGetFilename(job);
    const char* format = papplJobGetFormat(job);
    kzfront::OpenOptions open;
    if (format) open.declaredFormat = format;
    std::string error;
    auto source = kzfront::openPages(path, open, error);
    kzfront::PageHeader header;
    Picture picture;
    if (!source || !source->nextPage(header, error) || !kzprint::readPicture(*source, header, picture, error))
        return refuse(job, sentence(error, path));

    pappl_pr_options_t* options = papplJobCreatePrintOptions(job, 1, !picture.grey);
    pappl_pr_driver_data_t driver;
    papplPrinterGetDriverData(papplJobGetPrinter(job), &driver);
    if (!(driver.rstartjob_cb)(job, options, device)) {
        papplJobDeletePrintOptions(options);
        return false;
    }
    const kzp_page_format f = *rasterFormat(job);
    const Turn turn = turnFor(options->orientation_requested, picture, f);
    const Scaling scaling = scalingFor(options->print_scaling, picture, turn, f);
    kzprint::Placement placement(std::move(picture), f.width_px, f.height_px, scaling.fit,
                                 scaling.percent, turn);
    papplLogJob(job, PAPPL_LOGLEVEL_INFO, "Picture %s at %.0f%% of its %s size%s",
                placement.resampled() ? "resampled" : "copied", scaling.percent,
                scaling.fit == Fit::Fill ? "filled" : "fitted",
                turn != Turn::None ? ", turned" : "");

    const int copies = std::max(1, options->copies);
    papplJobSetImpressions(job, copies);
    constexpr int32_t kStrip = 64;
    std::vector<uint8_t> strip(static_cast<size_t>(f.width_px) * 3 * kStrip);
    bool ok = true;
    for (int copy = 1; copy <= copies && ok && !papplJobIsCanceled(job); ++copy) {
        ok = rasterStartArea(job, static_cast<unsigned>(copy), false);
        for (int32_t y = 0; y < f.height_px && ok && !papplJobIsCanceled(job); y += kStrip) {
            const int32_t rows = std::min(kStrip, f.height_px - y);
            placement.lines(y, rows, strip.data());
            for (int32_t r = 0; r < rows && ok; ++r)
                ok = (driver.rwriteline_cb)(job, options, device, static_cast<unsigned>(y + r),
                                            strip.data() + static_cast<size_t>(r) * f.width_px * 3);
        }
        // A cancelled or broken page still ends, so the paper leaves the printer.
        ok = (driver.rendpage_cb)(job, options, device, static_cast<unsigned>(copy)) && ok;
        papplJobSetImpressionsCompleted(job, 1);
    }
    ok = (driver.rendjob_cb)(job, options, device) && ok;
    papplJobDeletePrintOptions(options);
    return ok;
}

}  // namespace kzapp
