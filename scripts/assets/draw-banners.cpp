// Draws the two sample banners of the HTTP content folder as 273 x 79 Windows bitmaps.
//   draw-banners OUTDIR   (writes OUTDIR/low.bmp and OUTDIR/high.bmp)
// Built and run by scripts/assets/make-content with the offscreen platform.

#include <QCoreApplication>
#include <QFont>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QPolygonF>
#include <QRadialGradient>

#include <cstdio>

namespace {

constexpr int Width = 273;
constexpr int Height = 79;

QFont CjkFont(int pixelSize, int weight)
{
    QFont font(QStringLiteral("Noto Sans CJK SC"));
    font.setPixelSize(pixelSize);
    font.setWeight(static_cast<QFont::Weight>(weight));
    font.setStyleStrategy(QFont::PreferAntialias);
    return font;
}

// A fat arrow pointing right, its tail at x, centred on y.
void Arrow(QPainter& p, qreal x, qreal y, qreal length, qreal thickness, const QColor& color)
{
    const qreal head = thickness * 1.9;
    const qreal headLength = length * 0.45;
    QPolygonF arrow;
    arrow << QPointF(x, y - thickness / 2) << QPointF(x + length - headLength, y - thickness / 2)
          << QPointF(x + length - headLength, y - head / 2) << QPointF(x + length, y)
          << QPointF(x + length - headLength, y + head / 2)
          << QPointF(x + length - headLength, y + thickness / 2) << QPointF(x, y + thickness / 2);
    p.setPen(QPen(color.darker(140), 1));
    QLinearGradient fill(0, y - head / 2, 0, y + head / 2);
    fill.setColorAt(0, color.lighter(150));
    fill.setColorAt(1, color);
    p.setBrush(fill);
    p.drawPolygon(arrow);
}

void OutlinedText(QPainter& p, const QPointF& at, const QString& text, const QFont& font,
                  const QColor& fill, const QColor& outline)
{
    QPainterPath path;
    path.addText(at, font, text);
    p.setPen(QPen(outline, 3, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(Qt::NoBrush);
    p.drawPath(path);
    p.setPen(Qt::NoPen);
    p.setBrush(fill);
    p.drawPath(path);
}

// Banner one: "让你更方便" on a sky gradient with three coloured arrows.
QImage DrawLow()
{
    QImage image(Width, Height, QImage::Format_RGB32);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);

    QLinearGradient sky(0, 0, 0, Height);
    sky.setColorAt(0, QColor(0x2B, 0x7B, 0xD9));
    sky.setColorAt(1, QColor(0xBF, 0xE4, 0xFF));
    p.fillRect(image.rect(), sky);
    // Soft light streaks.
    p.setPen(Qt::NoPen);
    for (int i = 0; i < 5; ++i) {
        p.setBrush(QColor(255, 255, 255, 28));
        p.drawEllipse(QPointF(40 + i * 55, 70 - (i % 2) * 12), 50, 18);
    }

    Arrow(p, 10, 22, 46, 10, QColor(0xF2, 0x3B, 0x2F));
    Arrow(p, 18, 40, 46, 10, QColor(0xFF, 0xB3, 0x00));
    Arrow(p, 10, 58, 46, 10, QColor(0x2E, 0xB8, 0x4B));

    OutlinedText(p, QPointF(72, 50), QString::fromUtf8("让你更方便"), CjkFont(34, QFont::Black),
                 QColor(0xFF, 0xF6, 0xD5), QColor(0x0B, 0x3D, 0x91));
    p.setFont(CjkFont(11, QFont::Bold));
    p.setPen(QColor(0x0B, 0x3D, 0x91));
    p.drawText(QRectF(74, 56, 195, 18), Qt::AlignRight | Qt::AlignVCenter,
               QString::fromUtf8("种子 · 视频 · 聊天 一站搞定"));

    p.setPen(QPen(QColor(0x0B, 0x3D, 0x91), 2));
    p.setBrush(Qt::NoBrush);
    p.drawRect(QRectF(1, 1, Width - 2, Height - 2));
    return image;
}

// Banner two: a cartoon figure waving beside a speech bubble "来查我".
QImage DrawHigh()
{
    QImage image(Width, Height, QImage::Format_RGB32);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);

    QLinearGradient back(0, 0, Width, 0);
    back.setColorAt(0, QColor(0xFF, 0xE0, 0x6B));
    back.setColorAt(1, QColor(0xFF, 0x8A, 0x3D));
    p.fillRect(image.rect(), back);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(255, 255, 255, 60));
    for (int i = 0; i < 9; ++i)
        p.drawEllipse(QPointF(100 + i * 20, (i % 3) * 25 + 8), 3, 3);

    // The figure: body, head, eyes, smile, a waving arm.
    const QPointF head(38, 28);
    p.setPen(QPen(QColor(0x5A, 0x2D, 0x0C), 2));
    p.setBrush(QColor(0x3A, 0x7B, 0xE0));
    p.drawRoundedRect(QRectF(22, 44, 32, 34), 10, 10);
    p.setBrush(QColor(0xFF, 0xD9, 0xB3));
    p.drawEllipse(head, 17, 17);
    p.setBrush(QColor(0x3B, 0x22, 0x10));
    p.drawChord(QRectF(head.x() - 17, head.y() - 18, 34, 22), 0, 180 * 16); // hair
    p.setBrush(Qt::black);
    p.drawEllipse(QPointF(head.x() - 6, head.y() + 2), 2.2, 2.8);
    p.drawEllipse(QPointF(head.x() + 6, head.y() + 2), 2.2, 2.8);
    p.setBrush(Qt::NoBrush);
    p.drawArc(QRectF(head.x() - 7, head.y() + 3, 14, 9), 200 * 16, 140 * 16);
    p.setBrush(QColor(0xFF, 0x9E, 0x9E));
    p.setPen(Qt::NoPen);
    p.drawEllipse(QPointF(head.x() - 11, head.y() + 8), 3, 2);
    p.drawEllipse(QPointF(head.x() + 11, head.y() + 8), 3, 2);
    p.setPen(QPen(QColor(0xFF, 0xD9, 0xB3), 5, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(52, 50), QPointF(66, 34));
    p.setPen(QPen(QColor(0x5A, 0x2D, 0x0C), 1.5));
    p.setBrush(QColor(0xFF, 0xD9, 0xB3));
    p.drawEllipse(QPointF(67, 32), 4.5, 4.5);

    // The speech bubble.
    QPainterPath bubble;
    bubble.addRoundedRect(QRectF(84, 8, 178, 54), 18, 18);
    QPolygonF tail;
    tail << QPointF(96, 50) << QPointF(74, 66) << QPointF(110, 56);
    QPainterPath tailPath;
    tailPath.addPolygon(tail);
    bubble = bubble.united(tailPath);
    p.setPen(QPen(QColor(0xC0, 0x39, 0x2B), 2.5));
    p.setBrush(Qt::white);
    p.drawPath(bubble);
    OutlinedText(p, QPointF(106, 48), QString::fromUtf8("来查我"), CjkFont(34, QFont::Black),
                 QColor(0xE7, 0x4C, 0x3C), QColor(0x7B, 0x12, 0x0A));
    p.setFont(CjkFont(11, QFont::Bold));
    p.setPen(QColor(0x7B, 0x12, 0x0A));
    p.drawText(QRectF(214, 14, 44, 40), Qt::AlignCenter, QString::fromUtf8("用户\n信息"));

    p.setPen(QPen(QColor(0xC0, 0x39, 0x2B), 2));
    p.setBrush(Qt::NoBrush);
    p.drawRect(QRectF(1, 1, Width - 2, Height - 2));
    return image;
}

} // namespace

int main(int argc, char** argv)
{
    QGuiApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: draw-banners OUTDIR\n");
        return 2;
    }
    const QString dir = QString::fromLocal8Bit(argv[1]);
    // 24-bit bitmaps, the kind the client's picture control loads.
    const bool ok = DrawLow().convertToFormat(QImage::Format_RGB888).save(dir + "/low.bmp", "BMP")
        && DrawHigh().convertToFormat(QImage::Format_RGB888).save(dir + "/high.bmp", "BMP");
    if (!ok) {
        std::fprintf(stderr, "draw-banners: cannot write into %s\n", argv[1]);
        return 1;
    }
    return 0;
}
