// --list: the capability query as tables, in the words the options take.
#include <cstdio>
#include <cstring>
#include <string>

#include "options.h"

namespace kzprint {
namespace {

std::string mm(int32_t um) {
    char s[32];
    std::snprintf(s, sizeof s, "%.1f", um / 1000.0);
    return s;
}

// "0-2: 4-bit, levels 1-8 (drops 1 2 2 3 3 4 4 5); 3: 1-bit"
std::string planes(const kzp_mode_info& m) {
    std::string out;
    for (int p = 0; p < 7;) {
        if (!m.bit_depth[p]) {
            ++p;
            continue;
        }
        int q = p;
        while (q + 1 < 7 && m.bit_depth[q + 1] == m.bit_depth[p] && m.levels[q + 1] == m.levels[p] &&
               std::memcmp(m.drops[q + 1], m.drops[p], 16) == 0)
            ++q;
        std::string levels, drops;
        for (int v = 1; v < 16; ++v)
            if (m.levels[p] >> v & 1) {
                if (!levels.empty()) levels += ' ', drops += ' ';
                levels += std::to_string(v);
                drops += std::to_string(m.drops[p][v]);
            }
        // Appended piece by piece: GCC 12 at -O3 falsely warns (-Wrestrict)
        // about "literal" + std::string concatenations.
        if (!out.empty()) out += "; ";
        out += std::to_string(p);
        if (q > p) out += '-', out += std::to_string(q);
        out += ": " + std::to_string(m.bit_depth[p]) + "-bit";
        if (m.bit_depth[p] > 1) out += ", levels " + levels + " (drops " + drops + ")";
        p = q + 1;
    }
    return out;
}

}  // namespace

void printCapabilities(const Options& o) {
    size_t n = kzp_paper_count();
    std::printf("Papers (--paper takes the short or the PWG name; width across the paper path x length, mm):\n");
    for (size_t i = 0; i < n; ++i) {
        const kzp_paper& p = *kzp_paper_at(i);
        std::printf("  %-18s %-32s %-40s %6s x %-6s code %-3d %-14s %s\n", *p.short_name ? p.short_name : "-",
                    p.pwg_name, p.label, mm(p.width_um).c_str(), mm(p.height_um).c_str(), p.code,
                    p.borderless ? "borderless" : "margins only", p.note);
    }
    n = kzp_media_count();
    std::printf("\nMedia (--media; code-N reaches any raw media code):\n");
    for (size_t i = 0; i < n; ++i)
        std::printf("  %-16s code %-3d %-44s %s\n", kzp_media_at(i)->name, kzp_media_at(i)->code, kzp_media_at(i)->label, kzp_media_at(i)->note);

    n = kzp_mode_count();
    std::printf("\nPrint modes on %s (sheets; roll paper has the same; margins or bleed: left right top bottom, mm):\n",
                o.request.paper.c_str());
    std::printf("  %-16s %-7s %-10s %-11s %4s %9s  %-27s %s\n", "media", "quality", "colour", "borderless", "mode",
                "dpi", "margins / bleed", "planes");
    bool any = false;
    // The paper's PWG name, whichever name was typed.
    std::string paper = o.request.paper;
    kzp_settings s = kzp_settings_default();
    s.paper = paper.c_str();
    kzp_page_format f = kzp_page_format_empty();
    if (kzp_resolve(&s, &f, nullptr, 0) == KZP_OK) paper = f.mode->paper;
    for (size_t i = 0; i < n; ++i) {
        const kzp_mode_info& m = *kzp_mode_at(i);
        if (m.roll || paper != m.paper) continue;
        any = true;
        const int32_t* edge = m.borderless ? m.bleed_um : m.margin_um;
        const std::string edges = (m.borderless ? "bleed " : "") + mm(edge[0]) + " " + mm(edge[1]) + " " +
                                  mm(edge[2]) + " " + mm(edge[3]);
        std::printf("  %-16s %-7s %-10s %-11s %4d %4dx%-4d  %-27s %s\n", m.media, kzp_quality_name(m.quality),
                    m.mono ? "black-only" : "colour", m.borderless ? "borderless" : "margins", m.print_mode, m.xdpi,
                    m.ydpi, edges.c_str(), planes(m).c_str());
    }
    if (!any) std::printf("  (no paper named '%s')\n", o.request.paper.c_str());
}

}  // namespace kzprint
