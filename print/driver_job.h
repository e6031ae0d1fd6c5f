// One print job of the driver library, through its exported calls only:
// the call sequence, the hand-outs read to their end, and the sink.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "kzrqo317/kzrqo317.h"
#include "kzrqo317/print.h"
#include "print/setup.h"

namespace kzp {

class DriverJob {
public:
    DriverJob() = default;
    DriverJob(const DriverJob&) = delete;
    DriverJob& operator=(const DriverJob&) = delete;
    ~DriverJob() { close(); }

    // Each returns false with status() and message() set; nothing of the
    // failing call's hand-out reaches the sink.
    bool open(const Setup& setup, const kzp_sink& sink);
    bool beginPage();
    bool line(const RasterInfo& line);
    bool endPage();   // flush (sheets) or form feed (roll)
    bool finish();    // the roll's closing flush
    void close();

    kzp_status status() const { return status_; }
    const std::string& message() const { return message_; }
    uint64_t bytesWritten() const { return written_; }

private:
    // A call that hands out output: run it, repeating it while it runs out of
    // memory for the hand-out itself (`repeat`), and pass what it hands out on.
    template <typename Call>
    bool handOut(const char* what, Call call, bool repeat);
    bool collect(uint32_t dataInfo, bool& any);
    bool write(const uint8_t* bytes, size_t size);
    bool fail(kzp_status status, std::string why);

    uint32_t handle_ = 0;
    PrintInfo info_{};
    kzp_sink sink_{};
    bool roll_ = false;
    kzp_status status_ = KZP_OK;
    std::string message_;
    std::vector<uint8_t> pending_;
    uint64_t written_ = 0;
};

}  // namespace kzp
