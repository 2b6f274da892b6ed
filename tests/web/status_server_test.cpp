#include "web/status_server.h"

#include <gtest/gtest.h>

#include <array>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "loopback_client.h"
#include "platform/clock.h"
#include "sample_feed.h"
#include "slow_client.h"
#include "web/connections.h"
#include "web/request_handler.h"
#include "web/request_route.h"
#include "web/status_feed.h"
#include "web/status_page.h"

namespace web {
namespace {

using webtest::AwaitServerEvent;
using webtest::ExpectedResponse;

const std::vector<PageRow> kRows = {{"Котёл", "21.5 °C"}, {"Улица", "Не найден"}};

std::string iconBytes() {
    const auto icon = SiteIcon();
    return std::string(icon.begin(), icon.end());
}

std::string pageResponse() {
    return ExpectedResponse("200 OK", "text/html", *CurrentStatusPage());
}
std::string iconResponse() {
    return ExpectedResponse("200 OK", "image/x-icon", iconBytes());
}
std::string notFoundResponse() {
    return ExpectedResponse("404 Not Found", "text/html", "");
}

std::string answerTo(Route route) {
    switch (route) {
        case Route::Page:
            return pageResponse();
        case Route::Icon:
            return iconResponse();
        case Route::NotFound:
            return notFoundResponse();
        case Route::StatusJson:
            return ExpectedResponse("200 OK", "application/json", StatusJsonBody());
        case Route::Metrics:
            return ExpectedResponse("200 OK", "text/plain; version=0.0.4; charset=utf-8",
                                    MetricsBody());
        case Route::HistoryPage:
            return ExpectedResponse("200 OK", "text/html; charset=utf-8", HistoryPageBody());
        case Route::HistoryJson:
            return ExpectedResponse("200 OK", "application/json", HistoryJsonBody());
        case Route::NoAnswer:
            break;
    }
    return "";
}

class StatusServerTest : public testing::Test {
  protected:
    void SetUp() override {
        BuildStatusPage(kRows);
        ASSERT_TRUE(StartStatusServer(0, false));
        port = StatusServerPort();
        ASSERT_NE(port, 0);
    }

    void TearDown() override {
        for (const int fd : clients) webtest::CloseClient(fd);
        StopStatusServer();
    }

    // A browser connection the server has accepted.
    int connectClient(bool ipv6 = false) {
        const int fd = webtest::ConnectLoopback(ipv6, port);
        EXPECT_GE(fd, 0);
        clients.push_back(fd);
        lastAccepted = AwaitServerEvent();
        EXPECT_EQ(lastAccepted.kind, ServerEventKind::Connected);
        return fd;
    }

    // Sends `request`, lets the server answer, and returns what came back
    // when `expectedSize` bytes are expected.
    std::string exchange(int fd, std::string_view request, std::size_t expectedSize) {
        webtest::SendAll(fd, request);
        webtest::ServeWaitingEvents();
        return webtest::ReadBytes(fd, expectedSize);
    }

    // Sends a request that must get no answer, then proves the connection
    // still serves: the only bytes to come back are the icon's answer.
    void expectNoAnswer(int fd, std::string_view request) {
        webtest::SendAll(fd, request);
        EXPECT_GT(webtest::ServeWaitingEvents(), 0);
        EXPECT_EQ(webtest::ReadWaiting(fd), "") << request;
        const std::string icon = iconResponse();
        EXPECT_EQ(exchange(fd, "GET /favicon.ico HTTP/1.1\r\n\r\n", icon.size()), icon);
        EXPECT_EQ(webtest::ReadWaiting(fd), "");
    }

    std::uint16_t port = 0;
    std::vector<int> clients;
    ServerEvent lastAccepted;
};

struct Exchange {
    std::string_view request;
    std::string (*response)();  // nullptr: no answer at all
};

class RequestOverLoopback : public StatusServerTest,
                            public testing::WithParamInterface<Exchange> {};

TEST_P(RequestOverLoopback, GetsExactlyItsAnswer) {
    const int fd = connectClient();
    if (GetParam().response == nullptr) {
        expectNoAnswer(fd, GetParam().request);
        return;
    }
    const std::string expected = GetParam().response();
    EXPECT_EQ(exchange(fd, GetParam().request, expected.size()), expected) << GetParam().request;
    EXPECT_EQ(webtest::ReadWaiting(fd), "");
    EXPECT_TRUE(webtest::StillOpen(fd));
}

INSTANTIATE_TEST_SUITE_P(
    Requests, RequestOverLoopback,
    testing::Values(Exchange{"GET / HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n", pageResponse},
                    Exchange{"GET /index.html HTTP/1.1\r\n\r\n", pageResponse},
                    Exchange{"get /INDEX.HTML HTTP/1.0\r\n\r\n", pageResponse},
                    Exchange{"Get / HTTP/1.1\r\n\r\n", pageResponse},
                    Exchange{"GET / HTTP/1.1\nHost: 127.0.0.1\n\n", pageResponse},
                    Exchange{"GET /favicon.ico HTTP/1.1\r\n\r\n", iconResponse},
                    Exchange{"GET /index.htm HTTP/1.1\r\n\r\n", notFoundResponse},
                    Exchange{"GET /?x=1 HTTP/1.1\r\n\r\n", notFoundResponse},
                    Exchange{"GET /index.html?x=1 HTTP/1.1\r\n\r\n", notFoundResponse},
                    Exchange{"GET http://127.0.0.1/ HTTP/1.1\r\n\r\n", notFoundResponse},
                    Exchange{"GET /favicon.ico HTTP/1.1\r\n\r\nGET / HTTP/1.1\r\n\r\n",
                             iconResponse},
                    Exchange{"HEAD / HTTP/1.1\r\n\r\n", nullptr},
                    Exchange{"POST / HTTP/1.1\r\nContent-Length: 0\r\n\r\n", nullptr},
                    Exchange{"GET /", nullptr}, Exchange{"GET /\r\n\r\n", nullptr}));

TEST_F(StatusServerTest, AnswersTheIconWith766Bytes) {
    const int fd = connectClient();
    const std::string head =
        "HTTP/1.1 200 OK\r\nContent-Length: 766\r\nContent-Type: image/x-icon\r\n\r\n";
    const std::string response =
        exchange(fd, "GET /favicon.ico HTTP/1.1\r\n\r\n", head.size() + 766);
    EXPECT_EQ(response.substr(0, head.size()), head);
    EXPECT_EQ(response.size(), head.size() + 766);
}

TEST_F(StatusServerTest, PageBodyIsExactlyContentLengthBytes) {
    const int fd = connectClient();
    const std::string page = *CurrentStatusPage();
    const std::string head = "HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(page.size()) +
                             "\r\nContent-Type: text/html\r\n\r\n";
    const std::string response = exchange(fd, "GET / HTTP/1.1\r\n\r\n", head.size() + page.size());
    EXPECT_EQ(response, head + page);
    EXPECT_EQ(response.back(), '>');  // no terminating zero after </html>
    EXPECT_EQ(webtest::ReadWaiting(fd), "");
}

TEST_F(StatusServerTest, AnswersInternalErrorBeforeThePageIsBuilt) {
    ForgetStatusPage();
    const int fd = connectClient();
    const std::string expected =
        "HTTP/1.1 500 Internal Server Error\r\nContent-Length: 0\r\nContent-Type: "
        "text/html\r\n\r\n";
    EXPECT_EQ(exchange(fd, "GET /index.html HTTP/1.1\r\n\r\n", expected.size()), expected);
    // The icon does not depend on the page.
    EXPECT_EQ(exchange(fd, "GET /favicon.ico HTTP/1.1\r\n\r\n", iconResponse().size()),
              iconResponse());
}

TEST_F(StatusServerTest, TwoRequestsOnOneConnectionGetTwoAnswers) {
    const int fd = connectClient();
    EXPECT_EQ(exchange(fd, "GET / HTTP/1.1\r\n\r\n", pageResponse().size()), pageResponse());
    EXPECT_TRUE(webtest::StillOpen(fd));
    EXPECT_EQ(exchange(fd, "GET /favicon.ico HTTP/1.1\r\n\r\n", iconResponse().size()),
              iconResponse());
    EXPECT_TRUE(webtest::StillOpen(fd));
}

TEST_F(StatusServerTest, ServesTheRebuiltPage) {
    const int fd = connectClient();
    EXPECT_EQ(exchange(fd, "GET / HTTP/1.1\r\n\r\n", pageResponse().size()), pageResponse());
    BuildStatusPage({{"Подвал", "4.0 °C"}});
    const std::string rebuilt = pageResponse();
    EXPECT_NE(rebuilt.find("Подвал"), std::string::npos);
    EXPECT_EQ(exchange(fd, "GET / HTTP/1.1\r\n\r\n", rebuilt.size()), rebuilt);
}

TEST_F(StatusServerTest, RequestOf5000BytesIsHandledAs4096Then904) {
    const int fd = connectClient();
    // Cut anywhere but at 4096 and the second piece starts with a line end or
    // with "ET", and gets no answer.
    std::string first = "GET /favicon.ico HTTP/1.1\r\nX-Fill: ";
    first += std::string(4096 - first.size() - 2, 'a') + "\r\n";
    std::string second = "GET / HTTP/1.1\r\nX-Fill: ";
    second += std::string(904 - second.size() - 4, 'b') + "\r\n\r\n";
    ASSERT_EQ(first.size() + second.size(), 5000u);

    const std::string expected = iconResponse() + pageResponse();
    EXPECT_EQ(exchange(fd, first + second, expected.size()), expected);
    EXPECT_EQ(webtest::ReadWaiting(fd), "");
}

TEST_F(StatusServerTest, RequestLineSplitAcrossTicksIsTwoRequests) {
    const int fd = connectClient();
    webtest::SendAll(fd, "GET /fav");
    webtest::ServeWaitingEvents();
    expectNoAnswer(fd, "icon.ico HTTP/1.1\r\n\r\n");
}

TEST_F(StatusServerTest, NewestConnectionIsVisitedFirst) {
    const int older = connectClient();
    ClientConnection* const olderConnection = lastAccepted.connection;
    const int newer = connectClient();
    ClientConnection* const newerConnection = lastAccepted.connection;
    webtest::SendAll(older, "GET / HTTP/1.1\r\n\r\n");
    EXPECT_EQ(AwaitServerEvent().connection, olderConnection);
    // The older connection's bytes stay waiting; once the newer one has bytes
    // too, it is reported first.
    webtest::SendAll(newer, "GET / HTTP/1.1\r\n\r\n");
    ServerEvent event;
    for (int nap = 0; nap < 3000 && event.connection != newerConnection; ++nap) {
        event = PollServerEvent();
        if (event.connection != newerConnection) platform::SleepMs(1);
    }
    EXPECT_EQ(event.kind, ServerEventKind::DataArrived);
    EXPECT_EQ(event.connection, newerConnection);
}

// A client that asks again at once must not keep the others waiting: the
// connection whose bytes were reported longest ago goes first.
TEST_F(StatusServerTest, AClientThatKeepsAskingDoesNotStarveTheOthers) {
    const int older = connectClient();
    ClientConnection* const olderConnection = lastAccepted.connection;
    const int newer = connectClient();
    ClientConnection* const newerConnection = lastAccepted.connection;
    auto nextData = [] {
        ServerEvent event;
        for (int nap = 0; nap < 3000 && event.kind != ServerEventKind::DataArrived; ++nap) {
            event = PollServerEvent();
            if (event.kind != ServerEventKind::DataArrived) platform::SleepMs(1);
        }
        return event;
    };
    webtest::SendAll(older, "GET /favicon.ico HTTP/1.1\r\n\r\n");
    webtest::SendAll(newer, "GET /favicon.ico HTTP/1.1\r\n\r\n");
    // Neither has been served: the newer goes first. Their bytes stay unread,
    // as if each asked again at once, and from then on they take turns.
    for (ClientConnection* expected :
         {newerConnection, olderConnection, newerConnection, olderConnection}) {
        EXPECT_EQ(nextData().connection, expected);
    }
}

// Connections that never ask must not delay those that do: one call of the
// timer routine answers every open connection with a request, however many
// connections wait to be accepted, and the waiting ones are all taken within
// a few calls more.
TEST_F(StatusServerTest, RequestsAreAnsweredBeforeAFloodOfNewConnectionsIsAccepted) {
    std::vector<int> asking;
    std::vector<ClientConnection*> connections;
    for (int i = 0; i < 3; ++i) {
        asking.push_back(connectClient());
        connections.push_back(lastAccepted.connection);
    }
    // Fewer than the listen backlog, so that every connect completes, and
    // more than one call of the timer routine accepts.
    constexpr int kIdle = 80;
    for (int i = 0; i < kIdle; ++i) {
        clients.push_back(webtest::ConnectLoopback(false, port));
        ASSERT_GE(clients.back(), 0);
    }
    for (std::size_t i = 0; i < asking.size(); ++i) {
        webtest::SendAll(asking[i], "GET / HTTP/1.1\r\n\r\n");
        ASSERT_TRUE(webtest::AwaitBytesAt(connections[i]->socket));
    }
    ServiceStatusServer();
    for (const int fd : asking) {
        EXPECT_EQ(webtest::ReadBytes(fd, pageResponse().size()), pageResponse());
    }
    int calls = 0;
    while (PollServerEvent().kind == ServerEventKind::Connected && calls < kIdle) {
        ServiceStatusServer();
        ++calls;
    }
    EXPECT_LE(calls, 5);  // one at a time, it would take 40
    EXPECT_EQ(PollServerEvent().kind, ServerEventKind::None);
    // A flood connection that asks at last is served like any other.
    const std::string page =
        exchange(clients.back(), "GET / HTTP/1.1\r\n\r\n", pageResponse().size());
    EXPECT_EQ(page, pageResponse());
}

TEST_F(StatusServerTest, AnswerToAVanishedClientDoesNotKillTheProcess) {
    const int fd = connectClient();
    webtest::SendAll(fd, "GET / HTTP/1.1\r\n\r\n");
    webtest::CloseClient(fd);
    clients.clear();
    // The first send draws a reset; the later ones would raise SIGPIPE.
    webtest::ServeWaitingEvents();
    ServiceStatusServer();
    EXPECT_EQ(PollServerEvent().kind, ServerEventKind::None);
}

TEST_F(StatusServerTest, ClosedClientIsRemovedWithoutAnswer) {
    const int leaving = connectClient();
    const int staying = connectClient();
    webtest::CloseClient(leaving);
    clients.erase(clients.begin());
    EXPECT_EQ(AwaitServerEvent().kind, ServerEventKind::Closed);
    EXPECT_EQ(PollServerEvent().kind, ServerEventKind::None);
    EXPECT_EQ(exchange(staying, "GET / HTTP/1.1\r\n\r\n", pageResponse().size()), pageResponse());
}

TEST_F(StatusServerTest, StopClosesEveryConnection) {
    const int first = connectClient();
    const int second = connectClient();
    StopStatusServer();
    EXPECT_EQ(StatusServerPort(), 0);
    EXPECT_EQ(PollServerEvent().kind, ServerEventKind::None);
    EXPECT_TRUE(webtest::ClosedByServer(first));
    EXPECT_TRUE(webtest::ClosedByServer(second));
    EXPECT_EQ(webtest::ConnectLoopback(false, port), -1);
}

TEST_F(StatusServerTest, OldestConnectionMakesRoomBeyondTheBound) {
    std::vector<int> opened;
    for (std::size_t i = 0; i <= kMaxClients; ++i) opened.push_back(connectClient());
    EXPECT_TRUE(webtest::ClosedByServer(opened.front()));
    EXPECT_TRUE(webtest::StillOpen(opened[1]));
    EXPECT_EQ(exchange(opened[1], "GET / HTTP/1.1\r\n\r\n", pageResponse().size()), pageResponse());
    EXPECT_EQ(exchange(opened.back(), "GET / HTTP/1.1\r\n\r\n", pageResponse().size()),
              pageResponse());
}

TEST_F(StatusServerTest, RestartsOnItsOwnPortWhileClientsLinger) {
    const int fd = connectClient();
    EXPECT_EQ(exchange(fd, "GET / HTTP/1.1\r\n\r\n", pageResponse().size()), pageResponse());
    ASSERT_TRUE(StartStatusServer(port, false));
    EXPECT_TRUE(webtest::ClosedByServer(fd));
    const int again = connectClient();
    EXPECT_EQ(exchange(again, "GET / HTTP/1.1\r\n\r\n", pageResponse().size()), pageResponse());
}

TEST_F(StatusServerTest, PortInUseMakesTheStartFail) {
    StopStatusServer();
    const webtest::HeldPort held = webtest::HoldPort(false);
    ASSERT_GE(held.fd, 0);
    EXPECT_FALSE(StartStatusServer(held.port, false));
    EXPECT_EQ(StatusServerPort(), 0);
    EXPECT_EQ(PollServerEvent().kind, ServerEventKind::None);
    ServiceStatusServer();  // harmless without a server
    webtest::CloseClient(held.fd);
}

TEST_F(StatusServerTest, Ipv4ServerRefusesIpv6Clients) {
    if (!webtest::LoopbackAvailable(true)) GTEST_SKIP() << "no ::1 on this machine";
    EXPECT_EQ(webtest::ConnectLoopback(true, port), -1);
}

TEST(StatusServerIpv6, ServesIpv6ClientsAndRefusesIpv4) {
    if (!webtest::LoopbackAvailable(true)) GTEST_SKIP() << "no ::1 on this machine";
    BuildStatusPage(kRows);
    ASSERT_TRUE(StartStatusServer(0, true));
    const std::uint16_t port = StatusServerPort();
    EXPECT_EQ(webtest::ConnectLoopback(false, port), -1);
    const int fd = webtest::ConnectLoopback(true, port);
    ASSERT_GE(fd, 0);
    EXPECT_EQ(AwaitServerEvent().kind, ServerEventKind::Connected);
    webtest::SendAll(fd, "GET / HTTP/1.1\r\n\r\n");
    webtest::ServeWaitingEvents();
    EXPECT_EQ(webtest::ReadBytes(fd, pageResponse().size()), pageResponse());
    webtest::CloseClient(fd);
    StopStatusServer();
}

// Random requests handed straight to the handler on a live connection: each
// gets nothing or exactly one well-formed answer.
TEST_F(StatusServerTest, RandomRequestsGetNothingOrOneWholeAnswer) {
    const int fd = connectClient();
    ClientConnection& connection = *lastAccepted.connection;
    const std::string seed = "GET /favicon.ico HTTP/1.1\r\n";
    std::mt19937 random(766);
    std::uniform_int_distribution<int> byte(0, 255);
    for (int round = 0; round < 600; ++round) {
        std::string request = seed.substr(0, static_cast<std::size_t>(byte(random)) % 28);
        for (int i = round % 4; i > 0; --i) {
            request.insert(static_cast<std::size_t>(byte(random)) % (request.size() + 1), 1,
                           static_cast<char>(byte(random)));
        }
        const std::vector<std::uint8_t> bytes(request.begin(), request.end());
        HandleRequest(connection, bytes);
        const std::string expected = answerTo(JudgeRequest(bytes));
        ASSERT_EQ(webtest::ReadBytes(fd, expected.size()), expected) << request;
        ASSERT_EQ(webtest::ReadWaiting(fd), "") << request;
    }
}

TEST(StatusServerDetached, HandlesRequestsOnADeadSocketQuietly) {
    ClientConnection gone{platform::SocketHandle{}};
    HandleRequest(gone, std::vector<std::uint8_t>{'G', 'E', 'T', ' ', '/', ' '});
    SendText(gone, "x");
    std::array<std::uint8_t, 8> buffer{};
    EXPECT_LT(ReceiveRequest(gone, buffer), 0);
}

// An answer larger than the socket takes at once leaves over later ticks,
// whole and in order: the next answer on the connection follows its last byte.
TEST_F(StatusServerTest, ALargeAnswerToASlowReaderArrivesWholeBeforeTheNext) {
    BuildStatusPage(std::vector<PageRow>(20000, PageRow{"Котёл <кухня>", "21.5 °C"}));
    const int fd = connectClient();
    webtest::ShrinkSendBuffer(lastAccepted.connection->socket);
    webtest::SendAll(fd, "GET / HTTP/1.1\r\n\r\n");
    webtest::ServeWaitingEvents();
    webtest::SendAll(fd, "GET /favicon.ico HTTP/1.1\r\n\r\n");
    webtest::ServeWaitingEvents();
    const std::string expected = pageResponse() + iconResponse();
    ASSERT_GT(expected.size(), 2000000u);
    const std::string received = webtest::ReadWhileServing(fd, expected.size());
    EXPECT_EQ(received.size(), expected.size());
    EXPECT_TRUE(received == expected);
    EXPECT_TRUE(webtest::StillOpen(fd));
}

// A client that keeps asking without reading is closed once about 1 MiB
// waits behind the answer being sent, so what the server holds stays bounded.
TEST_F(StatusServerTest, AClientThatAsksWithoutReadingIsClosedPastTheBound) {
    BuildStatusPage(std::vector<PageRow>(2000, PageRow{"Котёл", "21.5 °C"}));
    const int fd = connectClient();
    // Small socket buffers on both ends, so that the answers pile up in the
    // server's queue rather than in the kernel.
    webtest::ShrinkSendBuffer(lastAccepted.connection->socket);
    webtest::ShrinkReceiveBuffer(fd);
    // Each request fills one receive of 4096 bytes, so each is read as one.
    std::string request = "GET / HTTP/1.1\r\nX-Fill: ";
    request += std::string(4096 - request.size() - 4, 'a') + "\r\n\r\n";
    const ClientConnection probe{};  // none of the server's: counts them all
    bool queued = false;
    int asked = 0;
    for (; asked < 200; ++asked) {
        webtest::SendAll(fd, request);
        webtest::ServeWaitingEvents();
        const std::size_t waiting = QueuedOnOtherConnections(probe);
        if (queued && waiting == 0) break;  // the connection is gone
        queued = queued || waiting > 0;
        ASSERT_LE(waiting, kMaxQueuedBehindBytes + 2 * pageResponse().size());
    }
    EXPECT_LT(asked, 200);
    EXPECT_TRUE(webtest::ReadsToTheServersClose(fd));
}

TEST_F(StatusServerTest, AcceptedConnectionsSendWithoutDelay) {
    connectClient();
    EXPECT_TRUE(webtest::NoDelayIsSet(lastAccepted.connection->socket));
}

TEST_F(StatusServerTest, ServesStatusJsonMetricsAndHistory) {
    ForgetStatusFeed();
    webtest::RecordSampleHistory(1783857600);
    SetStatusSnapshot(webtest::SampleSnapshot(1783857600));
    const int fd = connectClient();
    struct Case {
        const char* request;
        const char* type;
        const std::string& (*body)();
    };
    for (const Case& c :
         {Case{"GET /status.json HTTP/1.1\r\n\r\n", "application/json", StatusJsonBody},
          Case{"GET /METRICS HTTP/1.1\r\n\r\n", "text/plain; version=0.0.4; charset=utf-8",
               MetricsBody},
          Case{"GET /History HTTP/1.1\r\n\r\n", "text/html; charset=utf-8", HistoryPageBody},
          Case{"get /history.json HTTP/1.0\r\n\r\n", "application/json", HistoryJsonBody}}) {
        const std::string expected = ExpectedResponse("200 OK", c.type, c.body());
        webtest::SendAll(fd, c.request);
        webtest::ServeWaitingEvents();
        EXPECT_TRUE(webtest::ReadWhileServing(fd, expected.size()) == expected) << c.request;
    }
    EXPECT_EQ(exchange(fd, "GET /metrics?x=1 HTTP/1.1\r\n\r\n", notFoundResponse().size()),
              notFoundResponse());
    EXPECT_EQ(webtest::ReadWaiting(fd), "");
    ForgetStatusFeed();
}

}  // namespace
}  // namespace web
