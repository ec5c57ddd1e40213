#include <string>

#include <gtest/gtest.h>

#include "gtk/PageDestinations.h"

using VantisClient::PageDestinations;

TEST(PageDestinationsTest, OnlyTheAllowedOriginsAndTheFilesBelowTheCardAreTheClientsPages) {
    PageDestinations pages;
    pages.allowOrigin("https://127.0.0.1:8443/gameview/dist/1207658924/index.html");
    pages.allowOrigin("http://Login.Example.test/auth?client_id=1");
    pages.allowFilesBelow("/opt/client/share/gamecard");
    const struct {
        const char* address;
        bool allowed;
    } cases[] = {
        {"https://127.0.0.1:8443/gameview/dist/1207658924/css/main.css", true},
        {"https://127.0.0.1:8443/elsewhere", true},
        {"http://login.example.test:80/auth", true},
        {"HTTP://LOGIN.EXAMPLE.TEST/", true},
        {"file:///opt/client/share/gamecard/index.html", true},
        {"file://localhost/opt/client/share/gamecard/img/cover.png", true},
        // Another port, scheme or host is another site.
        {"https://127.0.0.1:8444/gameview/dist/1207658924/index.html", false},
        {"http://127.0.0.1:8443/gameview/dist/1207658924/index.html", false},
        {"https://login.example.test/auth", false},
        {"https://127.0.0.1.evil.test:8443/", false},
        {"https://user@evil.test/127.0.0.1:8443", false},
        // Files elsewhere, or climbing out of the card's directory.
        {"file:///opt/client/share/gamecard", false},
        {"file:///opt/client/share/gamecard-other/index.html", false},
        {"file:///opt/client/share/gamecard/../../secret", false},
        {"file:///opt/client/share/gamecard/img/..", false},
        {"file://evil.test/opt/client/share/gamecard/index.html", false},
        {"file:///etc/passwd", false},
        // Addresses that carry their own content.
        {"data:text/html,<script>alert(1)</script>", false},
        {"javascript:alert(1)", false},
        {"", false},
        {"not an address", false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.allowed, pages.allows(c.address)) << c.address;
    }
    pages.clear();
    EXPECT_FALSE(pages.allows("https://127.0.0.1:8443/gameview/dist/1207658924/index.html"));
}
