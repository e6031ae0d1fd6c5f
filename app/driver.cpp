// Model 317 as PAPPL sees it: sizes, sources, media types, colour modes and
// resolutions, all from the pipeline's capability query.
#include <algorithm>
#include <cstring>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "app/app.h"
#include "app/device_guard.h"
#include "app/streamed_upload.h"

namespace kzapp {
namespace {

constexpr const char* kSheetSource = "main";
constexpr const char* kRollSource = "main-roll";

// Rounded up: a margin PAPPL announces must be at least the real one.
int hundredthsMm(int32_t pixels, int32_t dpi) { return dpi > 0 ? static_cast<int>((pixels * 2540LL + dpi - 1) / dpi) : 0; }

// The raster resolutions the modes print at, coarsest first; PAPPL maps
// print-quality onto this list (draft the first, high the last) and the
// raster callbacks resample whatever arrives to the mode's own resolution.
std::vector<std::pair<int, int>> resolutions() {
    const size_t count = kzp_mode_count();
    std::set<std::pair<long, std::pair<int, int>>> byArea;
    for (size_t i = 0; i < count; ++i)
        byArea.insert({static_cast<long>(kzp_mode_at(i)->xdpi) * kzp_mode_at(i)->ydpi, {kzp_mode_at(i)->xdpi, kzp_mode_at(i)->ydpi}});
    std::vector<std::pair<int, int>> all;
    for (const auto& entry : byArea) all.push_back(entry.second);
    // At most PAPPL_MAX_RESOLUTION: keep the coarsest, the finest and the
    // ones in between that are evenly spread.
    if (all.size() > PAPPL_MAX_RESOLUTION) {
        std::vector<std::pair<int, int>> kept;
        for (int i = 0; i < PAPPL_MAX_RESOLUTION; ++i)
            kept.push_back(all[i * (all.size() - 1) / (PAPPL_MAX_RESOLUTION - 1)]);
        all = kept;
    }
    return all;
}

bool anyMode(bool (*test)(const kzp_mode_info&)) {
    const size_t count = kzp_mode_count();
    for (size_t i = 0; i < count; ++i)
        if (test(*kzp_mode_at(i))) return true;
    return false;
}

void fillReadyMedia(pappl_media_col_t& col, const kzp_paper& paper, const char* source, const char* type,
                    const pappl_pr_driver_data_t& driver) {
    col = {};
    papplCopyString(col.size_name, paper.pwg_name, sizeof col.size_name);
    col.size_width = paper.width_um / 10;
    col.size_length = paper.height_um / 10;
    col.left_margin = col.right_margin = driver.left_right;
    col.top_margin = col.bottom_margin = driver.bottom_top;
    papplCopyString(col.source, source, sizeof col.source);
    papplCopyString(col.type, type, sizeof col.type);
}

void identify(pappl_printer_t* printer, pappl_identify_actions_t, const char* message) {
    // The printer has no light or sound to drive: say it in the log, which the
    // web interface shows.
    papplLogPrinter(printer, PAPPL_LOGLEVEL_INFO, "Identify: %s", message && *message ? message : "here I am");
}

// The printer's four inks, for clients that show them.  It reports no ink
// levels over the wire, so each level is unknown (-1).
bool status(pappl_printer_t* printer) {
    if (papplPrinterGetSupplies(printer, 0, nullptr) > 0) return true;
    constexpr struct {
        pappl_supply_color_t colour;
        const char* name;
    } kInks[] = {{PAPPL_SUPPLY_COLOR_BLACK, "Black Ink"},
                 {PAPPL_SUPPLY_COLOR_CYAN, "Cyan Ink"},
                 {PAPPL_SUPPLY_COLOR_MAGENTA, "Magenta Ink"},
                 {PAPPL_SUPPLY_COLOR_YELLOW, "Yellow Ink"}};
    pappl_supply_t supplies[std::size(kInks)] = {};
    for (size_t i = 0; i < std::size(kInks); ++i) {
        supplies[i].color = kInks[i].colour;
        papplCopyString(supplies[i].description, kInks[i].name, sizeof supplies[i].description);
        supplies[i].is_consumed = true;
        supplies[i].level = -1;
        supplies[i].type = PAPPL_SUPPLY_TYPE_INK;
    }
    papplPrinterSetSupplies(printer, int(std::size(kInks)), supplies);
    return true;
}

// Every job's output starts here: its device opens first.
bool startJob(pappl_job_t* job, pappl_pr_options_t* options, pappl_device_t* device) {
    return deviceReady(job, device) && rasterStartJob(job, options, device);
}

// A streamed document cut short fails its job, at whichever point it stopped.
bool endJob(pappl_job_t* job, pappl_pr_options_t* options, pappl_device_t* device) {
    const bool ended = rasterEndJob(job, options, device);
    std::string why;
    if (streamedWhole(why) || papplJobIsCanceled(job)) return ended;
    papplJobSetMessage(job, "The document is incomplete: %s.", why.c_str());
    papplLogJob(job, PAPPL_LOGLEVEL_ERROR, "%s", papplJobGetMessage(job));
    return false;
}

bool printFile(pappl_job_t* job, pappl_pr_options_t* options, pappl_device_t* device) {
    return deviceReady(job, device) && printRawFile(job, options, device);
}

}  // namespace

bool borderedMargins(int& leftRight, int& bottomTop) {
    kzp_settings defaults = kzp_settings_default();
    kzp_page_format format = kzp_page_format_empty();
    if (kzp_resolve(&defaults, &format, nullptr, 0) != KZP_OK) return false;
    const int32_t right = format.paper_width_px - format.width_px - format.left_px;
    const int32_t bottom = format.paper_height_px - format.height_px - format.top_px;
    leftRight = hundredthsMm(std::max(format.left_px, right), format.mode->xdpi);
    bottomTop = hundredthsMm(std::max(format.top_px, bottom), format.mode->ydpi);
    return true;
}

bool fillDriver(pappl_system_t* system, const char* driver_name, const char*, const char*,
                pappl_pr_driver_data_t* driver, ipp_t** attrs, void*) {
    if (std::strcmp(driver_name, kDriverName) != 0) {
        papplLog(system, PAPPL_LOGLEVEL_ERROR, "No driver named '%s'; this application has '%s'.",
                 driver_name, kDriverName);
        return false;
    }
    driver->identify_cb = identify;
    driver->printfile_cb = printFile;
    driver->rstartjob_cb = startJob;
    driver->rstartpage_cb = rasterStartPage;
    driver->rwriteline_cb = rasterWriteLine;
    driver->rendpage_cb = rasterEndPage;
    driver->rendjob_cb = endJob;
    driver->status_cb = status;
    driver->testpage_cb = writeTestPage;
    driver->format = kNativeFormat;
    papplCopyString(driver->make_and_model, "Serial inkjet model 317", sizeof driver->make_and_model);
    driver->ppm = 6;
    driver->ppm_color = 4;
    driver->orient_default = IPP_ORIENT_NONE;
    driver->content_default = PAPPL_CONTENT_AUTO;
    driver->scaling_default = PAPPL_SCALING_AUTO;
    driver->quality_default = IPP_QUALITY_NORMAL;
    driver->duplex = PAPPL_DUPLEX_NONE;
    driver->sides_supported = PAPPL_SIDES_ONE_SIDED;
    driver->sides_default = PAPPL_SIDES_ONE_SIDED;
    driver->identify_supported = PAPPL_IDENTIFY_ACTIONS_DISPLAY;
    driver->identify_default = PAPPL_IDENTIFY_ACTIONS_DISPLAY;
    // The pipeline separates colour itself: it takes sRGB and sGray pages.
    driver->raster_types = PAPPL_PWG_RASTER_TYPE_SGRAY_8 | PAPPL_PWG_RASTER_TYPE_SRGB_8;

    const bool colour = anyMode([](const kzp_mode_info& m) { return m.mono == 0; });
    const bool mono = anyMode([](const kzp_mode_info& m) { return m.mono != 0; });
    const bool roll = anyMode([](const kzp_mode_info& m) { return m.roll != 0; });
    driver->color_supported = PAPPL_COLOR_MODE_AUTO | (colour ? PAPPL_COLOR_MODE_COLOR : 0) |
                              (mono ? PAPPL_COLOR_MODE_MONOCHROME : 0);
    driver->color_default = PAPPL_COLOR_MODE_AUTO;
    driver->kind = PAPPL_KIND_DOCUMENT | PAPPL_KIND_PHOTO | (roll ? PAPPL_KIND_ROLL : 0);

    const auto dpis = resolutions();
    driver->num_resolution = static_cast<int>(dpis.size());
    for (size_t i = 0; i < dpis.size(); ++i) {
        driver->x_resolution[i] = dpis[i].first;
        driver->y_resolution[i] = dpis[i].second;
    }

    // Margins: the default page's (PAPPL takes one pair for every size).
    kzp_settings defaults = kzp_settings_default();
    kzp_page_format format = kzp_page_format_empty();
    char why[512];
    if (kzp_resolve(&defaults, &format, why, sizeof why) != KZP_OK) {
        papplLog(system, PAPPL_LOGLEVEL_ERROR, "The default settings do not print: %s", why);
        return false;
    }
    driver->x_default = format.mode->xdpi;
    driver->y_default = format.mode->ydpi;
    borderedMargins(driver->left_right, driver->bottom_top);

    const size_t numPapers = kzp_paper_count();
    const kzp_paper* defaultPaper = nullptr;
    const kzp_paper* rollPaper = nullptr;
    const size_t numModes = kzp_mode_count();
    driver->borderless = false;
    for (size_t i = 0; i < numPapers && driver->num_media < PAPPL_MAX_MEDIA; ++i) {
        // Sizes known only by their code have no PWG name to offer.
        if (!pwgMediaForPWG(kzp_paper_at(i)->pwg_name)) continue;
        driver->media[driver->num_media++] = kzp_paper_at(i)->pwg_name;
        driver->borderless = driver->borderless || kzp_paper_at(i)->borderless;
        if (defaults.paper && !std::strcmp(kzp_paper_at(i)->pwg_name, defaults.paper)) defaultPaper = kzp_paper_at(i);
        for (size_t m = 0; m < numModes && !rollPaper; ++m)
            if (kzp_mode_at(m)->roll && kzp_mode_at(m)->paper_code == kzp_paper_at(i)->code) rollPaper = kzp_paper_at(i);
    }
    if (!defaultPaper && numPapers > 0) defaultPaper = kzp_paper_at(0);

    const size_t numTypes = kzp_media_count();
    for (size_t i = 0; i < numTypes && driver->num_type < PAPPL_MAX_TYPE; ++i) {
        // "code-N" types are raw codes for experts, not names for IPP clients.
        if (std::strncmp(kzp_media_at(i)->name, "code-", 5) == 0) continue;
        driver->type[driver->num_type++] = kzp_media_at(i)->name;
    }
    if (!defaultPaper || driver->num_type == 0) {
        papplLog(system, PAPPL_LOGLEVEL_ERROR, "The pipeline lists no paper sizes or media types.");
        return false;
    }
    const char* defaultType = defaults.media ? defaults.media : driver->type[0];

    driver->source[driver->num_source++] = kSheetSource;
    fillReadyMedia(driver->media_ready[0], *defaultPaper, kSheetSource, defaultType, *driver);
    if (rollPaper) {
        driver->source[driver->num_source++] = kRollSource;
        fillReadyMedia(driver->media_ready[1], *rollPaper, kRollSource, defaultType, *driver);
    }
    driver->media_default = driver->media_ready[0];

    // The best mode, where the capability query has one: a job attribute of
    // the printer's own, with its default (the printing defaults page shows
    // it as a check box).
    if (anyMode([](const kzp_mode_info& m) { return m.quality == KZP_QUALITY_BEST; })) {
        driver->vendor[driver->num_vendor++] = kBestQuality;
        *attrs = ippNew();
        ippAddBoolean(*attrs, IPP_TAG_PRINTER, (std::string(kBestQuality) + "-default").c_str(), 0);
        ippAddBoolean(*attrs, IPP_TAG_PRINTER, (std::string(kBestQuality) + "-supported").c_str(), 1);
    }
    return true;
}

// Auto-add: every key of the configured partial device ID must be in the
// device's ID with the same value (case does not matter).
const char* matchAutoAdd(const char*, const char*, const char* device_id, void* data) {
    const auto* config = static_cast<const Config*>(data);
    if (!config || config->autoAddMatch.empty() || !device_id) return nullptr;
    cups_option_t* want = nullptr;
    cups_option_t* have = nullptr;
    const int numWant = papplDeviceParseID(config->autoAddMatch.c_str(), &want);
    const int numHave = papplDeviceParseID(device_id, &have);
    // The long and the short key name mean the same.
    auto lookup = [&](const char* key) -> const char* {
        static const char* const aliases[][2] = {{"MFG", "MANUFACTURER"}, {"MDL", "MODEL"}, {"CMD", "COMMAND SET"}};
        if (const char* v = cupsGetOption(key, numHave, have)) return v;
        for (const auto& alias : aliases) {
            if (!strcasecmp(key, alias[0])) return cupsGetOption(alias[1], numHave, have);
            if (!strcasecmp(key, alias[1])) return cupsGetOption(alias[0], numHave, have);
        }
        return nullptr;
    };
    bool match = numWant > 0;
    for (int i = 0; i < numWant && match; ++i) {
        const char* value = lookup(want[i].name);
        match = value && !strcasecmp(value, want[i].value);
    }
    cupsFreeOptions(numWant, want);
    cupsFreeOptions(numHave, have);
    return match ? kDriverName : nullptr;
}

}  // namespace kzapp
