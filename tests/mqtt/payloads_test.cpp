#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <map>
#include <string>

#include "mqtt/payloads.h"

namespace mqtt {
namespace {

const std::string hostileName = "\"Котёл\"\\\n</script>{\x01}\xFF";

PassReport samplePass(bool thermoOn) {
    PassReport pass;
    pass.pass = 3;
    pass.thermoOn = thermoOn;
    pass.thermoMin = -5;
    pass.thermoMax = 30;
    pass.pollIntervalSeconds = 30;
    SensorReport sensor;
    sensor.rom = "2800000B013C5A14";
    sensor.romText = "28-00000B013C5A-14";
    sensor.name = hostileName;
    sensor.type = "DS18B20";
    sensor.connection = "Внешнее";
    sensor.status = "OK";
    sensor.celsius = 21.4375;
    sensor.state = SensorState::Alarm;
    pass.sensors.push_back(sensor);
    return pass;
}

std::map<std::string, std::string> byTopic(const std::vector<Retained>& messages) {
    std::map<std::string, std::string> topics;
    for (const Retained& message : messages) topics[message.topic] = message.payload;
    return topics;
}

TEST(MqttPayloads, DiscoveryConfigIsValidJsonWithEveryFieldForAHostileName) {
    const Naming naming{"home/k", "cellar/#+", true};
    const std::map<std::string, std::string> topics =
        byTopic(RetainedMessages(naming, samplePass(true)));
    EXPECT_EQ(topics.at("home/k/status"), "online");
    EXPECT_EQ(topics.at("home/k/2800000B013C5A14/state"), "alarm");
    EXPECT_EQ(topics.at("home/k/2800000B013C5A14/availability"), "online");

    const auto config = nlohmann::json::parse(
        topics.at("homeassistant/sensor/kelvarian_2800000B013C5A14/temperature/config"), nullptr,
        false);
    ASSERT_FALSE(config.is_discarded());
    EXPECT_EQ(config["name"], "\"Котёл\"\\\n</script>{\x01}\xEF\xBF\xBD");
    EXPECT_EQ(config["unique_id"], "kelvarian_2800000B013C5A14_temperature");
    EXPECT_EQ(config["state_topic"], "home/k/2800000B013C5A14/temperature");
    EXPECT_EQ(config["device_class"], "temperature");
    EXPECT_EQ(config["state_class"], "measurement");
    EXPECT_EQ(config["unit_of_measurement"], "°C");
    EXPECT_EQ(config["suggested_display_precision"], 1);
    EXPECT_EQ(config["expire_after"], 90);  // three passes of 30 s
    EXPECT_EQ(config["json_attributes_topic"], "home/k/2800000B013C5A14/attributes");
    ASSERT_EQ(config["availability"].size(), 2u);
    EXPECT_EQ(config["availability"][0]["topic"], "home/k/status");
    EXPECT_EQ(config["availability"][1]["topic"], "home/k/2800000B013C5A14/availability");
    EXPECT_EQ(config["device"]["identifiers"][0], "kelvarian_2800000B013C5A14");
    // Wildcards of the client id never reach a topic or an id.
    EXPECT_EQ(config["device"]["via_device"], "kelvarian_cellar___");
    EXPECT_EQ(topics.count("homeassistant/binary_sensor/kelvarian_cellar___/status/config"), 1u);

    const auto range = nlohmann::json::parse(
        topics.at("homeassistant/binary_sensor/kelvarian_2800000B013C5A14/range/config"), nullptr,
        false);
    ASSERT_FALSE(range.is_discarded());
    EXPECT_EQ(range["device_class"], "problem");
    EXPECT_EQ(range["state_topic"], "home/k/2800000B013C5A14/state");

    const auto attributes =
        nlohmann::json::parse(topics.at("home/k/2800000B013C5A14/attributes"), nullptr, false);
    ASSERT_FALSE(attributes.is_discarded());
    EXPECT_EQ(attributes["rom"], "28-00000B013C5A-14");
    EXPECT_EQ(attributes["min"], -5);
    EXPECT_EQ(attributes["max"], 30);
}

TEST(MqttPayloads, WithoutDiscoveryOrThermoControlTheirConfigsAreLeftOut) {
    PassReport pass = samplePass(false);
    pass.pollIntervalSeconds = 1;
    pass.sensors[0].state = SensorState::Missing;
    const std::map<std::string, std::string> withDiscovery =
        byTopic(RetainedMessages({"k", "c", true}, pass));
    EXPECT_EQ(
        withDiscovery.count("homeassistant/binary_sensor/kelvarian_2800000B013C5A14/range/config"),
        0u);
    EXPECT_EQ(withDiscovery.at("k/2800000B013C5A14/availability"), "offline");
    EXPECT_EQ(
        nlohmann::json::parse(withDiscovery.at(
            "homeassistant/sensor/kelvarian_2800000B013C5A14/temperature/config"))["expire_after"],
        60);  // never under a minute
    // Passes that take longer than the interval set the pace: 25.3 s counts
    // as 30 s. NaN (no pass yet) leaves the interval.
    const auto expiryFor = [&](double passSeconds) {
        pass.lastPassSeconds = passSeconds;
        return nlohmann::json::parse(byTopic(RetainedMessages({"k", "c", true}, pass))
                                         .at("homeassistant/sensor/kelvarian_2800000B013C5A14/"
                                             "temperature/config"))["expire_after"];
    };
    EXPECT_EQ(expiryFor(25.3), 90);
    EXPECT_EQ(expiryFor(7.5), 60);
    EXPECT_EQ(expiryFor(std::nan("")), 60);
    pass.lastPassSeconds = 0;
    const auto attributes =
        nlohmann::json::parse(withDiscovery.at("k/2800000B013C5A14/attributes"));
    EXPECT_FALSE(attributes.contains("min"));

    for (const Retained& message : RetainedMessages({"k", "c", false}, pass)) {
        EXPECT_FALSE(message.topic.starts_with("homeassistant/")) << message.topic;
    }
    EXPECT_EQ(TemperatureText(21.4375), "21.4375");
    EXPECT_EQ(TemperatureText(-0.5), "-0.5");
}

}  // namespace
}  // namespace mqtt
