// The map's own connectivity watch.
#include <gtest/gtest.h>

#include "fixtures/LoopbackHttpServer.h"
#include "views/map/MapConnectionProbe.h"

namespace orv::test {
namespace {

TEST(MapConnectionProbe, TheProbeTargetIsTheAddressHostAndPort) {
    struct Case {
        const char* url;
        bool ok;
        const char* host;
        const char* port;
    };
    const Case cases[] = {
        {"https://tile.openstreetmap.org/", true, "tile.openstreetmap.org", "443"},
        {"http://127.0.0.1:8080/tiles/{z}", true, "127.0.0.1", "8080"},
        {"http://user:pw@example.org", true, "example.org", "80"},
        {"http://[::1]:81/", true, "::1", "81"},
        {"tile.openstreetmap.org", false, "", ""},
        {"http:///path", false, "", ""},
        {"http://[::1/", false, "", ""},
    };
    for (const Case& c : cases) {
        std::string host, port;
        EXPECT_EQ(CMapConnectionProbe::SplitHostPort(c.url, &host, &port), c.ok) << c.url;
        EXPECT_EQ(host, c.host);
        EXPECT_EQ(port, c.port);
    }
}

TEST(MapConnectionProbe, OnlyASwitchedOnMapAsksTheNetwork) {
    fixtures::LoopbackHttpServer server;
    ASSERT_NE(server.Port(), 0);
    CMapConnectionProbe probe(server.Url("/"));
    probe.ProbeConnection();
    EXPECT_FALSE(probe.IsConnected());
    EXPECT_EQ(server.Connections(), 0);

    probe.SetMapEnabled(true);
    probe.ProbeConnection();
    EXPECT_TRUE(probe.IsConnected());
    probe.SetMapEnabled(false);
    EXPECT_FALSE(probe.IsConnected());
    probe.StopInternetThreads();
    probe.StopInternetThreads();  // a second stop does nothing

    CMapConnectionProbe closed("http://127.0.0.1:1/");
    closed.SetMapEnabled(true);
    closed.ProbeConnection();
    EXPECT_FALSE(closed.IsConnected());
}

}  // namespace
}  // namespace orv::test
