#include "mover/SymlinkPaths.h"
#include "support/TempHome.h"

#include <QDir>
#include <QFile>

using namespace quindle;

class SymlinkPaths : public test::TempHomeTest {};

TEST_F(SymlinkPaths, ResolvesRelativeTargetsAgainstTheLinksFolderWithoutFollowingFurther) {
    QDir().mkpath(inHome("a/b"));
    test::writeText(inHome("a/c"), "x");
    ASSERT_TRUE(QFile::link("../c", inHome("a/b/rel")));
    ASSERT_TRUE(QFile::link(inHome("a/./b//rel"), inHome("chain")));
    ASSERT_TRUE(QFile::link("/nowhere/at/all", inHome("dangling")));

    EXPECT_EQ(resolveSymlinkTargetAbsolute(inHome("a/b/rel")), inHome("a/c"));
    EXPECT_EQ(resolveSymlinkTargetAbsolute(inHome("chain")), inHome("a/b/rel"));
    EXPECT_EQ(resolveSymlinkTargetAbsolute(inHome("dangling")), "/nowhere/at/all");
    EXPECT_EQ(resolveSymlinkTargetAbsolute(inHome("a/c")), std::nullopt);
    EXPECT_EQ(resolveSymlinkTargetAbsolute(inHome("missing")), std::nullopt);

    EXPECT_TRUE(pathIsSymbolicLink(inHome("dangling")));
    EXPECT_FALSE(pathIsSymbolicLink(inHome("a/b")));
    EXPECT_FALSE(pathIsSymbolicLink(inHome("missing")));
}

TEST(SymlinkPathsCompare, ComparesCleanedTextNotTargets) {
    EXPECT_TRUE(pathsResolveSame("/x/y/", "/x/./y"));
    EXPECT_TRUE(pathsResolveSame("/x//z/../y", "/x/y"));
    EXPECT_FALSE(pathsResolveSame("/x/y", "/x/Y"));
}
