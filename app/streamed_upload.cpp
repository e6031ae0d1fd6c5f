// Whether a streamed upload arrived whole (see streamed_upload.h).
#include "app/streamed_upload.h"

#include <cstring>

namespace kzapp {
namespace {

thread_local pappl_client_t* streaming = nullptr;

}  // namespace

void setStreamingClient(pappl_client_t* client) { streaming = client; }

bool streamedWhole(std::string& why) {
    http_t* http = streaming ? papplClientGetHTTP(streaming) : nullptr;
    // The whole body read leaves the request answered next (POST_SEND).
    if (!http || httpGetState(http) != HTTP_STATE_POST_RECV) return true;
    const long missing = static_cast<long>(httpGetRemaining(http));
    if (const int error = httpError(http))
        why = "the upload broke off (" + std::string(std::strerror(error)) + ")" +
              (missing > 0 ? " with " + std::to_string(missing) + " bytes still to come" : "");
    else if (missing > 0)
        why = "its raster ended with " + std::to_string(missing) + " bytes of the upload unread";
    else
        return true;
    return false;
}

}  // namespace kzapp
