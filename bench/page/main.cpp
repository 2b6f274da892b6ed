// Keep-alive load on the status page over loopback: N clients ask for GET /
// again and again (at once, or after a pause as a browser's reload does) and
// the figures come out as "name value" lines for bench/page/run.sh. With
// --flood-rate, one client asks every --pause-ms (default 1000) while a flood
// opens that many connections a second and sends nothing on them, for
// --seconds in all.
//
//   kelvarian-bench-page --port P [--clients N] [--seconds S] [--warmup S]
//                        [--pause-ms MS] [--reconnect-every K] [--seed N]
//   kelvarian-bench-page --port P --flood-rate R [--seconds S] [--pause-ms MS]
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "flood_client.h"
#include "latency_stats.h"
#include "load_client.h"

namespace {

int floodRate = 0;  // connections a second; 0: the keep-alive load

bool readOptions(int argc, char** argv, bench::LoadOptions& options) {
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string name = argv[i];
        const char* value = argv[i + 1];
        if (name == "--port") {
            options.port = static_cast<std::uint16_t>(std::atoi(value));
        } else if (name == "--clients") {
            options.clients = std::atoi(value);
        } else if (name == "--seconds") {
            options.seconds = std::atof(value);
        } else if (name == "--warmup") {
            options.warmupSeconds = std::atof(value);
        } else if (name == "--pause-ms") {
            options.pauseMs = std::atoi(value);
        } else if (name == "--reconnect-every") {
            options.reconnectEvery = std::atoi(value);
        } else if (name == "--flood-rate") {
            floodRate = std::atoi(value);
        } else if (name == "--seed") {
            options.seed = static_cast<std::uint32_t>(std::atoi(value));
        } else {
            return false;
        }
    }
    return argc % 2 == 1 && options.port != 0 && options.clients > 0 && options.seconds > 0 &&
           options.pauseMs >= 0 && options.warmupSeconds >= 0 && floodRate >= 0;
}

int runFlood(const bench::LoadOptions& load) {
    bench::FloodOptions options;
    options.port = load.port;
    options.seconds = load.seconds;
    options.connectionsPerSecond = floodRate;
    if (load.pauseMs > 0) options.askEveryMs = load.pauseMs;
    options.answerLimitMs = std::min(options.answerLimitMs, options.askEveryMs);
    const bench::FloodResult result = bench::RunFlood(options);
    std::printf("run_s %.2f\n", result.seconds);
    std::printf("flood_opened %ld\n", result.opened);
    std::printf("flood_per_s %.0f\n",
                result.seconds > 0 ? static_cast<double>(result.opened) / result.seconds : 0);
    std::printf("flood_connect_failures %ld\n", result.connectFailures);
    std::printf("asks %ld\n", result.asks);
    std::printf("answered %ld\n", result.answered);
    std::printf("answered_200 %ld\n", result.ok);
    std::printf("unanswered %ld\n", result.unanswered);
    std::printf("answer_limit_ms %d\n", options.answerLimitMs);
    std::printf("p50_ms %.1f\n", bench::Percentile(result.latenciesMs, 0.50));
    std::printf("p99_ms %.1f\n", bench::Percentile(result.latenciesMs, 0.99));
    std::printf("max_ms %.1f\n", bench::Percentile(result.latenciesMs, 1.0));
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    bench::LoadOptions options;
    if (!readOptions(argc, argv, options)) {
        std::fprintf(stderr,
                     "usage: %s --port P [--clients N] [--seconds S] [--warmup S] "
                     "[--pause-ms MS] [--reconnect-every K] [--seed N] [--flood-rate R]\n",
                     argv[0]);
        return 2;
    }
    if (floodRate > 0) return runFlood(options);
    const bench::LoadResult result = bench::RunLoad(options);
    const double window = result.windowSeconds > 0 ? result.windowSeconds : 1;
    std::printf("clients %d\n", options.clients);
    std::printf("connected %d\n", result.connected);
    std::printf("window_s %.2f\n", result.windowSeconds);
    std::printf("responses %ld\n", result.completed);
    std::printf("responses_200 %ld\n", result.ok);
    std::printf("rps %.1f\n", static_cast<double>(result.completed) / window);
    std::printf("p50_ms %.1f\n", bench::Percentile(result.latenciesMs, 0.50));
    std::printf("p99_ms %.1f\n", bench::Percentile(result.latenciesMs, 0.99));
    std::printf("max_ms %.1f\n", bench::Percentile(result.latenciesMs, 1.0));
    std::printf("unanswered %ld\n", result.unanswered);
    std::printf("starved_clients %d\n", result.starvedClients);
    std::printf("reconnects %ld\n", result.reconnects);
    std::printf("connect_failures %ld\n", result.connectFailures);
    std::printf("closed_by_server %ld\n", result.closedByServer);
    std::printf("send_failures %ld\n", result.sendFailures);
    std::printf("protocol_errors %ld\n", result.protocolErrors);
    std::printf("errors %ld\n", result.connectFailures + result.closedByServer +
                                    result.sendFailures + result.protocolErrors);
    return 0;
}
