#include "web/connections.h"

namespace web {

std::int32_t ReceiveRequest(ClientConnection& connection, std::span<std::uint8_t> buffer) {
    return platform::ReceiveFromSocket(connection.socket, buffer, false).count;
}

void SendText(ClientConnection& connection, std::string_view utf8Text) {
    if (utf8Text.empty()) return;
    SendBytes(connection,
              std::span(reinterpret_cast<const std::uint8_t*>(utf8Text.data()), utf8Text.size()));
}

void SendBytes(ClientConnection& connection, std::span<const std::uint8_t> bytes) {
    // Nothing is retried: the next browser reload two seconds later asks again.
    (void)platform::SendToSocket(connection.socket, bytes);
}

}  // namespace web
