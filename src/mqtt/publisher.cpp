#include "mqtt/publisher.h"

#include <map>
#include <set>
#include <utility>

#include "mqtt/session.h"
#include "platform/clock.h"

namespace mqtt {
namespace {

constexpr std::uint16_t KeepAliveSeconds = 60;
constexpr std::uint32_t GoodbyeGraceMs = 500;

struct Publisher {
    bool running = false;
    PublisherSettings settings;
    Session session;
    PassReport latest;
    bool havePass = false;
    // Retained topics as last published on this connection, so that only
    // changes go out and a topic no longer wanted is deleted.
    std::map<std::string, std::string> published;
    // Sensors whose temperature topic holds a value; cleared on removal.
    std::set<std::string> withTemperature;
    std::uint64_t greetingsSeen = 0;
    std::uint64_t temperaturesOfPass = 0;
    bool everythingAfresh = true;
    // Something to compare: a new pass, a reconnection or Home Assistant's
    // restart. Building every payload on each 10 ms tick would cost for nothing.
    bool dirty = true;
};

Publisher publisher;

void publishRetained(const std::string& topic, std::string payload, std::uint8_t qos) {
    SendPublish(publisher.session, Publish{topic, std::move(payload), qos, true, 0},
                platform::ElapsedMs());
}

void forgetDiscoveryConfigs() {
    for (auto it = publisher.published.begin(); it != publisher.published.end();) {
        it = it->first.starts_with(DiscoveryPrefix) ? publisher.published.erase(it) : std::next(it);
    }
}

void readIncoming() {
    for (const Publish& message : TakeIncoming(publisher.session)) {
        // Home Assistant lost its discovered entities when it restarted.
        if (message.topic == AssistantStatusTopic && message.payload == OnlinePayload) {
            forgetDiscoveryConfigs();
            publisher.dirty = true;
        }
    }
}

void syncRetained() {
    std::map<std::string, Retained> wanted;
    for (Retained& message : RetainedMessages(publisher.settings.naming, publisher.latest)) {
        std::string topic = message.topic;
        wanted.emplace(std::move(topic), std::move(message));
    }
    for (auto it = publisher.published.begin(); it != publisher.published.end();) {
        if (wanted.count(it->first) != 0) {
            ++it;
            continue;
        }
        // Removed from the list, or thermo control switched off.
        publishRetained(it->first, {}, 1);
        it = publisher.published.erase(it);
    }
    for (auto& [topic, message] : wanted) {
        auto known = publisher.published.find(topic);
        if (!publisher.everythingAfresh && known != publisher.published.end() &&
            known->second == message.payload) {
            continue;
        }
        publisher.published[topic] = message.payload;
        publishRetained(topic, std::move(message.payload), message.qos);
    }
}

void syncTemperatures() {
    const Naming& naming = publisher.settings.naming;
    std::set<std::string> listed;
    for (const SensorReport& sensor : publisher.latest.sensors) listed.insert(sensor.rom);
    for (auto it = publisher.withTemperature.begin(); it != publisher.withTemperature.end();) {
        if (listed.count(*it) != 0) {
            ++it;
            continue;
        }
        publishRetained(SensorTopic(naming, *it, "temperature"), {}, 0);
        it = publisher.withTemperature.erase(it);
    }
    if (!publisher.everythingAfresh && publisher.temperaturesOfPass == publisher.latest.pass)
        return;
    publisher.temperaturesOfPass = publisher.latest.pass;
    for (const SensorReport& sensor : publisher.latest.sensors) {
        // A failed read publishes nothing: the broker keeps the last good
        // value, and the availability topic says it is not current.
        if (!sensor.celsius) continue;
        publisher.withTemperature.insert(sensor.rom);
        publishRetained(SensorTopic(naming, sensor.rom, "temperature"),
                        TemperatureText(*sensor.celsius), 0);
    }
}

}  // namespace

bool StartPublisher(const PublisherSettings& settings) {
    StopPublisher();
    if (settings.host.empty()) return false;
    publisher = Publisher{};
    publisher.settings = settings;
    SessionConfig config;
    config.host = settings.host;
    config.port = settings.port;
    config.connect.clientId = settings.naming.clientId;
    config.connect.user = settings.user;
    config.connect.password = settings.password;
    config.connect.keepAliveSeconds = KeepAliveSeconds;
    config.connect.willTopic = StatusTopic(settings.naming);
    config.connect.willPayload = std::string(OfflinePayload);
    if (settings.naming.discovery) config.subscriptions.emplace_back(AssistantStatusTopic);
    StartSession(publisher.session, std::move(config), platform::ElapsedMs());
    publisher.running = true;
    return true;
}

bool PublisherRunning() {
    return publisher.running;
}

void ReportPass(PassReport pass) {
    if (!publisher.running) return;
    publisher.latest = std::move(pass);
    publisher.havePass = true;
    publisher.dirty = true;
}

void ServicePublisher() {
    if (!publisher.running) return;
    ServiceSession(publisher.session, platform::ElapsedMs());
    if (!SessionOnline(publisher.session)) return;
    if (publisher.session.greetings != publisher.greetingsSeen) {
        publisher.greetingsSeen = publisher.session.greetings;
        publisher.everythingAfresh = true;
    }
    readIncoming();
    if (!publisher.havePass) {
        // The status before the first pass, so that the last will is undone.
        if (publisher.everythingAfresh) {
            publishRetained(StatusTopic(publisher.settings.naming), std::string(OnlinePayload), 1);
            publisher.everythingAfresh = false;
        }
        return;
    }
    if (!publisher.dirty && !publisher.everythingAfresh) return;
    syncRetained();
    syncTemperatures();
    publisher.everythingAfresh = false;
    publisher.dirty = false;
}

void StopPublisher() {
    if (!publisher.running) return;
    const Publish goodbye{StatusTopic(publisher.settings.naming), std::string(OfflinePayload), 1,
                          true, 0};
    EndSession(publisher.session, &goodbye, GoodbyeGraceMs);
    publisher.running = false;
}

}  // namespace mqtt
