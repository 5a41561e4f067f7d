#include "core/VolumeSpace.h"

#include <QDir>

#include <gtest/gtest.h>

#include <utility>

using namespace quindle;

TEST(SizeText, MegabytesBelowAGigabyteAndADecimalBelowTen) {
    constexpr qint64 MB = 1'000'000;
    const std::pair<qint64, const char *> cases[] = {{0, "0 MB"},
                                                     {-5, "0 MB"},
                                                     {271 * MB, "271 MB"},
                                                     {999'400'000, "999 MB"},
                                                     {999'600'000, "1.0 GB"},
                                                     {3'449 * MB, "3.4 GB"},
                                                     {9'940 * MB, "9.9 GB"},
                                                     {9'960 * MB, "10 GB"},
                                                     {612'400 * MB, "612 GB"},
                                                     {2'000'000 * MB, "2000 GB"}};
    for (const auto &[bytes, text] : cases)
        EXPECT_EQ(sizeText(bytes), text) << bytes;
    EXPECT_EQ(shareText(420'000 * MB, 500'000 * MB), "420 / 500 GB");
    EXPECT_EQ(shareText(71 * MB, 1'500 * MB), "71 MB / 1.5 GB");
    EXPECT_EQ(shareText(71 * MB, 271 * MB), "71 / 271 MB");
}

TEST(VolumeSpace, MeasuresAFolderAndNothingForAPathThatIsNotThere) {
    const std::optional<VolumeSpace> here = VolumeSpace::of(QDir::tempPath());
    ASSERT_TRUE(here);
    EXPECT_GT(here->totalBytes, 0);
    EXPECT_LE(here->freeBytes, here->totalBytes);
    EXPECT_EQ(VolumeSpace::of("/no/such/folder/anywhere"), std::nullopt);
}
