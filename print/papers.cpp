// Paper sizes and media types, named by what the printer's tables show.
#include "print/papers.h"

#include <strings.h>

#include <cstdlib>
#include <cstring>
#include <deque>
#include <mutex>
#include <string>
#include <vector>

#include "print/mode_tables.h"
#include "print/page_geometry.h"

namespace kzp {
namespace {

// Sizes with a code of their own come first; the others print with margins
// under kFittingCode.  Widths are across the paper path.
constexpr const char* kFitted = "no paper code of its own: prints with margins under a sheet code without edge phases";
const kzp_paper kPapers[] = {
    {"iso_a4_210x297mm", "A4", 210000, 297000, 3, 1, 1, "", "a4"},
    {"na_letter_8.5x11in", "Letter", 215900, 279400, 13, 1, 1, "", "letter"},
    {"na_index-4x6_4x6in", "4 x 6 in", 101600, 152400, 52, 1, 1, "", "4x6"},
    {"na_5x7_5x7in", "5 x 7 in", 127000, 177800, 55, 1, 1,
     "code 55; code 51 (\"code-51\") is the same width and 5 lines of 600 dpi longer", "5x7"},
    {"oe_photo-l_3.5x5in", "3.5 x 5 in", 88900, 127000, 50, 1, 1, "", "3.5x5"},
    {"jpn_hagaki_100x148mm", "Postcard 100 x 148 mm", 100000, 148000, 20, 1, 1, "", "postcard"},
    {"oe_panorama_3.5x10in", "3.5 x 10 in (panorama)", 88900, 254000, 56, 1, 1, "", "3.5x10"},
    {"code-51", "5 x 7 in (code 51)", 127000, 178010, 51, 1, 1, "5 x 7 in, 5 lines of 600 dpi longer than code 55", ""},
    {"jpn_hagaki-landscape_148x100mm", "Postcard 148 x 100 mm, long edge first", 148000, 100000, 21, 1, 1,
     "the landscape twin of jpn_hagaki_100x148mm: fed long edge first", "postcard-landscape"},
    {"iso_a4-landscape_297x210mm", "A4, long edge first", 297000, 210000, 4, 1, 0,
     "fed long edge first; wider than the 260 mm the printer prints, so the right part stays blank and "
     "borderless is not possible", "a4-landscape"},
    {"na_letter-landscape_11x8.5in", "Letter, long edge first", 279400, 215900, 14, 1, 0,
     "fed long edge first; wider than the 260 mm the printer prints, so the right part stays blank and "
     "borderless is not possible", "letter-landscape"},
    {"iso_a5_148x210mm", "A5", 148000, 210000, kFittingCode, 0, 0, kFitted, "a5"},
    {"iso_a6_105x148mm", "A6", 105000, 148000, kFittingCode, 0, 0, kFitted, "a6"},
    {"jis_b5_182x257mm", "B5 (JIS)", 182000, 257000, kFittingCode, 0, 0, kFitted, "b5"},
    {"na_legal_8.5x14in", "Legal", 215900, 355600, kFittingCode, 0, 0, kFitted, "legal"},
    {"na_govt-letter_8x10in", "8 x 10 in", 203200, 254000, kFittingCode, 0, 0, kFitted, "8x10"},
    {"na_executive_7.25x10.5in", "Executive", 184150, 266700, kFittingCode, 0, 0, kFitted, "executive"},
    {"om_small-photo_100x150mm", "10 x 15 cm", 100000, 150000, kFittingCode, 0, 0, kFitted, "10x15cm"},
};

// Names given out before and still taken as input (saved settings, scripts).
struct Renamed {
    const char* old;
    const char* now;
};
const Renamed kRenamed[] = {
    // PWG 5101.1 names allow no dot in the name part.
    {"oe_3.5x10in_3.5x10in", "oe_panorama_3.5x10in"},
};

// Media: the codes the printer's tables tell apart, named by what they allow.
struct MediaName {
    int16_t code;
    const char* name;
    const char* label;
};
const MediaName kMediaNames[] = {
    {0, "plain", "Plain paper"},
    {7, "fine", "Fine paper: high and best only"},
    {8, "fine-long-load", "Fine paper loaded like a long sheet"},
    {1, "normal-best", "Paper with normal and best only"},
    {18, "high-only", "Paper with high quality only"},
    {36, "dense-high", "Paper with one dense high-quality mode"},
    {15, "photo", "Photo paper"},
    {16, "photo-mono", "Photo paper that also prints black only"},
    {29, "photo-normal", "Photo paper with a normal mode"},
    {26, "photo-best", "Photo paper with an extra-dense best mode"},
    {22, "code-22", "Media code 22 (prints as photo)"},
    {24, "code-24", "Media code 24 (prints as photo)"},
    {27, "code-27", "Media code 27 (prints as photo)"},
    {28, "code-28", "Media code 28 (prints as photo)"},
    {37, "code-37", "Media code 37 (prints as photo)"},
};

bool borderlessMediaIndex(int idx) { return idx != 2 && idx != 3; }

std::string qualityList(int16_t media, bool mono) {
    std::string s;
    for (int q = 0; q < 4; ++q) {
        bool any = false;
        for (int qi : {q, q == 3 ? 4 : q}) any = any || printMode(media, kQualityCode[qi], mono, false) != kNoMode;
        if (mono && !printsBlackOnly(media, false)) any = false;
        if (any) s += std::string(s.empty() ? "" : ", ") + kzp_quality_name(kzp_quality(q));
    }
    return s;
}

std::string describe(int16_t code) {
    std::string note = "qualities " + qualityList(code, false);
    const std::string mono = qualityList(code, true);
    note += mono.empty() ? "; no black-only printing" : "; black-only at " + mono;
    note += borderlessMediaIndex(mediaIndex(code)) ? "; borderless" : "; no borderless";
    static const char* const kLoad[] = {"loads flat", "loads like a long sheet", "loads by the other path"};
    note += std::string("; ") + kLoad[loadPaperMode(3, code)] + " on sheet sizes";
    if (code == 26) note += "; best is the extra-dense 16-pass mode";
    return note;
}

struct Media {
    std::vector<kzp_media> list;
    std::deque<std::string> text;  // keeps the notes and interned names alive
    std::mutex lock;
};

Media& media() {
    static Media* m = [] {
        auto* made = new Media;
        for (const auto& n : kMediaNames) {
            const std::string& note = made->text.emplace_back(describe(n.code));
            made->list.push_back({n.name, n.label, n.code, note.c_str(), uint8_t(loadPaperMode(3, n.code))});
        }
        return made;
    }();
    return *m;
}

bool parseCode(const char* name, long& code) {
    if (std::strncmp(name, "code-", 5) != 0 || name[5] == '\0') return false;
    char* end = nullptr;
    code = std::strtol(name + 5, &end, 10);
    return *end == '\0' && code >= -32768 && code <= 32767;
}

}  // namespace

std::span<const kzp_paper> papers() { return kPapers; }
std::span<const kzp_media> mediaTypes() { return media().list; }

const kzp_paper* findPaper(const char* name) {
    for (const Renamed& r : kRenamed)
        if (std::strcmp(r.old, name) == 0) name = r.now;
    long code = 0;
    const bool byCode = parseCode(name, code);
    for (const auto& p : kPapers) {
        if (std::strcmp(p.pwg_name, name) == 0) return &p;
        if (*p.short_name && strcasecmp(p.short_name, name) == 0) return &p;
        if (byCode && p.code == code && p.established) return &p;
    }
    return nullptr;
}

const kzp_media* findMedia(const char* name) {
    Media& m = media();
    long code = 0;
    const bool byCode = parseCode(name, code);
    for (const auto& t : m.list)
        if (std::strcmp(t.name, name) == 0 || (byCode && t.code == code)) return &t;
    if (!byCode) return nullptr;
    // A code the tables do not name: kept for experts, made once per code.
    static std::deque<kzp_media> extra;
    std::lock_guard<std::mutex> guard(m.lock);
    for (const auto& t : extra)
        if (t.code == code) return &t;
    const std::string& n = m.text.emplace_back("code-" + std::to_string(code));
    const std::string& note = m.text.emplace_back("not a code the printer's tables name: " + describe(int16_t(code)));
    return &extra.emplace_back(kzp_media{n.c_str(), n.c_str(), int16_t(code), note.c_str(),
                                         uint8_t(loadPaperMode(3, int16_t(code)))});
}

}  // namespace kzp
