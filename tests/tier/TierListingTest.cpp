#include "tier/TierListing.h"
#include "support/FakeExecutables.h"
#include "support/TempHome.h"

#include <QDir>
#include <QFile>

using namespace quindle;

class TierListing : public test::TempHomeTest {};

TEST_F(TierListing, ListsVisibleEntriesWithLinksFoldersSizesAndApplications) {
    const QString apps = inHome("apps");
    QDir().mkpath(apps + "/Editor");
    QDir().mkpath(apps + "/.hidden-dir");
    test::writeText(apps + "/notes.txt", "12345");
    test::writeText(apps + "/.hidden", "x");
    QFile::link(apps + "/Editor", apps + "/editor-link");
    QFile::link(apps + "/nowhere", apps + "/dangling");

    const QList<FolderEntry> entries = listEntries(apps, {apps});
    QStringList names;
    for (const FolderEntry &entry : entries)
        names << entry.name;
    EXPECT_EQ(names, (QStringList{"Editor", "editor-link", "dangling", "notes.txt"}));
    EXPECT_TRUE(entries[0].isAppBundle);
    EXPECT_FALSE(entries[0].isSymbolicLink);
    EXPECT_TRUE(entries[1].isDirectory && entries[1].isSymbolicLink && entries[1].isAppBundle);
    EXPECT_TRUE(entries[2].isSymbolicLink);
    EXPECT_FALSE(entries[2].isDirectory);
    EXPECT_EQ(entries[3].sizeBytes, 5);
    EXPECT_FALSE(entries[3].isAppBundle);
    EXPECT_EQ(entries[0].sizeBytes, std::nullopt);

    EXPECT_TRUE(listEntries(inHome("missing"), {apps}).isEmpty());
    EXPECT_EQ(movableItems(apps, {"Editor", "notes.txt", "vanished", "dangling"}, {apps}),
              (QStringList{"notes.txt", "dangling"}));
    EXPECT_FALSE(folderEntry(home(), "apps", {apps})->isAppBundle) << "only folders inside a root";
    const QString other = inHome("opt");
    QDir().mkpath(other + "/Tool");
    EXPECT_TRUE(folderEntry(other, "Tool", {apps, other})->isAppBundle) << "every root counts";
    EXPECT_FALSE(folderEntry(other, "Tool", {apps})->isAppBundle);
}

TEST_F(TierListing, FileCountsStopAtTheLimitAndCountAFileOrALinkAsOne) {
    const QString tree = inHome("tree");
    for (int i = 0; i < 12; ++i)
        test::writeText(tree + QStringLiteral("/d%1/.f%2").arg(i % 3).arg(i), "x");
    QFile::link(inHome("tree/d0"), tree + "/link-to-folder");
    EXPECT_EQ(countFilesAtPath(tree), 12) << "hidden files count, links do not";
    EXPECT_EQ(countFilesAtPath(tree, 5), 5);
    EXPECT_EQ(countFilesAtPath(tree + "/link-to-folder"), 1);
    EXPECT_EQ(countFilesAtPath(tree + "/d1/.f1"), 1);
}

TEST_F(TierListing, CloudListingsSayWhyTheyFailed) {
    test::FakeExecutables fakes;
    const auto listingWith = [&](const QByteArray &body) {
        setEnv("QUINDLE_RCLONE", fakes.add("rclone", body));
        return listRcloneEntries("cloud:Photos");
    };
    setEnv("QUINDLE_RCLONE", inHome("no-rclone"));
    EXPECT_TRUE(listRcloneEntries("cloud:").error->startsWith("rclone isn't installed. Install"));
    setEnv("QUINDLE_RCLONE", fakes.add("rclone", "exit 0"));
    EXPECT_EQ(listRcloneEntries("/home/x").error, "Invalid cloud path.");
    EXPECT_EQ(listingWith("echo '  directory not found  ' >&2; exit 3").error,
              "Couldn't list this folder. Details: directory not found");
    EXPECT_EQ(listingWith("printf '2026/12/06 22:37:41 ERROR : a\\n2026/12/06 22:37:41 b\\n' >&2; "
                          "exit 1")
                  .error,
              "Couldn't list this folder. Details: ERROR : a\nb");
    EXPECT_EQ(listingWith("exit 3").error, "rclone exited with status 3.");
    EXPECT_EQ(listingWith("echo '[{\"Name\":'").error,
              "Couldn't read the folder listing rclone returned.");

    const CloudListing listed = listingWith(
        R"(echo '[{"Path":"b.txt","Name":"b.txt","Size":7,"IsDir":false},{"Name":".","IsDir":true},)"
        R"({"Path":"Zed","Name":"Zed","Size":-1,"IsDir":true},{"Path":"a","Name":"a","IsDir":true}]')");
    EXPECT_EQ(listed.error, std::nullopt);
    QStringList names;
    for (const FolderEntry &entry : listed.entries)
        names << entry.name;
    EXPECT_EQ(names, (QStringList{"a", "Zed", "b.txt"}));
    EXPECT_EQ(listed.entries.last().sizeBytes, 7);
    EXPECT_EQ(listed.entries.first().sizeBytes, std::nullopt);
}
