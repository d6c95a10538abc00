#include "ui/OnlineList.h"

#include "ui/Artwork.h"

#include <QApplication>
#include <QPainter>
#include <QStyle>

namespace {

const QColor ItemFill(247, 247, 255);
const QColor ItemOutline(21, 19, 19);
const QColor SelectedFill(181, 178, 255);

// A rounded rectangle from (left, top) to (right, bottom), both exclusive of the last
// pixel as the window's own drawing counts them, with corner ellipses of the given size.
void RoundFrame(QPainter& p, int left, int top, int right, int bottom, int ellipse)
{
    p.drawRoundedRect(QRectF(left + 0.5, top + 0.5, right - left - 1, bottom - top - 1),
                      ellipse / 2.0, ellipse / 2.0);
}

} // namespace

OnlineListDelegate::OnlineListDelegate(QObject* parent)
    : QStyledItemDelegate(parent)
{
    InitArtwork();
    m_icon = QPixmap(artwork::Person);
}

void OnlineListDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                               const QModelIndex& index) const
{
    const QRect r = option.rect;
    const int left = r.left();
    const int top = r.top();
    const int right = r.left() + r.width();
    const int bottom = r.top() + r.height();
    const bool selected = option.state & QStyle::State_Selected;

    painter->save();
    painter->fillRect(r, Qt::white);
    painter->setRenderHint(QPainter::Antialiasing, false);
    painter->setPen(ItemOutline);
    painter->setBrush(ItemFill);
    RoundFrame(*painter, left + 3, top + 3, right - 2, bottom - 2, 8);
    RoundFrame(*painter, left + 3, top + 3, right - 3, bottom - 3, 5);
    if (selected) {
        painter->setBrush(SelectedFill);
        RoundFrame(*painter, left + 3, top + 3, right - 3, bottom - 3, 5);
    } else if (option.state & QStyle::State_HasFocus) {
        QStyleOptionFocusRect focus;
        focus.rect = r;
        focus.state = option.state;
        focus.backgroundColor = Qt::white;
        const QWidget* widget = option.widget;
        (widget ? widget->style() : QApplication::style())
            ->drawPrimitive(QStyle::PE_FrameFocusRect, &focus, painter, widget);
    }

    painter->drawPixmap(left + 7, top + (r.height() - m_icon.height()) / 2, m_icon);

    // The name sits at (23, 7) from the corner, opaque on the fill it is drawn over.
    const QString text = index.data(Qt::DisplayRole).toString();
    painter->setFont(option.font);
    const QFontMetrics metrics(option.font);
    const QRect textBox(left + 23, top + 7, metrics.horizontalAdvance(text), metrics.height());
    painter->fillRect(textBox, selected ? SelectedFill : ItemFill);
    painter->setPen(selected ? QColor(0, 0, 255) : QColor(Qt::black));
    painter->drawText(textBox, Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine, text);
    painter->restore();
}

QSize OnlineListDelegate::sizeHint(const QStyleOptionViewItem& option,
                                   const QModelIndex& index) const
{
    return {QStyledItemDelegate::sizeHint(option, index).width(), ItemHeight};
}
