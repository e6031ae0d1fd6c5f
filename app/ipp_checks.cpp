// Requests checked before PAPPL 1.3 reads them (see ipp_checks.h).
#include "app/ipp_checks.h"

#include <climits>
#include <cstring>
#include <string>

namespace kzapp {
namespace {

// Media sizes in hundredths of millimetres: up to 10 m (roll paper included).
constexpr int kMaxDimension = 1000000;

struct Printer {
    pappl_pr_driver_data_t driver{};
    bool known = false;  // false for Create-Printer: no driver yet
};

bool isString(ipp_attribute_t* attr) {
    const ipp_tag_t tag = ippGetValueTag(attr);
    return ippGetCount(attr) == 1 && (tag == IPP_TAG_KEYWORD || tag == IPP_TAG_NAME || tag == IPP_TAG_NAMELANG);
}

bool isInteger(ipp_attribute_t* attr, ipp_tag_t tag, int min, int max) {
    if (ippGetCount(attr) != 1 || ippGetValueTag(attr) != tag) return false;
    const int value = ippGetInteger(attr, 0);
    return value >= min && value <= max;
}

std::string listOf(const char* const* values, int count) {
    std::string list;
    for (int i = 0; i < count; ++i) list += (i ? ", " : "") + std::string(values[i]);
    return list;
}

// What is wrong with one media-col value, or empty.  Members PAPPL does not
// read are left alone.
std::string mediaColProblem(ipp_t* col, const Printer& printer) {
    for (ipp_attribute_t* member = ippFirstAttribute(col); member; member = ippNextAttribute(col)) {
        const char* name = ippGetName(member);
        if (!name) continue;
        const std::string n = name;
        if (n == "media-size") {
            ipp_t* size = ippGetCount(member) == 1 && ippGetValueTag(member) == IPP_TAG_BEGIN_COLLECTION
                              ? ippGetCollection(member, 0)
                              : nullptr;
            ipp_attribute_t* x = size ? ippFindAttribute(size, "x-dimension", IPP_TAG_ZERO) : nullptr;
            ipp_attribute_t* y = size ? ippFindAttribute(size, "y-dimension", IPP_TAG_ZERO) : nullptr;
            if (!x || !y || !isInteger(x, IPP_TAG_INTEGER, 1, kMaxDimension) ||
                !isInteger(y, IPP_TAG_INTEGER, 1, kMaxDimension))
                return "media-size must be one collection of x-dimension and y-dimension, each one integer from 1 "
                       "to " + std::to_string(kMaxDimension) + " (hundredths of a millimetre)";
        } else if (n == "media-size-name") {
            if (!isString(member) || !pwgMediaForPWG(ippGetString(member, 0, nullptr)))
                return "media-size-name must be one PWG size name, such as iso_a4_210x297mm";
        } else if (n == "media-type") {
            if (!isString(member)) return "media-type must be one keyword";
            const char* type = ippGetString(member, 0, nullptr);
            if (printer.known) {
                bool offered = false;
                for (int i = 0; i < printer.driver.num_type && !offered; ++i)
                    offered = !std::strcmp(type, printer.driver.type[i]);
                if (!offered)
                    return "media-type '" + std::string(type) + "' is not one this printer has: " +
                           listOf(printer.driver.type, printer.driver.num_type);
            }
        } else if (n == "media-source" || n == "media-tracking") {
            if (!isString(member)) return n + " must be one keyword";
        } else if (n == "media-bottom-margin" || n == "media-left-margin" || n == "media-right-margin" ||
                   n == "media-top-margin") {
            if (!isInteger(member, IPP_TAG_INTEGER, 0, kMaxDimension))
                return n + " must be one integer from 0 to " + std::to_string(kMaxDimension);
        } else if (n == "media-left-offset" || n == "media-top-offset") {
            if (!isInteger(member, IPP_TAG_INTEGER, -kMaxDimension, kMaxDimension)) return n + " must be one integer";
        }
    }
    return {};
}

std::string mediaColsProblem(ipp_attribute_t* attr, int maxValues, const Printer& printer) {
    const int count = static_cast<int>(ippGetCount(attr));
    if (ippGetValueTag(attr) != IPP_TAG_BEGIN_COLLECTION || count < 1 || count > maxValues)
        return maxValues == 1 ? "must be one collection" : "must be 1 to " + std::to_string(maxValues) + " collections";
    for (int i = 0; i < count; ++i)
        if (std::string why = mediaColProblem(ippGetCollection(attr, i), printer); !why.empty()) return why;
    return {};
}

// Job template attributes as PAPPL reads them when it builds a job's
// options: Print-Job, Create-Job and Validate-Job check most of them
// (media-col's members excepted), Send-Document none.
std::string jobAttributeProblem(ipp_attribute_t* attr, const Printer& printer) {
    const std::string n = ippGetName(attr);
    struct Range { const char* name; ipp_tag_t tag; int min, max; };
    static const Range kRanges[] = {
        {"copies", IPP_TAG_INTEGER, 1, 999},
        {"orientation-requested", IPP_TAG_ENUM, IPP_ORIENT_PORTRAIT, IPP_ORIENT_NONE},
        {"print-quality", IPP_TAG_ENUM, IPP_QUALITY_DRAFT, IPP_QUALITY_HIGH},
        {"print-darkness", IPP_TAG_INTEGER, -100, 100},
        {"print-speed", IPP_TAG_INTEGER, 0, INT_MAX},
        {"job-priority", IPP_TAG_INTEGER, 1, 100},
    };
    for (const Range& r : kRanges)
        if (n == r.name && !isInteger(attr, r.tag, r.min, r.max))
            return "must be one " + std::string(ippTagString(r.tag)) + " from " + std::to_string(r.min) + " to " +
                   std::to_string(r.max);
    static const char* const kKeywords[] = {"media", "print-color-mode", "print-content-optimize",
                                            "print-scaling", "sides", "output-bin"};
    for (const char* k : kKeywords)
        if (n == k && !isString(attr)) return "must be one keyword";
    if (n == "media-col") return mediaColsProblem(attr, 1, printer);
    if (n == "printer-resolution") {
        ipp_res_t units;
        int y = 0;
        const int x = ippGetCount(attr) == 1 && ippGetValueTag(attr) == IPP_TAG_RESOLUTION
                          ? ippGetResolution(attr, 0, &y, &units)
                          : 0;
        if (x <= 0 || y <= 0 || units != IPP_RES_PER_INCH) return "must be one resolution in dots per inch";
    }
    if (n == "page-ranges") {
        int upper = 0;
        const int lower = ippGetValueTag(attr) == IPP_TAG_RANGE && ippGetCount(attr) == 1 ? ippGetRange(attr, 0, &upper) : 0;
        if (lower < 1 || upper < lower) return "must be one range of pages from 1";
    }
    return {};
}

// Printer attributes PAPPL 1.3 reads in Set-Printer-Attributes and
// Create-Printer even after finding them of the wrong type.
std::string printerAttributeProblem(ipp_attribute_t* attr, const Printer& printer) {
    const std::string n = ippGetName(attr);
    const int sources = printer.known ? printer.driver.num_source : PAPPL_MAX_SOURCE;
    if (n == "media-col-default") return mediaColsProblem(attr, 1, printer);
    if (n == "media-col-ready") return mediaColsProblem(attr, sources, printer);
    if (n == "media-ready") {
        const ipp_tag_t tag = ippGetValueTag(attr);
        if ((tag != IPP_TAG_KEYWORD && tag != IPP_TAG_NAME) || static_cast<int>(ippGetCount(attr)) > sources)
            return "must be 1 to " + std::to_string(sources) + " size names";
    }
    if (n == "media-default" && !isString(attr)) return "must be one size name";
    if (n == "printer-geo-location" && (ippGetCount(attr) != 1 || ippGetValueTag(attr) != IPP_TAG_URI))
        return "must be one geo: URI";
    if (n == "print-quality-default" && !isInteger(attr, IPP_TAG_ENUM, IPP_QUALITY_DRAFT, IPP_QUALITY_HIGH))
        return "must be one of draft (3), normal (4) and high (5)";
    if (n == "orientation-requested-default" && !isInteger(attr, IPP_TAG_ENUM, IPP_ORIENT_PORTRAIT, IPP_ORIENT_NONE))
        return "must be one orientation from 3 to 7";
    if (n == "printer-contact-col" && (ippGetCount(attr) != 1 || ippGetValueTag(attr) != IPP_TAG_BEGIN_COLLECTION))
        return "must be one collection";
    return {};
}

}  // namespace

Refusal checkRequest(ipp_t* request, pappl_printer_t* pappl) {
    Printer printer;
    if (pappl) printer.known = papplPrinterGetDriverData(pappl, &printer.driver) != nullptr;
    const ipp_op_t op = ippGetOperation(request);
    for (ipp_attribute_t* attr = ippFirstAttribute(request); attr; attr = ippNextAttribute(request)) {
        const char* name = ippGetName(attr);
        if (!name) continue;
        std::string why;
        switch (op) {
        case IPP_OP_PRINT_JOB: case IPP_OP_VALIDATE_JOB: case IPP_OP_CREATE_JOB:
            // PAPPL finds media-col in whichever group it is.
            if (!std::strcmp(name, "media-col")) why = mediaColsProblem(attr, 1, printer);
            break;
        case IPP_OP_SEND_DOCUMENT:
            // Its job attributes go into the job as they are.
            if (ippGetGroupTag(attr) == IPP_TAG_JOB) why = jobAttributeProblem(attr, printer);
            break;
        case IPP_OP_SET_PRINTER_ATTRIBUTES: case IPP_OP_CREATE_PRINTER:
            if (ippGetGroupTag(attr) == IPP_TAG_PRINTER) why = printerAttributeProblem(attr, printer);
            break;
        default:
            return {};
        }
        if (!why.empty()) return {attr, std::string(name) + ": " + why + "."};
    }
    return {};
}

bool refuseUnchecked(pappl_client_t* client) {
    ipp_t* request = papplClientGetRequest(client);
    const ipp_op_t op = ippGetOperation(request);
    // Administrative requests are checked once PAPPL would let the client
    // make them; it answers the others itself.
    if ((op == IPP_OP_SET_PRINTER_ATTRIBUTES || op == IPP_OP_CREATE_PRINTER) &&
        papplClientIsAuthorized(client) != HTTP_STATUS_CONTINUE)
        return false;
    const Refusal refusal = checkRequest(request, papplClientGetPrinter(client));
    if (!refusal.attr) return false;
    papplClientRespondIPPUnsupported(client, refusal.attr);
    papplClientRespondIPP(client, IPP_STATUS_ERROR_ATTRIBUTES_OR_VALUES, "%s", refusal.why.c_str());
    return true;
}

}  // namespace kzapp
