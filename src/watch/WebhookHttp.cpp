// The webhooks' HTTP client: the distribution's cpp-httplib (built with TLS).
#include "watch/Webhooks.h"

#include <httplib.h>

namespace {

// "http://host[:port]" and the path of a webhook address.
bool SplitUrl(const std::string& url, std::string& origin, std::string& path)
{
    const size_t schemeEnd = url.compare(0, 7, "http://") == 0 ? 7 : url.compare(0, 8, "https://") == 0 ? 8 : 0;
    if (schemeEnd == 0 || url.size() > 2000)
        return false;
    const size_t slash = url.find('/', schemeEnd);
    origin = url.substr(0, slash);
    path = slash == std::string::npos ? "/" : url.substr(slash);
    const std::string host = origin.substr(schemeEnd);
    if (host.empty() || host.find_first_of(" \t\r\n@") != std::string::npos)
        return false;
    return path.find_first_of(" \t\r\n") == std::string::npos;
}

} // namespace

std::string WebhookUrlProblem(const std::string& url)
{
    std::string origin, path;
    if (!SplitUrl(url, origin, path))
        return "a webhook address is http://HOST[:PORT]/PATH or https://HOST[:PORT]/PATH";
    return {};
}

int PostHttp(const std::string& url, const std::string& body, const CHttpHeaders& headers)
{
    std::string origin, path;
    if (!SplitUrl(url, origin, path))
        return -1;
    httplib::Client client(origin);
    client.set_connection_timeout(5, 0);
    client.set_read_timeout(5, 0);
    client.set_write_timeout(5, 0);
    httplib::Headers h{{"User-Agent", "Talmira"}};
    for (const auto& [name, value] : headers)
        h.emplace(name, value);
    const auto result = client.Post(path, h, body, "application/json");
    return result ? result->status : -1;
}
