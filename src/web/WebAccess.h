#pragma once
#include <string>
#include <string_view>
#include <vector>

// Who may read the web server, decided on a request's head before anything
// else sees it. A page on any web site can make the browser ask a server
// on loopback or the LAN, and a name that turns into our address (DNS
// rebinding) makes that page's scripts read the answers: so only the Host
// names the server is reached as are answered. Beyond loopback the LAN can
// read it too: there a request carries the access token, as the cookie the
// page's address sets, or as "Authorization: Bearer TOKEN" (or in the
// address of anything but the page: a playlist's links carry it).
struct CWebAccess {
    static constexpr const char* kCookie = "talmira_token";

    // The Host values answered ("name:port", lower case).
    std::vector<std::string> hosts;
    // Empty: no token asked for.
    std::string token;

    enum class EVerdict {
        Allowed,
        SetCookie,  // the token came in the address: keep it in a cookie, drop it from the address
        BadRequest, // a target or Host no server could answer
        WrongHost,  // 421
        NoToken,    // 401
    };
    struct CDecision {
        EVerdict verdict = EVerdict::Allowed;
        std::string location; // SetCookie: the address without the token
    };
    // `head` as requesthead::Scan gives it.
    CDecision Check(std::string_view head) const;

    // The Host values of `host` (an address or a name) on `port`: with the
    // port, and without it on port 80; IPv6 addresses in brackets.
    static std::vector<std::string> HostValues(const std::string& host, int port);
    // Whether two texts are the same, in a time that does not tell where they differ.
    static bool SameSecret(std::string_view a, std::string_view b);
};

// The answers to a request the access check turned away.
std::string AccessRefusal(CWebAccess::EVerdict verdict, const std::string& location, const std::string& token);

// The access token kept in `path` (mode 0600), made there first when it is
// missing or unfit: at least 128 random bits, as hexadecimal. Empty, with
// the reason in `error`, when it can be neither read nor made.
std::string LoadOrMakeToken(const std::string& path, std::string* error);
