// Telling inputs apart by their first bytes, and checking them against the
// format they were sent as.
#include "frontend/input/open_pages.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <new>

#include "frontend/input/readers.h"
#include "frontend/unnamed_file.h"

namespace kzfront {
namespace {

enum class Kind { Unknown, Png, Jpeg, Pnm, Raster, Pdf, PostScript, Text };

struct KindName {
    Kind kind;
    const char* words;  // in messages: "a PNG picture sent as PDF"
    const char* shortName;
};
constexpr KindName kKinds[] = {
    {Kind::Png, "a PNG picture", "PNG"},          {Kind::Jpeg, "a JPEG picture", "JPEG"},
    {Kind::Pnm, "a PNM picture", "PNM"},          {Kind::Raster, "PWG or CUPS raster", "raster"},
    {Kind::Pdf, "a PDF document", "PDF"},         {Kind::PostScript, "a PostScript document", "PostScript"},
    {Kind::Text, "plain text", "text"},
    {Kind::Unknown, "an unknown format", "data"},
};
const KindName& nameOf(Kind kind) {
    for (const auto& k : kKinds)
        if (k.kind == kind) return k;
    return kKinds[std::size(kKinds) - 1];
}

constexpr size_t kHead = 8;

Kind kindOf(const unsigned char* head, size_t n) {
    const auto starts = [&](const char* magic) {
        const size_t len = std::strlen(magic);
        return n >= len && std::memcmp(head, magic, len) == 0;
    };
    if (starts("\x89PNG")) return Kind::Png;
    if (n >= 3 && head[0] == 0xFF && head[1] == 0xD8 && head[2] == 0xFF) return Kind::Jpeg;
    if (n >= 2 && head[0] == 'P' && head[1] >= '1' && head[1] <= '6') return Kind::Pnm;
    for (const char* sync : {"RaS2", "RaS3", "RaSt", "2SaR", "3SaR", "tSaR"})
        if (starts(sync)) return Kind::Raster;
    if (starts("%PDF")) return Kind::Pdf;
    if (starts("%!")) return Kind::PostScript;
    return Kind::Unknown;
}

// The kind a MIME type declares; Unknown for types that say nothing here.
Kind declaredKind(const std::string& type) {
    if (type == "image/png") return Kind::Png;
    if (type == "image/jpeg") return Kind::Jpeg;
    if (type.rfind("image/x-portable-", 0) == 0) return Kind::Pnm;
    if (type == "image/pwg-raster" || type == "application/vnd.cups-raster") return Kind::Raster;
    if (type == "application/pdf") return Kind::Pdf;
    if (type == "application/postscript") return Kind::PostScript;
    if (type == "text/plain") return Kind::Text;
    return Kind::Unknown;
}

// Reads up to kHead bytes; fewer only at the end of the input.
ssize_t readHead(int fd, unsigned char* head) {
    size_t n = 0;
    while (n < kHead) {
        const ssize_t got = ::read(fd, head + n, kHead - n);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) return -1;
        if (got == 0) break;
        n += size_t(got);
    }
    return ssize_t(n);
}

// Copies `head` and the rest of `fd` into a file without a name (gone with
// its last descriptor, whatever ends the program), for Ghostscript to read.
// The copy's descriptor, or -1 with `error`.
int spool(int fd, const unsigned char* head, size_t n, std::string& error) {
    const int out = unnamedFile(error);
    if (out < 0) return -1;
    bool ok = ::write(out, head, n) == ssize_t(n);
    char buffer[65536];
    while (ok) {
        const ssize_t got = ::read(fd, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) {
            ok = got == 0;
            break;
        }
        for (ssize_t done = 0; ok && done < got;) {
            const ssize_t put = ::write(out, buffer + done, size_t(got - done));
            if (put < 0 && errno == EINTR) continue;
            ok = put > 0;
            done += put;
        }
    }
    if (!ok) {
        error = std::string("cannot keep a temporary copy of the document (") + std::strerror(errno) + ")";
        ::close(out);
        return -1;
    }
    return out;
}

// `path` is the file's own path when the input is a file, else empty.
std::unique_ptr<PageSource> openInput(int fd, bool owned, const std::string& path, const std::string& name,
                                      const OpenOptions& options, std::string& error) {
    unsigned char head[kHead] = {};
    const ssize_t n = readHead(fd, head);
    const auto giveUp = [&](const std::string& why) -> std::unique_ptr<PageSource> {
        if (owned) ::close(fd);
        error = name + ": " + why;
        return nullptr;
    };
    if (n < 0) return giveUp(std::string("cannot be read (") + std::strerror(errno) + ")");
    if (n == 0) return giveUp("the file is empty");
    const Kind declared = declaredKind(options.declaredFormat);
    Kind kind = kindOf(head, size_t(n));
    if (kind == Kind::Unknown && input::looksLikeText(head, size_t(n))) kind = Kind::Text;
    if (kind == Kind::Unknown)
        return giveUp("not a format that prints here (PNG, JPEG, PNM, PWG or CUPS raster, PDF, PostScript, plain text)");
    if (declared != Kind::Unknown && declared != kind)
        return giveUp(std::string(nameOf(kind).words) + " sent as " + nameOf(declared).shortName);

    if (kind == Kind::Pdf || kind == Kind::PostScript) {
        const bool postscript = kind == Kind::PostScript;
        if (!path.empty()) {
            if (owned) ::close(fd);
            return input::openDocument(path, -1, name, postscript, options, error);
        }
        std::string why;
        const int copy = spool(fd, head, size_t(n), why);
        if (owned) ::close(fd);
        if (copy < 0) {
            error = name + ": " + why;
            return nullptr;
        }
        return input::openDocument({}, copy, name, postscript, options, error);
    }

    if (kind == Kind::Text) {
        std::string why;
        const int copy = spool(fd, head, size_t(n), why);
        if (owned) ::close(fd);
        int pdf = -1;
        if (copy >= 0 && !input::looksLikeText(copy)) why = "not a format that prints here (binary data after a text-like start)";
        else if (copy >= 0) {
            // Pages the paper's size; A4 when the caller did not say.
            const double width = options.paperWidth > 0 ? options.paperWidth * 72.0 / options.xdpi : 595.28;
            const double height = options.paperHeight > 0 ? options.paperHeight * 72.0 / options.ydpi : 841.89;
            pdf = input::textToPdf(copy, width, height, options.cancelled, why);
        }
        if (copy >= 0) ::close(copy);
        if (pdf < 0) {
            error = name + ": " + why;
            return nullptr;
        }
        return input::openDocument({}, pdf, name, false, options, error);
    }

    std::FILE* file = input::streamOver(fd, owned, head, size_t(n));
    if (!file) return giveUp("out of memory");
    switch (kind) {
    case Kind::Png: return input::openPng(file, name, options);
    case Kind::Jpeg: return input::openJpeg(file, name, options);
    case Kind::Pnm: return input::openPnm(file, name, options);
    default: return input::openRaster(file, name, options);
    }
}

}  // namespace

std::unique_ptr<PageSource> openPages(const std::string& path, const OpenOptions& options, std::string& error) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        error = path + ": cannot be opened (" + std::strerror(errno) + ")";
        return nullptr;
    }
    // Ghostscript opens documents by path; a pipe's content is copied first.
    struct stat st {};
    const bool regular = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
    return openInput(fd, true, regular ? path : std::string(), path, options, error);
}

std::unique_ptr<PageSource> openPages(int fd, const std::string& name, const OpenOptions& options,
                                      std::string& error) {
    return openInput(fd, false, "", name, options, error);
}

}  // namespace kzfront

namespace kzfront::input {
namespace {

struct Cookie {
    int fd;
    bool owned;
    unsigned char head[kHead];
    size_t headSize, headAt;
};

ssize_t readCookie(void* c, char* buffer, size_t size) {
    auto* cookie = static_cast<Cookie*>(c);
    if (cookie->headAt < cookie->headSize) {
        const size_t n = std::min(size, cookie->headSize - cookie->headAt);
        std::memcpy(buffer, cookie->head + cookie->headAt, n);
        cookie->headAt += n;
        return ssize_t(n);
    }
    for (;;) {
        const ssize_t got = ::read(cookie->fd, buffer, size);
        if (got >= 0 || errno != EINTR) return got;
    }
}

int closeCookie(void* c) {
    auto* cookie = static_cast<Cookie*>(c);
    if (cookie->owned) ::close(cookie->fd);
    delete cookie;
    return 0;
}

}  // namespace

std::FILE* streamOver(int fd, bool owned, const unsigned char* head, size_t headSize) {
    auto* cookie = new (std::nothrow) Cookie{fd, owned, {}, std::min(headSize, kHead), 0};
    if (!cookie) return nullptr;
    std::memcpy(cookie->head, head, cookie->headSize);
    cookie_io_functions_t io{readCookie, nullptr, nullptr, closeCookie};
    std::FILE* file = ::fopencookie(cookie, "rb", io);
    if (!file) delete cookie;
    return file;
}

}  // namespace kzfront::input
