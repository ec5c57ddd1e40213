#include <cstdlib>

#include <gtest/gtest.h>

#include "platform/LinuxNetworkReachability.h"
#include "support/Sandbox.h"

using namespace VantisClient;

namespace {

const char* const HEADINGS = "Iface\tDestination\tGateway \tFlags\tRefCnt\tUse\tMetric\tMask\t\tMTU\tWindow\tIRTT\n";

class ReachabilityTest : public VantisTest::SandboxTest {
protected:
    bool reachable(const std::string& routes, const std::string& interfaceFlags) {
        sandbox.writeFile("route", std::string(HEADINGS) + routes);
        sandbox.writeFile("net/eth0/flags", interfaceFlags);
        sandbox.writeFile("net/lo/flags", "0x9\n");
        return LinuxNetworkReachability(sandbox.path("route"), sandbox.path("net")).isInternetReachable();
    }
    void TearDown() override { ::unsetenv("VANTIS_ONLINE"); }
};

}  // namespace

TEST_F(ReachabilityTest, DefaultRouteThroughAnInterfaceThatIsUp) {
    struct Case {
        const char* routes;
        const char* flags;
        bool reachable;
    } cases[] = {
        {"eth0\t00000000\t0102A8C0\t0003\t0\t0\t100\t00000000\t0\t0\t0\n", "0x1003\n", true},
        {"eth0\t00000000\t0102A8C0\t0003\t0\t0\t100\t00000000\t0\t0\t0\n", "0x1002\n", false},  // link down
        {"eth0\t0002A8C0\t00000000\t0001\t0\t0\t100\t00FFFFFF\t0\t0\t0\n", "0x1003\n", false},  // no default
        {"lo\t00000000\t00000000\t0001\t0\t0\t0\t00000000\t0\t0\t0\n", "0x1003\n", false},     // loopback only
        {"eth0\t00000000\t0102A8C0\t0002\t0\t0\t100\t00000000\t0\t0\t0\n", "0x1003\n", false},  // route not up
        {"garbage\n", "0x1003\n", false},
    };
    for (const Case& c : cases) EXPECT_EQ(c.reachable, reachable(c.routes, c.flags)) << c.routes;
}

TEST_F(ReachabilityTest, EnvironmentForcesTheAnswer) {
    ::setenv("VANTIS_ONLINE", "1", 1);
    EXPECT_TRUE(reachable("", ""));
    ::setenv("VANTIS_ONLINE", "0", 1);
    EXPECT_FALSE(reachable("eth0\t00000000\t0102A8C0\t0003\t0\t0\t100\t00000000\t0\t0\t0\n", "0x1003\n"));
}
