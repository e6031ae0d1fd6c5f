// The settings translation with any words: command-line words, IPP
// attributes and CUPS page headers, under both policies.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdlib>

#include "frontend/settings.h"

namespace {

std::string word(FuzzedDataProvider& in) {
    // Mostly names the printer has, so that the paths past the names run.
    static const char* const kWords[] = {"iso_a4_210x297mm", "na_index-4x6_4x6in", "a4", "4x6", "A5", "plain", "photo",
                                         "photo-best", "code-3", "code-99999999999", "main", "main-roll", "auto",
                                         "color", "monochrome", "A4.Fullbleed", "4x6.Fullbleed", ""};
    return in.ConsumeBool() ? kWords[in.ConsumeIntegralInRange<size_t>(0, std::size(kWords) - 1)]
                            : in.ConsumeRandomLengthString(40);
}

void check(bool ok, const kzfront::Resolved& r) {
    if (!ok) return;
    if (!r.format.mode) std::abort();  // printable settings always name their mode
    const kzp_settings s = r.settings();
    (void)s;
    (void)r.changed();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider in(data, size);
    std::string error;
    kzfront::Resolved out;

    kzfront::Request asked;
    asked.paper = word(in);
    asked.media = word(in);
    kzfront::qualityFromWord(word(in), asked.quality);
    kzfront::ditherFromWord(word(in), asked.dither);
    asked.colour = kzfront::Colour(in.ConsumeIntegralInRange<int>(0, 2));
    asked.borderless = in.ConsumeBool();
    asked.roll = in.ConsumeBool();
    for (auto policy : {kzfront::Policy::Nearest, kzfront::Policy::Strict}) check(kzfront::resolveRequest(asked, policy, out, error), out);

    kzfront::IppAttributes ipp;
    ipp.mediaSizeName = word(in);
    ipp.mediaType = word(in);
    ipp.mediaSource = word(in);
    for (auto& m : ipp.margins) m = in.ConsumeIntegral<int32_t>();
    ipp.quality = ipp_quality_t(in.ConsumeIntegralInRange<int>(IPP_QUALITY_DRAFT, IPP_QUALITY_HIGH));  // as PAPPL checks it
    ipp.best = in.ConsumeBool();
    ipp.colourMode = word(in);
    ipp.greyContent = in.ConsumeBool();
    check(kzfront::resolveRequest(kzfront::requestFromIpp(ipp), kzfront::Policy::Nearest, out, error), out);

    kzfront::PageHeader page;
    page.kind = kzfront::PageKind::Raster;
    page.format = kzfront::PixelFormat(in.ConsumeIntegralInRange<int>(0, 2));
    page.width = in.ConsumeIntegralInRange<int32_t>(1, 20000);
    page.height = in.ConsumeIntegralInRange<int32_t>(1, 20000);
    page.grey = in.ConsumeBool();
    page.raster.xdpi = in.ConsumeIntegral<uint32_t>();
    page.raster.ydpi = in.ConsumeIntegral<uint32_t>();
    page.raster.pageWidthPt = in.ConsumeIntegral<uint32_t>();
    page.raster.pageHeightPt = in.ConsumeIntegral<uint32_t>();
    for (auto& v : page.raster.imagingBoxPt) v = in.ConsumeIntegral<uint32_t>();
    page.options.pageSizeName = word(in);
    page.options.mediaType = word(in);
    page.options.mediaTypeCode = in.ConsumeIntegral<uint32_t>();
    page.options.mediaPosition = in.ConsumeIntegral<uint32_t>();
    for (auto& v : page.options.integers) v = in.ConsumeIntegralInRange<uint32_t>(0, in.ConsumeBool() ? 8 : UINT32_MAX);
    check(kzfront::resolveRaster(page, out, error), out);
    return 0;
}
