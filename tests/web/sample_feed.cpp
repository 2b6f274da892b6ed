#include "sample_feed.h"

#include <cmath>
#include <cstdio>
#include <numbers>
#include <optional>
#include <string>
#include <vector>

#include "web/status_feed.h"

namespace webtest {
namespace {

struct SampleSensor {
    const char* rom;
    const char* name;
    double base;  // °C around which the sensor's day swings
    const char* plainName;
};

// clang-format off
const std::vector<SampleSensor> kSensors = {
    {"28-00000B013C5A-14", "Котёл <кухня>", 21.5, "Кухня"},
    {"28-00000B013C5B-6E", "Tom & \"Jerry\"", 24.0, "Гостиная"},
    {"10-000802E4A1B2-7F", "back\\slash \"q\"\nline\ttab\x01\x1f", 15.0, "Подвал"},
    {"28-00000B013C5C-D8", "bad \xff\xfe utf8 \xc3( \xed\xa0\x80 end", 27.5, "Котельная"},
    {"28-00000B013C5D-9A", "</title></script><script>alert(1)</script> 🌡", 19.0, "Спальня"},
    {"28-00000B013C5E-21", "", 8.0, "Улица"},
};
// clang-format on

web::SensorSnapshot okSensor(const SampleSensor& sample, double celsius, bool within, bool plain) {
    web::SensorSnapshot sensor;
    sensor.rom = sample.rom;
    sensor.cells = {
        plain ? sample.plainName : sample.name, "DS18B20", sample.rom, "3 вывода", "", "OK"};
    char text[32];
    std::snprintf(text, sizeof text, "%.1f °C", celsius);
    sensor.cells[web::kTemperatureCell] = text;
    sensor.celsius = celsius;
    sensor.present = true;
    sensor.withinLimits = within;
    return sensor;
}

}  // namespace

web::StatusSnapshot SampleSnapshot(std::int64_t now, bool plainNames) {
    web::StatusSnapshot snapshot;
    snapshot.sensors.push_back(okSensor(kSensors[0], 21.3125, true, plainNames));
    snapshot.sensors.push_back(okSensor(kSensors[1], 24.5, true, plainNames));
    web::SensorSnapshot crc = okSensor(kSensors[2], -0.0625, true, plainNames);
    crc.cells[web::kTypeCell] = "DS1820 / DS18S20";
    crc.cells[web::kTemperatureCell] = "";
    crc.cells[web::kStatusCell] = "Ошибка CRC";
    snapshot.sensors.push_back(crc);
    snapshot.sensors.push_back(okSensor(kSensors[3], 27.5, false, plainNames));
    web::SensorSnapshot missing = okSensor(kSensors[4], 19.0, true, plainNames);
    missing.cells[web::kTemperatureCell] = "";
    missing.cells[web::kStatusCell] = "Не найден";
    missing.present = false;
    snapshot.sensors.push_back(missing);
    snapshot.sensors.push_back(okSensor(kSensors[5], 8.0625, true, plainNames));
    // The same device listed twice: only the first row ever gets readings.
    web::SensorSnapshot twice = missing;
    twice.rom = kSensors[0].rom;
    twice.cells[web::kNameCell] = "Котёл (копия)";
    snapshot.sensors.push_back(twice);

    snapshot.deviceCount = 6;
    snapshot.faultyCount = 1;
    snapshot.alarmCount = 1;
    snapshot.port = "COM3";
    snapshot.adapter = "DS2480B";
    snapshot.lastPassUnix = now;
    snapshot.lastPassSeconds = 0.9375;
    snapshot.pollPasses = 86400;
    for (const SampleSensor& sample : kSensors) {
        snapshot.counters.push_back(web::ReadCounters{sample.rom, 86400, 12, 3, 1});
    }
    snapshot.thermo = web::ThermoRange{true, 18, 26};
    return snapshot;
}

void RecordSampleHistory(std::int64_t now) {
    const std::int64_t start = now - 24 * 3600;
    const std::int64_t silenceFrom = now - 9 * 3600;
    const std::int64_t silenceTo = silenceFrom + 90 * 60;
    const std::int64_t faultFrom = now - 15 * 3600;
    const std::int64_t faultTo = faultFrom + 2 * 3600;
    for (std::int64_t t = start; t <= now; t += t < now - 3600 ? 60 : 10) {
        if (t >= silenceFrom && t < silenceTo) continue;
        const double phase = static_cast<double>(t - start) / (24.0 * 3600) * 2 * std::numbers::pi;
        for (std::size_t i = 0; i < kSensors.size(); ++i) {
            const double swing =
                (2.0 + static_cast<double>(i)) * std::sin(phase + static_cast<double>(i));
            std::optional<double> celsius = kSensors[i].base + swing;
            if (i == 2 && t >= faultFrom && t < faultTo) celsius.reset();
            web::RecordHistoryReading(kSensors[i].rom, t, celsius);
        }
    }
}

}  // namespace webtest
