#include <gtest/gtest.h>

#include <string>

#include "persistence/settings_file.h"
#include "settings_example.h"

namespace persistence {
namespace {

TEST(FormatSettings, ExampleRecordGivesTheExampleFileByteForByte) {
    EXPECT_EQ(FormatSettings(ExampleSettingsRecord()), exampleSettingsFile);
}

TEST(FormatSettings, DefaultsWithNoPortAndNoSensors) {
    EXPECT_EQ(FormatSettings(SettingsRecord{}),
              "\xEF\xBB\xBF\r\n"
              "Port = \r\n"
              "Interval = 1\r\n"
              "ThermoControl = 0\r\n"
              "ThermoMin = 0\r\n"
              "ThermoMax = 10\r\n"
              "Log = 0\r\n"
              "CPU_MinUsage = 0\r\n"
              "Invert = 0\r\n"
              "[Sensors]\r\n"
              "Count = 0\r\n"
              "[Server]\r\n"
              "Enable = 0\r\n"
              "Port = 80\r\n"
              "IPv6 = 0\r\n");
    // "Port = " with its trailing space loads again as no port.
    EXPECT_EQ(ParseSettings(FormatSettings(SettingsRecord{})).port, "");
}

TEST(FormatSettings, NonZeroFlagsAreWrittenAsOneAndNegativesWithMinus) {
    SettingsRecord record;
    record.thermoControl = 2;
    record.invert = 255;
    record.serverIPv6 = 4;
    record.thermoMin = -54;
    record.thermoMax = -20;
    record.interval = 65535;
    record.serverPort = 65535;
    const std::string text = FormatSettings(record);
    for (const char* line : {"\r\nThermoControl = 1\r\n", "\r\nInvert = 1\r\n", "\r\nIPv6 = 1\r\n",
                             "\r\nThermoMin = -54\r\n", "\r\nThermoMax = -20\r\n",
                             "\r\nInterval = 65535\r\n", "\r\nPort = 65535\r\n"}) {
        EXPECT_NE(text.find(line), std::string::npos) << line;
    }
}

TEST(FormatSettings, NamesKeepTheirSpacesUntilTheNextLoad) {
    SettingsRecord record;
    record.sensors = {{42, "  Кухня \t"}, {43, "x = y"}, {44, ""}};
    const std::string text = FormatSettings(record);
    EXPECT_NE(text.find("\r\nName_1 =   Кухня \t\r\n"), std::string::npos);
    const SettingsRecord loaded = ParseSettings(text);
    EXPECT_EQ(loaded.sensors, (std::vector<StoredSensor>{{42, "Кухня"}, {43, "x = y"}, {44, ""}}));
}

TEST(FormatSettings, LineBreaksInTextsCannotInjectKeys) {
    SettingsRecord record;
    record.port = "COM1\r\nInterval = 99";
    record.sensors = {{1, "a\nID_2 = 5\rName_2 = evil"}};
    const SettingsRecord loaded = ParseSettings(FormatSettings(record));
    EXPECT_EQ(loaded.interval, 1);
    EXPECT_EQ(loaded.port, "COM1  Interval = 99");
    ASSERT_EQ(loaded.sensors.size(), 1u);
    EXPECT_EQ(loaded.sensors[0].name, "a ID_2 = 5 Name_2 = evil");
}

TEST(FormatSettings, SaveThenLoadKeepsTheRecord) {
    SettingsRecord record = ExampleSettingsRecord();
    record.port = "/dev/ttyUSB0";
    record.thermoMin = -54;
    record.thermoMax = 130;
    record.serverIPv6 = 1;
    record.serverPort = 8080;
    record.sensors.push_back({1441151928023931432, "дубль"});  // duplicates survive
    EXPECT_EQ(ParseSettings(FormatSettings(record)), record);
}

TEST(FormatSettings, PublishingAndAlertGroupsAreSavedOnlyWhenTheFileHadThem) {
    // Without them the file stays exactly as it always was, group for group.
    const SettingsRecord plain = ParseSettings(exampleSettingsFile + "; a comment\r\n");
    EXPECT_FALSE(plain.mqtt.stored);
    EXPECT_FALSE(plain.alerts.stored);
    EXPECT_EQ(FormatSettings(plain), exampleSettingsFile);

    const std::string withGroups = exampleSettingsFile +
                                   "[MQTT]\r\n"
                                   "Host = broker.lan\r\n"
                                   "Port = 1884\r\n"
                                   "User = дом\r\n"
                                   "Password = p=ss word\r\n"
                                   "Topic = home/kelvarian\r\n"
                                   "Discovery = 0\r\n"
                                   "Client = подвал\r\n"
                                   "[Alerts]\r\n"
                                   "Command = /usr/local/bin/tell \"a b\"\r\n"
                                   "Notify = 1\r\n"
                                   "Delay = 5\r\n";
    const SettingsRecord loaded = ParseSettings(withGroups);
    EXPECT_EQ(loaded.mqtt.host, "broker.lan");
    EXPECT_EQ(loaded.mqtt.port, 1884);
    EXPECT_EQ(loaded.mqtt.password, "p=ss word");
    EXPECT_EQ(loaded.mqtt.discovery, 0);
    EXPECT_EQ(loaded.alerts.command, "/usr/local/bin/tell \"a b\"");
    EXPECT_EQ(loaded.alerts.delay, 5);
    EXPECT_EQ(FormatSettings(loaded), withGroups);
    EXPECT_EQ(ParseSettings(FormatSettings(loaded)), loaded);
}

TEST(ParseSettings, PublishingAndAlertKeysFollowTheCommonReadRules) {
    // Groups present but empty: every key takes its default.
    const SettingsRecord empty = ParseSettings("[mqtt]\r\n[ALERTS]\r\n");
    EXPECT_TRUE(empty.mqtt.stored);
    EXPECT_TRUE(empty.alerts.stored);
    EXPECT_EQ(empty.mqtt.host, "");
    EXPECT_EQ(empty.mqtt.port, 1883);
    EXPECT_EQ(empty.mqtt.topic, "kelvarian");
    EXPECT_EQ(empty.mqtt.discovery, 1);
    EXPECT_EQ(empty.alerts.notify, 0);
    EXPECT_EQ(empty.alerts.delay, 60);
    const SettingsRecord odd =
        ParseSettings("[MQTT]\nport = 66419\nTopic =\nDiscovery = 2\n[Alerts]\nDelay = -3\n");
    EXPECT_EQ(odd.mqtt.port, 66419 & 0xFFFF);
    EXPECT_EQ(odd.mqtt.topic, "");  // present but empty is not the default
    EXPECT_EQ(odd.mqtt.discovery, 1);
    EXPECT_EQ(odd.alerts.delay, 0);
}

}  // namespace
}  // namespace persistence
