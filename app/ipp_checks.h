// Requests checked before PAPPL 1.3 reads them.
//
// PAPPL 1.3.1 takes some attributes as it finds them: a media-col whose
// media-size is a keyword, a media-type given as an integer or an unknown
// media-size-name crash the server when a job's options are built or a
// default is set; media-col-ready with more values than sources overruns a
// buffer; printer-geo-location as anything but a URI crashes it; and the
// job attributes of a Send-Document request are copied into the job
// unchecked.  These checks refuse such requests with
// client-error-attributes-or-values-not-supported, naming the attribute.
#pragma once

#include <pappl/pappl.h>

#include <string>

namespace kzapp {

struct Refusal {
    ipp_attribute_t* attr = nullptr;  // the request's attribute; nullptr: nothing to refuse
    std::string why;                  // what is wrong with it, and what is possible
};

// What PAPPL would trip on in `request`, an operation on `printer` (nullptr
// for Create-Printer).
Refusal checkRequest(ipp_t* request, pappl_printer_t* printer);

// Answers `client` with the refusal when its request has one; true then.
bool refuseUnchecked(pappl_client_t* client);

}  // namespace kzapp
