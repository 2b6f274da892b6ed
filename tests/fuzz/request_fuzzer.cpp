// The status server's answer to one hostile chunk, through a real socket pair
// so that exactly the bytes a browser would get are checked, and the page
// built from hostile sensor names: no crash, one well-formed response whose
// Content-Length matches its body, and no markup from a name or a value.
#include <fuzzer/FuzzedDataProvider.h>
#include <sys/socket.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "web/request_handler.h"
#include "web/request_route.h"
#include "web/status_feed.h"
#include "web/status_page.h"

namespace {

constexpr std::size_t MaxRows = 8;
constexpr std::size_t MaxTextBytes = 64;

void require(bool condition) {
    if (!condition) std::abort();
}

struct SocketPair {
    int server = -1;
    int browser = -1;
};

SocketPair& sockets() {
    static SocketPair pair = [] {
        int fds[2] = {-1, -1};
        require(socketpair(AF_UNIX, SOCK_STREAM, 0, fds) == 0);
        return SocketPair{fds[0], fds[1]};
    }();
    return pair;
}

// Everything the server side has sent so far.
std::string receivedByBrowser() {
    std::string bytes;
    char chunk[4096];
    for (;;) {
        const ssize_t n = recv(sockets().browser, chunk, sizeof chunk, MSG_DONTWAIT);
        if (n <= 0) break;
        bytes.append(chunk, static_cast<std::size_t>(n));
    }
    return bytes;
}

std::size_t countOf(std::string_view text, std::string_view chars) {
    return static_cast<std::size_t>(std::count_if(
        text.begin(), text.end(), [&](char c) { return chars.find(c) != std::string_view::npos; }));
}

// Escaping holds when the markup characters of the page are exactly those of
// a page with the same number of empty rows.
void checkEscaping(const std::vector<web::PageRow>& rows) {
    const std::string page = *web::CurrentStatusPage();
    web::BuildStatusPage(std::vector<web::PageRow>(rows.size()));
    const std::string bare = *web::CurrentStatusPage();
    require(countOf(page, "<>\"") == countOf(bare, "<>\""));
    web::BuildStatusPage(rows);
}

std::string expectedStatus(web::Route route) {
    switch (route) {
        case web::Route::Page:
            return web::CurrentStatusPage() != nullptr ? "200 OK" : "500 Internal Server Error";
        case web::Route::Icon:
            return "200 OK";
        case web::Route::NotFound:
            return "404 Not Found";
        case web::Route::StatusJson:
        case web::Route::Metrics:
        case web::Route::HistoryPage:
        case web::Route::HistoryJson:
            return "200 OK";
        case web::Route::NoAnswer:
            break;
    }
    return "";
}

std::string expectedBody(web::Route route) {
    if (route == web::Route::Icon) {
        const auto icon = web::SiteIcon();
        return std::string(icon.begin(), icon.end());
    }
    if (route == web::Route::StatusJson) return web::StatusJsonBody();
    if (route == web::Route::Metrics) return web::MetricsBody();
    if (route == web::Route::HistoryPage) return web::HistoryPageBody();
    if (route == web::Route::HistoryJson) return web::HistoryJsonBody();
    const std::string* page = web::CurrentStatusPage();
    return route == web::Route::Page && page != nullptr ? *page : "";
}

void checkResponse(web::Route route, const std::string& response) {
    if (route == web::Route::NoAnswer) {
        require(response.empty());
        return;
    }
    const std::size_t headEnd = response.find("\r\n\r\n");
    require(headEnd != std::string::npos);
    const std::string body = response.substr(headEnd + 4);
    require(response.rfind("HTTP/1.1 " + expectedStatus(route) + "\r\n", 0) == 0);
    const std::string length = "Content-Length: " + std::to_string(body.size()) + "\r\n";
    require(response.find(length) != std::string::npos && response.find(length) < headEnd);
    require(body == expectedBody(route));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider in(data, size);
    web::ForgetStatusPage();
    if (in.ConsumeBool()) {
        std::vector<web::PageRow> rows(in.ConsumeIntegralInRange<std::size_t>(0, MaxRows));
        for (web::PageRow& row : rows) {
            row.name = in.ConsumeRandomLengthString(MaxTextBytes);
            row.value = in.ConsumeRandomLengthString(MaxTextBytes);
        }
        web::BuildStatusPage(rows);
        checkEscaping(rows);
    }
    const std::vector<std::uint8_t> chunk = in.ConsumeRemainingBytes<std::uint8_t>();

    const web::Route route = web::JudgeRequest(chunk);
    web::ClientConnection connection{platform::SocketHandle{sockets().server}};
    web::HandleRequest(connection, chunk);
    checkResponse(route, receivedByBrowser());
    return 0;
}
