#include "web/request_handler.h"

#include <string>

#include "web/request_route.h"
#include "web/status_page.h"

namespace web {
namespace {

constexpr std::string_view kHtml = "text/html";

std::span<const std::uint8_t> bytesOf(const std::string& text) {
    return std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size());
}

}  // namespace

void HandleRequest(ClientConnection& connection, std::span<const std::uint8_t> received) {
    switch (JudgeRequest(received)) {
        case Route::NoAnswer:
            return;
        case Route::Page:
            if (const std::string* page = CurrentStatusPage()) {
                SendResponse(connection, "200 OK", bytesOf(*page), kHtml);
            } else {
                SendResponse(connection, "500 Internal Server Error", {}, kHtml);
            }
            return;
        case Route::Icon:
            SendResponse(connection, "200 OK", SiteIcon(), "image/x-icon");
            return;
        case Route::NotFound:
            SendResponse(connection, "404 Not Found", {}, kHtml);
            return;
    }
}

void SendResponse(ClientConnection& connection, std::string_view status,
                  std::span<const std::uint8_t> body, std::string_view contentType) {
    SendText(connection, "HTTP/1.1 " + std::string(status) + "\r\n");
    SendText(connection, "Content-Length: " + std::to_string(body.size()) + "\r\n");
    SendText(connection, "Content-Type: " + std::string(contentType) + "\r\n");
    SendText(connection, "\r\n");
    if (!body.empty()) SendBytes(connection, body);
}

}  // namespace web
