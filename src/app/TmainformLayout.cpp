// The main window's fixed layout: every control at its design place, size, text and colour,
// named after the design; the panels bind their events.
#include "app/Tmainform.h"

#include "core/Settings.h"
#include "ui/Artwork.h"
#include "ui/Controls.h"
#include "ui/Fonts.h"
#include "ui/OnlineList.h"
#include "ui/Palette.h"

#include <QFrame>
#include <QGuiApplication>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPlainTextEdit>
#include <QRegion>
#include <QScreen>

#include <utility>

namespace {

QPixmap Art(const QString& path)
{
    InitArtwork();
    return QPixmap(path);
}

ClickLabel* MakeLabel(const QString& text, QWidget* parent, int x, int y, int px,
                      bool autoSize = true)
{
    auto* label = new ClickLabel(text, parent);
    label->setFont(SongTi(px));
    label->move(x, y);
    if (autoSize)
        label->adjustSize();
    return label;
}

// The region from (0, 0) to (right, bottom), both exclusive, with corner ellipses of
// ew by eh: a cross of two bands and an ellipse in each corner.
QRegion RoundRectRegion(int right, int bottom, int ew, int eh)
{
    QRegion region(QRect(0, eh / 2, right, bottom - 2 * (eh / 2)));
    region += QRect(ew / 2, 0, right - 2 * (ew / 2), bottom);
    for (const int x : {0, right - ew})
        for (const int y : {0, bottom - eh})
            region += QRegion(x, y, ew, eh, QRegion::Ellipse);
    return region;
}

} // namespace

void TMainForm::BuildLayout()
{
    setFixedSize(681, m_designHeight);
    setAutoFillBackground(true);
    SetColor(this, QPalette::Window, palette::SkyBlue);
    setFont(QFont("MS Sans Serif", 8));
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());

    m_ui.Image12 = new ClickLabel(QString(), this);
    m_ui.Image12->setGeometry(0, -1, 33, 19);
    m_ui.Image12->setPixmap(Art(artwork::NoticeBadge));

    m_ui.Label6 = MakeLabel("通告", this, 34, 2, 13);
    QFont noticeFont = SongTi(13);
    noticeFont.setUnderline(true);
    m_ui.Label6->setFont(noticeFont);
    m_ui.Label6->adjustSize();
    SetColor(m_ui.Label6, QPalette::WindowText, Qt::red);

    m_ui.Label1 = MakeLabel("Label1", this, 556, 2, 13);
    SetColor(m_ui.Label1, QPalette::WindowText, palette::Teal);

    m_ui.Image1 = new ClickLabel(QString(), this);
    m_ui.Image1->setGeometry(0, 19, 273, 79);
    m_ui.Image1->setScaledContents(true);
    m_ui.Image1->setCursor(Qt::PointingHandCursor);
    m_ui.Image1->setPixmap(Art(artwork::BannerLeft));
    m_ui.Image2 = new ClickLabel(QString(), this);
    m_ui.Image2->setGeometry(274, 19, 273, 79);
    m_ui.Image2->setScaledContents(true);
    m_ui.Image2->setCursor(Qt::PointingHandCursor);
    m_ui.Image2->setPixmap(Art(artwork::BannerRight));

    BuildContentPanel();

    m_ui.Edit1 = new QLineEdit(this);
    m_ui.Edit1->setGeometry(0, 370, 513, 20);
    m_ui.Edit1->setFont(SongTi(12));
    m_ui.SpeedButton9 = new SpeedButton("提交", this, false);
    m_ui.SpeedButton9->setGeometry(511, 370, 37, 22);

    m_ui.lb = new QListWidget(this);
    m_ui.lb->setGeometry(555, 18, 126, 373);
    m_ui.lb->setFrameShape(QFrame::Panel);
    m_ui.lb->setFrameShadow(QFrame::Raised);
    m_ui.lb->setItemDelegate(new OnlineListDelegate(m_ui.lb));
    m_ui.lb->setUniformItemSizes(true);
    m_ui.lb->setContextMenuPolicy(Qt::CustomContextMenu);
    m_ui.PopupMenu1 = new QMenu(this);
    m_ui.N1 = m_ui.PopupMenu1->addAction("查看用户信息");

    m_ui.Panel1 = MakeLabel("<", this, 547, 19, 15, false);
    m_ui.Panel1->setFont(SongTi(15, true));
    m_ui.Panel1->setGeometry(547, 19, 9, 370);
    m_ui.Panel1->setAlignment(Qt::AlignCenter);

    m_ui.Panel4 = new QFrame(this);
    m_ui.Panel4->setGeometry(163, 214, 241, 173);
    m_ui.Panel4->setAutoFillBackground(true);
    SetColor(m_ui.Panel4, QPalette::Window, palette::MoneyGreen);
    m_ui.Label17 = MakeLabel("Zumalo信息", m_ui.Panel4, 16, 5, 13);
    SetColor(m_ui.Label17, QPalette::WindowText, Qt::white);
    m_ui.Label16 = MakeLabel("Label", m_ui.Panel4, 8, 28, 12);
    m_ui.SpeedButton14 = new SpeedButton(QString(), m_ui.Panel4);
    m_ui.SpeedButton14->setGeometry(206, 0, 23, 22);
    m_ui.SpeedButton14->setIcon(QIcon(Art(artwork::Close)));
    m_ui.Panel4->hide();

    m_ui.sb = new PanelStatusBar({82, 65, 93, 200, 0}, this);
    m_ui.sb->setGeometry(0, height() - 19, 681, 19);
    m_ui.sb->SetPanelText(1, "QEL Studio");

    m_ui.Timer1.setInterval(m_settings.timer1Ms);
    NameControls();
}

void TMainForm::NameControls()
{
    // Each control answers to its design name (findChild), the rows and badges too.
    const std::pair<QObject*, const char*> named[] = {
        {m_ui.Image12, "Image12"},
        {m_ui.Label6, "Label6"},
        {m_ui.Label1, "Label1"},
        {m_ui.Image1, "Image1"},
        {m_ui.Image2, "Image2"},
        {m_ui.Panel2, "Panel2"},
        {m_ui.Edit1, "Edit1"},
        {m_ui.SpeedButton9, "SpeedButton9"},
        {m_ui.lb, "lb"},
        {m_ui.Panel1, "Panel1"},
        {m_ui.Panel4, "Panel4"},
        {m_ui.sb, "sb"},
        {m_ui.Image11, "Image11"},
        {m_ui.SpeedButton5, "SpeedButton5"},
        {m_ui.SpeedButton4, "SpeedButton4"},
        {m_ui.SpeedButton7, "SpeedButton7"},
        {m_ui.SpeedButton8, "SpeedButton8"},
        {m_ui.SpeedButton10, "SpeedButton10"},
        {m_ui.SpeedButton11, "SpeedButton11"},
        {m_ui.SpeedButton13, "SpeedButton13"},
        {m_ui.SpeedButton15, "SpeedButton15"},
        {m_ui.SpeedButton1, "SpeedButton1"},
        {m_ui.Bevel1, "Bevel1"},
        {m_ui.SpeedButton2, "SpeedButton2"},
        {m_ui.SpeedButton3, "SpeedButton3"},
        {m_ui.Label12, "Label12"},
        {m_ui.Label15, "Label15"},
        {m_ui.Label13, "Label13"},
        {m_ui.Edit2, "Edit2"},
        {m_ui.Label14, "Label14"},
        {m_ui.SpeedButton6, "SpeedButton6"},
        {m_ui.Panel3, "Panel3"},
        {m_ui.Memo1, "Memo1"},
        {m_ui.Edit3, "Edit3"},
        {m_ui.SpeedButton12, "SpeedButton12"},
        {m_ui.Label17, "Label17"},
        {m_ui.Label16, "Label16"},
        {m_ui.SpeedButton14, "SpeedButton14"},
        {&m_ui.Timer1, "Timer1"},
        {m_ui.PopupMenu1, "PopupMenu1"},
        {m_ui.N1, "N1"},
    };
    for (const auto& [control, name] : named)
        control->setObjectName(name);
    // Timer1 is a member; as a child it is found like the controls (a member goes before
    // the window, taking itself off its children).
    m_ui.Timer1.setParent(this);
}

void TMainForm::BuildContentPanel()
{
    m_ui.Panel2 = new QFrame(this);
    m_ui.Panel2->setGeometry(-8, 98, 555, 272);

    m_ui.Image11 = new ClickLabel(QString(), m_ui.Panel2);
    m_ui.Image11->setGeometry(8, 0, 553, 35);
    m_ui.Image11->setScaledContents(true);
    m_ui.Image11->setPixmap(Art(artwork::ButtonBar));

    struct ButtonPlace
    {
        SpeedButton** button;
        const char* caption;
        int x;
        int w;
    };
    const ButtonPlace buttons[] = {
        {&m_ui.SpeedButton5, "种子", 9, 58},       {&m_ui.SpeedButton4, "视频", 69, 58},
        {&m_ui.SpeedButton7, "上传视频", 129, 58}, {&m_ui.SpeedButton8, "留言板", 189, 58},
        {&m_ui.SpeedButton10, "快贴", 249, 58},    {&m_ui.SpeedButton11, "提交快贴", 309, 58},
        {&m_ui.SpeedButton13, "聊天室", 369, 58},  {&m_ui.SpeedButton15, "锁定", 429, 58},
        {&m_ui.SpeedButton1, "刷新", 489, 65},
    };
    for (const auto& b : buttons) {
        *b.button = new SpeedButton(b.caption, m_ui.Panel2);
        (*b.button)->setGeometry(b.x, 2, b.w, 31);
    }

    // The eight rows: a numbered badge at x 8 and a label at x 28 on the same line.
    const int rowY[] = {44, 68, 94, 120, 145, 170, 194, 219};
    const char* labelNames[] = {"Label2", "Label3", "Label5",  "Label7",
                                "Label8", "Label9", "Label10", "Label11"};
    for (int i = 0; i < 8; ++i) {
        auto* icon = new ClickLabel(QString(), m_ui.Panel2);
        icon->setGeometry(8, rowY[i], 17, 15);
        icon->setPixmap(Art(artwork::RowBadge(i + 1)));
        icon->setObjectName(QString("Image%1").arg(i + 3));
        auto* label = MakeLabel(labelNames[i], m_ui.Panel2, 28, rowY[i], 12, false);
        label->setObjectName(labelNames[i]);
        label->setGeometry(28, rowY[i], 510, 14);
        m_ui.RowIcons.push_back(icon);
        m_ui.RowLabels.push_back(label);
    }

    m_ui.Bevel1 = new QFrame(m_ui.Panel2);
    m_ui.Bevel1->setGeometry(8, 234, 761, 10);
    m_ui.Bevel1->setFrameShape(QFrame::HLine);
    m_ui.Bevel1->setFrameShadow(QFrame::Sunken);

    m_ui.SpeedButton2 = new SpeedButton("<<", m_ui.Panel2);
    m_ui.SpeedButton2->setGeometry(11, 246, 23, 22);
    m_ui.SpeedButton2->setFont(SongTi(15, true));
    m_ui.SpeedButton2->setToolTip("上一页");
    m_ui.SpeedButton3 = new SpeedButton(">>", m_ui.Panel2);
    m_ui.SpeedButton3->setGeometry(42, 246, 23, 22);
    m_ui.SpeedButton3->setFont(SongTi(15, true));
    m_ui.SpeedButton3->setToolTip("下一页");

    m_ui.Label12 = MakeLabel("Label12", m_ui.Panel2, 70, 251, 13);
    m_ui.Label15 = MakeLabel("Label15", m_ui.Panel2, 192, 251, 12);
    m_ui.Label13 = MakeLabel("跳转到", m_ui.Panel2, 442, 251, 13);
    m_ui.Edit2 = new QLineEdit(m_ui.Panel2);
    m_ui.Edit2->setGeometry(480, 247, 34, 19);
    m_ui.Edit2->setFrame(false);
    m_ui.Label14 = MakeLabel("页", m_ui.Panel2, 514, 251, 13);
    m_ui.SpeedButton6 = new SpeedButton("GO", m_ui.Panel2);
    m_ui.SpeedButton6->setGeometry(528, 246, 27, 22);

    // The chat room lies over the rows while it is shown.
    m_ui.Panel3 = new QFrame(m_ui.Panel2);
    m_ui.Panel3->setGeometry(8, 33, 547, 239);
    m_ui.Panel3->setFrameShape(QFrame::Panel);
    m_ui.Panel3->setFrameShadow(QFrame::Raised);
    m_ui.Panel3->setAutoFillBackground(true);
    m_ui.Memo1 = new QPlainTextEdit("Memo1", m_ui.Panel3);
    m_ui.Memo1->setGeometry(0, 0, 545, 215);
    m_ui.Memo1->setReadOnly(true);
    m_ui.Memo1->setFont(SongTi(13));
    m_ui.Memo1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    m_ui.Edit3 = new QLineEdit(m_ui.Panel3);
    m_ui.Edit3->setGeometry(0, 216, 497, 21);
    m_ui.Edit3->setFont(SongTi(13));
    m_ui.SpeedButton12 = new SpeedButton("发 送", m_ui.Panel3);
    m_ui.SpeedButton12->setGeometry(500, 216, 45, 22);
    m_ui.Edit2->setFocus();
}

void TMainForm::ShapeHintPanel()
{
    // A speech bubble: a rounded rectangle over most of the panel and a tail below its left
    // half, from the panel's size at the time of the call (241 x 173 by design).
    const int w = m_ui.Panel4->width();
    const int h = m_ui.Panel4->height();
    const QPolygon tail({QPoint(static_cast<int>(w * 0.4), h - 50),
                         QPoint(static_cast<int>(w * 0.25 - 20), h - 20),
                         QPoint(static_cast<int>(w * 0.23), h - 50)});
    m_ui.Panel4->setMask(RoundRectRegion(w - 3, h - 45, 15, 15) + QRegion(tail, Qt::OddEvenFill));
}
