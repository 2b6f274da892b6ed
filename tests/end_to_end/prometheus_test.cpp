// A real Prometheus scrapes the program on the simulated bus, and its query
// API gives the simulated temperatures back.
#include <map>

#include "program_fixture.h"

namespace e2e {
namespace {

// Where the Debian package puts it.
constexpr const char* PrometheusBinary = "/usr/bin/prometheus";

class PrometheusTest : public ProgramTest {
  protected:
    void TearDown() override {
        Terminate(prometheus);
        ProgramTest::TearDown();
    }

    // A private instance: its own config, data folder and loopback port.
    void StartPrometheus(std::uint16_t target) {
        apiPort = FreeTcpPort();
        ASSERT_TRUE(std::filesystem::exists(PrometheusBinary))
            << "prometheus is missing: run scripts/install-deps (package prometheus)";
        WriteWholeFile(folder + "/prometheus.yml",
                       "global:\n  scrape_interval: 1s\n  scrape_timeout: 1s\n"
                       "scrape_configs:\n  - job_name: kelvarian\n    static_configs:\n"
                       "      - targets: ['127.0.0.1:" +
                           std::to_string(target) + "']\n");
        prometheus =
            Spawn({PrometheusBinary, "--config.file=" + folder + "/prometheus.yml",
                   "--storage.tsdb.path=" + folder + "/tsdb",
                   "--web.listen-address=127.0.0.1:" + std::to_string(apiPort), "--log.level=warn"},
                  {}, folder, false);
        ASSERT_GT(prometheus.pid, 0);
    }

    Child prometheus;
    std::uint16_t apiPort = 0;
};

// "rom name" -> value, from the query's result vector; empty until Prometheus
// answers with a scraped sample.
std::map<std::string, std::string> Samples(const nlohmann::json& answer) {
    std::map<std::string, std::string> samples;
    if (!answer.is_object() || answer.value("status", "") != "success") return samples;
    for (const nlohmann::json& series : answer["data"]["result"]) {
        const nlohmann::json& labels = series["metric"];
        samples[labels.value("rom", "") + " " + labels.value("name", "")] =
            series["value"][1].get<std::string>();
    }
    return samples;
}

TEST_F(PrometheusTest, QueryApiGivesTheSimulatedTemperaturesBack) {
    const onewire::RomCode boiler = Rom(0x28, 0x3C5A);
    const onewire::RomCode outside = Rom(0x28, 0x1234);
    StartSimulator("device 28:3C5A temp=21.5\ndevice 28:1234 temp=-3.25\n");
    const std::uint16_t port = WriteServerSettings(boiler, false);
    StartProgram();
    StartPrometheus(port);

    const nlohmann::json answer =
        WaitForJson(apiPort, "/api/v1/query?query=kelvarian_temperature_celsius",
                    [](const nlohmann::json& json) { return Samples(json).size() == 2; });
    const std::map<std::string, std::string> expected{
        {monitor::FormatRomCode(boiler) + " Котёл", "21.5"},
        {monitor::FormatRomCode(outside) + " Новый", "-3.25"}};
    EXPECT_EQ(Samples(answer), expected) << answer.dump();
}

}  // namespace
}  // namespace e2e
