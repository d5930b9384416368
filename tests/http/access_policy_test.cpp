// Which hosts and origins may use the endpoint.
#include "http/access_policy.h"

#include <gtest/gtest.h>

TEST(AccessPolicy, HostMustNameThisMachine) {
    const AccessPolicy policy{{"Bench.Lab"}, {}};
    for (const char* host : {"", "localhost", "LOCALHOST:8888", "127.0.0.1:8888", "192.168.4.20", "[::1]:8888",
                             "bench.lab:8888", "[fe80::1]"}) {
        EXPECT_TRUE(hostAllowed(host, policy)) << host;
    }
    // Names that a rebinding attack would send, and malformed literals.
    for (const char* host : {"evil.example", "evil.example:8888", "localhost.evil.example", "127.0.0.1.evil.example",
                             "999.1.1.1", "[::1", "[::1]x", "::1", "bench.lab.example"}) {
        EXPECT_FALSE(hostAllowed(host, policy)) << host;
    }
}

TEST(AccessPolicy, OriginMustBeTheConsoleOrAllowed) {
    const AccessPolicy policy{{}, {"http://app.example:3000"}};
    EXPECT_TRUE(originAllowed("", "localhost:8888", policy));  // native clients send none
    EXPECT_TRUE(originAllowed("http://localhost:8888", "localhost:8888", policy));
    EXPECT_TRUE(originAllowed("HTTP://127.0.0.1:8888", "127.0.0.1:8888", policy));
    EXPECT_TRUE(originAllowed("http://app.example:3000", "localhost:8888", policy));
    EXPECT_FALSE(originAllowed("http://evil.example", "localhost:8888", policy));
    EXPECT_FALSE(originAllowed("http://localhost:8889", "localhost:8888", policy));  // another local page
    EXPECT_FALSE(originAllowed("https://localhost:8888", "localhost:8888", policy));
    EXPECT_FALSE(originAllowed("null", "localhost:8888", policy));
    EXPECT_FALSE(originAllowed("http://localhost:8888", "", policy));
}
