#pragma once
// Answering one received chunk with at most one HTTP/1.1 response. Runs on the
// user-interface thread; the connection is never closed here.
#include <cstdint>
#include <span>
#include <string_view>

#include "web/connections.h"

namespace web {

// Answers with the page, the icon, the JSON status, the metrics, the history
// page or its JSON, "404 Not Found" or "500 Internal Server Error" (no page
// built yet), or nothing when the request line is not a GET of a path.
void HandleRequest(ClientConnection& connection, std::span<const std::uint8_t> received);

// The status line, Content-Length, Content-Type, the blank line and the body,
// queued as one answer (SendText). No other header.
void SendResponse(ClientConnection& connection, std::string_view status,
                  std::span<const std::uint8_t> body, std::string_view contentType);

}  // namespace web
