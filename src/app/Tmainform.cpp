#include "app/Tmainform.h"

#include "core/Basefunc.h"
#include "core/Settings.h"
#include "db/DbSession.h"
#include "db/Statements.h"
#include "net/Http.h"
#include "net/Lib.h"
#include "net/PresenceChannel.h"
#include "ui/Artwork.h"
#include "ui/Controls.h"
#include "ui/Fonts.h"
#include "ui/TextBridge.h"
#include "ui/Tflashform.h"
#include "ui/Tloginform.h"

#include <QApplication>
#include <QFile>
#include <QFrame>
#include <QLineEdit>
#include <QListWidget>
#include <QPainterPath>
#include <QPlainTextEdit>
#include <QRegion>
#include <QScreen>

namespace {

const QColor SkyBlue(166, 202, 240);
const QColor MoneyGreen(192, 220, 192);

QPixmap Art(const QString& path)
{
    InitArtwork();
    return QPixmap(path);
}

void SetColor(QWidget* w, QPalette::ColorRole role, const QColor& color)
{
    QPalette p = w->palette();
    p.setColor(role, color);
    w->setPalette(p);
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

// A label that grows with its text from its left edge, as the design's auto-size labels do.
void SetCaption(QLabel* label, const QString& text)
{
    label->setText(text);
    label->adjustSize();
}

} // namespace

TMainForm::TMainForm(Session& session, DbSession& db, const Settings& settings, Platform& platform,
                     LoginRunner runLogin)
    : QWidget(nullptr,
              Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint
                  | Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint
                  | Qt::MSWindowsFixedSizeDialogHint)
    , m_session(session)
    , m_db(db)
    , m_settings(settings)
    , m_platform(platform)
    , m_runLogin(std::move(runLogin))
    , m_browser(db)
{
    BuildLayout();
    StartUp();
}

std::unique_ptr<TMainForm> TMainForm::Launch(Session& session, DbSession& db,
                                             const Settings& settings, Platform& platform,
                                             LoginRunner runLogin)
{
    auto form = std::make_unique<TMainForm>(session, db, settings, platform, std::move(runLogin));
    form->FormCreate();
    return form;
}

TMainForm::~TMainForm()
{
    FormDestroy();
}

// ---------------------------------------------------------------------------------------
// Layout

void TMainForm::BuildLayout()
{
    setFixedSize(681, m_designHeight);
    setAutoFillBackground(true);
    SetColor(this, QPalette::Window, SkyBlue);
    setFont(QFont("MS Sans Serif", 8));
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());

    Image12 = new ClickLabel(QString(), this);
    Image12->setGeometry(0, -1, 33, 19);
    Image12->setPixmap(Art(artwork::NoticeBadge));

    Label6 = MakeLabel("通告", this, 34, 2, 13);
    QFont noticeFont = SongTi(13);
    noticeFont.setUnderline(true);
    Label6->setFont(noticeFont);
    Label6->adjustSize();
    SetColor(Label6, QPalette::WindowText, Qt::red);

    Label1 = MakeLabel("Label1", this, 556, 2, 13);
    SetColor(Label1, QPalette::WindowText, QColor(0, 128, 128));

    Image1 = new ClickLabel(QString(), this);
    Image1->setGeometry(0, 19, 273, 79);
    Image1->setScaledContents(true);
    Image1->setCursor(Qt::PointingHandCursor);
    Image1->setPixmap(Art(artwork::BannerLeft));
    Image2 = new ClickLabel(QString(), this);
    Image2->setGeometry(274, 19, 273, 79);
    Image2->setScaledContents(true);
    Image2->setCursor(Qt::PointingHandCursor);
    Image2->setPixmap(Art(artwork::BannerRight));
    connect(Image1, &ClickLabel::clicked, this, &TMainForm::Image1Click);
    connect(Image2, &ClickLabel::clicked, this, &TMainForm::Image2Click);
    // Pointer over a banner: its link as the hint.
    connect(Image1, &ClickLabel::mouseMoved, this,
            [this] { Image1->setToolTip(GbkToQ(m_bannerLink1)); });
    connect(Image2, &ClickLabel::mouseMoved, this,
            [this] { Image2->setToolTip(GbkToQ(m_bannerLink2)); });

    BuildContentPanel();

    Edit1 = new QLineEdit(this);
    Edit1->setGeometry(0, 370, 513, 20);
    Edit1->setFont(SongTi(12));
    SpeedButton9 = new SpeedButton("提交", this, false);
    SpeedButton9->setGeometry(511, 370, 37, 22);
    connect(SpeedButton9, &QToolButton::clicked, this, &TMainForm::SpeedButton9Click);

    lb = new QListWidget(this);
    lb->setGeometry(555, 18, 126, 373);
    lb->setFrameShape(QFrame::Panel);
    lb->setFrameShadow(QFrame::Raised);
    lb->setIconSize(QSize(16, 16));

    Panel1 = MakeLabel("<", this, 547, 19, 15, false);
    Panel1->setFont(SongTi(15, true));
    Panel1->setGeometry(547, 19, 9, 370);
    Panel1->setAlignment(Qt::AlignCenter);

    Panel4 = new QFrame(this);
    Panel4->setGeometry(163, 214, 241, 173);
    Panel4->setAutoFillBackground(true);
    SetColor(Panel4, QPalette::Window, MoneyGreen);
    Label17 = MakeLabel("Zumalo信息", Panel4, 16, 5, 13);
    SetColor(Label17, QPalette::WindowText, Qt::white);
    Label16 = MakeLabel("Label", Panel4, 8, 28, 12);
    SpeedButton14 = new SpeedButton(QString(), Panel4);
    SpeedButton14->setGeometry(206, 0, 23, 22);
    SpeedButton14->setIcon(QIcon(Art(artwork::Close)));
    connect(SpeedButton14, &QToolButton::clicked, Panel4, &QWidget::hide);
    Panel4->hide();

    sb = new PanelStatusBar({82, 65, 93, 200, 0}, this);
    sb->setGeometry(0, height() - 19, 681, 19);
    sb->SetPanelText(1, "QEL Studio");

    Timer1.setInterval(m_settings.timer1Ms);
    connect(&Timer1, &QTimer::timeout, this, &TMainForm::Timer1Timer);
    m_temperatureTimer.setInterval(m_settings.temperatureRefreshMs);
    connect(&m_temperatureTimer, &QTimer::timeout, this, &TMainForm::ShowTemperature);
}

void TMainForm::BuildContentPanel()
{
    Panel2 = new QFrame(this);
    Panel2->setGeometry(-8, 98, 555, 272);

    Image11 = new ClickLabel(QString(), Panel2);
    Image11->setGeometry(8, 0, 553, 35);
    Image11->setScaledContents(true);
    Image11->setPixmap(Art(artwork::ButtonBar));

    struct ButtonSpec
    {
        SpeedButton** button;
        const char* caption;
        int x;
        int w;
    };
    const ButtonSpec buttons[] = {
        {&SpeedButton5, "种子", 9, 58},       {&SpeedButton4, "视频", 69, 58},
        {&SpeedButton7, "上传视频", 129, 58}, {&SpeedButton8, "留言板", 189, 58},
        {&SpeedButton10, "快贴", 249, 58},    {&SpeedButton11, "提交快贴", 309, 58},
        {&SpeedButton13, "聊天室", 369, 58},  {&SpeedButton15, "锁定", 429, 58},
        {&SpeedButton1, "刷新", 489, 65},
    };
    for (const auto& b : buttons) {
        *b.button = new SpeedButton(b.caption, Panel2);
        (*b.button)->setGeometry(b.x, 2, b.w, 31);
    }
    connect(SpeedButton5, &QToolButton::clicked, this, &TMainForm::SpeedButton5Click);
    connect(SpeedButton4, &QToolButton::clicked, this, &TMainForm::SpeedButton4Click);
    connect(SpeedButton8, &QToolButton::clicked, this, &TMainForm::SpeedButton8Click);
    connect(SpeedButton10, &QToolButton::clicked, this, &TMainForm::SpeedButton10Click);
    connect(SpeedButton1, &QToolButton::clicked, this, &TMainForm::SpeedButton1Click);

    // The eight rows: a numbered badge at x 8 and a label at x 28 on the same line.
    const int rowY[] = {44, 68, 94, 120, 145, 170, 194, 219};
    const char* labelNames[] = {"Label2", "Label3", "Label5",  "Label7",
                                "Label8", "Label9", "Label10", "Label11"};
    for (int i = 0; i < 8; ++i) {
        auto* icon = new ClickLabel(QString(), Panel2);
        icon->setGeometry(8, rowY[i], 17, 15);
        icon->setPixmap(Art(artwork::RowBadge(i + 1)));
        icon->setObjectName(QString("Image%1").arg(i + 3));
        auto* label = MakeLabel(labelNames[i], Panel2, 28, rowY[i], 12, false);
        label->setObjectName(labelNames[i]);
        label->setGeometry(28, rowY[i], 510, 14);
        connect(label, &ClickLabel::clicked, this, [this, label] { ActivateRow(label); });
        connect(label, &ClickLabel::mouseMoved, this, [this, label] { RowLabelMouseMove(label); });
        connect(label, &ClickLabel::mouseLeft, this, [this, label] { RowLabelMouseLeave(label); });
        RowIcons.push_back(icon);
        RowLabels.push_back(label);
    }

    Bevel1 = new QFrame(Panel2);
    Bevel1->setGeometry(8, 234, 761, 10);
    Bevel1->setFrameShape(QFrame::HLine);
    Bevel1->setFrameShadow(QFrame::Sunken);

    SpeedButton2 = new SpeedButton("<<", Panel2);
    SpeedButton2->setGeometry(11, 246, 23, 22);
    SpeedButton2->setFont(SongTi(15, true));
    SpeedButton2->setToolTip("上一页");
    SpeedButton3 = new SpeedButton(">>", Panel2);
    SpeedButton3->setGeometry(42, 246, 23, 22);
    SpeedButton3->setFont(SongTi(15, true));
    SpeedButton3->setToolTip("下一页");
    connect(SpeedButton2, &QToolButton::clicked, this, &TMainForm::SpeedButton2Click);
    connect(SpeedButton3, &QToolButton::clicked, this, &TMainForm::SpeedButton3Click);

    Label12 = MakeLabel("Label12", Panel2, 70, 251, 13);
    Label15 = MakeLabel("Label15", Panel2, 192, 251, 12);
    connect(Label15, &ClickLabel::clicked, this, &TMainForm::Label15Click);
    connect(Label15, &ClickLabel::mouseMoved, this, [this] {
        QFont f = Label15->font();
        f.setUnderline(true);
        Label15->setFont(f);
        Label15->setCursor(Qt::PointingHandCursor);
    });
    connect(Label15, &ClickLabel::mouseLeft, this, [this] {
        QFont f = Label15->font();
        f.setUnderline(false);
        Label15->setFont(f);
        Label15->unsetCursor();
    });
    Label13 = MakeLabel("跳转到", Panel2, 442, 251, 13);
    Edit2 = new QLineEdit(Panel2);
    Edit2->setGeometry(480, 247, 34, 19);
    Edit2->setFrame(false);
    Label14 = MakeLabel("页", Panel2, 514, 251, 13);
    SpeedButton6 = new SpeedButton("GO", Panel2);
    SpeedButton6->setGeometry(528, 246, 27, 22);
    connect(SpeedButton6, &QToolButton::clicked, this, &TMainForm::SpeedButton6Click);

    // The chat room lies over the rows while it is shown.
    Panel3 = new QFrame(Panel2);
    Panel3->setGeometry(8, 33, 547, 239);
    Panel3->setFrameShape(QFrame::Panel);
    Panel3->setFrameShadow(QFrame::Raised);
    Panel3->setAutoFillBackground(true);
    Memo1 = new QPlainTextEdit("Memo1", Panel3);
    Memo1->setGeometry(0, 0, 545, 215);
    Memo1->setReadOnly(true);
    Memo1->setFont(SongTi(13));
    Memo1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    Edit3 = new QLineEdit(Panel3);
    Edit3->setGeometry(0, 216, 497, 21);
    Edit3->setFont(SongTi(13));
    SpeedButton12 = new SpeedButton("发 送", Panel3);
    SpeedButton12->setGeometry(500, 216, 45, 22);
    Edit2->setFocus();
}

// ---------------------------------------------------------------------------------------
// Start-up and shutdown

void TMainForm::StartUp()
{
    m_browser.CurrentCategory = CategoryOfKind(Category::Kind::Torrents).caption;
    Timer1.stop();

    const bool loggedIn = m_runLogin ? m_runLogin(*this) : DefaultLogin();
    if (!loggedIn) {
        // Given up: the window is never shown and the program quits through the loop.
        RequestQuit();
        return;
    }

    show();
    FetchBanners();
    Timer1.start();
    ShapeHintPanel();
    for (auto* label : RowLabels)
        label->setText(QString());
    m_browser.RowTexts.clear();
    Memo1->clear();
    LoadCategory("zumalo_zhongzi");
    setWindowTitle("欢迎" + GbkToQ(m_session.UserName) + "登录");
    sb->SetPanelText(4, "你正在浏览种子");
    Panel3->hide();
    SetCaption(Label1, QString());
    if (m_db.Connected)
        ReadServiceRecord();
    Edit1->hide();
    SpeedButton9->hide();
    setFixedHeight(height() - 20);
    sb->move(0, height() - sb->height());
    ShowTemperature();
    m_temperatureTimer.start();
}

bool TMainForm::DefaultLogin()
{
    TLoginForm dialog(this, 0, m_session, m_db, m_settings, m_platform);
    return dialog.exec() == QDialog::Accepted;
}

void TMainForm::RequestQuit()
{
    m_quitRequested = true;
    QMetaObject::invokeMethod(qApp, &QCoreApplication::quit, Qt::QueuedConnection);
}

void TMainForm::FetchBanners()
{
    // Left first; a failure keeps the design pictures and skips the right one.
    const struct
    {
        ClickLabel* image;
        const std::string& path;
    } banners[] = {{Image1, m_settings.lowBannerPath}, {Image2, m_settings.highBannerPath}};
    for (const auto& banner : banners) {
        const HttpResult got = FetchServerFile(banner.path);
        QImage picture;
        if (!got.ok
            || !picture.loadFromData(reinterpret_cast<const uchar*>(got.body.data()),
                                     static_cast<int>(got.body.size()), "BMP"))
            return;
        banner.image->setPixmap(QPixmap::fromImage(picture));
    }
}

void TMainForm::ShapeHintPanel()
{
    // A rounded bubble with a tail pointing down to the left.
    QPainterPath path;
    path.addRoundedRect(QRectF(0, 0, 241, 150), 18, 18);
    QPolygonF tail;
    tail << QPointF(40, 140) << QPointF(30, 173) << QPointF(80, 145);
    path.addPolygon(tail);
    path.setFillRule(Qt::WindingFill);
    Panel4->setMask(QRegion(path.toFillPolygon().toPolygon(), Qt::WindingFill));
}

void TMainForm::ReadServiceRecord()
{
    std::optional<DbRow> row;
    if (m_db.Query(Statements::ServiceRecord()))
        row = m_db.FetchRow();
    if (!row) {
        // A failed statement, and a service table without a row, leave no notice.
        m_db.FreeResult();
        SetCaption(Label6, "今天无通告");
        return;
    }
    for (std::size_t i = 2; i <= 6; ++i)
        m_noticeCaptions.push_back(Field(*row, i));
    for (std::size_t i = 7; i <= 11; ++i)
        m_noticeLinks.push_back(Field(*row, i));
    SetCaption(Label15, GbkToQ(Field(*row, 2)));
    SetCaption(Label6, GbkToQ(Field(*row, 0)));
    if ((*row)[1] && *(*row)[1] == "0") {
        hide();
        ShowWarning("软件暂停服务。");
        m_db.FreeResult();
        RequestQuit();
    }
    ReadLinkPage();
}

void TMainForm::ReadLinkPage()
{
    // A failed fetch leaves no body to cut links from (an error page has none to give).
    const HttpResult page = FetchServerFile(m_settings.linkPagePath);
    const std::string body = page.ok ? page.body : std::string();
    // Positions count from 1, 0 when absent: a missing opening mark starts at the
    // beginning; a missing closing mark, or one before its opening, gives "".
    const auto between = [&body](char open, char close) {
        const std::size_t o = body.find(open);
        const std::size_t c = body.find(close);
        const long long start = o == std::string::npos ? 0 : static_cast<long long>(o) + 1;
        const long long end = c == std::string::npos ? 0 : static_cast<long long>(c) + 1;
        return Copy(body, start + 1, end - start - 1);
    };
    m_bannerLink1 = between('(', ')');
    m_bannerLink2 = between('[', ']');
}

void TMainForm::ShowTemperature()
{
    // The label's area holds nine bytes: a longer result is cut at a character boundary.
    const std::string text =
        LookupTemperature(m_settings.weatherHost, m_settings.webTimeoutSeconds);
    SetCaption(Label1, "当天温度" + GbkToQ(CutAtCharBoundary(text, 9)));
}

void TMainForm::FormCreate()
{
    m_presence = std::make_unique<PresenceChannel>(m_session, m_settings);
    connect(m_presence.get(), &PresenceChannel::socketError, this,
            [this](const QString& text) { m_platform.prompts.Plain(this, text); });
    connect(m_presence.get(), &PresenceChannel::loginFailed, this, [this] {
        ShowWarning("服务器连接失败");
        close();
    });
    connect(m_presence.get(), &PresenceChannel::loginRefused, this,
            [this] { m_platform.prompts.Plain(this, "你的帐号被别人登录了。"); });
    connect(m_presence.get(), &PresenceChannel::sendFailed, this, [this] {
        ShowWarning("与服务器失去链接。");
        close();
    });
    connect(m_presence.get(), &PresenceChannel::refreshCommand, this, &TMainForm::NoticeRefresh);
    connect(m_presence.get(), &PresenceChannel::onlineList, this, &TMainForm::FillOnlineList);
    m_presence->Start();
}

void TMainForm::FormDestroy()
{
    if (m_destroyed)
        return;
    m_destroyed = true;
    Timer1.stop();
    m_temperatureTimer.stop();
    if (m_presence)
        m_presence->Logout();
    m_db.Close();
}

void TMainForm::ShowWarning(const QString& text)
{
    m_platform.prompts.Warn(this, text);
}

HttpResult TMainForm::FetchServerFile(const std::string& path) const
{
    return ::FetchServerFile(m_settings, m_session.ServerAddress, path);
}

// ---------------------------------------------------------------------------------------
// Notice, captions and banners

void TMainForm::Timer1Timer()
{
    if (m_noticeCaptions.empty())
        return;
    ++m_captionIndex;
    SetCaption(Label15, GbkToQ(m_noticeCaptions[static_cast<std::size_t>(m_captionIndex)]));
    if (m_captionIndex >= static_cast<int>(m_noticeCaptions.size()) - 1)
        m_captionIndex = -1;
}

void TMainForm::Image1Click()
{
    if (m_bannerLink1.find("http://") != std::string::npos)
        m_platform.shell.Open(this, GbkToQ(m_bannerLink1));
}

void TMainForm::Image2Click()
{
    if (m_bannerLink2.find("http://") != std::string::npos)
        m_platform.shell.Open(this, GbkToQ(m_bannerLink2));
}

void TMainForm::Label15Click()
{
    const std::string shown = QToGbk(Label15->text());
    for (std::size_t i = 0; i < m_noticeCaptions.size() && i < m_noticeLinks.size(); ++i) {
        if (m_noticeCaptions[i] == shown) {
            m_platform.shell.Open(this, GbkToQ(m_noticeLinks[i]));
            return;
        }
    }
}

void TMainForm::FillOnlineList(const std::vector<std::string>& names)
{
    // With no names the count keeps its previous text.
    lb->clear();
    const QIcon person(Art(artwork::Person));
    for (const auto& name : names) {
        auto* item = new QListWidgetItem(person, GbkToQ(name), lb);
        item->setSizeHint(QSize(lb->viewport()->width(), 25));
        sb->SetPanelText(2, QString::number(lb->count()) + "人在线");
    }
}

void TMainForm::NoticeRefresh()
{
    if (!m_db.Connected)
        return;
    if (m_db.Query(Statements::NoticeRefresh())) {
        if (const auto row = m_db.FetchRow())
            SetCaption(Label6, GbkToQ(Field(*row, 0)));
    }
    m_db.FreeResult();
}
