#pragma once

#include <QString>

// The window artwork compiled in from assets/assets.qrc (drawn by scripts/assets/make-artwork).

// Makes the pictures reachable. The resources sit in a static library, whose
// registration the linker would otherwise drop; call once before the first window.
void InitArtwork();

namespace artwork {

// 273 x 79, shown until the server's banners arrive.
inline const QString BannerLeft = QStringLiteral(":/assets/banner-left.png"); // arrows, 让你更方便
inline const QString BannerRight = QStringLiteral(":/assets/banner-right.png"); // figure, 来查我
// 33 x 19 orange badge reading 公告.
inline const QString NoticeBadge = QStringLiteral(":/assets/notice-badge.png");
// 553 x 35 light-blue gradient behind the category buttons.
inline const QString ButtonBar = QStringLiteral(":/assets/button-bar.png");
// 16 x 16 person of the online list.
inline const QString Person = QStringLiteral(":/assets/person.png");
// 16 x 16 red cross on a transparent background.
inline const QString Close = QStringLiteral(":/assets/close.png");

// 17 x 15 speech bubble numbered row (1 to 8).
inline QString RowBadge(int row)
{
    return QStringLiteral(":/assets/row-badge-%1.png").arg(row);
}

} // namespace artwork
