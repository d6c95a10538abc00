#include "client/UserProfile.h"
#include "db/DbSession.h"
#include "ui/OnlineList.h"

#include "core/GbkText.h"

#include <QImage>
#include <QListWidget>
#include <QPainter>
#include <QStyleOptionViewItem>

#include <gtest/gtest.h>

namespace {

// One item of the online list drawn at 126 x 25 onto an image, selected or not.
QImage DrawItem(bool selected)
{
    QListWidget list;
    list.addItem("ab");
    OnlineListDelegate delegate(&list);
    QStyleOptionViewItem option;
    option.rect = QRect(0, 0, 126, OnlineListDelegate::ItemHeight);
    option.font = list.font();
    option.widget = &list;
    option.state = QStyle::State_Enabled | (selected ? QStyle::State_Selected : QStyle::State_None);
    QImage image(option.rect.size(), QImage::Format_RGB32);
    image.fill(Qt::magenta);
    QPainter painter(&image);
    delegate.paint(&painter, option, list.model()->index(0, 0));
    return image;
}

} // namespace

TEST(OnlineListDelegate, DrawsFramesFillAndSelection)
{
    struct Probe
    {
        const char* where;
        QPoint at;
        QColor plain;
        QColor selected;
    };
    const QColor white(255, 255, 255), fill(247, 247, 255), lilac(181, 178, 255),
        outline(21, 19, 19);
    const Probe probes[] = {
        {"corner outside the frames", {0, 0}, white, white},
        {"right margin", {125, 12}, white, white},
        {"top edge of the frames", {60, 3}, outline, outline},
        {"inside, right of the name", {110, 12}, fill, lilac},
        {"inside, below the name", {60, 20}, fill, lilac},
    };
    const QImage plain = DrawItem(false);
    const QImage selected = DrawItem(true);
    for (const Probe& p : probes) {
        SCOPED_TRACE(p.where);
        EXPECT_EQ(QColor(plain.pixel(p.at)), p.plain);
        EXPECT_EQ(QColor(selected.pixel(p.at)), p.selected);
    }
    EXPECT_EQ(OnlineListDelegate::ItemHeight, 25);
}

TEST(ProfileText, SexLineOnlyForOneAndZero)
{
    const auto profile = [](const char* sex) {
        return Profile{sex, "21", Utf8ToGbk("北京"), "12345", "", "a@b.c", "10"};
    };
    const std::string rest = "\n年龄：21\n地区：北京\nQQ：12345\n电话：\n邮箱：a@b.c\n积分：10";
    struct Case
    {
        const char* sex;
        std::string expected;
    };
    const Case cases[] = {
        {"1", "昵称：张三\n性别：男" + rest},
        {"0", "昵称：张三\n性别：女" + rest},
        {"2", "昵称：张三" + rest},
        {"", "昵称：张三" + rest},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.sex);
        EXPECT_EQ(GbkToUtf8(ProfileText(Utf8ToGbk("张三"), profile(c.sex))), c.expected);
    }
}
