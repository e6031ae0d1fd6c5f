// The printer application's parts, and what they share.
#pragma once

#include <pappl/pappl.h>

#include <string>

#include "kzrqo317/print.h"

namespace kzapp {

constexpr const char* kAppName = "kzrqo317-printer-app";
constexpr const char* kDriverName = "kzrqo317";
constexpr const char* kNativeFormat = "application/vnd.kzrqo317";

// What the command line and the environment configure before the main loop
// runs; read-only once papplMainloop starts.
struct Config {
    std::string autoAddMatch;  // partial IEEE 1284 device ID ("MFG:..;MDL:..;"); empty: no auto-add
    pappl_pr_driver_t* drivers = nullptr;
    int numDrivers = 0;
};

// system.cpp: creates the system from the server's -o options.
pappl_system_t* createSystem(int num_options, cups_option_t* options, void* data);
void printUsage(void* data);

// driver.cpp: describes model 317 from the pipeline's capability query.
bool fillDriver(pappl_system_t* system, const char* driver_name, const char* device_uri,
                const char* device_id, pappl_pr_driver_data_t* driver, ipp_t** attrs, void* data);
const char* matchAutoAdd(const char* device_info, const char* device_uri, const char* device_id,
                         void* data);

// raster.cpp: hands PAPPL's raster to the pipeline.
bool rasterStartJob(pappl_job_t* job, pappl_pr_options_t* options, pappl_device_t* device);
bool rasterStartPage(pappl_job_t* job, pappl_pr_options_t* options, pappl_device_t* device,
                     unsigned page);
bool rasterWriteLine(pappl_job_t* job, pappl_pr_options_t* options, pappl_device_t* device,
                     unsigned y, const unsigned char* line);
bool rasterEndPage(pappl_job_t* job, pappl_pr_options_t* options, pappl_device_t* device,
                   unsigned page);
bool rasterEndJob(pappl_job_t* job, pappl_pr_options_t* options, pappl_device_t* device);
bool printRawFile(pappl_job_t* job, pappl_pr_options_t* options, pappl_device_t* device);
// After rasterStartJob: the page format the job prints, and a page whose
// lines are the area's own (width_px sRGB or sGray pixels, height_px lines).
const kzp_page_format* rasterFormat(pappl_job_t* job);
bool rasterStartArea(pappl_job_t* job, unsigned page, bool grey);

// picture_filter.cpp: PNG and JPEG, read and placed as kzrqo317-print does.
bool printPicture(pappl_job_t* job, pappl_device_t* device, void* data);

// pdf_filter.cpp: PDF through Ghostscript, when it is installed.
bool ghostscriptAvailable();
bool printPdf(pappl_job_t* job, pappl_device_t* device, void* data);

// test_page.cpp: the demo chart as a PNG in `directory`; the file name, or
// NULL with the reason logged.
const char* writeTestPage(pappl_printer_t* printer, char* buffer, size_t size);

}  // namespace kzapp
