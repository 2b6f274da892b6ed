#include "web/request_handler.h"

#include <string>

#include "web/request_route.h"
#include "web/status_feed.h"
#include "web/status_page.h"

namespace web {
namespace {

constexpr std::string_view kHtml = "text/html";
constexpr std::string_view kJson = "application/json";
constexpr std::string_view kMetrics = "text/plain; version=0.0.4; charset=utf-8";
constexpr std::string_view kHistoryHtml = "text/html; charset=utf-8";

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
        case Route::StatusJson:
            SendResponse(connection, "200 OK", bytesOf(StatusJsonBody()), kJson);
            return;
        case Route::Metrics:
            SendResponse(connection, "200 OK", bytesOf(MetricsBody()), kMetrics);
            return;
        case Route::HistoryPage:
            SendResponse(connection, "200 OK", bytesOf(HistoryPageBody()), kHistoryHtml);
            return;
        case Route::HistoryJson:
            SendResponse(connection, "200 OK", bytesOf(HistoryJsonBody()), kJson);
            return;
    }
}

void SendResponse(ClientConnection& connection, std::string_view status,
                  std::span<const std::uint8_t> body, std::string_view contentType) {
    std::string answer = "HTTP/1.1 " + std::string(status) +
                         "\r\nContent-Length: " + std::to_string(body.size()) +
                         "\r\nContent-Type: " + std::string(contentType) + "\r\n\r\n";
    answer.append(reinterpret_cast<const char*>(body.data()), body.size());
    SendText(connection, answer);
}

}  // namespace web
