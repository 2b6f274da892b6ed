#include "web/connections.h"

namespace web {

std::int32_t ReceiveRequest(ClientConnection& connection, std::span<std::uint8_t> buffer) {
    return platform::ReceiveFromSocket(connection.socket, buffer, false).count;
}

void SendText(ClientConnection& connection, std::string_view utf8Text) {
    SendBytes(connection,
              std::span(reinterpret_cast<const std::uint8_t*>(utf8Text.data()), utf8Text.size()));
}

void SendBytes(ClientConnection& connection, std::span<const std::uint8_t> bytes) {
    const std::string_view answer(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    if (!QueueAnswer(connection.output, answer, QueuedOnOtherConnections(connection))) {
        connection.output = OutputQueue{};
        connection.closeRequested = true;
        return;
    }
    SendQueued(connection);
}

void SendQueued(ClientConnection& connection) {
    if (QueuedBytes(connection.output) == 0) return;
    const std::int32_t sent =
        platform::SendToSocket(connection.socket, PendingBytes(connection.output));
    if (sent > 0) MarkSent(connection.output, static_cast<std::size_t>(sent));
}

}  // namespace web
