// The MQTT reader on arbitrary bytes from a broker: framing and every packet
// parser must stay within the bytes given, whatever the lengths claim.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "mqtt/packets.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string stream(reinterpret_cast<const char*>(data), size);
    mqtt::Packet packet;
    mqtt::Publish publish;
    mqtt::Connack connack;
    std::uint16_t id = 0;
    std::vector<std::uint8_t> codes;
    while (!stream.empty()) {
        const std::size_t before = stream.size();
        const mqtt::FrameResult result = mqtt::TakePacket(stream, packet, 1 << 16);
        if (result != mqtt::FrameResult::Complete) break;
        // Every complete packet takes at least its two header bytes.
        if (stream.size() + 2 > before) std::abort();
        if (mqtt::ParsePublish(packet, publish) &&
            publish.topic.size() + publish.payload.size() > packet.body.size()) {
            std::abort();
        }
        [[maybe_unused]] const bool a = mqtt::ParseConnack(packet, connack);
        [[maybe_unused]] const bool b = mqtt::ParseSuback(packet, id, codes);
        [[maybe_unused]] const bool c = mqtt::ParsePuback(packet, id);
    }
    return 0;
}
