#include "platform/net/HttpClient.h"

#include <atomic>
#include <thread>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "fixtures/LoopbackHttpServer.h"

namespace orv {
namespace {

using fixtures::LoopbackHttpServer;
using Reply = LoopbackHttpServer::Reply;

TEST(HttpGet, KeepsAtMostTheCapAndFailsOnErrors) {
    LoopbackHttpServer server;
    ASSERT_NE(server.Port(), 0);
    const std::string big(1024 * 1024, 'x');
    const std::string chunks(5000, 'c');
    server.Set("/plain", "VER:1.2.3\r\n");
    server.Set("/chunked", Reply{Reply::Answer, 200, chunks, true});
    server.Set("/big", big);
    server.Set("/empty", "");
    server.Set("/gone", Reply{Reply::Answer, 500, "oops", false});
    server.Set("/close", Reply::Close);

    struct Case {
        const char* path;
        bool ok;
        std::string body;
        bool truncated;
    } cases[] = {
        {"/plain", true, "VER:1.2.3\r\n", false},
        {"/chunked", true, chunks, false},
        {"/big", true, big.substr(0, 64 * 1024), true},
        {"/empty", true, "", false},
        {"/missing", false, "", false},  // 404
        {"/gone", false, "", false},
        {"/close", false, "", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        const HttpResponse r = HttpGet(server.Url(c.path));
        EXPECT_EQ(r.ok, c.ok);
        EXPECT_EQ(r.body, c.body);
        EXPECT_EQ(r.truncated, c.truncated);
    }
}

TEST(HttpGet, FollowsRedirectsOnlyOnItsOwnServer) {
    LoopbackHttpServer server, other;
    ASSERT_NE(server.Port(), 0);
    ASSERT_NE(other.Port(), 0);
    const std::string port = std::to_string(server.Port());
    server.Set("/target", "VER:1.2.3");
    other.Set("/target", "VER:9.9.9");
    const struct {
        const char* name;
        std::vector<std::pair<std::string, std::string>> hops;  // path on `server`, Location
        bool ok;
    } cases[] = {
        {"relative", {{"/a", "/target"}}, true},
        {"absolute, upper case host", {{"/a", "HTTP://127.0.0.1:" + port + "/target"}}, true},
        {"three hops", {{"/a", "/b"}, {"/b", "/c"}, {"/c", "/target"}}, true},
        {"four hops", {{"/a", "/b"}, {"/b", "/c"}, {"/c", "/d"}, {"/d", "/target"}}, false},
        {"loop", {{"/a", "/a"}}, false},
        {"other port", {{"/a", other.Url("/target")}}, false},
        {"other port later", {{"/a", "/b"}, {"/b", other.Url("/target")}}, false},
        {"other host", {{"/a", "http://localhost:" + port + "/target"}}, false},
        {"other scheme", {{"/a", "https://127.0.0.1:" + port + "/target"}}, false},
        {"no location", {{"/a", ""}}, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        for (const auto& [path, location] : c.hops) server.SetRedirect(path, location, 307);
        const int before = server.Requests("/target");
        const HttpResponse r = HttpGet(server.Url("/a"));
        EXPECT_EQ(r.ok, c.ok);
        EXPECT_EQ(r.body, c.ok ? "VER:1.2.3" : "");
        EXPECT_EQ(server.Requests("/target") - before, c.ok ? 1 : 0);
    }
    EXPECT_EQ(other.Connections(), 0);
}

TEST(HttpGet, ASilentServerEndsByTheTimeOutOrTheCancelFlag) {
    LoopbackHttpServer server;
    server.Set("/silent", Reply::Silent);

    HttpLimits quick;
    quick.totalTimeoutMs = 300;
    EXPECT_FALSE(HttpGet(server.Url("/silent"), quick).ok);

    // With long time-outs only the flag can end it.
    HttpLimits slow;
    slow.connectTimeoutMs = slow.totalTimeoutMs = 3600 * 1000;
    std::atomic<bool> cancel{false};
    std::thread canceller([&] {
        while (server.Requests("/silent") < 2) std::this_thread::yield();
        cancel = true;
    });
    EXPECT_FALSE(HttpGet(server.Url("/silent"), slow, &cancel).ok);
    canceller.join();
}

TEST(ProbeUrl, TrueOnlyWhereAServerListens) {
    int freedPort = 0;
    {
        LoopbackHttpServer gone;
        freedPort = gone.Port();
    }
    LoopbackHttpServer server;
    EXPECT_TRUE(ProbeUrl(server.Url("/")));
    EXPECT_EQ(server.TotalRequests(), 0);  // a probe asks for nothing
    EXPECT_FALSE(ProbeUrl("http://127.0.0.1:" + std::to_string(freedPort) + "/"));
    EXPECT_FALSE(ProbeUrl("ftp://127.0.0.1:" + std::to_string(server.Port()) + "/"));
}

}  // namespace
}  // namespace orv
