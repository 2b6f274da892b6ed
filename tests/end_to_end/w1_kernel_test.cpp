// The program on a COMn entry that leads to a kernel w1 master's folder, as
// kelvarian-sim --w1-sysfs keeps one: the readings, the faults and the
// search rule are those of a serial bus, and the adapter is "w1 kernel".
#include "program_fixture.h"

namespace e2e {
namespace {

class W1KernelProgram : public ProgramTest {
  protected:
    void StartTree(const std::string& devices) {
        WriteWholeFile(folder + "/bus.conf", devices);
        const std::vector<std::string> argv{
            SIMULATOR_EXECUTABLE, "--w1-sysfs", folder + "/w1",      "--w1-instant", "--link",
            folder + "/COM1",     "--config",   folder + "/bus.conf"};
        simulator = Spawn(argv, {}, folder, true);
        ASSERT_GT(simulator.pid, 0);
        ASSERT_TRUE(WaitForLine(simulator, "ready", 30s));
    }
};

const nlohmann::json* SensorNamed(const nlohmann::json& status, const std::string& name) {
    for (const nlohmann::json& sensor : status["sensors"]) {
        if (sensor["name"] == name) return &sensor;
    }
    return nullptr;
}

TEST_F(W1KernelProgram, ReadsTheKernelsFilesAndAVanishedSensorTurnsNotFound) {
    const onewire::RomCode boiler = Rom(0x28, 0x3C5A);
    const onewire::RomCode outside = Rom(0x22, 0x1234);
    const onewire::RomCode cellar = Rom(0x28, 0x0777);
    StartTree(
        "device 28:3C5A temp=21.5\ndevice 22:1234 temp=-3.25 power=parasite\n"
        "device 28:0777 temp=8.5 corrupt-scratchpad\n");
    const std::uint16_t port =
        WriteSensorSettings({{boiler, "Котёл"}, {outside, "Улица"}, {cellar, "Подвал"}}, false);
    StartProgram();

    const nlohmann::json status = WaitForJson(port, "/status.json", [](const nlohmann::json& json) {
        const nlohmann::json* read = SensorNamed(json, "Улица");
        const nlohmann::json* corrupt = SensorNamed(json, "Подвал");
        return read != nullptr && (*read)["temperature"].is_number() && corrupt != nullptr &&
               (*corrupt)["cells"]["status"] == "Ошибка CRC";
    });
    EXPECT_EQ(status["adapter"], "w1 kernel") << status.dump();
    const nlohmann::json* boilerJson = SensorNamed(status, "Котёл");
    ASSERT_NE(boilerJson, nullptr) << status.dump();
    EXPECT_EQ((*boilerJson)["temperature"], 21.5);
    const nlohmann::json* outsideJson = SensorNamed(status, "Улица");
    ASSERT_NE(outsideJson, nullptr);
    EXPECT_EQ((*outsideJson)["temperature"], -3.25);
    EXPECT_EQ((*outsideJson)["cells"]["type"], "DS1822");
    EXPECT_EQ((*outsideJson)["cells"]["connection"], "2 вывода ('паразитное' питание)");
    EXPECT_NE(FetchPage(port, "/metrics").find("kelvarian_adapter_info{adapter=\"w1 kernel\"} 1\n"),
              std::string::npos);

    ChangeBus(
        "device 28:3C5A temp=22.5\ndevice 22:1234 temp=-3.25 absent\n"
        "device 28:0777 temp=8.5 corrupt-scratchpad\n");
    const std::string page =
        WaitForPage(port, {PageRow("Улица", "Не найден"), PageRow("Котёл", "22.5 °C")});
    EXPECT_NE(page.find(PageRow("Улица", "Не найден")), std::string::npos) << page;
    EXPECT_NE(page.find(PageRow("Котёл", "22.5 °C")), std::string::npos) << page;
}

}  // namespace
}  // namespace e2e
