// Printing small pages through the pipeline into memory, for the tests.
#pragma once

#include <gtest/gtest.h>

#include <array>
#include <functional>
#include <map>
#include <vector>

#include "kzrqo317/print.h"
#include "print/job_observer.h"
#include "stream_reader/stream.h"

namespace kzp::test {

// One combination per print mode, on A4 cut sheets.
inline std::map<int, kzp_mode_info> oneComboPerMode() {
    const size_t n = kzp_mode_count();
    std::map<int, kzp_mode_info> out;
    for (size_t i = 0; i < n; ++i)
        if (kzp_mode_at(i)->paper_code == 3 && !kzp_mode_at(i)->roll) out.emplace(kzp_mode_at(i)->print_mode, *kzp_mode_at(i));
    return out;
}

inline kzp_settings settingsFor(const kzp_mode_info& m) {
    kzp_settings s = kzp_settings_default();
    s.paper = m.paper;
    s.media = m.media;
    s.quality = m.quality;
    s.mono = m.mono;
    s.borderless = m.borderless;
    s.roll = m.roll;
    return s;
}

inline int appendBytes(void* ctx, const uint8_t* bytes, size_t size) {
    auto* out = static_cast<std::vector<uint8_t>*>(ctx);
    out->insert(out->end(), bytes, bytes + size);
    return 0;
}

// Prints `pages` pages of `width` x `height` pixels of `input`; `fill` makes line y of page p.
struct Printed {
    std::vector<uint8_t> bytes;
    kzp_status status = KZP_OK;
};
inline Printed printPages(const kzp_settings& s, kzp_input input, int32_t width, int32_t height, int pages,
                          const std::function<void(int page, int32_t y, std::vector<uint8_t>& line)>& fill,
                          LineObserver observer = {}) {
    Printed r;
    kzp_sink sink = kzp_sink_callback(appendBytes, &r.bytes);
    char why[1024];
    kzp_job* job = kzp_job_open(&s, &sink, why, sizeof why);
    EXPECT_NE(job, nullptr) << why;
    if (!job) return r;
    if (observer) setLineObserver(job, observer);
    const size_t bytesPerLine = input == KZP_INPUT_BLACK1 ? size_t(width + 7) / 8
                                : input == KZP_INPUT_RGB8  ? size_t(width) * 3
                                : input == KZP_INPUT_CMYK8 ? size_t(width) * 4
                                                           : size_t(width);
    std::vector<uint8_t> line(bytesPerLine);
    for (int p = 0; p < pages; ++p) {
        EXPECT_EQ(kzp_job_begin_page(job, input, width, height), KZP_OK) << kzp_job_message(job);
        for (int32_t y = 0; y < height; ++y) {
            fill(p, y, line);
            EXPECT_EQ(kzp_job_write_line(job, line.data()), KZP_OK) << kzp_job_message(job);
        }
        EXPECT_EQ(kzp_job_end_page(job), KZP_OK) << kzp_job_message(job);
    }
    r.status = kzp_job_finish(job);
    EXPECT_EQ(r.status, KZP_OK) << kzp_job_message(job);
    kzp_job_close(job);
    return r;
}

// Drops fired per page and ink: [page][0] black, 1 cyan, 2 magenta, 3 yellow.
inline std::vector<std::array<uint64_t, 4>> dropsPerInk(const std::vector<uint8_t>& bytes) {
    const kzinspect::Stream stream = kzinspect::inspect(bytes);
    EXPECT_TRUE(stream.ok());
    std::vector<std::array<uint64_t, 4>> out;
    for (const auto& page : stream.pages) {
        std::array<uint64_t, 4> d{};
        for (const auto& scan : page.scans)
            for (const auto& column : scan.columns) d.at(column.command.ink) += column.dots;
        out.push_back(d);
    }
    return out;
}

// Drops fired per page: [page][0] black, [page][1] the colours together.
inline std::vector<std::array<uint64_t, 2>> dropsPerPage(const std::vector<uint8_t>& bytes) {
    std::vector<std::array<uint64_t, 2>> out;
    for (const auto& d : dropsPerInk(bytes)) out.push_back({d[0], d[1] + d[2] + d[3]});
    return out;
}

}  // namespace kzp::test
