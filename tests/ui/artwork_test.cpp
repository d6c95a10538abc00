#include "ui/Artwork.h"
#include "ui/Fonts.h"

#include <QFontInfo>
#include <QImage>

#include <gtest/gtest.h>

namespace {

TEST(Artwork, EveryPictureIsCompiledInWithTheSizeItsControlHas)
{
    InitArtwork();
    struct Picture
    {
        QString path;
        QSize size;
        bool transparent; // drawn over the window's background
    };
    std::vector<Picture> pictures = {
        {artwork::BannerLeft, {273, 79}, false}, {artwork::BannerRight, {273, 79}, false},
        {artwork::NoticeBadge, {33, 19}, true},  {artwork::ButtonBar, {553, 35}, false},
        {artwork::Person, {16, 16}, true},       {artwork::Close, {16, 16}, true},
    };
    for (int row = 1; row <= 8; ++row)
        pictures.push_back({artwork::RowBadge(row), {17, 15}, true});

    for (const Picture& picture : pictures) {
        SCOPED_TRACE(picture.path.toStdString());
        const QImage image(picture.path);
        ASSERT_FALSE(image.isNull());
        EXPECT_EQ(image.size(), picture.size);
        // A transparent picture shows the background at its corners.
        EXPECT_EQ(qAlpha(image.pixel(0, image.height() - 1)) == 0, picture.transparent);
    }
}

TEST(Fonts, SongTiRendersWithAnInstalledCjkFont)
{
    InstallFontSubstitutes();
    const QFontInfo info(SongTi(15));
    EXPECT_TRUE(info.family().contains(QStringLiteral("CJK"))) << info.family().toStdString();
    EXPECT_EQ(info.pixelSize(), 15);
    EXPECT_TRUE(QFontInfo(SongTi(13, true)).bold());
}

} // namespace
