// What the person printing asks for, from each front end's words, and the
// one policy for settings that do not print.
//
// The command line's options, the IPP attributes PAPPL hands the printer
// application and the choices a CUPS raster page's header carries all become
// a Request; resolveRequest() turns it into pipeline settings and a page
// format.  When the request has no print mode, Policy::Nearest takes the
// nearest settings that print and says what changed; Policy::Strict refuses
// with the pipeline's message (what that paper and media allow).
#pragma once

#include <cups/ipp.h>

#include <cstdint>
#include <string>

#include "frontend/page_source.h"
#include "kzrqo317/print.h"

namespace kzfront {

enum class Colour : uint8_t {
    Colour,     // colour inks
    Grey,       // shades of grey: black ink only where the mode has it, else grey from the colour inks
    BlackOnly,  // black ink only, or nothing (--mono)
};

struct Request {
    std::string paper = "iso_a4_210x297mm";  // a kzp_paper pwg_name, or code-N
    std::string media = "plain";             // a kzp_media name, or code-N
    kzp_quality quality = KZP_QUALITY_NORMAL;
    Colour colour = Colour::Colour;
    bool borderless = false;
    bool roll = false;
    kzp_dither dither = KZP_DITHER_AUTO;
    std::string icc;  // output profile, or empty
};

enum class Policy : uint8_t {
    Nearest,  // the nearest settings that print: quality first, then borderless, then the colour mode
    Strict,   // as asked or not at all (grey may still print with colour inks: that is what grey means)
};

// What the nearest settings changed; all false when they are as asked.
struct Changes {
    bool quality = false;     // another quality (Resolved::quality says which)
    bool margins = false;     // with margins instead of borderless
    bool colour = false;      // colour instead of black only, or black only instead of colour
    bool greyInColour = false;  // grey asked, printed with colour inks (no black-only mode here)
    // A change to the request, not only grey in colour inks.
    bool any() const { return quality || margins || colour; }
};

struct Resolved {
    Request request;  // the settings that print (after any change)
    kzp_page_format format = kzp_page_format_empty();
    Changes changes;
    // kzp_resolve's words for the request as asked, when it had no print mode
    // (what that paper and media allow); empty when it printed as asked.
    std::string reason;
    // The pipeline's settings; they point into `request`, so they live as
    // long as this object and its request stay unchanged.
    kzp_settings settings() const;
    // The changes in words: "high quality, with margins"; empty when none.
    std::string changed() const;
};

// Resolves `asked` under `policy`.  False with `error` (kzp_resolve's
// message for the request as asked) when nothing prints.
bool resolveRequest(const Request& asked, Policy policy, Resolved& out, std::string& error);

// Same settings: pages can share one job.
bool sameSettings(const Request& a, const Request& b);

// Command-line words: "draft", "normal", "high", "best"; "auto", "fast",
// "quality".  False when the word is not one of them.
bool qualityFromWord(const std::string& word, kzp_quality& quality);
bool ditherFromWord(const std::string& word, kzp_dither& dither);

// IPP job attributes as PAPPL hands them (keywords as IPP spells them).
struct IppAttributes {
    std::string mediaSizeName;  // media-col/media-size-name, e.g. "iso_a4_210x297mm"
    std::string mediaType;      // media-col/media-type; empty: plain
    std::string mediaSource;    // media-col/media-source, e.g. "main" or "main-roll"
    int32_t margins[4] = {1, 1, 1, 1};  // media-col left, right, top, bottom margins (all 0: borderless)
    ipp_quality_t quality = IPP_QUALITY_NORMAL;  // print-quality
    bool best = false;                           // the printer's own attribute for the best mode, whatever the quality
    std::string colourMode = "auto";  // print-color-mode
    bool greyContent = false;         // the document has no colour (for "auto")
};
Request requestFromIpp(const IppAttributes& ipp);

// The choices of this printer's PPD a CUPS raster page's header carries
// (frontend/ppd_names.h says which field holds which), resolved strictly:
// the PPD's constraints forbid what does not print.  Grey pages print grey.
// A page made without this PPD gives no quality: the quality whose mode
// prints at the raster's resolution is taken, else normal.  False with
// `error` (in words for the person printing) for a page size, media or
// choice the printer does not have, or settings without a print mode.
bool resolveRaster(const PageHeader& page, Resolved& out, std::string& error);

}  // namespace kzfront
