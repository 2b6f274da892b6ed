#include "mqtt/packets.h"

#include <algorithm>

namespace mqtt {
namespace {

constexpr std::uint8_t ProtocolLevel = 4;  // 3.1.1
constexpr std::size_t MaxStringLength = 65535;

char byteOf(unsigned value) {
    return static_cast<char>(static_cast<std::uint8_t>(value));
}

void appendWord(std::string& out, std::uint16_t value) {
    out += byteOf(value >> 8);
    out += byteOf(value & 0xFF);
}

std::string framed(PacketType type, std::uint8_t flags, const std::string& body) {
    std::string out;
    out += byteOf((static_cast<unsigned>(type) << 4) | (flags & 0x0F));
    AppendRemainingLength(out, body.size());
    out += body;
    return out;
}

std::uint16_t wordAt(std::string_view bytes, std::size_t at) {
    return static_cast<std::uint16_t>((static_cast<std::uint8_t>(bytes[at]) << 8) |
                                      static_cast<std::uint8_t>(bytes[at + 1]));
}

}  // namespace

void AppendRemainingLength(std::string& out, std::size_t length) {
    length = std::min(length, MaxRemainingLength);
    do {
        unsigned digit = static_cast<unsigned>(length % 128);
        length /= 128;
        if (length > 0) digit |= 0x80;
        out += byteOf(digit);
    } while (length > 0);
}

void AppendMqttString(std::string& out, std::string_view text) {
    text = text.substr(0, MaxStringLength);
    appendWord(out, static_cast<std::uint16_t>(text.size()));
    out += text;
}

std::string EncodeConnect(const ConnectRequest& request) {
    std::string body;
    AppendMqttString(body, "MQTT");
    body += byteOf(ProtocolLevel);
    unsigned flags = 0x02;  // clean session: everything is published afresh anyway
    if (!request.willTopic.empty()) {
        flags |= 0x04 | ((request.willQos & 0x03u) << 3) | (request.willRetain ? 0x20u : 0u);
    }
    // A password without a user name is not allowed by the protocol.
    const bool withUser = !request.user.empty();
    if (withUser) flags |= 0x80;
    if (withUser && !request.password.empty()) flags |= 0x40;
    body += byteOf(flags);
    appendWord(body, request.keepAliveSeconds);
    AppendMqttString(body, request.clientId);
    if (!request.willTopic.empty()) {
        AppendMqttString(body, request.willTopic);
        AppendMqttString(body, request.willPayload);
    }
    if (withUser) AppendMqttString(body, request.user);
    if (withUser && !request.password.empty()) AppendMqttString(body, request.password);
    return framed(PacketType::Connect, 0, body);
}

std::string EncodePublish(const Publish& publish) {
    std::string body;
    AppendMqttString(body, publish.topic);
    const std::uint8_t qos = std::min<std::uint8_t>(publish.qos, 1);
    if (qos > 0) appendWord(body, publish.packetId);
    body += publish.payload;
    if (body.size() > MaxRemainingLength) return {};
    const std::uint8_t flags = static_cast<std::uint8_t>((qos << 1) | (publish.retain ? 1 : 0));
    return framed(PacketType::Publish, flags, body);
}

std::string EncodePuback(std::uint16_t packetId) {
    std::string body;
    appendWord(body, packetId);
    return framed(PacketType::Puback, 0, body);
}

std::string EncodeSubscribe(std::uint16_t packetId, std::string_view topicFilter,
                            std::uint8_t qos) {
    std::string body;
    appendWord(body, packetId);
    AppendMqttString(body, topicFilter);
    body += byteOf(qos & 0x03u);
    // The protocol fixes these flag bits for SUBSCRIBE.
    return framed(PacketType::Subscribe, 0x02, body);
}

std::string EncodePingreq() {
    return framed(PacketType::Pingreq, 0, {});
}

std::string EncodeDisconnect() {
    return framed(PacketType::Disconnect, 0, {});
}

FrameResult TakePacket(std::string& buffer, Packet& packet, std::size_t maxBody) {
    if (buffer.empty()) return FrameResult::Incomplete;
    std::size_t length = 0;
    std::size_t at = 1;
    for (unsigned shift = 0;; shift += 7) {
        // Four length bytes at most; a fifth continuation is not MQTT.
        if (at > 4) return FrameResult::Malformed;
        if (at >= buffer.size()) return FrameResult::Incomplete;
        const auto digit = static_cast<std::uint8_t>(buffer[at++]);
        length |= static_cast<std::size_t>(digit & 0x7F) << shift;
        if ((digit & 0x80) == 0) break;
    }
    if (length > maxBody) return FrameResult::Malformed;
    if (buffer.size() - at < length) return FrameResult::Incomplete;
    const auto first = static_cast<std::uint8_t>(buffer[0]);
    packet.type = first >> 4;
    packet.flags = first & 0x0F;
    packet.body.assign(buffer, at, length);
    buffer.erase(0, at + length);
    return FrameResult::Complete;
}

bool ParseConnack(const Packet& packet, Connack& connack) {
    if (packet.type != static_cast<std::uint8_t>(PacketType::Connack) || packet.body.size() != 2) {
        return false;
    }
    connack.sessionPresent = (packet.body[0] & 0x01) != 0;
    connack.returnCode = static_cast<std::uint8_t>(packet.body[1]);
    return true;
}

bool ParsePublish(const Packet& packet, Publish& publish) {
    if (packet.type != static_cast<std::uint8_t>(PacketType::Publish)) return false;
    const std::string_view body = packet.body;
    publish.qos = (packet.flags >> 1) & 0x03;
    publish.retain = (packet.flags & 0x01) != 0;
    if (publish.qos == 3 || body.size() < 2) return false;
    const std::size_t topicLength = wordAt(body, 0);
    std::size_t at = 2 + topicLength;
    if (body.size() < at) return false;
    publish.topic.assign(body.substr(2, topicLength));
    publish.packetId = 0;
    if (publish.qos > 0) {
        if (body.size() < at + 2) return false;
        publish.packetId = wordAt(body, at);
        at += 2;
    }
    publish.payload.assign(body.substr(at));
    return true;
}

bool ParsePuback(const Packet& packet, std::uint16_t& packetId) {
    if (packet.type != static_cast<std::uint8_t>(PacketType::Puback) || packet.body.size() != 2) {
        return false;
    }
    packetId = wordAt(packet.body, 0);
    return true;
}

bool ParseSuback(const Packet& packet, std::uint16_t& packetId, std::vector<std::uint8_t>& codes) {
    if (packet.type != static_cast<std::uint8_t>(PacketType::Suback) || packet.body.size() < 3) {
        return false;
    }
    packetId = wordAt(packet.body, 0);
    codes.assign(packet.body.begin() + 2, packet.body.end());
    return true;
}

}  // namespace mqtt
