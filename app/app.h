// The printer application's parts, and what they share.
#pragma once

#include <pappl/pappl.h>

#include <string>

#include "frontend/limits.h"
#include "frontend/print_loop.h"
#include "frontend/settings.h"
#include "kzrqo317/print.h"

namespace kzapp {

constexpr const char* kAppName = "kzrqo317-printer-app";
constexpr const char* kDriverName = "kzrqo317";
constexpr const char* kNativeFormat = "application/vnd.kzrqo317";
// The printer's own job attribute for the best mode: IPP's print-quality
// stops at high, which keeps its meaning; true prints in the finest mode the
// paper and media have (kzrqo317-best-quality-default is the printer's).
constexpr const char* kBestQuality = "kzrqo317-best-quality";

// What the command line and the environment configure before the main loop
// runs; read-only once papplMainloop starts.
struct Config {
    std::string autoAddMatch;  // partial IEEE 1284 device ID ("MFG:..;MDL:..;"); empty: no auto-add
    pappl_pr_driver_t* drivers = nullptr;
    int numDrivers = 0;
    // Ghostscript's time limits for each job's document, in seconds.
    int pageSeconds = kzfront::kGhostscriptPageSeconds, documentSeconds = kzfront::kGhostscriptDocumentSeconds;
};

// system.cpp: creates the system from the server's -o options.
pappl_system_t* createSystem(int num_options, cups_option_t* options, void* data);
void printUsage(void* data);

// driver.cpp: describes model 317 from the pipeline's capability query.
bool fillDriver(pappl_system_t* system, const char* driver_name, const char* device_uri,
                const char* device_id, pappl_pr_driver_data_t* driver, ipp_t** attrs, void* data);
// The margins PAPPL announces for every size (hundredths of mm).
bool borderedMargins(int& leftRight, int& bottomTop);
const char* matchAutoAdd(const char* device_info, const char* device_uri, const char* device_id,
                         void* data);

// raster.cpp: the pipeline job of a PAPPL job, and PAPPL's raster callbacks
// (streamed PWG and Apple raster) placed and printed by the front-end layer.
bool rasterStartJob(pappl_job_t* job, pappl_pr_options_t* options, pappl_device_t* device);
bool rasterStartPage(pappl_job_t* job, pappl_pr_options_t* options, pappl_device_t* device,
                     unsigned page);
bool rasterWriteLine(pappl_job_t* job, pappl_pr_options_t* options, pappl_device_t* device,
                     unsigned y, const unsigned char* line);
bool rasterEndPage(pappl_job_t* job, pappl_pr_options_t* options, pappl_device_t* device,
                   unsigned page);
bool rasterEndJob(pappl_job_t* job, pappl_pr_options_t* options, pappl_device_t* device);
bool printRawFile(pappl_job_t* job, pappl_pr_options_t* options, pappl_device_t* device);
// The settings a job's IPP attributes ask for, the nearest that print; false
// with the job's message set when none do.  What changed is in the job's
// message, and in its reasons as a warning.
bool jobSettings(pappl_job_t* job, const pappl_pr_options_t* options, bool greyContent, kzfront::Resolved& out);
// The printer's default for kBestQuality.
bool bestQualityDefault(pappl_printer_t* printer);
// The printers' defaults changed (or a printer came or went): read them again.
void forgetBestQualityDefaults();
// The job's copies and whether they are collated (multiple-document-handling).
kzfront::Copies jobCopies(pappl_job_t* job, const pappl_pr_options_t& options);
// After rasterStartJob: the pipeline job and its settings.
kzp_job* pipelineJob(pappl_job_t* job, const kzfront::Resolved** settings);

// document_filter.cpp: PNG, JPEG and PDF (through Ghostscript), read, placed
// and printed by the front-end layer as kzrqo317-print prints them.
bool ghostscriptAvailable();
bool printDocument(pappl_job_t* job, pappl_device_t* device, void* data);

// test_page.cpp: the demo chart as a PNG in `directory`; the file name, or
// NULL with the reason logged.
const char* writeTestPage(pappl_printer_t* printer, char* buffer, size_t size);

}  // namespace kzapp
