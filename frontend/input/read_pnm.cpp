// PNM files: one picture after another, row by row.
#include "frontend/input/pnm.h"
#include "frontend/input/readers.h"

namespace kzfront::input {
namespace {

class PnmPages : public PageSource {
public:
    PnmPages(std::FILE* file, std::string name) : file_(file), name_(std::move(name)) {}
    ~PnmPages() override { std::fclose(file_); }

    bool nextPage(PageHeader& page, std::string& error) override {
        if (failed_) return false;
        // Rows of the previous picture not read are skipped.
        std::vector<uint8_t> skip(size_t(header_.width) * 3);
        while (row_ < header_.height)
            if (!readRows(skip.data(), 1, error)) return false;
        bool end = false;
        std::string why;
        if (!readPnmHeader(file_, header_, end, why)) {
            failed_ = true;
            if (!end || pictures_ == 0)
                error = name_ + ": " + (end ? std::string("the file holds no picture") : why);
            return false;
        }
        ++pictures_;
        row_ = 0;
        page = {};
        page.width = header_.width;
        page.height = header_.height;
        page.format = header_.format();
        page.grey = page.format == PixelFormat::Gray8;
        return true;
    }

    bool readRows(uint8_t* rows, int32_t count, std::string& error) override {
        if (failed_ || count < 1 || count > header_.height - row_) {
            error = name_ + ": rows asked past the end of the picture";
            return false;
        }
        const size_t stride = size_t(header_.width) * size_t(channels(header_.format()));
        for (int32_t r = 0; r < count; ++r, ++row_) {
            std::string why;
            if (!readPnmRow(file_, header_, scratch_, rows + size_t(r) * stride, why)) {
                failed_ = true;
                error = name_ + ": " + why + " (row " + std::to_string(row_) + " of " +
                        std::to_string(header_.height) + ")";
                return false;
            }
        }
        return true;
    }

private:
    std::FILE* file_;
    std::string name_;
    PnmHeader header_;
    std::vector<uint8_t> scratch_;
    int32_t row_ = 0;
    int pictures_ = 0;
    bool failed_ = false;
};

}  // namespace

std::unique_ptr<PageSource> openPnm(std::FILE* file, const std::string& name, const OpenOptions&) {
    return std::make_unique<PnmPages>(file, name);
}

}  // namespace kzfront::input
