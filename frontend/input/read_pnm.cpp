// PNM files: one picture after another, row by row.
#include "frontend/input/pnm.h"
#include "frontend/input/readers.h"
#include "frontend/input/row_source.h"

namespace kzfront::input {
namespace {

class PnmPages : public RowSource {
public:
    PnmPages(std::FILE* file, std::string name, const OpenOptions& options)
        : RowSource(std::move(name), options), file_(file) {}
    ~PnmPages() override { std::fclose(file_); }

    bool nextPage(PageHeader& page, std::string& error) override {
        if (failed_ || !skipRest(error)) return failed_ = true, false;
        bool end = false;
        std::string why;
        if (!readPnmHeader(file_, header_, end, why)) {
            failed_ = true;
            if (!end || pages_ == 0) error = name_ + ": " + (end ? std::string("the file holds no picture") : why);
            return false;
        }
        const int32_t box = reductionFor(header_.width, header_.height, options_, true, 0, why);
        if (box == 0) {
            failed_ = true;
            error = name_ + ": " + why;
            return false;
        }
        ++pages_;
        page = {};
        page.format = header_.format();
        page.grey = page.format == PixelFormat::Gray8;
        beginPage(page, header_.width, header_.height, box);
        return true;
    }

private:
    bool sourceRow(uint8_t* row, std::string& error) override { return readPnmRow(file_, header_, scratch_, row, error); }

    std::FILE* file_;
    PnmHeader header_;
    std::vector<uint8_t> scratch_;
    bool failed_ = false;
};

}  // namespace

std::unique_ptr<PageSource> openPnm(std::FILE* file, const std::string& name, const OpenOptions& options) {
    return std::make_unique<PnmPages>(file, name, options);
}

}  // namespace kzfront::input
