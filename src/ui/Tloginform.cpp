#include "ui/Tloginform.h"

#include "client/ServerLogin.h"
#include "core/Session.h"
#include "core/Settings.h"
#include "core/Substring.h"
#include "core/Waits.h"
#include "net/AddressResolution.h"
#include "net/Http.h"
#include "net/WaitBudget.h"
#include "platform/Platform.h"
#include "ui/Controls.h"
#include "ui/Fonts.h"
#include "ui/Palette.h"
#include "ui/Tchangeform.h"
#include "ui/TextBridge.h"
#include "ui/Tregform.h"

#include <QEvent>
#include <QGuiApplication>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPixmap>
#include <QScreen>
#include <QToolButton>

TLoginForm::TLoginForm(QWidget* owner, int mode, Session& session, DbSession& db,
                       const Settings& settings, Platform& platform, Resolver resolve)
    : ButtonOnlyDialog(owner,
                       Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint
                           | Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint
                           | Qt::WindowCloseButtonHint)
    , m_session(session)
    , m_db(db)
    , m_settings(settings)
    , m_platform(platform)
    , m_mode(mode)
    , m_server(
          std::make_unique<ServerLogin>(session, db, settings, platform.waits, std::move(resolve)))
{
    BuildControls();

    const WaitScope waiting(m_platform.waits); // the resolution and the banner wait on the network
    if (m_mode == StartupMode) {
        // The dialog shows nothing of the resolution; a failure surfaces as the
        // connection failure of the first login attempt, which resolves again. The lookup
        // and the banner share one bound, so that a hung server delays the dialog only so long.
        const WaitBudget startup(m_settings.startupFetchSeconds);
        m_server->Resolve(startup.Bounded(m_settings));
        if (!startup.UsedUp())
            LoadBanner(startup.Bounded(m_settings));
    } else {
        setWindowTitle(QStringLiteral("Zumalo已锁定"));
        LoadBanner(m_settings);
    }
}

TLoginForm::~TLoginForm() = default;

void TLoginForm::BuildControls()
{
    setWindowTitle(QStringLiteral("登录Zumalo"));
    setFixedSize(302, 212);
    setAutoFillBackground(true);
    SetColor(this, QPalette::Window, palette::MoneyGreen);

    // Centred on the desktop, not on the owner.
    if (QScreen* screen =
            parentWidget() ? parentWidget()->screen() : QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());

    m_ui.Image1 = new QLabel(this);
    m_ui.Image1->setGeometry(0, 0, 302, 97);
    m_ui.Image1->setScaledContents(true);

    const auto makeLabel = [this](const QString& text, int x, int y, int pixels) {
        return MakeLabel(this, text, x, y, SongTi(pixels));
    };
    m_ui.Label1 = makeLabel(QStringLiteral("用户名"), 32, 112, 15);
    m_ui.Label2 = makeLabel(QStringLiteral("密  码"), 32, 144, 15);
    m_ui.Label3 = makeLabel(QStringLiteral("我要注册"), 32, 178, 13);
    m_ui.Label4 = makeLabel(QStringLiteral("修改密码"), 96, 178, 13);
    for (QLabel* link : {m_ui.Label3, m_ui.Label4}) {
        link->setCursor(Qt::PointingHandCursor);
        link->setMouseTracking(true);
        link->installEventFilter(this);
    }
    m_ui.Label4->setAttribute(Qt::WA_TranslucentBackground);

    m_ui.Edit1 = new QLineEdit(this);
    m_ui.Edit1->setGeometry(104, 108, 161, 23);
    m_ui.Edit1->setFont(SongTi(15));
    m_ui.Edit2 = new QLineEdit(this);
    m_ui.Edit2->setGeometry(104, 140, 161, 23);
    m_ui.Edit2->setFont(SongTi(15));
    MaskPassword(m_ui.Edit2);
    setTabOrder(m_ui.Edit1, m_ui.Edit2);

    m_ui.SpeedButton1 = new QToolButton(this);
    m_ui.SpeedButton1->setText(QStringLiteral("登录"));
    m_ui.SpeedButton1->setGeometry(168, 172, 73, 25);
    m_ui.SpeedButton1->setAutoRaise(true);
    m_ui.SpeedButton1->setFocusPolicy(Qt::NoFocus);
    connect(m_ui.SpeedButton1, &QToolButton::clicked, this, &TLoginForm::SpeedButton1Click);

    m_ui.Edit1->setFocus();
}

void TLoginForm::LoadBanner(const Settings& settings)
{
    // No address, nothing to ask (the resolution has said why).
    if (!IsServerAddress(m_session.ServerAddress))
        return;
    const HttpResult reply =
        FetchServerFile(settings, m_session.ServerAddress, settings.lowBannerPath);
    if (!reply.ok)
        return;
    const QImage banner = QImage::fromData(reinterpret_cast<const uchar*>(reply.body.data()),
                                           static_cast<int>(reply.body.size()), "BMP");
    if (!banner.isNull())
        m_ui.Image1->setPixmap(QPixmap::fromImage(banner));
}

void TLoginForm::SpeedButton1Click()
{
    const std::string name = QToGbk(m_ui.Edit1->text());
    const std::string password = QToGbk(m_ui.Edit2->text());
    if (Trim(name).empty()) {
        m_platform.prompts.Warn(this, QStringLiteral("用户名不能为空。"));
        return;
    }
    if (Trim(password).empty()) {
        m_platform.prompts.Warn(this, QStringLiteral("密码不能为空。"));
        return;
    }

    if (m_mode == StartupMode) {
        // The account step's own message boxes have no owner window.
        switch (m_server->Attempt(name, password)) {
        case ServerLogin::Outcome::NoConnection:
            m_platform.prompts.Warn(this, QStringLiteral("连接服务器失败，请稍后重新登录。"));
            return;
        case ServerLogin::Outcome::Failed:
            m_platform.prompts.Warn(nullptr, QStringLiteral("登录失败，请重新登录。"));
            return;
        case ServerLogin::Outcome::NoMatch:
            m_platform.prompts.Warn(nullptr, QStringLiteral("用户名或密码不正确，请重新输入。"));
            return;
        case ServerLogin::Outcome::LoggedIn: break;
        }
        accept();
        return;
    }

    // Unlocking compares exactly with what the user logged in with and needs no server.
    if (name != m_session.UserName || password != m_session.Password) {
        m_platform.prompts.Warn(this, QStringLiteral("用户名或密码不正确，解锁失败。"));
        return;
    }
    accept();
}

void TLoginForm::ResolveAgainIfNotFound()
{
    if (m_mode == StartupMode)
        m_server->ResolveAgainIfNotFound();
}

void TLoginForm::Label3Click()
{
    ResolveAgainIfNotFound();
    TRegForm form(this, m_session, m_db, m_settings, m_platform);
    form.exec();
    // Without a server the registration ends the program: this dialog gives up, and its
    // opener (start-up or the lock) ends the program as for any unfinished login.
    if (form.QuitRequested())
        reject();
}

void TLoginForm::Label4Click()
{
    ResolveAgainIfNotFound();
    TChangeForm form(this, m_session, m_db, m_settings, m_platform);
    form.exec();
}

// Over a link label the text takes the colour of an active window's caption; it returns to
// the window's text colour when the pointer leaves.
void TLoginForm::Label3MouseMove()
{
    SetColor(m_ui.Label3, QPalette::WindowText,
             palette().color(QPalette::Active, QPalette::Highlight));
}

void TLoginForm::Label3MouseLeave()
{
    SetColor(m_ui.Label3, QPalette::WindowText, palette().color(QPalette::WindowText));
}

void TLoginForm::Label4MouseMove()
{
    SetColor(m_ui.Label4, QPalette::WindowText,
             palette().color(QPalette::Active, QPalette::Highlight));
}

void TLoginForm::Label4MouseLeave()
{
    SetColor(m_ui.Label4, QPalette::WindowText, palette().color(QPalette::WindowText));
}

bool TLoginForm::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_ui.Label3 || watched == m_ui.Label4) {
        const bool first = watched == m_ui.Label3;
        switch (event->type()) {
        case QEvent::MouseMove:
        case QEvent::Enter: first ? Label3MouseMove() : Label4MouseMove(); break;
        case QEvent::Leave: first ? Label3MouseLeave() : Label4MouseLeave(); break;
        case QEvent::MouseButtonRelease:
            if (static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton
                && static_cast<QWidget*>(watched)->rect().contains(
                    static_cast<QMouseEvent*>(event)->position().toPoint()))
                first ? Label3Click() : Label4Click();
            break;
        default: break;
        }
    }
    return QDialog::eventFilter(watched, event);
}
