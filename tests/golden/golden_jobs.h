// The golden jobs: a fixed set of pages per print mode whose output streams
// are kept as SHA-256 checksums in golden/streams.sha256.  A changed checksum
// names the mode and page whose stream changed; after a reviewed, intended
// change, scripts/regenerate-golden.sh writes the file anew.
#pragma once

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "support/dot_model.h"
#include "support/page_job.h"
#include "support/random_page.h"
#include "support/sha256.h"

namespace kz::test::golden {

enum class PageKind {
    Blank,       // lines given, every plane without data: the blank-page form
    Sparse,      // a few dots, long left-out stretches
    Dense,       // every pixel at the highest level the mode prints
    EdgeToEdge,  // ink from the first to the last pixel the store keeps (and beyond), every line
    Borderless,  // borderless, ink from the top line to past the bottom-edge and kick-off phases
    Banner,      // two sparse pages on banner paper
    Bands,       // short bands of ink between left-out stretches of up to a few head heights
    BorderlessBands,  // the same, borderless
};

inline const char* kindName(PageKind kind) {
    switch (kind) {
        case PageKind::Blank: return "blank";
        case PageKind::Sparse: return "sparse";
        case PageKind::Dense: return "dense";
        case PageKind::EdgeToEdge: return "edge-to-edge";
        case PageKind::Borderless: return "borderless-top-bottom";
        case PageKind::Banner: return "banner";
        case PageKind::Bands: return "bands";
        case PageKind::BorderlessBands: return "borderless-bands";
    }
    return "?";
}

struct ModeSettings {
    int mode;
    JobSettings settings;    // the mode's pages
    JobSettings borderless;  // its borderless pages; media -1: the mode has none
};

inline JobSettings settingsOf(int16_t media, int16_t quality, int16_t margin = 0, int16_t mono = 0,
                              int16_t paper = 3) {
    JobSettings s;
    s.media = media;
    s.quality = quality;
    s.margin = margin;
    s.mono = mono;
    s.paper = paper;
    return s;
}

// Paper code 50 has the shortest edge limits.
inline constexpr int16_t kShortPaper = 50;

inline const std::vector<ModeSettings>& modeSettings() {
    static const JobSettings none = settingsOf(-1, 0);
    static const std::vector<ModeSettings> modes = {
        {0, settingsOf(0, 3), settingsOf(0, 3, 1, 0, kShortPaper)},
        {1, settingsOf(0, 15), settingsOf(0, 15, 1, 0, kShortPaper)},
        {2, settingsOf(0, 10), none},
        {3, settingsOf(7, 10), settingsOf(1, 15, 1, 0, kShortPaper)},
        {4, settingsOf(0, 5), none},
        {5, settingsOf(29, 15), settingsOf(29, 15, 1, 0, kShortPaper)},
        {6, settingsOf(15, 10), settingsOf(15, 10, 1, 0, kShortPaper)},
        {7, settingsOf(1, 5), settingsOf(1, 5, 1, 0, kShortPaper)},
        {8, settingsOf(0, 5, 1), settingsOf(0, 5, 1, 0, kShortPaper)},
        {9, settingsOf(36, 10), settingsOf(15, 5, 1, 0, kShortPaper)},
        {10, settingsOf(26, 0), settingsOf(26, 0, 1, 0, kShortPaper)},
        {11, settingsOf(0, 3, 0, 1), none},
        {12, settingsOf(0, 10, 0, 1), none},  // fine black: the power monitor watches its dense scans
        {13, settingsOf(0, 5, 0, 1), none},
        {15, settingsOf(0, 10, 1), settingsOf(0, 10, 1, 0, kShortPaper)},
    };
    return modes;
}

struct Job {
    std::string name;  // "mode05-dense"
    int mode;
    PageKind kind;
    JobSettings settings;
};

inline std::vector<Job> jobsOfMode(const ModeSettings& m) {
    std::vector<Job> jobs;
    char prefix[16];
    std::snprintf(prefix, sizeof prefix, "mode%02d-", m.mode);
    for (PageKind kind : {PageKind::Blank, PageKind::Sparse, PageKind::Dense, PageKind::EdgeToEdge}) {
        jobs.push_back({prefix + std::string(kindName(kind)), m.mode, kind, m.settings});
    }
    if (m.borderless.media >= 0) {
        jobs.push_back({prefix + std::string(kindName(PageKind::Borderless)), m.mode, PageKind::Borderless,
                        m.borderless});
    }
    jobs.push_back({prefix + std::string(kindName(PageKind::Bands)), m.mode, PageKind::Bands, m.settings});
    if (m.borderless.media >= 0) {
        jobs.push_back({prefix + std::string(kindName(PageKind::BorderlessBands)), m.mode, PageKind::BorderlessBands,
                        m.borderless});
    }
    if (m.mode == 2 || m.mode == 9) {
        JobSettings banner = m.settings;
        banner.banner = true;
        jobs.push_back({prefix + std::string(kindName(PageKind::Banner)), m.mode, PageKind::Banner, banner});
    }
    return jobs;
}

inline std::vector<Job> allJobs() {
    std::vector<Job> jobs;
    for (const ModeSettings& m : modeSettings())
        for (Job& j : jobsOfMode(m)) jobs.push_back(std::move(j));
    return jobs;
}

// Every line from 0 to lines - 1 inked: each pixel at its plane's highest
// printable level (dense), or random levels with the first and last pixel of
// every line always inked.
class FullPage : public PageSource {
public:
    FullPage(const ModeFacts& f, int lines, int width, bool dense, uint64_t seed)
        : depth_(f.depth), top_(printableLevels(f)), lines_(lines), width_(width), dense_(dense), random_(seed) {}
    int lines() const override { return lines_; }
    bool line(int y, RasterInfo* out) override {
        *out = RasterInfo{};
        out->LineNo = static_cast<uint32_t>(y);
        int entry = 0;
        for (int p = 0; p < 7; ++p) {
            if (depth_[p] == 0) continue;
            std::vector<uint8_t>& bytes = bytes_[p];
            bytes.assign(static_cast<size_t>((width_ * depth_[p] + 7) / 8), 0);
            for (int x = 0; x < width_; ++x) {
                const bool inked = dense_ || x == 0 || x == width_ - 1 || random_.percent(30);
                if (!inked) continue;
                const int v = dense_ ? top_[p] : 1 + random_.below(top_[p]);
                const int bit = x * depth_[p];
                bytes[static_cast<size_t>(bit / 8)] |= static_cast<uint8_t>(v << (8 - depth_[p] - bit % 8));
            }
            out->Plane[entry++] = {bytes.data(), static_cast<uint16_t>(width_), 0, 0, 0};
        }
        return true;
    }

private:
    std::array<int8_t, 7> depth_;
    std::array<uint8_t, 7> top_;
    int lines_, width_;
    bool dense_;
    Random random_;
    std::vector<uint8_t> bytes_[7];
};

// Lines given with no data in any plane.
class BlankPage : public PageSource {
public:
    BlankPage(const ModeFacts& f, int lines) : depth_(f.depth), lines_(lines) {}
    int lines() const override { return lines_; }
    bool line(int y, RasterInfo* out) override {
        *out = RasterInfo{};
        out->LineNo = static_cast<uint32_t>(y);
        int entry = 0;
        for (int p = 0; p < 7; ++p)
            if (depth_[p] != 0) out->Plane[entry++].Width = 1000;
        return true;
    }

private:
    std::array<int8_t, 7> depth_;
    int lines_;
};

// Prints the job and returns its whole stream; empty when a call failed.
inline std::vector<uint8_t> printJob(const Job& job) {
    const ModeFacts f = modeFacts(job.settings);
    if (f.mode != job.mode) return {};
    PageRecipe sparse;
    sparse.lines = 1200;
    sparse.width = 2400;
    sparse.depth = f.depth;
    sparse.printable = printableLevels(f);
    sparse.inkPercent = 1;
    sparse.gapPercent = 3;
    sparse.maxGap = 250;
    sparse.seed = static_cast<uint64_t>(1000 + job.mode);

    std::vector<std::unique_ptr<PageSource>> pages;
    switch (job.kind) {
        case PageKind::Blank: pages.push_back(std::make_unique<BlankPage>(f, 300)); break;
        case PageKind::Sparse: pages.push_back(std::make_unique<RandomPage>(sparse)); break;
        case PageKind::Dense: pages.push_back(std::make_unique<FullPage>(f, 500, 1200, true, 0)); break;
        case PageKind::EdgeToEdge:
            // 32 pixels past the store's width: they are dropped.
            pages.push_back(std::make_unique<FullPage>(f, 240, f.storePixels + 32, false, 2000 + job.mode));
            break;
        case PageKind::Borderless:
            pages.push_back(std::make_unique<FullPage>(f, 2900, 320, false, 3000 + job.mode));
            break;
        case PageKind::Bands:
        case PageKind::BorderlessBands: {
            PageRecipe bands = sparse;
            bands.lines = 9000;
            bands.width = 640;
            bands.inkPercent = 20;
            bands.gapPercent = 2;
            bands.maxGap = 2500;
            bands.lastLineGiven = true;
            pages.push_back(std::make_unique<RandomPage>(bands));
            break;
        }
        case PageKind::Banner:
            for (int p = 0; p < 2; ++p) {
                sparse.seed += 17;
                sparse.lines = 700;
                pages.push_back(std::make_unique<RandomPage>(sparse));
            }
            break;
    }
    std::vector<PageSource*> sources;
    for (auto& p : pages) sources.push_back(p.get());
    JobRun run = runJob(job.settings, sources);
    if (run.failure != KZ_OK) return {};
    return run.stream;
}

}  // namespace kz::test::golden
