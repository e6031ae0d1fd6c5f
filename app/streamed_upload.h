// Whether a document streamed while it printed arrived whole.
//
// PAPPL 1.3 prints PWG and Apple raster as it arrives and ends the job as
// completed when the stream stops at a page boundary, however short it is.
#pragma once

#include <pappl/pappl.h>

#include <string>

namespace kzapp {

// The client whose upload this thread prints, or nullptr.
void setStreamingClient(pappl_client_t* client);

// At the end of a job: false with `why` when its streamed upload stopped
// before its end.
bool streamedWhole(std::string& why);

}  // namespace kzapp
