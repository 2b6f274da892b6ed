#include "web/request_route.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>
#include <string_view>
#include <vector>

namespace web {
namespace {

Route judge(std::string_view text) {
    // An exact-size copy, so that a read past the count is caught by the
    // address sanitizer.
    const std::vector<std::uint8_t> bytes(text.begin(), text.end());
    return JudgeRequest(bytes);
}

struct RouteCase {
    std::string_view request;
    Route route;
};

class RequestLine : public testing::TestWithParam<RouteCase> {};

TEST_P(RequestLine, IsRoutedByItsPathAlone) {
    EXPECT_EQ(judge(GetParam().request), GetParam().route) << GetParam().request;
}

INSTANTIATE_TEST_SUITE_P(
    Requests, RequestLine,
    testing::Values(RouteCase{"GET / HTTP/1.1\r\nHost: x\r\n\r\n", Route::Page},
                    RouteCase{"GET /index.html HTTP/1.1\r\n\r\n", Route::Page},
                    RouteCase{"get /INDEX.HTML HTTP/1.0\r\n\r\n", Route::Page},
                    RouteCase{"Get / HTTP/1.1\r\n\r\n", Route::Page},
                    RouteCase{"GET / HTTP/1.1\nHost: x\n\n", Route::Page},
                    RouteCase{"GET / ", Route::Page},
                    RouteCase{"GET /favicon.ico HTTP/1.1\r\n\r\n", Route::Icon},
                    RouteCase{"GET /FavIcon.ICO HTTP/1.1\r\n", Route::Icon},
                    RouteCase{"GET /index.htm HTTP/1.1\r\n\r\n", Route::NotFound},
                    RouteCase{"GET /?x=1 HTTP/1.1\r\n\r\n", Route::NotFound},
                    RouteCase{"GET /index.html?x=1 HTTP/1.1\r\n\r\n", Route::NotFound},
                    RouteCase{"GET http://localhost/ HTTP/1.1\r\n\r\n", Route::NotFound},
                    RouteCase{"GET http://localhost/index.html HTTP/1.1\r\n\r\n", Route::NotFound},
                    RouteCase{"GET //index.html HTTP/1.1\r\n", Route::NotFound},
                    RouteCase{"HEAD / HTTP/1.1\r\n\r\n", Route::NoAnswer},
                    RouteCase{"POST / HTTP/1.1\r\n\r\n", Route::NoAnswer},
                    RouteCase{"GET /", Route::NoAnswer}, RouteCase{"GET /\r\n", Route::NoAnswer},
                    RouteCase{"GET index.html HTTP/1.1\r\n", Route::NoAnswer},
                    RouteCase{"\r\nGET / HTTP/1.1\r\n", Route::NoAnswer},
                    RouteCase{"", Route::NoAnswer},
                    // The method is only searched for: anything before it is skipped.
                    RouteCase{"xxGET / HTTP/1.1\r\n", Route::Page},
                    // "get" inside a POST's target finds no space after the slash that follows.
                    RouteCase{"POST /target HTTP/1.1\r\n", Route::NoAnswer}));

INSTANTIATE_TEST_SUITE_P(
    Endpoints, RequestLine,
    testing::Values(RouteCase{"GET /status.json HTTP/1.1\r\n", Route::StatusJson},
                    RouteCase{"GET /Status.JSON HTTP/1.1\r\n", Route::StatusJson},
                    RouteCase{"GET /metrics HTTP/1.1\r\n", Route::Metrics},
                    RouteCase{"get /METRICS HTTP/1.0\r\n", Route::Metrics},
                    RouteCase{"GET /history HTTP/1.1\r\n", Route::HistoryPage},
                    RouteCase{"GET /history.json HTTP/1.1\r\n", Route::HistoryJson},
                    RouteCase{"GET /metrics?x=1 HTTP/1.1\r\n", Route::NotFound},
                    RouteCase{"GET /history/ HTTP/1.1\r\n", Route::NotFound},
                    RouteCase{"GET /status HTTP/1.1\r\n", Route::NotFound},
                    RouteCase{"HEAD /metrics HTTP/1.1\r\n", Route::NoAnswer}));

TEST(RequestText, EndsAtTheFirstZeroByte) {
    using namespace std::string_view_literals;
    EXPECT_EQ(judge("GET /favicon.ico HTTP/1.1\r\n"sv), Route::Icon);
    EXPECT_EQ(judge("GET /fav\0icon.ico HTTP/1.1\r\n"sv), Route::NoAnswer);
    EXPECT_EQ(judge("GET / \0HTTP/1.1\r\n"sv), Route::Page);
    EXPECT_EQ(judge("\0GET / HTTP/1.1\r\n"sv), Route::NoAnswer);
}

TEST(RequestText, OnlyTheFirstOfTwoPipelinedRequestsCounts) {
    EXPECT_EQ(judge("GET /favicon.ico HTTP/1.1\r\n\r\nGET / HTTP/1.1\r\n\r\n"), Route::Icon);
    EXPECT_EQ(judge("HEAD / HTTP/1.1\r\n\r\nGET / HTTP/1.1\r\n\r\n"), Route::NoAnswer);
}

TEST(RequestText, BytesAboveAsciiNeverMatchLetters) {
    // Latin-1 capital letters lower-case to other code points; only ASCII
    // letters take part.
    EXPECT_EQ(judge("G\xc9T / HTTP/1.1\r\n"), Route::NoAnswer);
    EXPECT_EQ(judge("GET /\xd0\x94 HTTP/1.1\r\n"), Route::NotFound);
}

// Random and cut-off requests: the judge must stay inside the bytes it is
// given and answer consistently with what those bytes say.
TEST(RequestFuzz, RandomAndTruncatedInputsAreJudgedSafely) {
    const std::vector<std::string> seeds = {
        "GET / HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n",
        "GET /favicon.ico HTTP/1.1\r\n\r\n",
        "get /INDEX.HTML HTTP/1.0\n\n",
        "GET http://h/ HTTP/1.1\r\n",
        "HEAD / HTTP/1.1\r\n",
    };
    std::mt19937 random(20260307);
    std::uniform_int_distribution<int> byte(0, 255);
    const std::string alphabet = "GETget /\r\n\0.indexhtmlfavicoHTTP?";

    for (const std::string& seed : seeds) {
        for (std::size_t length = 0; length <= seed.size(); ++length) {
            const std::string prefix = seed.substr(0, length);
            const Route route = judge(prefix);
            // Whatever follows a line end cannot change the verdict.
            EXPECT_EQ(judge(prefix + "\r\nGET /favicon.ico HTTP/1.1\r\n"), route);
        }
    }
    for (int round = 0; round < 20000; ++round) {
        std::string input = seeds[static_cast<std::size_t>(round) % seeds.size()];
        const int edits = 1 + round % 6;
        for (int edit = 0; edit < edits; ++edit) {
            const std::size_t at = static_cast<std::size_t>(byte(random)) % (input.size() + 1);
            const char c = round % 2 == 0
                               ? static_cast<char>(byte(random))
                               : alphabet[static_cast<std::size_t>(byte(random)) % alphabet.size()];
            if (edit % 3 == 0 && at < input.size()) {
                input.erase(at, 1);
            } else {
                input.insert(at, 1, c);
            }
        }
        if (round % 5 == 0)
            input.resize(static_cast<std::size_t>(byte(random)) % (input.size() + 1));
        const Route route = judge(input);
        ASSERT_LE(static_cast<int>(route), static_cast<int>(Route::NotFound));
        const std::string lower = [&] {
            std::string text = input.substr(0, input.find_first_of(std::string("\r\n\0", 3)));
            for (char& c : text) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c);
            return text;
        }();
        if (lower.find("get") == std::string::npos) {
            EXPECT_EQ(route, Route::NoAnswer) << input;
        }
    }
}

}  // namespace
}  // namespace web
