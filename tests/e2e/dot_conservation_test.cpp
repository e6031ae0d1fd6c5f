// Dot conservation through the stream inspector: random pages in every print
// mode the settings reach, with margins and borderless, cut-sheet and banner,
// long enough for the bottom-edge and kick-off phases.
//
// What is checked, per page of the job and per colour plane:
//  - every page pixel receives exactly the dots the model gives (see
//    support/dot_model.h): one per 1-bit pixel; for a multi-level pixel, the
//    dots its band's pass select rows give its level and phase;
//  - hence every 1-bit plane fires as many dots as pixels were given (after
//    the doubling of the draft and standard plain-paper qualities);
//  - the inspector's column histogram of each ink equals the expected dots
//    per pixel column shifted by the ink's column offset.
// A dot's page line is not read from the feeds (some modes feed differently
// from the raster advance on purpose): each scan's ink is placed at the one
// page line where all its dots meet pixels that take a dot.
// One exception to exactness, accepted exactly and nowhere else: mode 2 may
// print the first colour lines below a long colour-free stretch in their
// even pass only (see belowColourGap).
// KZ_PAGE_SEED=n runs the same cases on other random pages.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <map>
#include <memory>
#include <sstream>

#include "stream_reader/stream.h"
#include "support/dot_model.h"
#include "support/fired_dots.h"
#include "support/random_page.h"

namespace {

using kz::test::FiredDot;
using kz::test::InkScan;
using kz::test::JobSettings;
using kz::test::ModeFacts;
using kz::test::PageExpectation;
using kz::test::PlaneImage;

struct Case {
    const char* name;
    int mode;
    JobSettings settings;
    int pages;
    int lines;  // caller lines per page
    int width;  // caller pixels per line
    int firstInk = 0;
    uint64_t seed = 1;
    int blankFrom = 0, blankTo = 0;  // a stretch of left-out lines
};

void PrintTo(const Case& c, std::ostream* os) { *os << c.name; }

JobSettings settings(int16_t media, int16_t quality, int16_t margin = 0, int16_t mono = 0, int16_t paper = 3,
                     bool banner = false) {
    JobSettings s;
    s.media = media;
    s.quality = quality;
    s.margin = margin;
    s.mono = mono;
    s.paper = paper;
    s.banner = banner;
    return s;
}

// Paper code 50 has the shortest edge limits: its bottom-edge phase starts
// near page line 2,200 and its kick-off near 2,650; paper code 3 (A4) near
// 6,100 and 6,550 (a little later borderless).
constexpr int16_t kShortPaper = 50;
constexpr int kShortLong = 2900;  // caller lines that reach the kick-off on the short paper
constexpr int kA4Long = 7000;

//                name                                  mode  settings                                      pages lines  width  first seed
const Case kCases[] = {
    {"mode0_draft", 0, settings(0, 3), 1, 700, 600, 3, 1},
    {"mode0_borderless", 0, settings(0, 3, 1), 1, 500, 520, 0, 2},
    {"mode1_standard", 1, settings(0, 15), 1, 600, 500, 9, 3},
    {"mode1_borderless", 1, settings(0, 15, 1), 1, 500, 400, 0, 4},
    {"mode2_fine", 2, settings(0, 10), 1, 1500, 640, 17, 5},
    {"mode3_media7", 3, settings(7, 10), 1, 1200, 640, 0, 6},
    {"mode3_borderless", 3, settings(1, 15, 1), 1, 900, 520, 5, 7},
    {"mode4_photo", 4, settings(0, 5), 1, 900, 600, 2, 8},
    {"mode4_wide", 4, settings(0, 5), 1, 160, 5000, 0, 9},
    {"mode5_kickoff", 5, settings(29, 15, 0, 0, kShortPaper), 1, kShortLong, 480, 0, 10},
    {"mode5_borderless_kickoff", 5, settings(29, 15, 1, 0, kShortPaper), 1, kShortLong, 480, 0, 11},
    {"mode6_no_edges", 6, settings(18, 10), 1, 1200, 520, 40, 12},
    {"mode6_kickoff", 6, settings(15, 10, 0, 0, kShortPaper), 1, kShortLong, 480, 0, 13},
    {"mode6_borderless_a4", 6, settings(15, 10, 1), 1, kA4Long, 256, 0, 14},
    {"mode7_photo", 7, settings(1, 5), 1, 1200, 600, 0, 15},
    {"mode7_borderless", 7, settings(1, 5, 1), 1, 900, 500, 0, 16},
    {"mode8_borderless", 8, settings(0, 5, 1, 0, kShortPaper), 1, kShortLong + 800, 400, 0, 17},
    {"mode9_kickoff", 9, settings(36, 10, 0, 0, kShortPaper), 1, kShortLong, 400, 0, 18},
    {"mode9_borderless_kickoff", 9, settings(15, 5, 1, 0, kShortPaper), 1, kShortLong, 400, 0, 19},
    {"mode10_kickoff", 10, settings(26, 0, 0, 0, kShortPaper), 1, kShortLong, 400, 0, 20},
    {"mode10_borderless_kickoff", 10, settings(26, 0, 1, 0, kShortPaper), 1, kShortLong, 400, 0, 21},
    {"mode11_draft_black", 11, settings(0, 3, 0, 1), 1, 800, 600, 0, 22},
    {"mode12_standard_black", 12, settings(0, 15, 0, 1), 1, 800, 500, 0, 23},
    {"mode12_fine_black", 12, settings(0, 10, 0, 1), 1, 900, 600, 0, 24},
    {"mode13_photo_black", 13, settings(0, 5, 0, 1), 1, 1400, 600, 11, 25},
    {"mode13_one_direction", 13, settings(7, 5, 0, 1), 1, 1000, 500, 0, 26},
    {"mode15_borderless", 15, settings(0, 10, 1, 0, kShortPaper), 1, kShortLong + 800, 480, 0, 27},
    {"mode15_borderless_a4", 15, settings(0, 10, 1), 1, kA4Long, 256, 0, 28},
    // The kick-off phase's scans find nothing to print: the phase still ends
    // after its scans.
    {"mode5_kickoff_blank", 5, settings(29, 15, 0, 0, kShortPaper), 1, kShortLong, 320, 0, 36, 2660, 2790},
    {"mode6_kickoff_blank", 6, settings(15, 10, 0, 0, kShortPaper), 1, kShortLong, 320, 0, 37, 2660, 2850},
    {"mode9_kickoff_blank", 9, settings(36, 10, 0, 0, kShortPaper), 1, kShortLong, 320, 0, 38, 2670, 2840},
    {"mode10_kickoff_blank", 10, settings(26, 0, 0, 0, kShortPaper), 1, kShortLong, 320, 0, 39, 2670, 2860},
    // Banner jobs: each page ends with a form feed, the job with one flush.
    {"banner_mode0", 0, settings(0, 3, 0, 0, 3, true), 3, 300, 400, 0, 29},
    {"banner_mode2", 2, settings(0, 10, 0, 0, 3, true), 3, 700, 480, 6, 30},
    {"banner_mode4", 4, settings(0, 5, 0, 0, 3, true), 2, 700, 480, 0, 31},
    {"banner_mode5_kickoff", 5, settings(29, 15, 0, 0, kShortPaper, true), 2, kShortLong, 320, 0, 32},
    {"banner_mode9", 9, settings(36, 10, 0, 0, 3, true), 3, 500, 400, 3, 33},
    {"banner_mode13", 13, settings(0, 5, 0, 1, 3, true), 3, 700, 500, 0, 34},
    {"banner_mode15_borderless", 15, settings(0, 10, 1, 0, kShortPaper, true), 2, kShortLong + 800, 320, 0, 35},
};

// KZ_PAGE_SEED=n prints other random pages than CI does, for a longer hunt.
uint64_t seedShift() {
    const char* shift = std::getenv("KZ_PAGE_SEED");
    return shift != nullptr ? std::strtoull(shift, nullptr, 10) * 100 : 0;
}

// Plane printed by an ink: black is ink 0; inks 1..3 print colours 0..2, or
// 4..6 in the modes that use those.
int planeOfInk(const ModeFacts& f, int ink) {
    if (ink == 0) return 3;
    return f.depth[ink - 1] != 0 ? ink - 1 : ink + 3;
}

int slotOfInk(const InkScan& s) {
    if (s.ink == 0) return 3;
    return s.upper ? s.ink + 3 : s.ink - 1;
}

// The page lines at which nozzle row 0 of a scan's ink can have stood: those
// at which every dot meets a pixel that takes a dot.  On random pages a scan
// of more than a few dots fits at one line only.
std::vector<int> fittingBases(const std::vector<FiredDot>& dots, const std::vector<int>& x, const PlaneImage& expected) {
    std::vector<int> bases;
    if (dots.empty()) return bases;
    int rowMin = dots[0].row, rowMax = dots[0].row;
    for (const FiredDot& d : dots) {
        rowMin = std::min<int>(rowMin, d.row);
        rowMax = std::max<int>(rowMax, d.row);
    }
    // Dots in a scattered order, so a wrong line fails after a few tests.
    std::vector<size_t> order(dots.size());
    for (size_t i = 0; i < order.size(); ++i) order[i] = i;
    kz::test::Random shuffle(dots.size());
    for (size_t i = order.size(); i > 1; --i)
        std::swap(order[i - 1], order[static_cast<size_t>(shuffle.below(static_cast<int>(i)))]);
    for (int base = -rowMin; base <= expected.lines - 1 - rowMax; ++base) {
        bool fits = true;
        for (size_t i : order) {
            const int y = base + dots[i].row;
            if (!expected.inside(y, x[i]) || expected.at(y, x[i]) == 0) {
                fits = false;
                break;
            }
        }
        if (fits) bases.push_back(base);
    }
    return bases;
}

struct PlaneTally {
    uint64_t expected = 0, fired = 0, missing = 0, extra = 0, unplaced = 0;
    int faults = 0;
    std::string firstFaults;
    void fault(const std::string& what) {
        if (++faults <= 8) firstFaults += "\n    " + what;
    }
};

// Mode 2 skips an odd colour pass whose window holds no ink in its first 123
// rows and restarts the band with an even pass 66 lines on; colour lines that
// stood in rows 123 to 126 of the skipped pass then print in that even pass
// only, as the mode's scan plan has it.  Such a line lacks exactly its
// odd-pass dots, as a whole line, and stands within 4 lines below a stretch
// of 123 lines without colour ink.
constexpr int kModeTwoSkipRows = 123;
constexpr int kModeTwoShortLines = 4;

bool belowColourGap(const PageExpectation& want, int y) {
    int top = y;  // the first line of the stretch of inked colour lines that holds y
    const auto colour = [&](int line) {
        for (int p = 0; p < 3; ++p)
            if (want.inkedLines[p][static_cast<size_t>(line)] != 0) return true;
        return false;
    };
    while (top > 0 && colour(top - 1) && y - top < kModeTwoShortLines) --top;
    if (y - top >= kModeTwoShortLines) return false;
    for (int line = top - 1; line >= top - kModeTwoSkipRows; --line)
        if (line >= 0 && colour(line)) return false;
    return true;
}

class DotConservation : public ::testing::TestWithParam<Case> {};

TEST_P(DotConservation, EveryPixelGetsItsDots) {
    const Case& c = GetParam();
    const ModeFacts facts = kz::test::modeFacts(c.settings);
    ASSERT_EQ(facts.mode, c.mode) << "the settings select another mode";

    kz::test::PageRecipe recipe;
    recipe.lines = c.lines;
    recipe.width = c.width;
    recipe.firstInk = c.firstInk;
    recipe.blankFrom = c.blankFrom;
    recipe.blankTo = c.blankTo;
    recipe.lastLineGiven = true;  // every page runs to its last line
    recipe.depth = facts.depth;
    recipe.printable = kz::test::printableLevels(facts);

    std::vector<std::unique_ptr<kz::test::RandomPage>> pages;
    std::vector<kz::test::PageSource*> sources;
    std::vector<PageExpectation> expected;
    for (int p = 0; p < c.pages; ++p) {
        recipe.seed = (c.seed + seedShift()) * 1000 + static_cast<uint64_t>(p);
        pages.push_back(std::make_unique<kz::test::RandomPage>(recipe));
        sources.push_back(pages.back().get());
        expected.emplace_back(facts, c.lines, c.width);
    }
    const auto run = kz::test::runJob(c.settings, sources, [&](int page, const RasterInfo& line) {
        expected[static_cast<size_t>(page)].take(line);
    });
    ASSERT_EQ(run.failure, KZ_OK) << run.failedCall;

    const kzinspect::Stream stream = kzinspect::inspect(run.stream);
    ASSERT_TRUE(stream.ok()) << "offset " << stream.error->offset << ": " << stream.error->message;
    ASSERT_EQ(stream.pages.size(), static_cast<size_t>(c.pages));
    if (c.lines >= kShortLong) {
        // The long pages reach the bottom edge, where the window moves by 64
        // lines and the scans print with 64 nozzle rows.
        for (const kzinspect::Page& page : stream.pages) {
            size_t shifted = 0;
            for (const kzinspect::Scan& scan : page.scans)
                shifted += !scan.columns.empty() && scan.columns[0].command.rows * 32 == 64 ? 1 : 0;
            EXPECT_GT(shifted, 0u) << "the page reaches its bottom-edge phase";
        }
    }

    // Fired dots per page pixel, placed scan by scan.
    std::vector<std::array<PlaneImage, 7>> fired(static_cast<size_t>(c.pages));
    for (size_t p = 0; p < fired.size(); ++p)
        for (int plane = 0; plane < 7; ++plane)
            fired[p][plane].resize(expected[p].image[plane].lines, expected[p].image[plane].width);
    std::vector<std::array<PlaneTally, 7>> tally(static_cast<size_t>(c.pages));

    struct Placed {
        const InkScan* scan;
        int plane;
        std::vector<int> x;  // pixel of each dot
        std::vector<int> bases;
    };
    const std::vector<InkScan> inkScans = kz::test::firedDots(stream);
    std::vector<Placed> scans;
    for (const InkScan& s : inkScans) {
        if (s.dots.empty()) continue;
        Placed p{&s, planeOfInk(facts, s.ink), std::vector<int>(s.dots.size()), {}};
        for (size_t i = 0; i < s.dots.size(); ++i)
            p.x[i] = s.dots[i].column - kz::test::columnOffset(facts, slotOfInk(s), s.dots[i].parity, s.backward);
        p.bases = fittingBases(s.dots, p.x, expected[s.page].image[p.plane]);
        scans.push_back(std::move(p));
    }
    const auto put = [&](const Placed& p, int base) {
        PlaneImage& f = fired[p.scan->page][p.plane];
        for (size_t i = 0; i < p.scan->dots.size(); ++i) ++f.at(base + p.scan->dots[i].row, p.x[i]);
    };
    // Scans that fit one line first; then the few that fit several take the
    // first line whose pixels still lack their dots.
    for (const Placed& p : scans) {
        if (p.bases.size() == 1) put(p, p.bases[0]);
        if (!p.bases.empty()) continue;
        PlaneTally& t = tally[p.scan->page][p.plane];
        t.unplaced += p.scan->dots.size();
        std::ostringstream what;
        what << "scan " << p.scan->scan << ": no page line explains its " << p.scan->dots.size() << " dots";
        t.fault(what.str());
    }
    for (const Placed& p : scans) {
        if (p.bases.size() < 2) continue;
        const PlaneImage& e = expected[p.scan->page].image[p.plane];
        const PlaneImage& f = fired[p.scan->page][p.plane];
        int chosen = p.bases[0];
        for (int base : p.bases) {
            bool lacking = true;
            for (size_t i = 0; i < p.scan->dots.size() && lacking; ++i) {
                const int y = base + p.scan->dots[i].row;
                lacking = f.at(y, p.x[i]) < e.at(y, p.x[i]);
            }
            if (lacking) {
                chosen = base;
                break;
            }
        }
        put(p, chosen);
    }

    int shortLines = 0;  // mode 2 lines printed by their even pass only
    for (size_t p = 0; p < expected.size(); ++p) {
        PageExpectation& want = expected[p];
        for (int plane = 0; plane < 7; ++plane) {
            if (facts.depth[plane] == 0) continue;
            PlaneTally& t = tally[p][plane];
            PlaneImage& e = want.image[plane];
            const PlaneImage& f = fired[p][plane];
            for (int y = 0; y < e.lines; ++y) {
                bool exact = true, evenPassOnly = facts.mode == 2 && plane < 3;
                for (int x = 0; x < e.width; ++x) {
                    exact = exact && f.at(y, x) == e.at(y, x);
                    evenPassOnly = evenPassOnly && f.at(y, x) == want.firstPass[plane].at(y, x);
                }
                if (!exact && evenPassOnly && belowColourGap(want, y)) {
                    // What the printer fires on this line is what it must.
                    for (int x = 0; x < e.width; ++x) e.at(y, x) = want.firstPass[plane].at(y, x);
                    ++shortLines;
                }
                for (int x = 0; x < e.width; ++x) {
                    const int a = e.at(y, x), b = f.at(y, x);
                    t.expected += static_cast<uint64_t>(a);
                    t.fired += static_cast<uint64_t>(b);
                    if (a == b) continue;
                    (a > b ? t.missing : t.extra) += static_cast<uint64_t>(std::abs(a - b));
                    std::ostringstream what;
                    what << "page line " << y << " pixel " << x << ": " << b << " dots, expected " << a;
                    t.fault(what.str());
                }
            }
            EXPECT_TRUE(t.missing == 0 && t.extra == 0 && t.unplaced == 0)
                << "page " << p << " plane " << plane << ": expected " << t.expected << " dots, placed " << t.fired
                << ", missing " << t.missing << ", extra " << t.extra << ", not placed " << t.unplaced << " ("
                << t.faults << " faults)" << t.firstFaults;
            if (facts.depth[plane] == 1) {
                // One dot per pixel given, after the doubling of the page lines and pixels.
                const uint64_t perPixel = facts.multiplier == 1 ? 1 : (plane == 3 ? 1 : 2) * (facts.widened ? 2 : 1);
                EXPECT_EQ(t.expected, want.given[plane] * perPixel) << "page " << p << " plane " << plane;
            }
        }
    }
    if (shortLines != 0) RecordProperty("even_pass_only_lines", shortLines);

    // The inspector's own column histograms against the dots each column
    // takes, shifted by the ink's column offset.
    for (size_t p = 0; p < expected.size(); ++p) {
        std::map<int, std::map<int, uint64_t>> histogram;  // ink -> column -> dots
        for (const kzinspect::Scan& scan : stream.pages[p].scans)
            for (const kzinspect::NozzleColumn& column : scan.columns)
                for (const kzinspect::ColumnDots& d : column.histogram) histogram[column.command.ink][d.column] += d.dots;
        for (int ink = 0; ink < 4; ++ink) {
            const int plane = planeOfInk(facts, ink);
            if (facts.depth[plane] == 0) continue;
            const int offset = kz::test::columnOffset(facts, plane, 0, false);
            for (int parity = 0; parity < 2; ++parity)
                for (int backward = 0; backward < 2; ++backward)
                    ASSERT_EQ(kz::test::columnOffset(facts, plane, parity, backward != 0), offset)
                        << "the default registration gives an ink one offset";
            std::map<int, uint64_t> want;
            const PlaneImage& e = expected[p].image[plane];
            for (int y = 0; y < e.lines; ++y)
                for (int x = 0; x < e.width; ++x)
                    if (e.at(y, x) != 0) want[x + offset] += e.at(y, x);
            EXPECT_TRUE(histogram[ink] == want) << "page " << p << " ink " << ink << ": column histogram differs";
        }
    }
}

INSTANTIATE_TEST_SUITE_P(RandomPages, DotConservation, ::testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
