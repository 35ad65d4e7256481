// The host's HTTP, answered from files: URLs to paths, and the completions
// the plugin's callbacks get.
#include "http.h"

#include <cstring>
#include <sstream>

#include "files.h"
#include "words.h"

namespace {

int hex_digit(char c)
{
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

std::string percent_decoded(const std::string &text)
{
    std::string out;
    for (size_t at = 0; at < text.size(); at++) {
        if (text[at] == '%' && at + 2 < text.size() && hex_digit(text[at + 1]) >= 0 &&
            hex_digit(text[at + 2]) >= 0) {
            out += (char)(hex_digit(text[at + 1]) * 16 + hex_digit(text[at + 2]));
            at += 2;
        } else {
            out += text[at];
        }
    }
    return out;
}

struct Fetched {
    int status = 0;
    std::string reason;
    std::string bytes;
};

// The file a URL names, read whole, with the status a server would give.
Fetched fetch(const std::string &url, const PathOption &www)
{
    Fetched fetched;
    std::string path;
    if (starts_with_nocase(url, "file://")) {
        path = percent_decoded(url.substr(7));
        // file:///C:/x names C:/x.
        if (path.size() > 2 && path[0] == '/' && path[2] == ':') path = path.substr(1);
    } else if (starts_with_nocase(url, "http://") || starts_with_nocase(url, "https://")) {
        if (www.empty()) {
            fetched.status = 404;
            fetched.reason = "no www folder";
            return fetched;
        }
        size_t slash = url.find('/', url.find("://") + 3);
        std::string rest = slash == std::string::npos ? "/" : url.substr(slash);
        rest = rest.substr(0, rest.find_first_of("?#"));
        rest = percent_decoded(rest);
        // Each segment must stay below the folder: no "..", no drive.
        std::stringstream segments(rest);
        std::string segment;
        while (std::getline(segments, segment, '/')) {
            if (segment == ".." || segment.find('\\') != std::string::npos || segment.find(':') != std::string::npos) {
                fetched.status = 403;
                fetched.reason = "outside the www folder";
                return fetched;
            }
        }
        if (rest.empty() || rest.back() == '/') rest += "index.html";
        path = www.path + rest;
    } else {
        fetched.status = 400;
        fetched.reason = "not a file:// or http:// URL";
        return fetched;
    }
    for (char &c : path) {
        if (c == '/') c = '\\';
    }
    if (!is_file(path) || !messenger::read_file(path, fetched.bytes)) {
        fetched.status = 404;
        fetched.reason = "no such file";
        return fetched;
    }
    fetched.status = 200;
    fetched.reason = "OK";
    return fetched;
}

} // namespace

bool http_deliver(Session &session, int32_t number)
{
    auto found = session.model.requests.find(number);
    if (found == session.model.requests.end()) return false;
    Request request = found->second;
    session.model.requests.erase(found);
    Fetched fetched = fetch(request.url, session.options.www);
    HttpCompletion completion;
    std::memset(&completion, 0, sizeof completion);
    completion.unused[0] = sizeof completion;
    completion.unused[1] = (uint32_t)fetched.status;
    completion.bytes = fetched.bytes.data();
    completion.count = (int32_t)fetched.bytes.size();
    std::string header = "http_complete request " + std::to_string(number) + ": " + std::to_string(fetched.status) +
                         " " + fetched.reason + ", " + std::to_string(fetched.bytes.size()) + " bytes";
    session.call_back(header, request.callback, 0, "http_complete", &completion, request.userData);
    return true;
}

void http_deliver_due(Session &session)
{
    if (session.hold_requests) return;
    std::vector<int32_t> due;
    for (const auto &request : session.model.requests) due.push_back(request.first);
    for (int32_t number : due) http_deliver(session, number);
}

void http_cancel_all(Session &session)
{
    std::vector<int32_t> pending;
    for (const auto &request : session.model.requests) pending.push_back(request.first);
    for (int32_t number : pending) {
        Request request = session.model.requests[number];
        session.model.requests.erase(number);
        HttpCompletion completion;
        std::memset(&completion, 0, sizeof completion);
        completion.unused[0] = sizeof completion;
        session.call_back("http_complete request " + std::to_string(number) + ": cancelled, 0 bytes",
                          request.callback, 0, "http_complete", &completion, request.userData);
    }
}
