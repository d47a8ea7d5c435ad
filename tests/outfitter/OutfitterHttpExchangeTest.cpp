#include <gtest/gtest.h>

#include <optional>

#include "OutfitterTestSupport.h"
#include "outfitter/HttpExchange.h"
#include "support/http/LoopbackHttpServer.h"

using namespace outfitter;
using namespace std::chrono_literals;
using outfittertest::CountingNetworkAccessManager;
using outfittertest::waitUntil;
using testsupport::LoopbackHttpServer;
using testsupport::ScriptedAnswer;

namespace {

class OutfitterHttpExchangeTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { testsupport::trustTestCertificate(); }

    HttpAnswer exchange(HttpRequest request) {
        std::optional<HttpAnswer> answer;
        auto running =
            HttpExchange::start(network, request, [&](const HttpAnswer& a) { answer = a; });
        EXPECT_FALSE(answer) << "completed before start returned";
        EXPECT_TRUE(waitUntil([&] { return answer.has_value(); }));
        return answer.value_or(HttpAnswer{});
    }
    HttpRequest post(const QUrl& url) {
        HttpRequest request;
        request.url = url;
        request.body = "{}";
        request.contentType = "application/json";
        return request;
    }

    CountingNetworkAccessManager network;
    LoopbackHttpServer server;
};

TEST_F(OutfitterHttpExchangeTest, OnlyA2xxAnswerWithinTheLimitsCountsAsReceived) {
    struct Case {
        const char* name;
        ScriptedAnswer answer;
        HttpAnswer::Outcome outcome;
    };
    ScriptedAnswer huge = ScriptedAnswer::json(QByteArray(10 * 1024 * 1024, ' '));
    ScriptedAnswer endless;
    endless.endlessBody = true;
    ScriptedAnswer hangUp;
    hangUp.closeWithoutAnswer = true;
    ScriptedAnswer slow = ScriptedAnswer::json("{}");
    slow.delay = 3s;
    const Case cases[] = {
        {"ok", ScriptedAnswer::json("{\"a\":1}"), HttpAnswer::Outcome::received},
        {"no content", ScriptedAnswer::json("", 204), HttpAnswer::Outcome::received},
        {"unavailable", ScriptedAnswer::json("{\"code\":-1}", 503), HttpAnswer::Outcome::rejected},
        {"not found", ScriptedAnswer::json("", 404), HttpAnswer::Outcome::rejected},
        {"10 MiB", huge, HttpAnswer::Outcome::tooLarge},
        {"endless", endless, HttpAnswer::Outcome::tooLarge},
        {"hung up", hangUp, HttpAnswer::Outcome::failed},
        {"stalled", slow, HttpAnswer::Outcome::failed},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        // The default answer, so that the network manager's own retries of a
        // dropped connection meet the same answer.
        server.setDefaultAnswer(c.answer);
        HttpRequest request = post(server.url("/x"));
        request.timeout = 300ms;
        const HttpAnswer answer = exchange(request);
        EXPECT_EQ(answer.outcome, c.outcome) << answer.error.toStdString();
        EXPECT_LE(answer.body.size(), 64 * 1024);
        EXPECT_EQ(answer.error.isEmpty(), answer.succeeded());
    }
}

TEST_F(OutfitterHttpExchangeTest, SendsTheBodyWithItsContentTypeAndAgentAndNoCookies) {
    ScriptedAnswer withCookie = ScriptedAnswer::json("{}");
    withCookie.headers.append(
        qMakePair(QByteArray("Set-Cookie"), QByteArray("session=abc; Path=/")));
    server.enqueue(withCookie);
    HttpRequest request = post(server.url("/a?b=c"));
    request.body = "{\"x\":\"é\"}";
    request.userAgent = "Quillfen/1.0 (Linux; debian 12)";
    EXPECT_TRUE(exchange(request).succeeded());
    EXPECT_TRUE(exchange(request).succeeded());

    ASSERT_EQ(server.requests().size(), 2u);
    const auto& first = server.requests()[0];
    EXPECT_EQ(first.method, "POST");
    EXPECT_EQ(first.target, "/a?b=c");
    EXPECT_EQ(first.header("content-type"), "application/json");
    EXPECT_EQ(first.header("user-agent"), "Quillfen/1.0 (Linux; debian 12)");
    EXPECT_EQ(first.body, "{\"x\":\"é\"}");
    EXPECT_EQ(server.requests()[1].header("cookie"), "");
}

TEST_F(OutfitterHttpExchangeTest, PlainHttpToAnotherComputerIsRefusedWithoutARequest) {
    for (const char* address : {"http://example.org/feedback", "ftp://127.0.0.1/",
                                "https:///nohost", "http://10.0.0.1/", "not a url"}) {
        const HttpAnswer answer = exchange(post(QUrl(QString::fromUtf8(address))));
        EXPECT_EQ(answer.outcome, HttpAnswer::Outcome::refused) << address;
    }
    EXPECT_EQ(network.requestCount(), 0);
}

TEST_F(OutfitterHttpExchangeTest, RedirectsAreFollowedOnlyWhereTheyStaySafe) {
    LoopbackHttpServer secure(LoopbackHttpServer::Mode::https);

    // HTTPS to HTTPS: followed.
    secure.enqueue(ScriptedAnswer::redirect(secure.url("/moved"), 307));
    secure.enqueue(ScriptedAnswer::json("{\"moved\":true}"));
    HttpAnswer answer = exchange(post(secure.url("/start")));
    EXPECT_TRUE(answer.succeeded()) << answer.error.toStdString();
    EXPECT_EQ(answer.body, "{\"moved\":true}");
    ASSERT_EQ(secure.requests().size(), 2u);
    EXPECT_EQ(secure.requests()[1].target, "/moved");

    // HTTPS to HTTP, even on this computer: refused before the HTTP request.
    secure.enqueue(ScriptedAnswer::redirect(server.url("/plain"), 307));
    answer = exchange(post(secure.url("/start")));
    EXPECT_EQ(answer.outcome, HttpAnswer::Outcome::refused);
    EXPECT_TRUE(server.requests().empty());

    // Loopback HTTP to HTTP elsewhere: refused.
    server.enqueue(ScriptedAnswer::redirect(QUrl("http://example.org/"), 302));
    answer = exchange(post(server.url("/start")));
    EXPECT_EQ(answer.outcome, HttpAnswer::Outcome::refused);
    EXPECT_EQ(server.requests().size(), 1u);
}

TEST_F(OutfitterHttpExchangeTest, ACancelledExchangeNeverCompletes) {
    ScriptedAnswer slow = ScriptedAnswer::json("{}");
    slow.delay = 200ms;
    server.enqueue(slow);
    bool completed = false;
    auto running = HttpExchange::start(network, post(server.url("/")),
                                       [&](const HttpAnswer&) { completed = true; });
    ASSERT_TRUE(waitUntil([&] { return server.requests().size() == 1; }));
    running.reset();
    EXPECT_TRUE(waitUntil([&] { return server.pendingAnswers() == 0; }));
    EXPECT_FALSE(completed);
}

}  // namespace
