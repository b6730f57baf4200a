#include "web/WebAccess.h"

#include "base/FileIO.h"
#include "base/RequestHead.h"

#include <sys/random.h>
#include <sys/stat.h>

#include <algorithm>
#include <optional>
#include <cerrno>
#include <cstring>

namespace {
std::string Lower(std::string_view text)
{
    std::string out(text);
    for (char& c : out)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c + 32);
    return out;
}

// The value of `name` among "a=1&b=2" or "a=1; b=2" pairs.
std::optional<std::string_view> Pair(std::string_view text, std::string_view name, char separator)
{
    while (!text.empty()) {
        const size_t end = std::min(text.find(separator), text.size());
        std::string_view item = text.substr(0, end);
        while (!item.empty() && item.front() == ' ')
            item.remove_prefix(1);
        if (item.size() > name.size() && item.starts_with(name) && item[name.size()] == '=')
            return item.substr(name.size() + 1);
        text.remove_prefix(std::min(end + 1, text.size()));
    }
    return std::nullopt;
}

bool FitToken(std::string_view token)
{
    return token.size() >= 32 && token.size() <= 128
        && token.find_first_not_of("0123456789abcdef") == std::string_view::npos;
}
} // namespace

bool CWebAccess::SameSecret(std::string_view a, std::string_view b)
{
    unsigned char differ = a.size() == b.size() ? 0 : 1;
    for (size_t i = 0; i < a.size(); ++i)
        differ |= static_cast<unsigned char>(a[i] ^ (i < b.size() ? b[i] : 0));
    return differ == 0;
}

std::vector<std::string> CWebAccess::HostValues(const std::string& host, int port)
{
    const std::string name = host.find(':') != std::string::npos ? "[" + Lower(host) + "]" : Lower(host);
    std::vector<std::string> values{name + ":" + std::to_string(port)};
    if (port == 80)
        values.push_back(name);
    return values;
}

CWebAccess::CDecision CWebAccess::Check(std::string_view head) const
{
    // "GET /path?query HTTP/1.1": the target is a path, never a whole URL
    // (whose host would stand in for the Host field).
    const std::string_view line = head.substr(0, head.find("\r\n"));
    const size_t space = line.find(' ');
    const size_t last = line.rfind(' ');
    if (space == std::string_view::npos || last <= space + 1 || line[space + 1] != '/'
        || line.find(' ', space + 1) != last)
        return {EVerdict::BadRequest, {}};
    const std::string_view target = line.substr(space + 1, last - space - 1);
    if (std::any_of(target.begin(), target.end(), [](char c) { return c <= ' ' || c >= 0x7f; }))
        return {EVerdict::BadRequest, {}};

    size_t count = 0;
    const auto host = requesthead::Field(head, "Host", &count);
    if (count > 1)
        return {EVerdict::BadRequest, {}};
    if (!host || std::find(hosts.begin(), hosts.end(), Lower(*host)) == hosts.end())
        return {EVerdict::WrongHost, {}};
    if (token.empty())
        return {};

    const size_t question = target.find('?');
    const std::string_view path = target.substr(0, question);
    const std::string_view query = question == std::string_view::npos ? std::string_view() : target.substr(question + 1);
    if (const auto given = Pair(query, "token", '&')) {
        if (!SameSecret(*given, token))
            return {EVerdict::NoToken, {}};
        // Links to files (a playlist's entries) carry it for players that
        // keep no cookies; only the page trades it for one.
        if (path != "/" && path != "/index.html")
            return {};
        // The same address without the token (the other parameters kept).
        std::string rest;
        for (std::string_view q = query; !q.empty();) {
            const size_t end = std::min(q.find('&'), q.size());
            const std::string_view item = q.substr(0, end);
            if (!item.starts_with("token=") && !item.empty())
                rest += (rest.empty() ? "?" : "&") + std::string(item);
            q.remove_prefix(std::min(end + 1, q.size()));
        }
        return {EVerdict::SetCookie, std::string(path) + rest};
    }
    if (const auto authorization = requesthead::Field(head, "Authorization")) {
        if (authorization->size() > 7 && Lower(authorization->substr(0, 7)) == "bearer "
            && SameSecret(authorization->substr(7), token))
            return {};
    }
    if (const auto cookies = requesthead::Field(head, "Cookie"))
        if (const auto given = Pair(*cookies, kCookie, ';'); given && SameSecret(*given, token))
            return {};
    return {EVerdict::NoToken, {}};
}

std::string AccessRefusal(CWebAccess::EVerdict verdict, const std::string& location, const std::string& token)
{
    const auto answer = [](const char* status, const std::string& extra, const std::string& text) {
        return std::string("HTTP/1.1 ") + status + "\r\n" + extra + "Content-Type: text/plain; charset=utf-8\r\n"
            + "Cache-Control: no-store\r\nReferrer-Policy: no-referrer\r\nContent-Length: " + std::to_string(text.size())
            + "\r\nConnection: close\r\n\r\n" + text;
    };
    switch (verdict) {
    case CWebAccess::EVerdict::SetCookie:
        return answer("303 See Other",
                      "Location: " + location + "\r\nSet-Cookie: " + CWebAccess::kCookie + "=" + token
                          + "; Path=/; HttpOnly; SameSite=Strict\r\n",
                      "");
    case CWebAccess::EVerdict::BadRequest:
        return answer("400 Bad Request", "", "Bad request.\n");
    case CWebAccess::EVerdict::WrongHost:
        return answer("421 Misdirected Request", "",
                      "This server does not answer that host name. Use the address it serves on, or start it with "
                      "--host-name NAME for another name.\n");
    case CWebAccess::EVerdict::NoToken:
        return answer("401 Unauthorized", "WWW-Authenticate: Bearer\r\n",
                      "This directory asks for its access token. Open the address talmira-cli serve printed when it "
                      "started (it ends in ?token=...), or send \"Authorization: Bearer TOKEN\"; the token is kept in "
                      "the file web-token of the install directory.\n");
    case CWebAccess::EVerdict::Allowed:
        break;
    }
    return {};
}

std::string LoadOrMakeToken(const std::string& path, std::string* error)
{
    fileio::CReadResult kept = fileio::ReadRegularFile(path, 256);
    std::string token = kept.bytes;
    while (!token.empty() && (token.back() == '\n' || token.back() == '\r'))
        token.pop_back();
    struct stat st {};
    if (kept.Ok() && FitToken(token) && ::stat(path.c_str(), &st) == 0) {
        if ((st.st_mode & 077) != 0 && ::chmod(path.c_str(), 0600) != 0) {
            if (error)
                *error = "cannot make " + path + " private: " + std::strerror(errno);
            return {};
        }
        return token;
    }
    unsigned char bits[16];
    for (size_t got = 0; got < sizeof bits;) {
        const ssize_t n = getrandom(bits + got, sizeof bits - got, 0);
        if (n < 0 && errno != EINTR) {
            if (error)
                *error = std::string("no random bits for the access token: ") + std::strerror(errno);
            return {};
        }
        got += n > 0 ? static_cast<size_t>(n) : 0;
    }
    token.clear();
    for (unsigned char b : bits) {
        token += "0123456789abcdef"[b >> 4];
        token += "0123456789abcdef"[b & 15];
    }
    fileio::CAtomicFileWriter file(path, 0600);
    if (!file.Write(token + "\n") || !file.Commit()) {
        if (error)
            *error = "cannot write the access token to " + path + ": " + std::strerror(file.Error());
        return {};
    }
    return token;
}
