#include "frontend/picture.h"

#include <algorithm>

#include "frontend/limits.h"

namespace kzprint {

bool readPicture(kzfront::PageSource& source, const kzfront::PageHeader& page, Picture& picture,
                 std::string& error) {
    picture = {};
    picture.width = page.width;
    picture.height = page.height;
    picture.turn = page.turn;
    picture.grey = page.grey;
    picture.ppi = page.ppi;
    if (int64_t(page.width) * page.height * 3 > kzfront::kPageBudget) {
        error = "a picture of " + std::to_string(page.width) + " x " + std::to_string(page.height) +
                " pixels is larger than the " + std::to_string(kzfront::kPageBudget >> 20) + " MB a page may take";
        return false;
    }
    picture.rgb.resize(size_t(page.width) * size_t(page.height) * 3);
    const int ch = kzfront::channels(page.format);
    constexpr int32_t kStrip = 64;
    std::vector<uint8_t> rows(size_t(page.width) * size_t(ch) * kStrip);
    for (int32_t y = 0; y < page.height; y += kStrip) {
        const int32_t count = std::min(kStrip, page.height - y);
        if (!source.readRows(rows.data(), count, error)) return false;
        uint8_t* out = picture.rgb.data() + size_t(y) * size_t(page.width) * 3;
        const size_t pixels = size_t(count) * size_t(page.width);
        for (size_t i = 0; i < pixels; ++i, out += 3) {
            const uint8_t* in = rows.data() + i * size_t(ch);
            if (ch == 1) {
                out[0] = out[1] = out[2] = in[0];
            } else if (ch == 3) {
                out[0] = in[0], out[1] = in[1], out[2] = in[2];
            } else {
                const int k = 255 - in[3];
                for (int c = 0; c < 3; ++c) out[c] = uint8_t((255 - in[c]) * k / 255);
            }
        }
    }
    return true;
}

}  // namespace kzprint
