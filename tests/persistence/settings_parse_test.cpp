#include <gtest/gtest.h>

#include <string>

#include "persistence/settings_file.h"
#include "settings_example.h"

namespace persistence {
namespace {

const std::string bom = "\xEF\xBB\xBF";

TEST(ParseSettings, ExampleFileGivesItsRecord) {
    EXPECT_EQ(ParseSettings(exampleSettingsFile), ExampleSettingsRecord());
}

TEST(ParseSettings, EmptyFileGivesEveryDefault) {
    const SettingsRecord record = ParseSettings("");
    EXPECT_EQ(record.port, "");
    EXPECT_EQ(record.interval, 1);
    EXPECT_EQ(record.thermoControl, 0);
    EXPECT_EQ(record.thermoMin, 0);
    EXPECT_EQ(record.thermoMax, 10);
    EXPECT_EQ(record.log, 0);
    EXPECT_EQ(record.cpuMinUsage, 0);
    EXPECT_EQ(record.invert, 0);
    EXPECT_TRUE(record.sensors.empty());
    EXPECT_EQ(record.serverEnabled, 0);
    EXPECT_EQ(record.serverPort, 80);
    EXPECT_EQ(record.serverIPv6, 0);
    EXPECT_EQ(ParseSettings(bom), record);
}

TEST(ParseSettings, FileWithoutByteOrderMarkReadsBytesAsLatin1) {
    // "Котёл" saved in a Cyrillic 8-bit code page.
    const SettingsRecord record =
        ParseSettings("Port=COM1\n[Sensors]\nCount=1\nID_1=7\nName_1=\xCA\xEE\xF2\xB8\xEB\n");
    EXPECT_EQ(record.port, "COM1");
    ASSERT_EQ(record.sensors.size(), 1u);
    EXPECT_EQ(record.sensors[0].name, "\xC3\x8A\xC3\xAE\xC3\xB2\xC2\xB8\xC3\xAB");
    // The next save writes the garbled name as UTF-8.
    EXPECT_NE(FormatSettings(record).find("Name_1 = \xC3\x8A\xC3\xAE\xC3\xB2\xC2\xB8\xC3\xAB\r\n"),
              std::string::npos);
}

TEST(ParseSettings, GroupsAndKeysInOtherLetterCaseAreFound) {
    const SettingsRecord record = ParseSettings(
        bom +
        "port = com5\r\ninterval = 9\r\n[sensors]\r\ncount = 2\r\nid_1 = 3\r\nNAME_1 = a\r\n"
        "iD_2 = 4\r\n[SERVER]\r\nenable = 1\r\nPORT = 8080\r\n");
    EXPECT_EQ(record.port, "com5");
    EXPECT_EQ(record.interval, 9);
    ASSERT_EQ(record.sensors.size(), 2u);
    EXPECT_EQ(record.sensors[0], (StoredSensor{3, "a"}));
    EXPECT_EQ(record.sensors[1], (StoredSensor{4, "Новый"}));
    EXPECT_EQ(record.serverEnabled, 1);
    EXPECT_EQ(record.serverPort, 8080);
}

TEST(ParseSettings, CommentsAndLaterDuplicatesAreNotRead) {
    const SettingsRecord record = ParseSettings(
        "; Interval = 7\n  ;Log = 1\nInterval = 3\nInterval = 4\n"
        "[Sensors]\nCount = 1\nID_1 = 5\n[Sensors]\nCount = 2\nID_2 = 6\n");
    EXPECT_EQ(record.interval, 3);
    EXPECT_EQ(record.log, 0);
    ASSERT_EQ(record.sensors.size(), 1u);
    EXPECT_EQ(record.sensors[0].id, 5);
}

TEST(ParseSettings, TopPortAndServerPortAreSeparateKeys) {
    const SettingsRecord top = ParseSettings("Port = COM2\n[Server]\nEnable = 1\n");
    EXPECT_EQ(top.port, "COM2");
    EXPECT_EQ(top.serverPort, 80);
    const SettingsRecord server = ParseSettings("[Server]\nPort = 8080\n");
    EXPECT_EQ(server.port, "");
    EXPECT_EQ(server.serverPort, 8080);
}

TEST(ParseSettings, TextsAreTrimmedAndKeepEveryEqualsSignAfterTheFirst) {
    const SettingsRecord record = ParseSettings(
        "  Port \t=\t COM4 \t\n[Sensors]\nCount=3\nID_1=1\nName_1 =  a = b  \n"
        "ID_2=2\nName_2 =\nID_3=3\nName_3\n");
    EXPECT_EQ(record.port, "COM4");
    ASSERT_EQ(record.sensors.size(), 3u);
    EXPECT_EQ(record.sensors[0].name, "a = b");
    EXPECT_EQ(record.sensors[1].name, "");  // present but empty: not the default
    EXPECT_EQ(record.sensors[2].name, "");  // no "=": present and empty
}

struct LimitCase {
    const char* lines;
    int min;
    int max;
};

class ThermoLimitTest : public ::testing::TestWithParam<LimitCase> {};

TEST_P(ThermoLimitTest, StoredLimitsAreCorrectedInOrder) {
    const SettingsRecord record = ParseSettings(GetParam().lines);
    EXPECT_EQ(record.thermoMin, GetParam().min) << GetParam().lines;
    EXPECT_EQ(record.thermoMax, GetParam().max) << GetParam().lines;
}

INSTANTIATE_TEST_SUITE_P(
    Values, ThermoLimitTest,
    ::testing::Values(LimitCase{"ThermoMin = -55", 0, 10}, LimitCase{"ThermoMin = -54", -54, 10},
                      LimitCase{"ThermoMin = 131\nThermoMax = 140", 0, 10},
                      LimitCase{"ThermoMax = 131", 0, 10}, LimitCase{"ThermoMax = 130", 0, 130},
                      LimitCase{"ThermoMax = -55", 0, 10},
                      LimitCase{"ThermoMin = 30\nThermoMax = 20", 19, 20},
                      LimitCase{"ThermoMin = 20\nThermoMax = 20", 19, 20},
                      LimitCase{"ThermoMin = 50", 9, 10},  // against the default maximum
                      LimitCase{"ThermoMin = -54\nThermoMax = -54", -55, -54},
                      LimitCase{"ThermoMin = 65535", -1, 10},  // low 16 bits, signed
                      LimitCase{"ThermoMax = 65566", 0, 30},
                      LimitCase{"ThermoMin = 4294967295", -1, 10},
                      LimitCase{"ThermoMin =\nThermoMax =", -1, 0}));

struct FlagCase {
    const char* lines;
    std::uint8_t SettingsRecord::*field;
    std::uint8_t expected;
};

class FlagTest : public ::testing::TestWithParam<FlagCase> {};

TEST_P(FlagTest, BitZeroOrNonZeroAsEachKeyReads) {
    EXPECT_EQ(ParseSettings(GetParam().lines).*GetParam().field, GetParam().expected)
        << GetParam().lines;
}

INSTANTIATE_TEST_SUITE_P(
    Values, FlagTest,
    ::testing::Values(FlagCase{"ThermoControl = 2", &SettingsRecord::thermoControl, 0},
                      FlagCase{"ThermoControl = 3", &SettingsRecord::thermoControl, 1},
                      FlagCase{"ThermoControl = -1", &SettingsRecord::thermoControl, 1},
                      FlagCase{"Log = 2", &SettingsRecord::log, 0},
                      FlagCase{"Log = 1", &SettingsRecord::log, 1},
                      FlagCase{"CPU_MinUsage = 2", &SettingsRecord::cpuMinUsage, 0},
                      FlagCase{"CPU_MinUsage = 5", &SettingsRecord::cpuMinUsage, 1},
                      FlagCase{"Invert = 2", &SettingsRecord::invert, 1},
                      FlagCase{"Invert = 0", &SettingsRecord::invert, 0},
                      FlagCase{"Invert = yes", &SettingsRecord::invert, 0},
                      FlagCase{"[Server]\nEnable = 2", &SettingsRecord::serverEnabled, 1},
                      FlagCase{"[Server]\nIPv6 = -4", &SettingsRecord::serverIPv6, 1},
                      FlagCase{"Enable = 1", &SettingsRecord::serverEnabled, 0}));

TEST(ParseSettings, SixteenBitValuesKeepTheirLowBits) {
    EXPECT_EQ(ParseSettings("Interval = 65537").interval, 1);
    EXPECT_EQ(ParseSettings("Interval = -1").interval, 65535);
    EXPECT_EQ(ParseSettings("Interval = 0").interval, 0);  // no range check
    // Saturated at 2^31 - 1 first, then cut to its low 16 bits.
    EXPECT_EQ(ParseSettings("Interval = 4294967302").interval, 65535);
    EXPECT_EQ(ParseSettings("[Server]\nPort = 65616").serverPort, 80);
    EXPECT_EQ(ParseSettings("[Server]\nPort =").serverPort, 0);
}

std::string sensorsGroup(const std::string& count, int pairs) {
    std::string text = "[Sensors]\r\nCount = " + count + "\r\n";
    for (int n = 1; n <= pairs; ++n) {
        text += "ID_" + std::to_string(n) + " = " + std::to_string(1000 + n) + "\r\n";
        text += "Name_" + std::to_string(n) + " = s" + std::to_string(n) + "\r\n";
    }
    return text;
}

TEST(ParseSettings, CountAbove100LoadsTheFirst100) {
    const SettingsRecord record = ParseSettings(bom + sensorsGroup("150", 150));
    ASSERT_EQ(record.sensors.size(), 100u);
    EXPECT_EQ(record.sensors.front(), (StoredSensor{1001, "s1"}));
    EXPECT_EQ(record.sensors.back(), (StoredSensor{1100, "s100"}));
    EXPECT_NE(FormatSettings(record).find("[Sensors]\r\nCount = 100\r\nID_1 = 1001\r\n"),
              std::string::npos);
    // Too large for 32 bits: the largest count, capped like any other; a
    // wrapped count would be negative and drop every sensor.
    for (const char* huge : {"2147483648", "4294967446", "99999999999999999999"}) {
        const SettingsRecord saturated = ParseSettings(sensorsGroup(huge, 150));
        EXPECT_EQ(saturated.sensors.size(), 100u) << huge;
        EXPECT_NE(FormatSettings(saturated).find("Count = 100\r\n"), std::string::npos);
    }
}

TEST(ParseSettings, CountBoundsTheIndicesFromZero) {
    const std::string pairs = "ID_0 = 10\nName_0 = zero\nID_1 = 11\nID_2 = 12\n";
    EXPECT_EQ(ParseSettings("[Sensors]\nCount = 1\n" + pairs).sensors,
              (std::vector<StoredSensor>{{10, "zero"}, {11, "Новый"}}));
    EXPECT_EQ(ParseSettings("[Sensors]\n" + pairs).sensors,  // missing count: 0, ID_0 only
              (std::vector<StoredSensor>{{10, "zero"}}));
    EXPECT_TRUE(ParseSettings("[Sensors]\nCount = -1\n" + pairs).sensors.empty());
    EXPECT_TRUE(ParseSettings("Count = 2\n" + pairs).sensors.empty());  // not in [Sensors]
}

TEST(ParseSettings, HandWrittenIdZeroNeverMakesMoreSensorsThanASaveKeeps) {
    const SettingsRecord loaded =
        ParseSettings(bom + sensorsGroup("100", 100) + "ID_0 = 999\r\nName_0 = zero\r\n");
    ASSERT_EQ(loaded.sensors.size(), 100u);
    EXPECT_EQ(loaded.sensors.front(), (StoredSensor{999, "zero"}));
    EXPECT_EQ(loaded.sensors.back(), (StoredSensor{1099, "s99"}));
    EXPECT_EQ(ParseSettings(FormatSettings(loaded)).sensors, loaded.sensors);
}

TEST(ParseSettings, ZeroOrNonNumericIdsAreSkippedDuplicatesAndNegativesKept) {
    const SettingsRecord record =
        ParseSettings(bom +
                      "[Sensors]\nCount = 7\nID_1 = 0\nName_1 = zero\nID_2 = abc\nID_3 = -0\n"
                      "ID_4 = -5692134055594401496\nName_4 = Котёл\nID_5 = 18446744073709551615\n"
                      "ID_6 = 5\nID_7 = 5\nName_7 = twin\n");
    EXPECT_EQ(record.sensors,
              (std::vector<StoredSensor>{
                  {-5692134055594401496, "Котёл"}, {-1, "Новый"}, {5, "Новый"}, {5, "twin"}}));
}

}  // namespace
}  // namespace persistence
