#include <gtest/gtest.h>

#include <string>

#include "mqtt/packets.h"

namespace mqtt {
namespace {

using namespace std::string_literals;

TEST(MqttPackets, ConnectCarriesUserPasswordKeepAliveAndRetainedWill) {
    ConnectRequest request;
    request.clientId = "k1";
    request.user = "u";
    request.password = "pw";
    request.keepAliveSeconds = 60;
    request.willTopic = "b/status";
    request.willPayload = "offline";
    const std::string expected =
        "\x10\x28"
        "\x00\x04MQTT\x04"
        "\xEE"  // user, password, will retain, will QoS 1, will, clean
        "\x00\x3C"
        "\x00\x02k1"
        "\x00\x08"
        "b/status"
        "\x00\x07offline"
        "\x00\x01u"
        "\x00\x02pw"s;
    EXPECT_EQ(EncodeConnect(request), expected);

    // No user: neither flag, and a lone password is not sent at all.
    ConnectRequest bare;
    bare.clientId = "k";
    bare.password = "lonely";
    bare.keepAliveSeconds = 0;
    EXPECT_EQ(EncodeConnect(bare), "\x10\x0D\x00\x04MQTT\x04\x02\x00\x00\x00\x01k"s);
}

TEST(MqttPackets, PublishSubscribeAndTheSmallPackets) {
    EXPECT_EQ(EncodePublish({"a/b", "21.5", 0, true, 0}),
              "\x31\x09\x00\x03"
              "a/b21.5"s);
    EXPECT_EQ(EncodePublish({"t", "", 1, false, 0x1234}), "\x32\x05\x00\x01t\x12\x34"s);
    EXPECT_EQ(EncodePuback(7), "\x40\x02\x00\x07"s);
    EXPECT_EQ(EncodeSubscribe(1, "homeassistant/status", 0),
              "\x82\x19\x00\x01\x00\x14homeassistant/status\x00"s);
    EXPECT_EQ(EncodePingreq(), "\xC0\x00"s);
    EXPECT_EQ(EncodeDisconnect(), "\xE0\x00"s);
}

TEST(MqttPackets, RemainingLengthUsesOneToFourBytes) {
    const auto lengthOf = [](std::size_t n) {
        std::string out;
        AppendRemainingLength(out, n);
        return out;
    };
    EXPECT_EQ(lengthOf(0), "\x00"s);
    EXPECT_EQ(lengthOf(127), "\x7F"s);
    EXPECT_EQ(lengthOf(128), "\x80\x01"s);
    EXPECT_EQ(lengthOf(16383), "\xFF\x7F"s);
    EXPECT_EQ(lengthOf(16384), "\x80\x80\x01"s);
    EXPECT_EQ(lengthOf(MaxRemainingLength), "\xFF\xFF\xFF\x7F"s);

    // A long payload frames and reads back whole.
    const std::string payload(20000, 'x');
    std::string stream = EncodePublish({"t", payload, 0, false, 0});
    Packet packet;
    ASSERT_EQ(TakePacket(stream, packet, 1 << 20), FrameResult::Complete);
    Publish read;
    ASSERT_TRUE(ParsePublish(packet, read));
    EXPECT_EQ(read.payload, payload);
    EXPECT_TRUE(stream.empty());
}

TEST(MqttPackets, AnswersAreReadPieceByPiece) {
    // CONNACK, SUBACK, a QoS 1 PUBLISH and PINGRESP arriving in one stream.
    const std::string all =
        "\x20\x02\x00\x00"
        "\x90\x03\x00\x01\x00"
        "\x32\x0D\x00\x03h/s\x00\x09online"
        "\xD0\x00"s;
    // Fed one byte at a time, each packet is complete only with its last byte.
    std::string buffer;
    std::vector<Packet> packets;
    for (const char c : all) {
        buffer += c;
        Packet packet;
        while (TakePacket(buffer, packet, 1024) == FrameResult::Complete) packets.push_back(packet);
    }
    ASSERT_EQ(packets.size(), 4u);
    Connack connack;
    ASSERT_TRUE(ParseConnack(packets[0], connack));
    EXPECT_EQ(connack.returnCode, 0);
    std::uint16_t id = 0;
    std::vector<std::uint8_t> codes;
    ASSERT_TRUE(ParseSuback(packets[1], id, codes));
    EXPECT_EQ(id, 1);
    EXPECT_EQ(codes, std::vector<std::uint8_t>{0});
    Publish publish;
    ASSERT_TRUE(ParsePublish(packets[2], publish));
    EXPECT_EQ(publish.topic, "h/s");
    EXPECT_EQ(publish.packetId, 9);
    EXPECT_EQ(publish.qos, 1);
    EXPECT_EQ(publish.payload, "online");
    EXPECT_EQ(packets[3].type, static_cast<std::uint8_t>(PacketType::Pingresp));

    Packet refused{2, 0, "\x00\x05"s};
    ASSERT_TRUE(ParseConnack(refused, connack));
    EXPECT_EQ(connack.returnCode, 5);
    Packet puback{4, 0, "\xAB\xCD"s};
    ASSERT_TRUE(ParsePuback(puback, id));
    EXPECT_EQ(id, 0xABCD);
}

TEST(MqttPackets, HostileOrShortInputIsRefusedNeverOverread) {
    Packet packet;
    // Five length bytes, and a length above what the reader allows.
    std::string endless = "\x30\xFF\xFF\xFF\xFF\x01"s;
    EXPECT_EQ(TakePacket(endless, packet, 1 << 20), FrameResult::Malformed);
    std::string huge = "\x30\xFF\xFF\xFF\x7F"s;
    EXPECT_EQ(TakePacket(huge, packet, 1 << 20), FrameResult::Malformed);
    std::string cut = "\x30\x80"s;
    EXPECT_EQ(TakePacket(cut, packet, 1 << 20), FrameResult::Incomplete);
    std::string empty;
    EXPECT_EQ(TakePacket(empty, packet, 1 << 20), FrameResult::Incomplete);

    Publish publish;
    EXPECT_FALSE(ParsePublish({3, 0, ""s}, publish));
    EXPECT_FALSE(ParsePublish({3, 0, "\x00"s}, publish));
    EXPECT_FALSE(ParsePublish({3, 0,
                               "\xFF\xFF"
                               "abc"s},
                              publish));                                // topic beyond the body
    EXPECT_FALSE(ParsePublish({3, 2, "\x00\x01t\x00"s}, publish));      // QoS 1 without a full id
    EXPECT_FALSE(ParsePublish({3, 6, "\x00\x01t\x00\x01"s}, publish));  // QoS 3
    Connack connack;
    EXPECT_FALSE(ParseConnack({2, 0, "\x00"s}, connack));
    EXPECT_FALSE(ParseConnack({3, 0, "\x00\x00"s}, connack));
    std::uint16_t id = 0;
    std::vector<std::uint8_t> codes;
    EXPECT_FALSE(ParseSuback({9, 0, "\x00\x01"s}, id, codes));
    EXPECT_FALSE(ParsePuback({4, 0, "\x01"s}, id));

    // Every prefix and every single-byte change of a valid stream: no crash,
    // and whatever is taken parses within its bounds.
    const std::string valid =
        "\x20\x02\x00\x00\x32\x0D\x00\x03h/s\x00\x09online\x90\x03\x00\x01\x00"s;
    for (std::size_t at = 0; at < valid.size(); ++at) {
        for (const int change : {0x00, 0x7F, 0x80, 0xFF}) {
            std::string stream = valid;
            stream[at] = static_cast<char>(change);
            for (std::size_t length = 0; length <= stream.size(); ++length) {
                std::string piece = stream.substr(0, length);
                while (TakePacket(piece, packet, 64) == FrameResult::Complete) {
                    [[maybe_unused]] const bool a = ParsePublish(packet, publish);
                    [[maybe_unused]] const bool b = ParseConnack(packet, connack);
                    [[maybe_unused]] const bool c = ParseSuback(packet, id, codes);
                }
            }
        }
    }
}

}  // namespace
}  // namespace mqtt
