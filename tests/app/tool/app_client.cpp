// Clients of the printer application that ipptool cannot be:
//
//   app_client truncated URI FILE FORMAT   sends half of FILE in a Print-Job and
//                                          hangs up; prints the job id, if any
//   app_client load URI DIR CLIENTS JOBS   CLIENTS clients at once, each
//                                          printing JOBS jobs of DIR/block.png,
//                                          block.pdf and block.pwg in turn,
//                                          every fourth cancelled; waits for
//                                          all to end and prints the counts
#include <cups/cups.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace {

struct Target {
    std::string host, resource, uri;
    int port = 0;
};

bool parse(const char* uri, Target& t) {
    char scheme[32], user[256], host[256], resource[1024];
    if (httpSeparateURI(HTTP_URI_CODING_ALL, uri, scheme, sizeof scheme, user, sizeof user, host, sizeof host, &t.port,
                        resource, sizeof resource) < HTTP_URI_STATUS_OK)
        return false;
    t.host = host;
    t.resource = resource;
    t.uri = uri;
    return true;
}

http_t* connect(const Target& t) {
    return httpConnect2(t.host.c_str(), t.port, nullptr, AF_UNSPEC, HTTP_ENCRYPTION_IF_REQUESTED, 1, 30000, nullptr);
}

std::string slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

ipp_t* request(ipp_op_t op, const Target& t) {
    ipp_t* r = ippNewRequest(op);
    ippAddString(r, IPP_TAG_OPERATION, IPP_TAG_URI, "printer-uri", nullptr, t.uri.c_str());
    ippAddString(r, IPP_TAG_OPERATION, IPP_TAG_NAME, "requesting-user-name", nullptr, "tester");
    return r;
}

ipp_t* printJob(const Target& t, const std::string& name, const char* format) {
    ipp_t* r = request(IPP_OP_PRINT_JOB, t);
    ippAddString(r, IPP_TAG_OPERATION, IPP_TAG_NAME, "job-name", nullptr, name.c_str());
    ippAddString(r, IPP_TAG_OPERATION, IPP_TAG_MIMETYPE, "document-format", nullptr, format);
    ippAddInteger(r, IPP_TAG_JOB, IPP_TAG_ENUM, "print-quality", IPP_QUALITY_DRAFT);
    return r;
}

// Sends the job with `bytes` of its document; a whole document waits for
// the answer: the job id, 0 when refused (`busy` when the printer was).
int send(http_t* http, const Target& t, ipp_t* job, const std::string& document, size_t bytes, bool& busy) {
    busy = false;
    http_status_t status = cupsSendRequest(http, job, t.resource.c_str(), ippLength(job) + document.size());
    for (size_t done = 0; status == HTTP_STATUS_CONTINUE && done < bytes;) {
        const size_t n = std::min<size_t>(65536, bytes - done);
        status = cupsWriteRequestData(http, document.data() + done, n);
        done += n;
    }
    ippDelete(job);
    if (bytes < document.size()) return 0;
    ipp_t* answer = cupsGetResponse(http, t.resource.c_str());
    const int id = ippGetInteger(ippFindAttribute(answer, "job-id", IPP_TAG_INTEGER), 0);
    busy = cupsLastError() == IPP_STATUS_ERROR_BUSY;
    ippDelete(answer);
    return cupsLastError() < IPP_STATUS_REDIRECTION_OTHER_SITE ? id : 0;
}

int truncated(const Target& t, const char* path, const char* format) {
    const std::string document = slurp(path);
    http_t* http = connect(t);
    if (!http || document.empty()) return 1;
    bool busy = false;
    send(http, t, printJob(t, "truncated", format), document, document.size() / 2, busy);
    httpFlushWrite(http);
    // Hung up once the server has had time to take what came.
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    httpShutdown(http);
    httpClose(http);
    return 0;
}

ipp_jstate_t jobState(http_t* http, const Target& t, int id) {
    ipp_t* r = request(IPP_OP_GET_JOB_ATTRIBUTES, t);
    ippAddInteger(r, IPP_TAG_OPERATION, IPP_TAG_INTEGER, "job-id", id);
    ipp_t* answer = cupsDoRequest(http, r, t.resource.c_str());
    const auto state = static_cast<ipp_jstate_t>(ippGetInteger(ippFindAttribute(answer, "job-state", IPP_TAG_ENUM), 0));
    ippDelete(answer);
    return state;
}

void cancel(http_t* http, const Target& t, int id) {
    ipp_t* r = request(IPP_OP_CANCEL_JOB, t);
    ippAddInteger(r, IPP_TAG_OPERATION, IPP_TAG_INTEGER, "job-id", id);
    ippDelete(cupsDoRequest(http, r, t.resource.c_str()));
}

int load(const Target& t, const std::string& dir, int clients, int jobs) {
    const struct { const char* file; const char* format; } kinds[] = {
        {"block.png", "image/png"}, {"block.pdf", "application/pdf"}, {"block.pwg", "image/pwg-raster"}};
    std::vector<std::string> documents;
    for (const auto& k : kinds) documents.push_back(slurp(dir + "/" + k.file));
    std::mutex lock;
    std::vector<int> accepted;
    std::atomic<int> refused{0}, busyRetries{0};
    const auto start = std::chrono::steady_clock::now();
    std::vector<std::thread> threads;
    for (int c = 0; c < clients; ++c) {
        threads.emplace_back([&, c] {
            for (int j = 0; j < jobs; ++j) {
                // A connection per job, as most clients print.
                http_t* http = connect(t);
                const int kind = (c + j) % 3;
                const std::string name = "load-" + std::to_string(c) + "-" + std::to_string(j);
                int id = 0;
                bool busy = true;
                // A streamed raster job is refused while another job prints.
                for (int attempt = 0; http && busy && attempt < 600; ++attempt) {
                    id = send(http, t, printJob(t, name, kinds[kind].format), documents[kind], documents[kind].size(), busy);
                    if (busy) {
                        ++busyRetries;
                        httpClose(http);
                        std::this_thread::sleep_for(std::chrono::milliseconds(200));
                        http = connect(t);
                    }
                }
                if (id && (c * jobs + j) % 4 == 3) cancel(http, t, id);
                httpClose(http);
                if (!id) {
                    std::fprintf(stderr, "%s refused: %s\n", name.c_str(), cupsLastErrorString());
                    ++refused;
                    continue;
                }
                std::lock_guard<std::mutex> hold(lock);
                accepted.push_back(id);
            }
        });
    }
    for (auto& thread : threads) thread.join();
    std::map<ipp_jstate_t, int> ends;
    http_t* http = connect(t);
    for (int id : accepted) {
        ipp_jstate_t state = IPP_JSTATE_PENDING;
        for (int i = 0; i < 3000 && state < IPP_JSTATE_CANCELED; ++i) {
            state = jobState(http, t, id);
            if (state < IPP_JSTATE_CANCELED) std::this_thread::sleep_for(std::chrono::milliseconds(200));
        }
        ++ends[state];
    }
    httpClose(http);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const int ended = ends[IPP_JSTATE_COMPLETED] + ends[IPP_JSTATE_CANCELED] + ends[IPP_JSTATE_ABORTED];
    std::printf("jobs %d accepted %zu refused %d completed %d cancelled %d aborted %d unfinished %d "
                "busy-retries %d seconds %.1f\n",
                clients * jobs, accepted.size(), refused.load(), ends[IPP_JSTATE_COMPLETED], ends[IPP_JSTATE_CANCELED],
                ends[IPP_JSTATE_ABORTED], static_cast<int>(accepted.size()) - ended, busyRetries.load(), seconds);
    return refused == 0 && ended == static_cast<int>(accepted.size()) ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    Target t;
    if (argc == 5 && !std::strcmp(argv[1], "truncated") && parse(argv[2], t)) return truncated(t, argv[3], argv[4]);
    if (argc == 6 && !std::strcmp(argv[1], "load") && parse(argv[2], t))
        return load(t, argv[3], std::atoi(argv[4]), std::atoi(argv[5]));
    std::fprintf(stderr, "usage: app_client truncated URI FILE FORMAT | load URI DIR CLIENTS JOBS\n");
    return 2;
}
