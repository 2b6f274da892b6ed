// Publishing to a real mosquitto: the whole program on kelvarian-sim, and the
// publisher alone for what the window's commands change (rename, removal).
#include <signal.h>

#include "broker_fixture.h"
#include "mqtt/publisher.h"
#include "program_fixture.h"

namespace e2e {
namespace {

const std::string hostileName = "Котёл \"A\" \\ <b>{";

std::string Digits(const onewire::RomCode& rom) {
    std::string digits;
    for (const char c : monitor::FormatRomCode(rom)) {
        if (c != '-') digits += c;
    }
    return digits;
}

bool Any(const std::string&) {
    return true;
}

std::function<bool(const std::string&)> Is(const std::string& wanted) {
    return [wanted](const std::string& payload) { return payload == wanted; };
}

class MqttTest : public ProgramTest {
  protected:
    void SetUp() override {
        ProgramTest::SetUp();
        broker.folder = folder;
    }

    void TearDown() override {
        Terminate(subscriber);
        StopBroker(broker);
        ProgramTest::TearDown();
    }

    void WriteMqttSettings(const onewire::RomCode& rom, const std::string& mqttLines) {
        WriteWholeFile(folder + "/Kelvarian.ini",
                       "\xEF\xBB\xBF\r\nPort = COM1\r\nInterval = 1\r\n[Sensors]\r\nCount = 1\r\n"
                       "ID_1 = " +
                           Id(rom) + "\r\nName_1 = " + hostileName + "\r\n[MQTT]\r\nPort = " +
                           std::to_string(broker.port) + "\r\n" + mqttLines);
    }

    // The program with its standard error readable, for the broker complaints.
    void StartProgramWatched() {
        program = Spawn({folder + "/kelvarian"}, {"QT_QPA_PLATFORM=offscreen"}, "/", true);
        ASSERT_GT(program.pid, 0);
    }

    void Listen(const std::vector<std::string>& credentials = {}) {
        Terminate(subscriber);
        seen.clear();
        subscriber = Subscribe(broker, credentials);
        ASSERT_GT(subscriber.pid, 0);
    }

    std::optional<std::string> Message(
        const std::string& topic, const std::function<bool(const std::string&)>& accept,
        const std::function<void()>& tick = [] {}) {
        return WaitForMessage(subscriber, seen, topic, accept, ReadingsLimit, tick);
    }

    Broker broker;
    Child subscriber;
    std::string seen;
};

TEST_F(MqttTest, ProgramPublishesReadingsAndDiscoveryOutlivesBrokerRestartsAndLeavesItsWill) {
    const onewire::RomCode rom = Rom(0x28, 0x3C5A);
    const std::string r = Digits(rom);
    // A second sensor stays on the bus, so that the first one's leaving is a
    // sensor gone from a working bus, not a bus without any presence.
    StartSimulator("device 28:3C5A temp=21.4375\ndevice 28:1234 temp=30\n");
    broker.port = FreeTcpPort();
    // By name: the lookup runs beside the window, and ::1, where nobody
    // listens, may come first.
    WriteMqttSettings(rom, "Host = localhost\r\nClient = e2e\r\n");
    StartProgramWatched();
    // The broker is down at start: the program says so once and tries again.
    ASSERT_TRUE(WaitForLine(
        program,
        "kelvarian: MQTT localhost:" + std::to_string(broker.port) + ": the broker does not answer",
        ReadingsLimit));

    ASSERT_TRUE(StartBroker(broker));
    Listen();
    EXPECT_EQ(Message("kelvarian/" + r + "/temperature", Is("21.4375")), "21.4375");
    const std::optional<std::string> config =
        Message("homeassistant/sensor/kelvarian_" + r + "/temperature/config", Any);
    ASSERT_TRUE(config);
    const nlohmann::json json = nlohmann::json::parse(*config, nullptr, false);
    ASSERT_FALSE(json.is_discarded()) << *config;
    EXPECT_EQ(json["name"], hostileName);
    EXPECT_EQ(json["state_topic"], "kelvarian/" + r + "/temperature");
    EXPECT_EQ(json["unit_of_measurement"], "°C");
    EXPECT_EQ(json["device"]["via_device"], "kelvarian_e2e");
    const std::optional<std::string> attributes = Message("kelvarian/" + r + "/attributes", Any);
    ASSERT_TRUE(attributes);
    EXPECT_EQ(nlohmann::json::parse(*attributes, nullptr, false)["name"], hostileName);

    // A restarted broker has forgotten every retained message: all of it
    // comes again.
    StopBroker(broker);
    ASSERT_TRUE(StartBroker(broker));
    Listen();
    EXPECT_TRUE(Message("kelvarian/status", Is("online")));
    EXPECT_TRUE(Message("homeassistant/sensor/kelvarian_" + r + "/temperature/config", Any));
    EXPECT_EQ(Message("kelvarian/" + r + "/temperature", Any), "21.4375");

    // The sensor leaves the bus: its state and availability say so.
    WriteWholeFile(folder + "/bus.conf", "device 28:3C5A temp=21.4375 absent\ndevice 28:1234 temp=30\n");
    ASSERT_EQ(kill(simulator.pid, SIGHUP), 0);
    EXPECT_TRUE(Message("kelvarian/" + r + "/state", Is("missing")));
    EXPECT_TRUE(Message("kelvarian/" + r + "/availability", Is("offline")));

    // Killed without a word: the broker tells everyone through the last will.
    ASSERT_EQ(kill(program.pid, SIGKILL), 0);
    EXPECT_TRUE(Message("kelvarian/status", Is("offline")));
}

TEST_F(MqttTest, BrokerThatRequiresAPasswordTakesOnlyTheRightOne) {
    const onewire::RomCode rom = Rom(0x28, 0x1234);
    StartSimulator("device 28:1234 temp=5\n");
    const std::string passwords = folder + "/passwords";
    Child made = Spawn({MOSQUITTO_PASSWD_EXECUTABLE, "-b", "-c", passwords, "дом", "s3cret"}, {},
                       folder, false);
    ASSERT_EQ(WaitForExit(made, ExitLimit), std::optional<int>(0));
    broker.extraConfig = "allow_anonymous false\npassword_file " + passwords + "\n";
    ASSERT_TRUE(StartBroker(broker));

    WriteMqttSettings(rom, "Host = 127.0.0.1\r\nUser = дом\r\nPassword = wrong\r\n");
    StartProgramWatched();
    EXPECT_TRUE(WaitForLine(program,
                            "kelvarian: MQTT 127.0.0.1:" + std::to_string(broker.port) +
                                ": the broker refuses the user name or password",
                            ReadingsLimit));
    Terminate(program);

    WriteMqttSettings(rom, "Host = 127.0.0.1\r\nUser = дом\r\nPassword = s3cret\r\n");
    StartProgram();
    Listen({"-u", "дом", "-P", "s3cret"});
    EXPECT_EQ(Message("kelvarian/" + Digits(rom) + "/temperature", Any), "5");
}

// What the window's commands change reaches the broker: a rename, a removal
// ("Удалить не найденные"), Home Assistant's restart.
TEST_F(MqttTest, RenameRemovalAndAssistantRestartReachTheBroker) {
    ASSERT_TRUE(StartBroker(broker));
    Listen();
    mqtt::PublisherSettings settings;
    settings.host = "127.0.0.1";
    settings.port = broker.port;
    settings.naming = {"k", "unit", true};
    ASSERT_TRUE(mqtt::StartPublisher(settings));
    const auto service = [] { mqtt::ServicePublisher(); };

    mqtt::PassReport pass;
    pass.pass = 1;
    pass.sensors.resize(2);
    pass.sensors[0] = {"28A",     "28-A", "Первый", "DS18B20",
                       "Внешнее", "OK",   20.0,     mqtt::SensorState::Ok};
    pass.sensors[1] = {"28B",     "28-B",      "Второй",     "DS18B20",
                       "Внешнее", "Не найден", std::nullopt, mqtt::SensorState::Missing};
    mqtt::ReportPass(pass);
    const std::string configA = "homeassistant/sensor/kelvarian_28A/temperature/config";
    const std::string configB = "homeassistant/sensor/kelvarian_28B/temperature/config";
    const auto named = [](const std::string& name) {
        return [name](const std::string& payload) {
            const nlohmann::json json = nlohmann::json::parse(payload, nullptr, false);
            return !json.is_discarded() && json["name"] == name;
        };
    };
    EXPECT_TRUE(Message(configA, named("Первый"), service));
    EXPECT_TRUE(Message(configB, named("Второй"), service));

    pass.sensors[0].name = "Подвал";
    pass.sensors.pop_back();
    mqtt::ReportPass(pass);
    EXPECT_TRUE(Message(configA, named("Подвал"), service));
    EXPECT_TRUE(Message(configB, Is(EmptyPayload), service));
    EXPECT_TRUE(Message("k/28B/state", Is(EmptyPayload), service));

    Child announce =
        Spawn({MOSQUITTO_PUB_EXECUTABLE, "-h", "127.0.0.1", "-p", std::to_string(broker.port), "-t",
               "homeassistant/status", "-m", "online"},
              {}, folder, false);
    EXPECT_TRUE(Message(configA, named("Подвал"), service));
    EXPECT_EQ(WaitForExit(announce, ExitLimit), std::optional<int>(0));

    mqtt::StopPublisher();
    EXPECT_TRUE(Message("k/status", Is("offline")));
}

}  // namespace
}  // namespace e2e
