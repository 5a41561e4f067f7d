#include "core/PathText.h"

#include <gtest/gtest.h>

#include <tuple>

using namespace quindle;

TEST(TildePath, ShortensOnlyTheHomeFolderAndWhatIsBelowIt) {
    const std::tuple<const char *, const char *, const char *> cases[] = {
        {"/home/me/Documents", "/home/me", "~/Documents"},
        {"/home/me", "/home/me", "~"},
        {"/home/meadow/x", "/home/me", "/home/meadow/x"}, // a sibling sharing the prefix
        {"/srv/data", "/home/me", "/srv/data"},
        {"/home/me/x", "/", "/home/me/x"}, // a root home would turn every path into "~…"
        {"/home/me/x", "", "/home/me/x"},
    };
    for (const auto &[path, home, shown] : cases)
        EXPECT_EQ(tildePath(path, home), shown) << path << " under " << home;
}
