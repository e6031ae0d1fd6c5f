// Previews of what each job sent to the printer: its first page, drawn from
// the bytes as they go to the device, kept as two PNG files beside the job's
// own in the spool directory for as long as PAPPL keeps the job, and shown
// on a page of the printer's web interface.  A preview that cannot be made
// is logged and left out; it never fails a job.
#pragma once

#include <pappl/pappl.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "kzrqo317/print.h"

namespace kzapp {

// The two files of a job's preview, as papplJobOpenFile extensions.
constexpr const char* kThumbnailExt = "thumbnail.png";
constexpr const char* kViewExt = "preview.png";

// Once, before the system runs: previews on or off, the spool directory
// (nullptr: PAPPL's own, learnt from the first preview kept), and a timer
// that removes the previews of jobs PAPPL no longer keeps.
void startJobPreviews(pappl_system_t* system, bool enabled, const char* spoolDirectory);

// Draws a job's first page from the bytes written to it.
class JobPreview {
  public:
    // nullptr when previews are off.  `format` gives the sheet; nullptr
    // (printer-ready streams) draws what prints without one.
    static std::unique_ptr<JobPreview> start(pappl_job_t* job, const kzp_page_format* format);
    ~JobPreview();

    // The bytes just sent to the device.
    void write(const uint8_t* bytes, size_t size) noexcept;
    // The job's bytes are all sent.
    void finish() noexcept;

  private:
    struct Drawing;
    explicit JobPreview(pappl_job_t* job, std::unique_ptr<Drawing> drawing);
    void keep() noexcept;
    void giveUp() noexcept;

    pappl_job_t* job_;
    std::unique_ptr<Drawing> drawing_;  // until the first page is kept or given up
    double seconds_ = 0;                // the job thread's processor time spent drawing
};

// The printer-creation callback: the printer's preview page and pictures,
// and the links to them.
void addPreviewPages(pappl_printer_t* printer, void* data);

}  // namespace kzapp
