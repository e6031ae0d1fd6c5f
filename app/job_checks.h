// What the printer offers and accepts, where PAPPL 1.3 decides otherwise.
//
// PAPPL lists borderless media (zero margins) for every size or for none;
// this printer prints borderless on some sizes only, so the others' zero-
// margin entries leave media-col-database, media-col-ready and
// media-col-default.  And PAPPL accepts any combination of settings it
// supports one by one: a job whose settings do not print together is
// refused when it asks for ipp-attribute-fidelity, and otherwise accepted
// with successful-ok-ignored-or-substituted-attributes and printed with the
// nearest settings (its job-state-message says what changed).
#pragma once

#include <pappl/pappl.h>

#include <string>

#include "frontend/settings.h"

namespace kzapp {

// The settings a Print-Job, Create-Job or Validate-Job request asks for on
// `printer`, the printer's defaults where it says nothing (as PAPPL fills in
// a job's options).
kzfront::IppAttributes requestedSettings(ipp_t* request, pappl_printer_t* printer);

// Before PAPPL reads the request: true when it was answered (refused).
bool refuseUnprintable(pappl_client_t* client);
// After PAPPL answered: the media lists and the status amended.
void amendResponse(pappl_client_t* client);

// Removes attributes named twice in a group of `response`: PAPPL 1.3 adds
// printer-strings-languages-supported once for each of its string resources
// when the program adds strings of its own.
void dropRepeatedAttributes(ipp_t* response);

// Removes from `response` the zero-margin media entries of sizes that do not
// print borderless.
void dropUnprintableBorderless(ipp_t* response, int bordered_left_right, int bordered_bottom_top);

}  // namespace kzapp
