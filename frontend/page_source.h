// Pages as every front end reads them: a header, then rows top to bottom.
//
// Readers (PNG, JPEG, PNM, PWG and CUPS raster, documents through
// Ghostscript) give pages through this interface, and the placement and the
// strip loop take them from it, so that the command line, the CUPS filter
// and the printer application read, place and print every input the same
// way.  A reader checks every size it reads before it takes memory for it
// (frontend/limits.h) and reports damaged or truncated data as a failure that
// names the file and what is missing, never as a short page.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace kzfront {

// Samples of a row: 8 bits each, chunky.
enum class PixelFormat : uint8_t {
    Gray8,  // 0 black .. 255 white
    Rgb8,   // sRGB
    Cmyk8,  // 0 no ink .. 255 full ink
};
constexpr int channels(PixelFormat f) { return f == PixelFormat::Gray8 ? 1 : f == PixelFormat::Rgb8 ? 3 : 4; }

enum class Turn : uint8_t { None, Clockwise, Counterclockwise };

// How a page relates to the paper.
enum class PageKind : uint8_t {
    // A picture (PNG, JPEG, PNM, or a document page rendered at its own
    // size): fitted, filled or scaled onto the printable area, turned a
    // quarter when that fits better.
    Picture,
    // Already the size and resolution of the printable area (a document page
    // Ghostscript rendered to fit it): copied as it is, centred.
    Area,
    // A page rendered for a sheet (PWG or CUPS raster): its resolution, page
    // size and imaging box say where each pixel lies on the paper.
    Raster,
};

// Where a raster page lies on its sheet, from its header (integers only).
struct RasterGeometry {
    uint32_t xdpi = 0, ydpi = 0;        // HWResolution / PageHeader::reduced: the rows' own
    uint32_t pageWidthPt = 0, pageHeightPt = 0;  // PageSize, points
    uint32_t imagingBoxPt[4] = {};      // left, bottom, right, top; all 0 when the header gives none
};

// What a CUPS raster page's header asks for (the PPD's choices), for the
// settings translation: strings read with their length and cut at the first
// NUL, numbers as they stand.  Empty and 0 when the header does not say.
struct RasterOptions {
    std::string pageSizeName;    // cupsPageSizeName, e.g. "A4" or "4x6.Fullbleed"
    std::string mediaType;       // MediaType
    uint32_t mediaTypeCode = 0;  // cupsMediaType
    uint32_t mediaPosition = 0;  // MediaPosition
    uint32_t numCopies = 0;      // NumCopies: the copies the RIP left to the printer
    bool collate = false;        // Collate
    uint32_t integers[16] = {};  // cupsInteger[]
};

struct PageHeader {
    int32_t width = 0, height = 0;  // pixels, within the limits of frontend/limits.h
    PixelFormat format = PixelFormat::Rgb8;
    PageKind kind = PageKind::Picture;
    // The way a picture turns when it lies across the area: counterclockwise,
    // as Ghostscript turns the document pages it fits and as IPP's landscape
    // is, so that a picture and the same picture in a PDF print alike.
    Turn turn = Turn::Counterclockwise;
    bool grey = false;  // the source has no colour
    double ppi = 0;     // pixels per inch the file states; 0 when it does not say
    // The file was reduced while reading by this whole factor (1: as it is),
    // to stay within the page budget or near the size it prints at; ppi
    // stays the file's.
    int32_t reduced = 1;
    RasterGeometry raster;  // PageKind::Raster
    RasterOptions options;  // PageKind::Raster
};

// The pages of one input.
class PageSource {
public:
    virtual ~PageSource() = default;
    // The next page: true with `page` set; false at the end (`error` empty) or
    // on a fault (`error` names the input and what is wrong or missing).  Rows
    // of the previous page not read are skipped.
    virtual bool nextPage(PageHeader& page, std::string& error) = 0;
    // The current page's next `count` rows (at least 1, not past its height),
    // width * channels(format) bytes each, packed; false with `error` when the
    // data is damaged or ends early.
    virtual bool readRows(uint8_t* rows, int32_t count, std::string& error) = 0;
    // How many pages there are, when that is known without reading them
    // (for progress); 0 when not.
    virtual int32_t pageCount() { return 0; }
};

}  // namespace kzfront
