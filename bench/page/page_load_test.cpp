// The load client's framing and statistics, and the client against a small
// loopback server that answers each request the way the status server does
// (header lines in separate sends) or never answers.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "flood_client.h"
#include "http_framing.h"
#include "latency_stats.h"
#include "load_client.h"

namespace bench {
namespace {

const std::string Page =
    "HTTP/1.1 200 OK\r\nContent-Length: 5\r\nContent-Type: text/html\r\n\r\nhello";

TEST(ResponseFraming, CompleteOnlyWhenHeadersAndWholeBodyAreIn) {
    for (std::size_t cut = 0; cut < Page.size(); ++cut) {
        EXPECT_EQ(FrameResponse(Page.substr(0, cut)).state, FrameState::Incomplete) << cut;
    }
    const ResponseFrame frame = FrameResponse(Page);
    EXPECT_EQ(frame.state, FrameState::Complete);
    EXPECT_EQ(frame.length, Page.size());
    EXPECT_EQ(frame.status, 200);
}

TEST(ResponseFraming, TwoResponsesBackToBackFrameTheFirst) {
    const std::string empty404 =
        "HTTP/1.1 404 Not Found\r\nContent-Length: 0\r\nContent-Type: text/html\r\n\r\n";
    const ResponseFrame frame = FrameResponse(empty404 + Page);
    EXPECT_EQ(frame.state, FrameState::Complete);
    EXPECT_EQ(frame.length, empty404.size());
    EXPECT_EQ(frame.status, 404);
}

TEST(ResponseFraming, LengthHeaderInAnyLetterCase) {
    const std::string response = "HTTP/1.1 200 OK\r\ncontent-LENGTH:2\r\n\r\nabc";
    const ResponseFrame frame = FrameResponse(response);
    EXPECT_EQ(frame.state, FrameState::Complete);
    EXPECT_EQ(frame.length, response.size() - 1);
}

TEST(ResponseFraming, WhatCannotBeFramedIsMalformed) {
    const char* cases[] = {
        "HTTP/1.1 200 OK\r\nContent-Type: text/html\r\n\r\nhello",  // no length
        "HTTP/1.1 200 OK\r\nContent-Length: five\r\n\r\nhello",     // length not a number
        "<html>hello</html>",                                       // not a response
        "HTTP/1.1 OK\r\nContent-Length: 0\r\n\r\n",                 // no status code
    };
    for (const char* text : cases) {
        EXPECT_EQ(FrameResponse(text).state, FrameState::Malformed) << text;
    }
    EXPECT_EQ(FrameResponse(std::string(9000, 'H').insert(0, "HTTP/1.1 ")).state,
              FrameState::Malformed);
}

TEST(LatencyPercentile, NearestRank) {
    std::vector<double> samples;
    for (int i = 100; i >= 1; --i) samples.push_back(i);
    EXPECT_EQ(Percentile(samples, 0.50), 50);
    EXPECT_EQ(Percentile(samples, 0.99), 99);
    EXPECT_EQ(Percentile(samples, 1.0), 100);
    EXPECT_EQ(Percentile({7}, 0.99), 7);
    EXPECT_EQ(Percentile({}, 0.5), 0);
    EXPECT_EQ(Percentile({1, 2, 3}, 0.5), 2);
}

// A loopback server on its own thread: accepts, and answers every request
// chunk with Page sent in pieces, or keeps silent.
struct TestServer {
    int listener = -1;
    std::uint16_t port = 0;
    bool answer = true;
    std::atomic<bool> stop{false};
    std::thread thread;

    explicit TestServer(bool answers) : answer(answers) {
        listener = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t size = sizeof address;
        bind(listener, reinterpret_cast<sockaddr*>(&address), size);
        listen(listener, 16);
        getsockname(listener, reinterpret_cast<sockaddr*>(&address), &size);
        port = ntohs(address.sin_port);
        thread = std::thread([this] { serve(); });
    }

    ~TestServer() {
        stop = true;
        thread.join();
        close(listener);
    }

    void serve() {
        std::vector<pollfd> fds{{listener, POLLIN, 0}};
        while (!stop) {
            if (poll(fds.data(), fds.size(), 10) <= 0) continue;
            if ((fds[0].revents & POLLIN) != 0)
                fds.push_back({accept(listener, nullptr, nullptr), POLLIN, 0});
            for (std::size_t i = 1; i < fds.size(); ++i) {
                if ((fds[i].revents & POLLIN) == 0) continue;
                char buffer[4096];
                if (recv(fds[i].fd, buffer, sizeof buffer, 0) <= 0 || !answer) continue;
                // Header and body in separate sends, as the status server does.
                send(fds[i].fd, Page.data(), 17, MSG_NOSIGNAL);
                send(fds[i].fd, Page.data() + 17, Page.size() - 17, MSG_NOSIGNAL);
            }
        }
        for (std::size_t i = 1; i < fds.size(); ++i) close(fds[i].fd);
    }
};

TEST(LoadClient, EveryClientIsAnsweredByAServerThatAnswersAll) {
    TestServer server(true);
    LoadOptions options;
    options.port = server.port;
    options.clients = 4;
    options.warmupSeconds = 0.1;
    options.seconds = 0.3;
    options.reconnectEvery = 3;
    const LoadResult result = RunLoad(options);
    EXPECT_GT(result.completed, 0);
    EXPECT_EQ(result.ok, result.completed);
    EXPECT_EQ(result.starvedClients, 0);
    EXPECT_EQ(result.connectFailures + result.closedByServer + result.sendFailures +
                  result.protocolErrors,
              0);
    EXPECT_GT(result.reconnects, 0);
}

TEST(LoadClient, UnansweredRequestsCountWithTheirAgeAndTheirClientsAsStarved) {
    TestServer server(false);
    LoadOptions options;
    options.port = server.port;
    options.clients = 3;
    options.warmupSeconds = 0;
    options.seconds = 0.2;
    const LoadResult result = RunLoad(options);
    EXPECT_EQ(result.completed, 0);
    EXPECT_EQ(result.starvedClients, 3);
    EXPECT_EQ(result.unanswered, 3);
    ASSERT_EQ(result.latenciesMs.size(), 3u);
    EXPECT_GT(Percentile(result.latenciesMs, 0.5), 0);
}

TEST(FloodClient, OpensItsConnectionsAndStopsByItself) {
    for (const bool answers : {true, false}) {
        TestServer server(answers);
        FloodOptions options;
        options.port = server.port;
        options.seconds = 0.5;
        options.connectionsPerSecond = 200;
        options.askEveryMs = 100;
        options.answerLimitMs = 100;
        options.holdOpen = 20;
        const FloodResult result = RunFlood(options);
        // The pace depends on the machine; the bounds do not.
        EXPECT_GT(result.opened, 0);
        EXPECT_LE(result.opened, 100);
        EXPECT_GT(result.asks, 0);
        EXPECT_EQ(result.answered + result.unanswered, result.asks);
        ASSERT_EQ(result.latenciesMs.size(), static_cast<std::size_t>(result.asks));
        if (answers) {
            EXPECT_GT(result.answered, 0);
        } else {
            // An ask given up counts at its age then, at most the limit.
            EXPECT_EQ(result.answered, 0);
            EXPECT_LE(Percentile(result.latenciesMs, 1.0), 100);
        }
    }
}

}  // namespace
}  // namespace bench
