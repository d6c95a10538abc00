#include "HttpHandlers.h"

#include "Resolver.h"
#include "WebPages.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <ctime>

namespace {

HttpService::Reply TextReply(int status, std::string body)
{
    HttpService::Reply reply;
    reply.status = status;
    reply.body = std::move(body);
    return reply;
}

} // namespace

HttpService::Reply ServeFile(const std::filesystem::path& root, const HttpService::Request& request)
{
    const auto file = ContentFile(root, SplitTarget(request.target).path);
    const int fd = file ? ::open(file->c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW) : -1;
    struct stat status
    {
    };
    if (fd < 0 || ::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) {
        if (fd >= 0)
            ::close(fd);
        return TextReply(404, "Not Found\n");
    }
    const auto size = static_cast<std::uint64_t>(status.st_size);
    HttpService::Reply reply;
    reply.contentType = ContentType(*file);
    reply.headers.emplace_back("Accept-Ranges", "bytes");
    reply.file = fd;
    reply.length = size;
    if (const auto range = ParseRange(request.range, size)) {
        if (!range->satisfiable) {
            ::close(fd);
            reply = TextReply(416, "Range Not Satisfiable\n");
            reply.headers.emplace_back("Content-Range", "bytes */" + std::to_string(size));
            return reply;
        }
        reply.status = 206;
        reply.offset = range->first;
        reply.length = range->length;
        reply.headers.emplace_back("Content-Range",
                                   "bytes " + std::to_string(range->first) + "-"
                                       + std::to_string(range->first + range->length - 1) + "/"
                                       + std::to_string(size));
    }
    return reply;
}

void ServePage(Resolver& resolver, const HttpService::Request& request,
               const HttpService::Respond& respond)
{
    const Target target = SplitTarget(request.target);
    HttpService::Reply reply;
    if (target.path == "/ips.asp") {
        // The raw query, so that a query text holding "=" or "http://" arrives whole.
        const std::string host = LookupHost(QueryValue(target.query, "ip"));
        auto answer = [respond](const std::string& address) {
            HttpService::Reply page;
            page.body = AddressLookupPage(address);
            page.contentType = "text/html; charset=gb2312";
            respond(std::move(page));
        };
        if (host.empty())
            answer({});
        else
            resolver.Resolve(host, std::move(answer));
        return;
    }
    if (target.path == "/tb.q") {
        const std::time_t now = std::time(nullptr);
        std::tm local{};
        ::localtime_r(&now, &local);
        reply.body = WeatherPage(local.tm_mon + 1);
        reply.contentType = "text/xml; charset=gb2312";
    } else {
        reply = TextReply(404, "Not Found\n");
    }
    respond(std::move(reply));
}

bool CheckContentFolder(const std::filesystem::path& content, std::string& error)
{
    struct stat status
    {
    };
    if (::stat(content.c_str(), &status) != 0) {
        error = errno == ENOENT || errno == ENOTDIR
            ? "no content folder " + content.string()
            : "no readable content folder " + content.string() + ": " + std::strerror(errno);
        return false;
    }
    if (!S_ISDIR(status.st_mode)) {
        error = "no content folder " + content.string();
        return false;
    }
    if (::access(content.c_str(), R_OK | X_OK) != 0) {
        error = "no readable content folder " + content.string() + ": " + std::strerror(errno);
        return false;
    }
    return true;
}
