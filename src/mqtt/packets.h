#pragma once
// MQTT 3.1.1 control packets as bytes: the few this program sends and the
// answers it reads. Pure functions over strings of bytes, no network.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace mqtt {

enum class PacketType : std::uint8_t {
    Connect = 1,
    Connack = 2,
    Publish = 3,
    Puback = 4,
    Subscribe = 8,
    Suback = 9,
    Pingreq = 12,
    Pingresp = 13,
    Disconnect = 14,
};

// The largest remaining length the four length bytes can carry.
inline constexpr std::size_t MaxRemainingLength = 268'435'455;

struct ConnectRequest {
    std::string clientId;
    std::string user;      // empty: none sent
    std::string password;  // empty: none sent
    std::uint16_t keepAliveSeconds = 60;
    std::string willTopic;  // empty: no last will
    std::string willPayload;
    std::uint8_t willQos = 1;
    bool willRetain = true;
};

// The broker's answer to CONNECT; returnCode 0 is accepted.
struct Connack {
    bool sessionPresent = false;
    std::uint8_t returnCode = 0;
};

struct Publish {
    std::string topic;
    std::string payload;
    std::uint8_t qos = 0;
    bool retain = false;
    std::uint16_t packetId = 0;  // only with QoS 1 or 2
};

// One packet as framed on the wire: the fixed header's type and flags and
// the bytes after the remaining length.
struct Packet {
    std::uint8_t type = 0;
    std::uint8_t flags = 0;
    std::string body;
};

void AppendRemainingLength(std::string& out, std::size_t length);
// A string as MQTT carries it: two length bytes, then the bytes. Longer than
// 65535 bytes is cut there, which only a hostile name could reach.
void AppendMqttString(std::string& out, std::string_view text);

[[nodiscard]] std::string EncodeConnect(const ConnectRequest& request);
// An empty string when the packet would not fit the length field.
[[nodiscard]] std::string EncodePublish(const Publish& publish);
[[nodiscard]] std::string EncodePuback(std::uint16_t packetId);
[[nodiscard]] std::string EncodeSubscribe(std::uint16_t packetId, std::string_view topicFilter,
                                          std::uint8_t qos);
[[nodiscard]] std::string EncodePingreq();
[[nodiscard]] std::string EncodeDisconnect();

enum class FrameResult : std::uint8_t {
    Incomplete,  // more bytes are needed
    Complete,    // one packet was taken from the front of the buffer
    Malformed,   // the stream cannot be read further: drop the connection
};

// Takes the first whole packet off `buffer`. A packet longer than `maxBody`
// counts as malformed: a broker never sends this program anything that big,
// and holding it would let a hostile peer fill memory.
[[nodiscard]] FrameResult TakePacket(std::string& buffer, Packet& packet, std::size_t maxBody);

[[nodiscard]] bool ParseConnack(const Packet& packet, Connack& connack);
[[nodiscard]] bool ParsePublish(const Packet& packet, Publish& publish);
// PUBACK: the packet id it acknowledges.
[[nodiscard]] bool ParsePuback(const Packet& packet, std::uint16_t& packetId);
// SUBACK: the packet id and one return code per filter (0x80: refused).
[[nodiscard]] bool ParseSuback(const Packet& packet, std::uint16_t& packetId,
                               std::vector<std::uint8_t>& codes);

}  // namespace mqtt
