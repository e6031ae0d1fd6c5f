#include "stream_reader/report.h"

#include <map>

#include "stream_reader/format.h"
#include "stream_reader/json_writer.h"

namespace kzinspect {
namespace {

struct Totals {
    std::map<uint8_t, int64_t> letters;
    int64_t blankPages = 0;
    int64_t openPages = 0;  // pages that ran into the next "H" without "N"
    int64_t scans = 0;
    uint64_t codeBytes = 0;
    uint64_t decodedBytes = 0;
    std::map<int, uint64_t> dots;  // by ink id
};

std::map<int, uint64_t> dotsByInk(const Scan& scan) {
    std::map<int, uint64_t> dots;
    for (const NozzleColumn& c : scan.columns) dots[c.command.ink] += c.dots;
    return dots;
}

Totals total(const Stream& stream) {
    Totals t;
    for (const FrameRecord& r : stream.frames) ++t.letters[r.frame.letter];
    for (const Page& page : stream.pages) {
        t.blankPages += page.blank;
        t.openPages += !page.ended;
        t.scans += static_cast<int64_t>(page.scans.size());
        for (const Scan& scan : page.scans) {
            for (const NozzleColumn& c : scan.columns) {
                t.codeBytes += c.codeBytes;
                t.decodedBytes += c.decodedBytes;
                t.dots[c.command.ink] += c.dots;
            }
        }
    }
    return t;
}

double ratio(const Totals& t) {
    return t.codeBytes == 0 ? 0.0 : double(t.decodedBytes) / double(t.codeBytes);
}

const char* direction(const Scan& scan) {
    return scan.info.backward() ? "backward" : "forward";
}

// --- text ---

std::string errorLine(const Error& e) {
    return formatText("error at offset %zu (0x%zx): %s: %s\n", e.offset, e.offset,
                      errorKindName(e.kind), e.message.c_str());
}

std::string checkText(const Stream& s) {
    if (s.error) return errorLine(*s.error);
    return formatText("ok: %zu bytes, %zu frames, %zu pages, %lld scans\n", s.bytes,
                      s.frames.size(), s.pages.size(), static_cast<long long>(total(s).scans));
}

std::string dumpText(const Stream& s) {
    std::string out;
    for (const FrameRecord& r : s.frames) {
        const Frame& f = r.frame;
        out += formatText("%08zx  %c  class %u  length %5u", f.offset, f.letter, unsigned{f.cls},
                          unsigned{f.length});
        for (const Field& field : decodeFields(f)) {
            out += formatText("  %s=%lld", field.name, static_cast<long long>(field.value));
        }
        if (r.block >= 0) out += formatText("  block %d:", r.block);
        for (const SegmentSummary& g : r.segments) {
            out += formatText(" [ink %d/%d %zu->%zu bytes %llu dots]", g.ink, g.parity, g.codeBytes,
                              g.decodedBytes, static_cast<unsigned long long>(g.dots));
        }
        out += '\n';
    }
    if (s.error) out += errorLine(*s.error);
    return out;
}

std::string inkDots(const std::map<int, uint64_t>& dots) {
    std::string out;
    for (const auto& [ink, n] : dots) {
        out += formatText("%sink %d %llu", out.empty() ? "" : ", ", ink,
                          static_cast<unsigned long long>(n));
    }
    return out.empty() ? "none" : out;
}

std::string scanText(const Scan& scan, size_t number) {
    std::string out = formatText(
        "  scan %zu at 0x%zx: %s, columns %d to %d, pixels %d to %d%s, %u blocks, speed %u", number,
        scan.offset, direction(scan), scan.info.start, scan.info.end, scan.left, scan.right,
        scan.paperShift ? " (paper shift)" : (scan.edgesAligned ? "" : " (edges not aligned)"),
        unsigned{scan.info.blocks}, unsigned{scan.info.speed});
    if (scan.feed)
        out += formatText(", feed %c %u", scan.feed->letter, unsigned{scan.feed->amount});
    if (scan.heatTrigger) out += formatText(", heat trigger %u", unsigned{*scan.heatTrigger});
    out += '\n';
    for (const NozzleColumn& c : scan.columns) {
        out += formatText("    ink %d parity %d: %llu dots", c.command.ink, c.command.parity,
                          static_cast<unsigned long long>(c.dots));
        if (!c.histogram.empty()) {
            out += formatText(" in columns %d to %d", c.histogram.front().column,
                              c.histogram.back().column);
        }
        out += '\n';
    }
    return out;
}

std::string statsText(const Stream& s, bool scans) {
    const Totals t = total(s);
    std::string out = formatText(
        "stream: %zu bytes, %zu frames, %zu pages (%lld blank, %lld without 'N'), %lld scans\n",
        s.bytes, s.frames.size(), s.pages.size(), static_cast<long long>(t.blankPages),
        static_cast<long long>(t.openPages), static_cast<long long>(t.scans));
    out += "frames:";
    for (const auto& [letter, n] : t.letters) {
        out += formatText(" %c %lld", letter, static_cast<long long>(n));
    }
    out += formatText("\ndata: %llu PackBits bytes decode to %llu bytes (ratio %.2f)\n",
                      static_cast<unsigned long long>(t.codeBytes),
                      static_cast<unsigned long long>(t.decodedBytes), ratio(t));
    out += "dots: " + inkDots(t.dots) + "\n";
    for (size_t i = 0; i < s.pages.size(); ++i) {
        const Page& page = s.pages[i];
        out += formatText(
            "page %zu at 0x%zx: %s, %zu scans%s\n", i + 1, page.offset,
            page.blank ? "blank"
                       : formatText("resolution 1200x%u", unsigned{page.resolution2}).c_str(),
            page.scans.size(), page.ended ? "" : ", no 'N'");
        for (size_t k = 0; scans && k < page.scans.size(); ++k) out += scanText(page.scans[k], k + 1);
    }
    if (s.error) out += errorLine(*s.error);
    return out;
}

// --- JSON ---

void errorJson(JsonWriter& j, const Stream& s) {
    j.key("ok").boolean(s.ok());
    j.key("error");
    if (!s.error) {
        j.null();
        return;
    }
    j.beginObject();
    j.key("offset").number(static_cast<int64_t>(s.error->offset));
    j.key("kind").string(errorKindName(s.error->kind));
    j.key("message").string(s.error->message);
    j.endObject();
}

void inkDotsJson(JsonWriter& j, const std::map<int, uint64_t>& dots) {
    j.beginObject();
    for (const auto& [ink, n] : dots) j.key(std::to_string(ink)).number(static_cast<int64_t>(n));
    j.endObject();
}

std::string checkJson(const Stream& s) {
    JsonWriter j;
    j.beginObject();
    errorJson(j, s);
    j.key("bytes").number(static_cast<int64_t>(s.bytes));
    j.key("frames").number(static_cast<int64_t>(s.frames.size()));
    j.key("pages").number(static_cast<int64_t>(s.pages.size()));
    j.key("scans").number(total(s).scans);
    j.endObject();
    return j.text() + "\n";
}

std::string dumpJson(const Stream& s) {
    JsonWriter j;
    j.beginObject();
    errorJson(j, s);
    j.key("frames").beginArray();
    for (const FrameRecord& r : s.frames) {
        const Frame& f = r.frame;
        j.beginObject();
        j.key("offset").number(static_cast<int64_t>(f.offset));
        j.key("letter").string(std::string(1, static_cast<char>(f.letter)));
        j.key("class").number(f.cls);
        j.key("length").number(f.length);
        j.key("fields").beginObject();
        for (const Field& field : decodeFields(f)) j.key(field.name).number(field.value);
        j.endObject();
        if (r.block >= 0) {
            j.key("block").number(r.block);
            j.key("segments").beginArray();
            for (const SegmentSummary& g : r.segments) {
                j.beginObject();
                j.key("offset").number(static_cast<int64_t>(g.offset));
                j.key("ink").number(g.ink);
                j.key("parity").number(g.parity);
                j.key("code_bytes").number(static_cast<int64_t>(g.codeBytes));
                j.key("decoded_bytes").number(static_cast<int64_t>(g.decodedBytes));
                j.key("dots").number(static_cast<int64_t>(g.dots));
                j.endObject();
            }
            j.endArray();
        }
        j.endObject();
    }
    j.endArray();
    j.endObject();
    return j.text() + "\n";
}

void scanJson(JsonWriter& j, const Scan& scan) {
    j.beginObject();
    j.key("offset").number(static_cast<int64_t>(scan.offset));
    j.key("direction").string(direction(scan));
    j.key("start").number(scan.info.start);
    j.key("end").number(scan.info.end);
    j.key("left").number(scan.left);
    j.key("right").number(scan.right);
    j.key("divisor").number(scan.divisor);
    j.key("paper_shift").boolean(scan.paperShift);
    j.key("edges_aligned").boolean(scan.edgesAligned);
    j.key("blocks").number(scan.info.blocks);
    j.key("speed").number(scan.info.speed);
    j.key("color").number(scan.info.color);
    j.key("passes").beginArray().number(scan.info.pass1).number(scan.info.pass2).endArray();
    j.key("flag").number(scan.info.flag);
    j.key("feed");
    if (scan.feed) {
        j.beginObject();
        j.key("letter").string(std::string(1, static_cast<char>(scan.feed->letter)));
        j.key("amount").number(scan.feed->amount);
        j.endObject();
    } else {
        j.null();
    }
    j.key("heat_trigger");
    scan.heatTrigger ? j.number(*scan.heatTrigger) : j.null();
    j.key("dots");
    inkDotsJson(j, dotsByInk(scan));
    j.key("columns").beginArray();
    for (const NozzleColumn& c : scan.columns) {
        j.beginObject();
        j.key("ink").number(c.command.ink);
        j.key("parity").number(c.command.parity);
        j.key("nozzle_field").number(c.command.nozzleField);
        j.key("rows").number(c.command.rows);
        j.key("dots").number(static_cast<int64_t>(c.dots));
        j.key("code_bytes").number(static_cast<int64_t>(c.codeBytes));
        j.key("decoded_bytes").number(static_cast<int64_t>(c.decodedBytes));
        j.key("histogram").beginArray();
        for (const ColumnDots& h : c.histogram) {
            j.beginArray().number(h.column).number(h.dots).endArray();
        }
        j.endArray();
        j.endObject();
    }
    j.endArray();
    j.endObject();
}

void pageJson(JsonWriter& j, const Page& page) {
    j.beginObject();
    j.key("offset").number(static_cast<int64_t>(page.offset));
    j.key("form").string(page.blank ? "blank" : "normal");
    j.key("ended").boolean(page.ended);
    j.key("resolution2").number(page.resolution2);
    j.key("settings").beginArray();
    for (const uint8_t b : page.settings) j.number(b);
    j.endArray();
    j.key("kick_off");
    page.kickOff ? j.number(*page.kickOff) : j.null();
    j.key("smear").beginArray();
    for (const uint8_t level : page.smearLevels) j.number(level);
    j.endArray();
    j.key("borderless_count");
    page.borderlessCount ? j.number(*page.borderlessCount) : j.null();
    std::map<int, uint64_t> dots;
    for (const Scan& scan : page.scans) {
        for (const auto& [ink, n] : dotsByInk(scan)) dots[ink] += n;
    }
    j.key("dots");
    inkDotsJson(j, dots);
    j.key("scans").beginArray();
    for (const Scan& scan : page.scans) scanJson(j, scan);
    j.endArray();
    j.endObject();
}

std::string statsJson(const Stream& s) {
    const Totals t = total(s);
    JsonWriter j;
    j.beginObject();
    errorJson(j, s);
    j.key("bytes").number(static_cast<int64_t>(s.bytes));
    j.key("frames").number(static_cast<int64_t>(s.frames.size()));
    j.key("letters").beginObject();
    for (const auto& [letter, n] : t.letters) {
        j.key(std::string(1, static_cast<char>(letter))).number(n);
    }
    j.endObject();
    j.key("page_count").number(static_cast<int64_t>(s.pages.size()));
    j.key("blank_pages").number(t.blankPages);
    j.key("pages_without_end").number(t.openPages);
    j.key("scans").number(t.scans);
    j.key("code_bytes").number(static_cast<int64_t>(t.codeBytes));
    j.key("decoded_bytes").number(static_cast<int64_t>(t.decodedBytes));
    j.key("ratio").real(ratio(t));
    j.key("dots");
    inkDotsJson(j, t.dots);
    j.key("pages").beginArray();
    for (const Page& page : s.pages) pageJson(j, page);
    j.endArray();
    j.endObject();
    return j.text() + "\n";
}

}  // namespace

std::string report(const Stream& stream, Command command, bool json, bool scans) {
    switch (command) {
        case Command::Check:
            return json ? checkJson(stream) : checkText(stream);
        case Command::Dump:
            return json ? dumpJson(stream) : dumpText(stream);
        case Command::Stats:
            return json ? statsJson(stream) : statsText(stream, scans);
    }
    return {};
}

}  // namespace kzinspect
