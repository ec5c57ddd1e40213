#include <unistd.h>

#include <string>

#include <Poco/File.h>
#include <gtest/gtest.h>

#include "install/InstallPathGuard.h"
#include "support/Sandbox.h"

using namespace VantisClient;

namespace {

using LastComponent = InstallPathGuard::LastComponent;

}  // namespace

TEST(InstallPathGuard, OnlyPathsBelowTheRootThatPassNoLink) {
    VantisTest::Sandbox sandbox;
    sandbox.writeFile("Game/dir/file", "x");
    sandbox.writeFile("outside/file", "x");
    ASSERT_EQ(0, ::symlink(sandbox.path("outside").c_str(), sandbox.path("Game/link").c_str()));
    ASSERT_EQ(0, ::symlink(sandbox.path("Game").c_str(), sandbox.path("GameLink").c_str()));
    const std::string root = sandbox.path("Game");

    struct Case {
        std::string root;
        std::string path;
        LastComponent last;
        bool inside;
    } cases[] = {
        {root, root + "/dir/file", LastComponent::MustNotBeLink, true},
        {root + "/", root + "//dir/file", LastComponent::MustNotBeLink, true},
        {root, root + "/missing/deeper/file", LastComponent::MustNotBeLink, true},
        {root, root + "/dir/file/below-a-file", LastComponent::MustNotBeLink, true},
        // Where the root lives is the user's choice, links included.
        {sandbox.path("GameLink"), sandbox.path("GameLink/dir/file"), LastComponent::MustNotBeLink, true},
        // A link at the end is replaced or removed itself, unless it would be entered.
        {root, root + "/link", LastComponent::MayBeLink, true},
        {root, root + "/link", LastComponent::MustNotBeLink, false},
        {root, root + "/link/file", LastComponent::MayBeLink, false},
        {root, root + "/link/missing/file", LastComponent::MayBeLink, false},
        {root, root, LastComponent::MayBeLink, false},
        {root, root + "/", LastComponent::MayBeLink, false},
        {root, root + "/dir/..", LastComponent::MayBeLink, false},
        {root, root + "/dir/../../outside/file", LastComponent::MayBeLink, false},
        {root, root + "/./dir", LastComponent::MayBeLink, false},
        {root, root + "Other/file", LastComponent::MayBeLink, false},
        {root, sandbox.path("outside/file"), LastComponent::MayBeLink, false},
        {root, "", LastComponent::MayBeLink, false},
        {root, "Game/dir/file", LastComponent::MayBeLink, false},
        {"", "/dir/file", LastComponent::MayBeLink, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE("'" + c.path + "' below '" + c.root + "'");
        EXPECT_EQ(c.inside, InstallPathGuard::isInside(c.root, c.path, c.last));
    }
}
