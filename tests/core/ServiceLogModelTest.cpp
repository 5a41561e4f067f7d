#include "core/ServiceLogModel.h"

#include <gtest/gtest.h>

#include <tuple>

using namespace quindle;

TEST(LogExcerpt, KeepsEmptyLinesAndTakesTheWholeOfAShortLog) {
    const QString path = "/x/quindle.log";
    const std::tuple<const char *, int, const char *> cases[] = {
        {"a\n\nb", 2, "\nb"},
        {"a\n\nb", 3, "a\n\nb"},
        {"a\n\nb", 500, "a\n\nb"},
        {"\nb", 1, "b"},
        {"\nb", 2, "\nb"},
        // A log ends with a line feed: its last piece is the empty line after it.
        {"a\nb\n", 2, "b\n"},
        {"ü\n€", 1, "€"},
        {"", 100, "(log empty)"}};
    for (const auto &[log, lines, shown] : cases)
        EXPECT_EQ(ServiceLogModel::excerpt(QByteArray(log), path, lines), shown)
            << log << " " << lines;
    EXPECT_EQ(ServiceLogModel::excerpt(std::nullopt, path, 100),
              "(log not found at /x/quindle.log)");
}
