#include "ui/Tchangeform.h"

#include "core/Session.h"
#include "db/DbSession.h"
#include "db/Login.h"
#include "net/AddressResolution.h"
#include "platform/Platform.h"
#include "ui/Controls.h"
#include "ui/Fonts.h"
#include "ui/Placement.h"
#include "ui/TextBridge.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

TChangeForm::TChangeForm(QWidget* owner, Session& session, DbSession& db, const Settings& settings,
                         Platform& platform)
    : ButtonOnlyDialog(owner,
                       Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::CustomizeWindowHint
                           | Qt::WindowTitleHint | Qt::WindowSystemMenuHint
                           | Qt::WindowCloseButtonHint)
    , m_db(db)
    , m_platform(platform)
    , m_login(std::make_unique<login>(session, db, settings))
{
    BuildLayout(owner);

    // The outcome is the whole program's. No server found (the resolution logged why):
    // nothing to connect to. A session that was connected before stays as after any lost
    // connection: its next statement connects again, so the main window's lists work again
    // once the database answers.
    const bool connected = IsServerAddress(session.ServerAddress) && m_login->Connect();
    m_db.Connected = connected || (m_db.Connected && m_db.Reconnects());
    if (!connected) {
        m_platform.prompts.Warn(this, QStringLiteral("连接数据服务器失败。"));
        m_usable = false;
    }
}

TChangeForm::~TChangeForm() = default;

int TChangeForm::exec()
{
    // Closed before it could be used: the modal run ends before it starts.
    if (!m_usable) {
        setResult(QDialog::Rejected);
        return QDialog::Rejected;
    }
    return QDialog::exec();
}

void TChangeForm::BuildLayout(QWidget* owner)
{
    setWindowTitle(QStringLiteral("修改密码"));
    setModal(true);
    setFixedSize(334, 395);
    QPalette colours = palette();
    colours.setColor(QPalette::Window, QApplication::palette().color(QPalette::Button));
    setPalette(colours);
    setAutoFillBackground(true);
    CentreOverMainWindow(this, owner);

    const QFont font = SongTi(13);
    const auto makeLabel = [this, &font](const char* text, int top) {
        return MakeLabel(this, QString::fromUtf8(text), 32, top, font);
    };
    const auto makeEdit = [this, &font](int top, bool masked) {
        auto* edit = MakeEdit(this, QRect(128, top, 161, 21), font);
        if (masked)
            MaskPassword(edit);
        return edit;
    };
    m_ui.Label1 = makeLabel("用户名", 48);
    m_ui.Edit1 = makeEdit(44, false);
    m_ui.Label4 = makeLabel("旧密码", 120);
    m_ui.Edit4 = makeEdit(116, false);
    m_ui.Label2 = makeLabel("新密码", 192);
    m_ui.Edit2 = makeEdit(188, true);
    m_ui.Label3 = makeLabel("确认新密码", 264);
    m_ui.Edit3 = makeEdit(260, true);

    const auto makeButton = [this](const char* caption, int left) {
        auto* button = new QPushButton(QString::fromUtf8(caption), this);
        button->setGeometry(left, 336, 75, 25);
        // Not a default button: Enter in an edit does nothing.
        button->setAutoDefault(false);
        return button;
    };
    m_ui.Button1 = makeButton("确认", 64);
    m_ui.Button2 = makeButton("重置", 192);
    connect(m_ui.Button1, &QPushButton::clicked, this, &TChangeForm::Button1Click);
    connect(m_ui.Button2, &QPushButton::clicked, this, &TChangeForm::Button2Click);

    setTabOrder(m_ui.Edit1, m_ui.Edit4);
    setTabOrder(m_ui.Edit4, m_ui.Edit2);
    setTabOrder(m_ui.Edit2, m_ui.Edit3);
    setTabOrder(m_ui.Edit3, m_ui.Button1);
    setTabOrder(m_ui.Button1, m_ui.Button2);
    m_ui.Edit1->setFocus();
}

void TChangeForm::Button1Click()
{
    // Nothing is trimmed: a name or password of blanks is a text like any other.
    const std::string name = QToGbk(m_ui.Edit1->text());
    const std::string oldPassword = QToGbk(m_ui.Edit4->text());
    const std::string newPassword = QToGbk(m_ui.Edit2->text());
    const std::string confirmation = QToGbk(m_ui.Edit3->text());
    if (name.empty() || oldPassword.empty()) {
        m_platform.prompts.Warn(this, QStringLiteral("用户名或旧密码不能为空。"));
        return;
    }
    if (newPassword.empty() || confirmation.empty()) {
        m_platform.prompts.Warn(this, QStringLiteral("新密码不能为空。"));
        return;
    }
    if (confirmation != newPassword) {
        m_platform.prompts.Warn(this, QStringLiteral("密码确认不正确。"));
        return;
    }
    // The same change tried before, when whether it was stored could not be learned, and
    // stored after all: the old password no longer matches, and nothing is left to do.
    if (m_login->PasswordChangeStored(name, confirmation)) {
        m_platform.prompts.Warn(nullptr,
                                QStringLiteral("请记住新的密码，下次登录按本次修改的密码验证。"));
        return;
    }
    if (!m_login->CheckUser(name, oldPassword)) {
        m_platform.prompts.Warn(this, QStringLiteral("用户名或旧密码不正确。"));
        return;
    }
    // The account step's own message box has no owner window. The dialog stays open.
    if (const auto outcome = m_login->ChangePassword(name, confirmation))
        m_platform.prompts.Warn(
            nullptr,
            *outcome == PasswordChangeOutcome::Changed
                ? QStringLiteral("请记住新的密码，下次登录按本次修改的密码验证。")
                : QStringLiteral("密码修改失败，请重修修改。"));
}

void TChangeForm::Button2Click()
{
    m_ui.Edit1->clear();
    m_ui.Edit2->clear();
    m_ui.Edit3->clear();
    m_ui.Edit4->clear();
}
