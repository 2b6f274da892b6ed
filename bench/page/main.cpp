// Keep-alive load on the status page over loopback: N clients ask for GET /
// again and again (at once, or after a pause as a browser's reload does) and
// the figures come out as "name value" lines for bench/page/run.sh.
//
//   kelvarian-bench-page --port P [--clients N] [--seconds S] [--warmup S]
//                        [--pause-ms MS] [--reconnect-every K] [--seed N]
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "latency_stats.h"
#include "load_client.h"

namespace {

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
        } else if (name == "--seed") {
            options.seed = static_cast<std::uint32_t>(std::atoi(value));
        } else {
            return false;
        }
    }
    return argc % 2 == 1 && options.port != 0 && options.clients > 0 && options.seconds > 0 &&
           options.pauseMs >= 0 && options.warmupSeconds >= 0;
}

}  // namespace

int main(int argc, char** argv) {
    bench::LoadOptions options;
    if (!readOptions(argc, argv, options)) {
        std::fprintf(stderr,
                     "usage: %s --port P [--clients N] [--seconds S] [--warmup S] "
                     "[--pause-ms MS] [--reconnect-every K] [--seed N]\n",
                     argv[0]);
        return 2;
    }
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
