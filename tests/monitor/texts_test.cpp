// ROM code forms, word forms, status summaries and temperature texts.
#include <gtest/gtest.h>

#include "monitor/limit_control.h"
#include "monitor/port_search.h"
#include "monitor/sensor_table.h"
#include "monitor/status_summary.h"
#include "monitor/thermometer.h"

using namespace monitor;

TEST(RomCodeForms, TextAndIntegerOfKnownCodes) {
    struct Case {
        RomCode rom;
        const char* text;
        std::int64_t number;
    };
    const Case cases[] = {
        {{0x28, 0x5A, 0x3C, 0x01, 0x0B, 0x00, 0x00, 0x14},
         "28-00000B013C5A-14",
         1441151928023931432LL},
        {{0x28, 0x61, 0x64, 0x12, 0x3C, 0x7A, 0x01, 0xB1},
         "28-017A3C126461-B1",
         -5692134055594401496LL},
        {{0x10, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00}, "10-000000000000-00", 16},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(FormatRomCode(c.rom), c.text);
        EXPECT_EQ(FormatRomCode(c.rom).size(), 18u);
        EXPECT_EQ(RomToInt64(c.rom), c.number);
        EXPECT_EQ(RomFromInt64(c.number), c.rom);
    }
}

TEST(RomCodeForms, BadRomCrcAddsWarningToSerialText) {
    const RomCode good{0x28, 0x5A, 0x3C, 0x01, 0x0B, 0x00, 0x00, 0x14};
    RomCode bad = good;
    bad[7] = 0x15;
    EXPECT_EQ(SerialText(good), "28-00000B013C5A-14");
    EXPECT_EQ(SerialText(bad), "28-00000B013C5A-15  ОШИБКА CRC");
}

TEST(PluralForms, DeviceNounByCount) {
    const std::pair<long long, const char*> cases[] = {
        {1, "устройство"},   {2, " устройства"},  {5, " устройств"},   {11, " устройств"},
        {21, "устройство"},  {22, " устройства"}, {111, " устройств"}, {0, " устройств"},
        {101, "устройство"}, {14, " устройств"},  {24, " устройства"},
    };
    for (const auto& [n, form] : cases) {
        EXPECT_EQ(PluralForm(n, "устройство", " устройства", " устройств"), form) << n;
    }
}

TEST(StatusSummary, DevicesFaultsAndAlarms) {
    struct Case {
        int devices, faulty, alarms;
        const char* text;
    };
    const Case cases[] = {
        {3, 0, 0, "Найдено 3 '1-Wire'  устройства."},
        {3, 2, 0, "Найдено 3 '1-Wire'  устройства.    Обнаружено 2 датчика с ошибками в работе"},
        {3, 0, 1,
         "Найдено 3 '1-Wire'  устройства.  В 1 датчике зафиксирован выход за пределы допустимой "
         "температуры"},
        {3, 1, 5,
         "Найдено 3 '1-Wire'  устройства.    Обнаружен 1 датчик с ошибками в работе  В 5 "
         "датчиках зафиксирован выход за пределы допустимой температуры"},
        {3, 21, 0, "Найдено 3 '1-Wire'  устройства.    Обнаружен 21 датчик с ошибками в работе"},
        {3, 12, 0, "Найдено 3 '1-Wire'  устройства.    Обнаружены 12 датчиков с ошибками в работе"},
        {3, 3, 0, "Найдено 3 '1-Wire'  устройства.    Обнаружено 3 датчика с ошибками в работе"},
        {3, 0, 2,
         "Найдено 3 '1-Wire'  устройства.  В 2 датчиках зафиксирован выход за пределы допустимой "
         "температуры"},
        {3, 0, 11,
         "Найдено 3 '1-Wire'  устройства.  В 11 датчиках зафиксирован выход за пределы "
         "допустимой температуры"},
        {1, 0, 0, "Найдено 1 '1-Wire' устройство."},
        // A bus failure leaves the alarm count at -1: no alarm part.
        {2, 0, -1, "Найдено 2 '1-Wire'  устройства."},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(BuildSummary(c.devices, c.faulty, c.alarms), c.text)
            << c.devices << "/" << c.faulty << "/" << c.alarms;
    }
}

TEST(PortTexts, OpenFailureNamesThePort) {
    EXPECT_EQ(PortOpenFailedText("COM7"),
              "Не удалось открыть порт 'COM7'  Возможно он зянят или отстуствует в системе");
}

TEST(TemperatureTexts, RawValuesOfBothFamilies) {
    struct Case {
        std::uint8_t family;
        std::int16_t raw;
        float celsius;
        const char* text;
        bool inSensorRange;
    };
    const Case cases[] = {
        {FamilyDS18B20, 0x0191, 25.0625f, "25.1 °C", true},
        {FamilyDS18B20, static_cast<std::int16_t>(0xFF5E), -10.125f, "-10.1 °C", true},
        {FamilyDS18B20, static_cast<std::int16_t>(0xFC90), -55.0f, "-55.0 °C", true},
        {FamilyDS18B20, 0x07F0, 127.0f, "127.0 °C", true},
        {FamilyDS18B20, 0x07F1, 127.0625f, "127.1 °C", false},
        {FamilyDS18B20, static_cast<std::int16_t>(0xFC8F), -55.0625f, "-55.1 °C", false},
        {FamilyDS18B20, 0x0000, 0.0f, "0.0 °C", true},
        {FamilyDS18S20, 0x0032, 25.0f, "25.0 °C", true},
        {FamilyDS18S20, static_cast<std::int16_t>(0xFFFF), -0.5f, "-0.5 °C", true},
        {FamilyDS18S20, 51, 25.5f, "25.5 °C", true},
    };
    for (const Case& c : cases) {
        Scratchpad pad{static_cast<std::uint8_t>(c.raw & 0xFF),
                       static_cast<std::uint8_t>((c.raw >> 8) & 0xFF),
                       0,
                       0,
                       0,
                       0,
                       0,
                       0,
                       0};
        const ScratchpadReading reading = DecodeScratchpad(c.family, pad);
        EXPECT_FLOAT_EQ(reading.celsius, c.celsius) << c.raw;
        EXPECT_EQ(FormatTemperature(reading.celsius), c.text) << c.raw;
        EXPECT_EQ(WithinSensorRange(reading.celsius), c.inSensorRange) << c.raw;
    }
}

// The DS18B20's sister parts are DS18B20s in everything but their name;
// families that merely resemble one stay unknown.
TEST(TemperatureTexts, SisterFamiliesReadAsDS18B20) {
    EXPECT_EQ(TypeText(FamilyDS1822), "DS1822");
    EXPECT_EQ(TypeText(FamilyDS28EA00), "DS28EA00");
    const std::uint8_t others[] = {0x3B, 0x26, 0x81, 0x00};
    for (const std::uint8_t other : others) {
        EXPECT_EQ(TypeText(other), "Неизвестное устройство") << int(other);
        EXPECT_FALSE(IsThermometer(other)) << int(other);
    }
    const Scratchpad powerOn{0x50, 0x05, 0x4B, 0x46, 0x7F, 0xFF, 0x0C, 0x10, 0x1C};
    Scratchpad steady = powerOn;
    steady[0] = 0x58;  // 85.5 degC, within a step of the last reading
    for (const std::uint8_t family : {FamilyDS1822, FamilyDS28EA00}) {
        EXPECT_TRUE(IsThermometer(family));
        const ScratchpadReading reading = DecodeScratchpad(family, powerOn);
        EXPECT_TRUE(reading.valid);
        EXPECT_FLOAT_EQ(reading.celsius, 85.0f);
        EXPECT_TRUE(IsPowerOnValue(family, powerOn));
        EXPECT_TRUE(LooksLikeLastReading(family, steady, powerOn));
        // Byte 4 is a DS18B20's configuration, the user's to change.
        steady[4] = 0x1F;
        EXPECT_TRUE(LooksLikeLastReading(family, steady, powerOn));
        steady[4] = 0x7F;
    }
}

TEST(TemperatureTexts, LogLineOfAReading) {
    const RomCode rom{0x28, 0x5A, 0x3C, 0x01, 0x0B, 0x00, 0x00, 0x14};
    EXPECT_EQ(ReadingLogText(rom, 21.3125f), "28-00000B013C5A-14  —  21.3 °C");
}

TEST(LimitControl, WholeDegreesTruncatedTowardZero) {
    struct Case {
        float celsius;
        bool controlOn;
        std::int16_t minC, maxC;
        bool within;
    };
    const Case cases[] = {
        {25.9f, true, 20, 25, true},
        {26.0f, true, 20, 25, false},
        {19.9f, true, 20, 25, false},
        {20.0f, true, 20, 25, true},
        {-0.9f, true, 0, 10, true},
        {-1.0f, true, 0, 10, false},
        {25.5f, true, 20, 25, true},
        {-10.5f, true, -10, 0, true},
        {-11.0f, true, -10, 0, false},
        {125.0f, false, 20, 25, true},
        {-55.0f, false, 30, 20, true},
        // A minimum above the maximum leaves no permitted reading.
        {25.0f, true, 30, 20, false},
        {30.0f, true, 30, 20, false},
        {20.0f, true, 30, 20, false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(WithinLimits(c.celsius, c.controlOn, c.minC, c.maxC), c.within)
            << c.celsius << " in " << c.minC << ".." << c.maxC << " control " << c.controlOn;
    }
}
