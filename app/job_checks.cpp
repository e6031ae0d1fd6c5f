// Borderless entries per size, and settings that print together, checked
// where PAPPL answers requests.
#include "app/job_checks.h"

#include <cstdlib>
#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "app/app.h"

namespace kzapp {
namespace {

// Set before PAPPL answers a job request whose settings will be substituted.
thread_local bool substituted = false;

int member(ipp_t* col, const char* name) { return ippGetInteger(ippFindAttribute(col, name, IPP_TAG_INTEGER), 0); }

// The capability query's paper for a media collection's size.
const kzp_paper* paperOf(ipp_t* col) {
    const char* name = ippGetString(ippFindAttribute(col, "media-size-name", IPP_TAG_ZERO), 0, nullptr);
    const int w = member(col, "media-size/x-dimension"), h = member(col, "media-size/y-dimension");
    for (size_t i = 0; const kzp_paper* p = kzp_paper_at(i); ++i) {
        if (name ? std::strcmp(name, p->pwg_name) == 0
                 : std::abs(w - p->width_um / 10) <= 1 && std::abs(h - p->height_um / 10) <= 1)
            return p;
    }
    return nullptr;
}

bool borderless(ipp_t* col) {
    for (const char* m : {"media-bottom-margin", "media-left-margin", "media-right-margin", "media-top-margin"}) {
        ipp_attribute_t* margin = ippFindAttribute(col, m, IPP_TAG_INTEGER);
        if (!margin || ippGetInteger(margin, 0) != 0) return false;
    }
    return true;
}

bool printsBorderless(ipp_t* col) {
    const kzp_paper* paper = paperOf(col);
    return paper && paper->borderless;
}

void copyAttribute(ipp_t* to, ipp_t* from, const char* name) {
    if (ipp_attribute_t* attr = ippFindAttribute(from, name, IPP_TAG_ZERO)) {
        ipp_attribute_t* copy = ippCopyAttribute(to, attr, 0);
        ippSetGroupTag(to, &copy, IPP_TAG_UNSUPPORTED_GROUP);
    }
}

}  // namespace

kzfront::IppAttributes requestedSettings(ipp_t* request, pappl_printer_t* printer) {
    pappl_pr_driver_data_t data;
    papplPrinterGetDriverData(printer, &data);
    // As papplJobCreatePrintOptions fills a job's options.
    pappl_media_col_t media = data.media_default;
    if (ipp_attribute_t* col = ippFindAttribute(request, "media-col", IPP_TAG_BEGIN_COLLECTION)) {
        ipp_t* c = ippGetCollection(col, 0);
        media.source[0] = '\0';
        const char* name = ippGetString(ippFindAttribute(c, "media-size-name", IPP_TAG_ZERO), 0, nullptr);
        const pwg_media_t* size = name ? pwgMediaForPWG(name)
                                       : pwgMediaForSize(member(c, "media-size/x-dimension"), member(c, "media-size/y-dimension"));
        if (size) papplCopyString(media.size_name, name ? name : size->pwg, sizeof media.size_name);
        const struct {
            const char* name;
            int* value;
        } margins[] = {{"media-bottom-margin", &media.bottom_margin},
                       {"media-left-margin", &media.left_margin},
                       {"media-right-margin", &media.right_margin},
                       {"media-top-margin", &media.top_margin}};
        for (const auto& m : margins)
            if (ipp_attribute_t* a = ippFindAttribute(c, m.name, IPP_TAG_INTEGER)) *m.value = ippGetInteger(a, 0);
        if (const char* s = ippGetString(ippFindAttribute(c, "media-source", IPP_TAG_ZERO), 0, nullptr))
            papplCopyString(media.source, s, sizeof media.source);
        if (const char* t = ippGetString(ippFindAttribute(c, "media-type", IPP_TAG_ZERO), 0, nullptr))
            papplCopyString(media.type, t, sizeof media.type);
    } else if (const char* name = ippGetString(ippFindAttribute(request, "media", IPP_TAG_ZERO), 0, nullptr);
               name && pwgMediaForPWG(name)) {
        papplCopyString(media.size_name, name, sizeof media.size_name);
        media.source[0] = '\0';
    }
    for (int i = 0; !media.source[0] && i < data.num_source; ++i)
        if (!std::strcmp(media.size_name, data.media_ready[i].size_name))
            papplCopyString(media.source, data.source[i], sizeof media.source);

    kzfront::IppAttributes ipp;
    ipp.mediaSizeName = media.size_name;
    ipp.mediaType = media.type;
    ipp.mediaSource = media.source;
    ipp.margins[0] = media.left_margin;
    ipp.margins[1] = media.right_margin;
    ipp.margins[2] = media.top_margin;
    ipp.margins[3] = media.bottom_margin;
    ipp_attribute_t* quality = ippFindAttribute(request, "print-quality", IPP_TAG_ENUM);
    const int asked = ippGetInteger(quality, 0);  // PAPPL refuses other values after this
    ipp.quality = asked >= IPP_QUALITY_DRAFT && asked <= IPP_QUALITY_HIGH ? ipp_quality_t(asked) : data.quality_default;
    ipp_attribute_t* best = ippFindAttribute(request, kBestQuality, IPP_TAG_BOOLEAN);
    ipp.best = best ? ippGetBoolean(best, 0) : bestQualityDefault(printer);
    // Colour never changes for IPP's modes: grey prints with colour inks where there is no black-only mode.
    ipp.colourMode = "color";
    return ipp;
}

bool refuseUnprintable(pappl_client_t* client) {
    substituted = false;
    const ipp_op_t op = papplClientGetOperation(client);
    pappl_printer_t* printer = papplClientGetPrinter(client);
    if (!printer || (op != IPP_OP_PRINT_JOB && op != IPP_OP_CREATE_JOB && op != IPP_OP_VALIDATE_JOB)) return false;
    ipp_t* request = papplClientGetRequest(client);
    kzfront::Resolved resolved;
    std::string why;
    if (kzfront::resolveRequest(kzfront::requestFromIpp(requestedSettings(request, printer)), kzfront::Policy::Strict,
                                resolved, why))
        return false;
    if (!ippGetBoolean(ippFindAttribute(request, "ipp-attribute-fidelity", IPP_TAG_BOOLEAN), 0)) {
        substituted = true;  // printed with the nearest settings
        return false;
    }
    // Each value is supported, not together: the attributes that conflict.
    // (status-message holds 255 bytes: what is possible instead stays out.)
    why = why.substr(0, why.find(". Possible with"));
    std::string message = "These settings do not print together: " + why + ".";
    if (message.size() > 255) message = message.substr(0, 252) + "...";
    ipp_t* response = papplClientRespondIPP(client, IPP_STATUS_ERROR_CONFLICTING, "%s", message.c_str());
    for (const char* name : {"media-col", "media", "print-quality", kBestQuality}) copyAttribute(response, request, name);
    return true;
}

void amendResponse(pappl_client_t* client) {
    ipp_t* response = papplClientGetResponse(client);
    if (!response) return;
    const ipp_op_t op = papplClientGetOperation(client);
    if (op == IPP_OP_GET_PRINTER_ATTRIBUTES || op == IPP_OP_GET_PRINTERS) {
        int leftRight = 0, bottomTop = 0;
        if (borderedMargins(leftRight, bottomTop)) dropUnprintableBorderless(response, leftRight, bottomTop);
        dropRepeatedAttributes(response);
    } else if (op == IPP_OP_SET_PRINTER_ATTRIBUTES || op == IPP_OP_CREATE_PRINTER || op == IPP_OP_DELETE_PRINTER) {
        forgetBestQualityDefaults();
    } else if (substituted && ippGetStatusCode(response) == IPP_STATUS_OK) {
        ippSetStatusCode(response, IPP_STATUS_OK_IGNORED_OR_SUBSTITUTED);
    }
    substituted = false;
}

void dropRepeatedAttributes(ipp_t* response) {
    std::vector<ipp_attribute_t*> repeated;
    std::set<std::string> seen;
    ipp_tag_t group = IPP_TAG_ZERO;
    for (ipp_attribute_t* attr = ippFirstAttribute(response); attr; attr = ippNextAttribute(response)) {
        if (ippGetGroupTag(attr) != group) seen.clear(), group = ippGetGroupTag(attr);
        const char* name = ippGetName(attr);
        if (name && !seen.insert(name).second) repeated.push_back(attr);
    }
    for (ipp_attribute_t* attr : repeated) ippDeleteAttribute(response, attr);
}

void dropUnprintableBorderless(ipp_t* response, int bordered_left_right, int bordered_bottom_top) {
    for (ipp_attribute_t* attr = ippFirstAttribute(response); attr; attr = ippNextAttribute(response)) {
        const char* name = ippGetName(attr);
        if (!name || ippGetValueTag(attr) != IPP_TAG_BEGIN_COLLECTION) continue;
        if (!std::strcmp(name, "media-col-database") || !std::strcmp(name, "media-col-ready")) {
            for (int i = int(ippGetCount(attr)) - 1; i >= 0; --i) {
                ipp_t* col = ippGetCollection(attr, i);
                if (borderless(col) && !printsBorderless(col) && ippGetCount(attr) > 1) ippDeleteValues(response, &attr, i, 1);
            }
        } else if (!std::strcmp(name, "media-col-default")) {
            // A default set to borderless on such a size prints with margins.
            ipp_t* col = ippGetCollection(attr, 0);
            if (!borderless(col) || printsBorderless(col)) continue;
            for (const char* m : {"media-left-margin", "media-right-margin"}) {
                ipp_attribute_t* a = ippFindAttribute(col, m, IPP_TAG_INTEGER);
                ippSetInteger(col, &a, 0, bordered_left_right);
            }
            for (const char* m : {"media-top-margin", "media-bottom-margin"}) {
                ipp_attribute_t* a = ippFindAttribute(col, m, IPP_TAG_INTEGER);
                ippSetInteger(col, &a, 0, bordered_bottom_top);
            }
        }
    }
}

}  // namespace kzapp
