#pragma once

#include <QPixmap>
#include <QStyledItemDelegate>

// How one name of the online list `lb` is drawn (lbDrawItem): two nested rounded frames on
// white, the person icon, the name; a selected name on lilac in blue, without a focus frame.
class OnlineListDelegate final : public QStyledItemDelegate
{
    Q_OBJECT
public:
    static constexpr int ItemHeight = 25;

    explicit OnlineListDelegate(QObject* parent);

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;

private:
    QPixmap m_icon;
};
