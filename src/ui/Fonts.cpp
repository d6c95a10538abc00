#include "ui/Fonts.h"

#include <QStringList>

namespace {

const QString SongTiFamily = QStringLiteral("宋体");

} // namespace

void InstallFontSubstitutes()
{
    // Qt tries the substitutes in order and takes the first one installed.
    QFont::insertSubstitutions(SongTiFamily,
                               {QStringLiteral("Noto Serif CJK SC"),
                                QStringLiteral("Noto Sans CJK SC"),
                                QStringLiteral("Droid Sans Fallback")});
    // The window font of the layouts; its Latin text comes from DejaVu and Chinese from Noto.
    QFont::insertSubstitutions(QStringLiteral("MS Sans Serif"),
                               {QStringLiteral("DejaVu Sans"), QStringLiteral("Noto Sans CJK SC")});
}

QFont SongTi(int pixelHeight, bool bold)
{
    QFont font(SongTiFamily);
    font.setPixelSize(pixelHeight);
    font.setBold(bold);
    font.setStyleStrategy(QFont::PreferAntialias);
    return font;
}
