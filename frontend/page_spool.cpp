// The page spool: headers in memory, rows deflated into an unnamed file.
#include "frontend/page_spool.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "frontend/unnamed_file.h"

namespace kzfront {
namespace {

constexpr size_t kChunk = 1 << 16;

size_t rowBytes(const PageHeader& page) { return size_t(page.width) * size_t(channels(page.format)); }

std::string failure(const char* what) { return std::string("the copies' spool ") + what + " (" + std::strerror(errno) + ")"; }

}  // namespace

std::unique_ptr<PageSpool> PageSpool::create(std::string& error) {
    std::string why;
    const int fd = unnamedFile(why);
    if (fd < 0) {
        error = "cannot keep pages for the copies: " + why;
        return nullptr;
    }
    return std::unique_ptr<PageSpool>(new PageSpool(fd));
}

PageSpool::~PageSpool() {
    if (zsReady_) deflateEnd(&zs_);
    ::close(fd_);
}

bool PageSpool::beginPage(const PageHeader& page, std::string& error) {
    if (zsReady_) deflateEnd(&zs_);
    zs_ = {};
    // Level 1: pages are mostly white or smooth, and a copy must not wait.
    zsReady_ = deflateInit(&zs_, 1) == Z_OK;
    if (!zsReady_) {
        error = "out of memory for the copies' spool";
        return false;
    }
    current_ = {page, end_, 0};
    open_ = true;
    return true;
}

bool PageSpool::deflateInto(int flush, std::string& error) {
    out_.resize(kChunk);
    int status = Z_OK;
    do {
        zs_.next_out = out_.data();
        zs_.avail_out = uInt(out_.size());
        status = deflate(&zs_, flush);
        const size_t have = out_.size() - zs_.avail_out;
        for (size_t done = 0; done < have;) {
            const ssize_t put = ::pwrite(fd_, out_.data() + done, have - done, end_);
            if (put < 0 && errno == EINTR) continue;
            if (put <= 0) {
                error = failure("could not be written");
                return false;
            }
            done += size_t(put);
            end_ += put;
        }
    } while (zs_.avail_out == 0 || (flush == Z_FINISH && status != Z_STREAM_END));
    return true;
}

bool PageSpool::addRows(const uint8_t* rows, int32_t count, std::string& error) {
    if (!open_) return true;
    const size_t bytes = rowBytes(current_.header) * size_t(count);
    for (size_t done = 0; done < bytes;) {
        const size_t step = std::min<size_t>(bytes - done, 1u << 30);
        zs_.next_in = const_cast<uint8_t*>(rows + done);
        zs_.avail_in = uInt(step);
        if (!deflateInto(Z_NO_FLUSH, error)) return false;
        done += step;
    }
    return true;
}

bool PageSpool::endPage(std::string& error) {
    if (!open_) return true;
    open_ = false;
    zs_.next_in = nullptr;
    zs_.avail_in = 0;
    if (!deflateInto(Z_FINISH, error)) return false;
    current_.size = end_ - current_.offset;
    pages_.push_back(current_);
    return true;
}

void PageSpool::clear() {
    pages_.clear();
    open_ = false;
    end_ = 0;
    if (::ftruncate(fd_, 0) != 0) {
        // The space stays taken until the spool closes; the pages are forgotten all the same.
    }
}

// The kept pages, inflated as they are read.
class SpoolReader : public PageSource {
public:
    SpoolReader(const PageSpool& spool, int first) : spool_(spool), next_(first) {}
    ~SpoolReader() override {
        if (ready_) inflateEnd(&zs_);
    }

    bool nextPage(PageHeader& page, std::string& error) override {
        if (ready_) inflateEnd(&zs_);
        ready_ = false;
        if (next_ >= int(spool_.pages_.size())) return false;
        current_ = &spool_.pages_[size_t(next_++)];
        zs_ = {};
        if (inflateInit(&zs_) != Z_OK) {
            error = "out of memory reading the copies' spool";
            return false;
        }
        ready_ = true;
        at_ = current_->offset;
        page = current_->header;
        return true;
    }

    bool readRows(uint8_t* rows, int32_t count, std::string& error) override {
        if (!ready_) {
            error = "the copies' spool has no page here";
            return false;
        }
        zs_.next_out = rows;
        zs_.avail_out = uInt(rowBytes(current_->header) * size_t(count));
        in_.resize(kChunk);
        while (zs_.avail_out > 0) {
            if (zs_.avail_in == 0) {
                const off_t left = current_->offset + current_->size - at_;
                const ssize_t got = left > 0 ? ::pread(spool_.fd_, in_.data(), std::min<size_t>(in_.size(), size_t(left)), at_) : 0;
                if (got < 0 && errno == EINTR) continue;
                if (got <= 0) {
                    error = got < 0 ? failure("could not be read") : "the copies' spool ends early";
                    return false;
                }
                at_ += got;
                zs_.next_in = in_.data();
                zs_.avail_in = uInt(got);
            }
            const int status = inflate(&zs_, Z_NO_FLUSH);
            if (status != Z_OK && !(status == Z_STREAM_END && zs_.avail_out == 0)) {
                error = "the copies' spool is damaged";
                return false;
            }
        }
        return true;
    }

private:
    const PageSpool& spool_;
    int next_;
    const PageSpool::Page* current_ = nullptr;
    z_stream zs_{};
    bool ready_ = false;
    off_t at_ = 0;
    std::vector<uint8_t> in_;
};

std::unique_ptr<PageSource> PageSpool::replay(int first) { return std::make_unique<SpoolReader>(*this, first); }

bool RecordingSource::keepRest(std::string& error) {
    if (!inPage_) return true;
    inPage_ = false;
    std::vector<uint8_t> rows;
    constexpr int32_t kBatch = 32;
    for (int32_t n; (n = std::min(page_.height - rows_, kBatch)) > 0; rows_ += n) {
        rows.resize(rowBytes(page_) * size_t(n));
        if (!source_->readRows(rows.data(), n, error) || !spool_.addRows(rows.data(), n, error)) return false;
    }
    return spool_.endPage(error);
}

bool RecordingSource::nextPage(PageHeader& page, std::string& error) {
    if (!keepRest(error) || !source_->nextPage(page, error)) return false;
    if (!spool_.beginPage(page, error)) return false;
    page_ = page;
    rows_ = 0;
    inPage_ = true;
    return true;
}

bool RecordingSource::readRows(uint8_t* rows, int32_t count, std::string& error) {
    if (!source_->readRows(rows, count, error) || !spool_.addRows(rows, count, error)) return false;
    rows_ += count;
    return true;
}

}  // namespace kzfront
