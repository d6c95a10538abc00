#include "ui/Tloginform.h"

#include "core/Basefunc.h"
#include "core/Settings.h"
#include "db/DbSession.h"
#include "db/Login.h"
#include "net/AddressResolution.h"
#include "net/Http.h"
#include "platform/Platform.h"
#include "ui/Fonts.h"
#include "ui/TextBridge.h"

#include <QEvent>
#include <QGuiApplication>
#include <QImage>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPixmap>
#include <QScreen>
#include <QToolButton>

namespace {

const QColor MoneyGreen(192, 220, 192);

} // namespace

TLoginForm::TLoginForm(QWidget* owner, int mode, Session& session, DbSession& db,
                       const Settings& settings, Platform& platform, Resolver resolve)
    : QDialog(owner,
              Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint
                  | Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint)
    , m_session(session)
    , m_db(db)
    , m_settings(settings)
    , m_platform(platform)
    , m_mode(mode)
    , m_login(std::make_unique<login>(session, db, settings))
{
    BuildControls();

    if (m_mode == StartupMode) {
        // The dialog shows nothing of the resolution; a failure surfaces as the
        // connection failure of the first login attempt.
        if (resolve)
            resolve(m_session, m_settings);
        else
            ResolveServerAddress(m_session, m_settings);
    } else {
        setWindowTitle(QStringLiteral("Zumalo已锁定"));
    }
    LoadBanner();
}

TLoginForm::~TLoginForm() = default;

void TLoginForm::BuildControls()
{
    setWindowTitle(QStringLiteral("登录Zumalo"));
    setFixedSize(302, 212);
    setAutoFillBackground(true);
    QPalette background = palette();
    background.setColor(QPalette::Window, MoneyGreen);
    setPalette(background);

    // Centred on the desktop, not on the owner.
    if (QScreen* screen =
            parentWidget() ? parentWidget()->screen() : QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());

    Image1 = new QLabel(this);
    Image1->setGeometry(0, 0, 302, 97);
    Image1->setScaledContents(true);

    const auto makeLabel = [this](const QString& text, int x, int y, int pixels) {
        auto* label = new QLabel(text, this);
        label->setFont(SongTi(pixels));
        label->adjustSize();
        label->move(x, y);
        return label;
    };
    Label1 = makeLabel(QStringLiteral("用户名"), 32, 112, 15);
    Label2 = makeLabel(QStringLiteral("密  码"), 32, 144, 15);
    Label3 = makeLabel(QStringLiteral("我要注册"), 32, 178, 13);
    Label4 = makeLabel(QStringLiteral("修改密码"), 96, 178, 13);
    for (QLabel* link : {Label3, Label4}) {
        link->setCursor(Qt::PointingHandCursor);
        link->setMouseTracking(true);
        link->installEventFilter(this);
    }
    Label4->setAttribute(Qt::WA_TranslucentBackground);

    Edit1 = new QLineEdit(this);
    Edit1->setGeometry(104, 108, 161, 23);
    Edit1->setFont(SongTi(15));
    Edit2 = new QLineEdit(this);
    Edit2->setGeometry(104, 140, 161, 23);
    Edit2->setFont(SongTi(15));
    Edit2->setEchoMode(QLineEdit::Password);
    // A "*" for every character, whatever the style's own mask character is.
    Edit2->setStyleSheet(QStringLiteral("QLineEdit { lineedit-password-character: 42; }"));
    setTabOrder(Edit1, Edit2);

    SpeedButton1 = new QToolButton(this);
    SpeedButton1->setText(QStringLiteral("登录"));
    SpeedButton1->setGeometry(168, 172, 73, 25);
    SpeedButton1->setAutoRaise(true);
    SpeedButton1->setFocusPolicy(Qt::NoFocus);
    connect(SpeedButton1, &QToolButton::clicked, this, &TLoginForm::SpeedButton1Click);

    Edit1->setFocus();
}

void TLoginForm::LoadBanner()
{
    const HttpResult reply =
        FetchServerFile(m_settings, m_session.ServerAddress, m_settings.lowBannerPath);
    if (!reply.ok)
        return;
    const QImage banner = QImage::fromData(reinterpret_cast<const uchar*>(reply.body.data()),
                                           static_cast<int>(reply.body.size()), "BMP");
    if (!banner.isNull())
        Image1->setPixmap(QPixmap::fromImage(banner));
}

void TLoginForm::SpeedButton1Click()
{
    const std::string name = QToGbk(Edit1->text());
    const std::string password = QToGbk(Edit2->text());
    if (Trim(name).empty()) {
        m_platform.prompts.Warn(this, QStringLiteral("用户名不能为空。"));
        return;
    }
    if (Trim(password).empty()) {
        m_platform.prompts.Warn(this, QStringLiteral("密码不能为空。"));
        return;
    }

    if (m_mode == StartupMode) {
        // Every attempt connects again.
        m_db.Connected = m_login->Connect();
        if (!m_db.Connected) {
            m_platform.prompts.Warn(this, QStringLiteral("连接服务器失败，请稍后重新登录。"));
            return;
        }
        // The texts go to the database as typed, blanks included.
        m_login->SetUser(name, password);
        const StepResult result = m_login->DoLogin();
        if (!result) {
            // The account step's own message box has no owner window.
            m_platform.prompts.Warn(nullptr, GbkToQ(result.message));
            return;
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

void TLoginForm::Label3Click()
{
    // Opens the registration dialog.
}

void TLoginForm::Label4Click()
{
    // Opens the change-password dialog.
}

namespace {

void SetTextColour(QLabel* label, const QColor& colour)
{
    QPalette p = label->palette();
    p.setColor(QPalette::WindowText, colour);
    label->setPalette(p);
}

} // namespace

// Over a link label the text takes the colour of an active window's caption; it returns to
// the window's text colour when the pointer leaves.
void TLoginForm::Label3MouseMove()
{
    SetTextColour(Label3, palette().color(QPalette::Active, QPalette::Highlight));
}

void TLoginForm::Label3MouseLeave()
{
    SetTextColour(Label3, palette().color(QPalette::WindowText));
}

void TLoginForm::Label4MouseMove()
{
    SetTextColour(Label4, palette().color(QPalette::Active, QPalette::Highlight));
}

void TLoginForm::Label4MouseLeave()
{
    SetTextColour(Label4, palette().color(QPalette::WindowText));
}

bool TLoginForm::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == Label3 || watched == Label4) {
        const bool first = watched == Label3;
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

void TLoginForm::keyPressEvent(QKeyEvent* event)
{
    // No cancel button: Escape does not close the dialog. No default button either, so
    // Enter does not log in.
    if (event->key() == Qt::Key_Escape || event->key() == Qt::Key_Return
        || event->key() == Qt::Key_Enter) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}
