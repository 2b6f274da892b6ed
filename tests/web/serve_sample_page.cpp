// Serves a status page with sample rows, and the JSON status, metrics and a
// day of history with hostile names, for a look in a real browser.
// Usage: serve_sample_page [port [seconds [plain]]]; port 0 (the default)
// picks a free one, seconds 0 (the default) serves until the process is ended,
// "plain" gives the sensors ordinary names (for a screenshot). The first line
// written is the page's address.
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string_view>

#include "platform/clock.h"
#include "platform/socket.h"
#include "sample_feed.h"
#include "web/status_feed.h"
#include "web/status_page.h"
#include "web/status_server.h"

namespace {

constexpr std::uint32_t kTickMs = 10;

unsigned long argumentOr(int argc, char** argv, int index, unsigned long fallback) {
    return argc > index ? std::strtoul(argv[index], nullptr, 10) : fallback;
}

}  // namespace

int main(int argc, char** argv) {
    const auto port = static_cast<std::uint16_t>(argumentOr(argc, argv, 1, 0));
    const unsigned long seconds = argumentOr(argc, argv, 2, 0);

    web::BuildStatusPage({
        {"Котёл <кухня>", "21.5 °C"},
        {"Улица", "-3.1 °C"},
        {"Подвал", "Не найден"},
        {"Tom & \"Jerry\"", "85.0 °C"},
    });
    const std::int64_t now = std::time(nullptr);
    webtest::RecordSampleHistory(now);
    const bool plainNames = argc > 3 && std::string_view(argv[3]) == "plain";
    web::SetStatusSnapshot(webtest::SampleSnapshot(now, plainNames));
    if (!platform::PrepareSockets() || !web::StartStatusServer(port, false)) {
        std::fprintf(stderr, "cannot listen on port %u\n", static_cast<unsigned>(port));
        return 1;
    }
    std::printf("http://127.0.0.1:%u/\n", static_cast<unsigned>(web::StatusServerPort()));
    std::fflush(stdout);

    const unsigned long ticks = seconds * 1000 / kTickMs;
    for (unsigned long tick = 0; seconds == 0 || tick < ticks; ++tick) {
        web::ServiceStatusServer();
        platform::SleepMs(kTickMs);
    }
    web::StopStatusServer();
    return 0;
}
