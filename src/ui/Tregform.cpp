#include "ui/Tregform.h"

#include "core/GbkText.h"
#include "core/Session.h"
#include "core/Settings.h"
#include "core/StrToInt.h"
#include "core/Substring.h"
#include "db/DbSession.h"
#include "db/Login.h"
#include "db/ServiceRecord.h"
#include "net/AddressResolution.h"
#include "platform/Platform.h"
#include "ui/Controls.h"
#include "ui/Fonts.h"
#include "ui/Placement.h"
#include "ui/TextBridge.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QLoggingCategory>
#include <QPlainTextEdit>
#include <QPushButton>

#include <ctime>
#include <random>

namespace {

// Off unless asked for (QT_LOGGING_RULES="zumalo.accounts.debug=true"): the demo reads the
// code it has to type back from here.
Q_LOGGING_CATEGORY(lcAccounts, "zumalo.accounts", QtInfoMsg)

constexpr int kClientWidth = 507;
constexpr int kClientHeight = 348;

// The system colour clInactiveCaptionText as it was on the desktop the dialog was drawn on:
// a pale blue behind black labels.
const QColor kInactiveCaptionText(216, 228, 248);

// 宋体 at the form's default size of 9 points.
constexpr int kFontPixels = 12;

bool IsInteger(std::string_view text)
{
    try {
        StrToInt(text);
        return true;
    } catch (const ConvertError&) {
        return false;
    }
}

} // namespace

std::string VerificationCode(std::uint32_t seed)
{
    std::mt19937 generator(seed);
    const int value = std::uniform_int_distribution<int>(0, 32767)(generator);
    return std::to_string(100000 + value % 899999);
}

QString RegistrationAgreement(const std::string& contactAddressGbk)
{
    return QStringLiteral("               注册协议               ")
        + QStringLiteral("  尊敬的用户，感谢您的注册，注册前请细心阅读协议。\n")
        + QStringLiteral("您可以在这里发布任何想发布的资源，发布时请仔细阅\n")
        + QStringLiteral("读发布的格式和要求，以免造成资源无法打开以及其他\n")
        + QStringLiteral("用户无法观看。注册时请用户的联系方式尽量真实，以\n")
        + QStringLiteral("便其他用户可以与你取得联系，服务器会对您的资料保\n")
        + QStringLiteral("密，不会向外透露。若有其它问题可以联系管理员，发\n")
        + QStringLiteral("送邮件至") + GbkToQ(contactAddressGbk)
        + QStringLiteral("，或者在留言板内发表。");
}

TRegForm::TRegForm(QWidget* owner, Session& session, DbSession& db, const Settings& settings,
                   Platform& platform)
    : ButtonOnlyDialog(owner,
                       Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::CustomizeWindowHint
                           | Qt::WindowTitleHint | Qt::WindowSystemMenuHint
                           | Qt::WindowCloseButtonHint)
    , m_db(db)
    , m_settings(settings)
    , m_platform(platform)
    , m_login(std::make_unique<login>(session, db, settings))
{
    BuildLayout(owner);

    // The dialog keeps the outcome to itself; the shared Connected flag stays as it was.
    // No server found (the resolution logged why): nothing to connect to.
    m_connected = IsServerAddress(session.ServerAddress) && m_login->Connect();
    if (!m_connected) {
        m_platform.prompts.Warn(this, QStringLiteral("连接服务器失败，请检查网络连接。"));
        m_quitRequested = true;
        return;
    }

    m_ui.Label11->setText(
        QString::fromStdString(VerificationCode(static_cast<std::uint32_t>(std::time(nullptr)))));
    qCDebug(lcAccounts).noquote() << "registration: verification code" << m_ui.Label11->text();
    LoadBannerAndAgreement();
}

TRegForm::~TRegForm() = default;

int TRegForm::exec()
{
    // A dialog that could not connect is never shown: the modal run ends before it starts.
    if (m_quitRequested) {
        setResult(QDialog::Rejected);
        return QDialog::Rejected;
    }
    return QDialog::exec();
}

void TRegForm::BuildLayout(QWidget* owner)
{
    setWindowTitle(QStringLiteral("注册"));
    setModal(true);
    setFixedSize(kClientWidth, kClientHeight);
    QPalette colours = palette();
    colours.setColor(QPalette::Window, kInactiveCaptionText);
    setPalette(colours);
    setAutoFillBackground(true);
    CentreOverMainWindow(this, owner);

    const QFont font = SongTi(kFontPixels);
    const auto makeLabel = [this, &font](const char* text, int left, int top) {
        return MakeLabel(this, QString::fromUtf8(text), left, top, font);
    };
    // The edits sit a little above their label's top, so that the texts line up.
    const auto makeEdit = [this, &font](int left, int labelTop, int width, int maxLength) {
        auto* edit = MakeEdit(this, QRect(left, labelTop - 4, width, 21), font);
        if (maxLength > 0)
            edit->setMaxLength(maxLength);
        return edit;
    };
    const auto mask = MaskPassword;

    m_ui.Label1 = makeLabel("用户名", 1, 6);
    m_ui.Edit1 = makeEdit(81, 6, 145, 10);
    m_ui.Label2 = makeLabel("密码", 1, 38);
    m_ui.Edit2 = makeEdit(81, 38, 145, 12);
    mask(m_ui.Edit2);
    m_ui.Label3 = makeLabel("确认密码", 1, 70);
    m_ui.Edit3 = makeEdit(81, 70, 145, 0);
    mask(m_ui.Edit3);
    m_ui.Label4 = makeLabel("性别", 1, 102);
    m_ui.ComboBox1 = new QComboBox(this);
    m_ui.ComboBox1->setFont(font);
    m_ui.ComboBox1->setGeometry(81, 98, 145, 21);
    m_ui.ComboBox1->addItems({QStringLiteral("男"), QStringLiteral("女")});
    m_ui.ComboBox1->setCurrentIndex(0);
    m_ui.Label5 = makeLabel("年龄", 1, 134);
    m_ui.Edit5 = makeEdit(81, 134, 145, 4);
    m_ui.Label6 = makeLabel("地区", 1, 166);
    m_ui.Edit6 = makeEdit(81, 166, 145, 20);
    m_ui.Label7 = makeLabel("QQ", 1, 198);
    m_ui.Edit7 = makeEdit(81, 198, 145, 0);
    m_ui.Label8 = makeLabel("手机", 1, 230);
    m_ui.Edit8 = makeEdit(81, 230, 145, 12);
    m_ui.Label9 = makeLabel("邮箱", 1, 262);
    m_ui.Edit9 = makeEdit(81, 262, 145, 25);
    m_ui.Label10 = makeLabel("验证码", 1, 294);
    m_ui.Label11 = makeLabel("Label11", 49, 294);
    m_ui.Edit4 = makeEdit(121, 294, 105, 0);

    m_ui.Button1 = new QPushButton(QStringLiteral("注册"), this);
    m_ui.Button1->setGeometry(217, 318, 75, 25);
    // Not a default button: Enter in an edit does not register.
    m_ui.Button1->setAutoDefault(false);
    connect(m_ui.Button1, &QPushButton::clicked, this, &TRegForm::Button1Click);

    m_ui.Memo1 = new QPlainTextEdit(QStringLiteral("Memo1"), this);
    m_ui.Memo1->setGeometry(233, 190, 273, 121);
    m_ui.Memo1->setReadOnly(true);
    m_ui.Memo1->setFrameShape(QFrame::NoFrame);
    m_ui.Memo1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    m_ui.Memo1->setFont(font);

    QWidget* order[] = {m_ui.Edit1,     m_ui.Edit2, m_ui.Edit3,   m_ui.Edit5,
                        m_ui.Edit6,     m_ui.Edit7, m_ui.Edit8,   m_ui.Edit9,
                        m_ui.ComboBox1, m_ui.Edit4, m_ui.Button1, m_ui.Memo1};
    for (std::size_t i = 1; i < std::size(order); ++i)
        setTabOrder(order[i - 1], order[i]);
    m_ui.Edit1->setFocus();
}

void TRegForm::LoadBannerAndAgreement()
{
    const RegistrationLink reg = ReadRegistrationLink(m_db);
    if (!reg.read) {
        m_platform.prompts.Warn(this, QStringLiteral("登录失败，请重新登录。"));
        return;
    }
    // Without a row, or with an empty link, there is no banner to show; the rest of the
    // dialog works as usual.
    const std::string& link = reg.link;
    if (!link.empty()) {
        m_player = m_platform.movies.Create(this);
        if (QWidget* surface = m_player->Widget())
            surface->setGeometry(233, 3, 273, 182);
        m_player->LoadMovie(0, GbkToQ(link));
        m_player->Play();
        if (QWidget* surface = m_player->Widget())
            setTabOrder(m_ui.Memo1, surface);
    }

    m_ui.Memo1->clear();
    m_ui.Memo1->appendPlainText(RegistrationAgreement(m_settings.ShareContactAddress));
}

void TRegForm::Tell(const char* messageUtf8)
{
    m_platform.prompts.Warn(this, QString::fromUtf8(messageUtf8));
}

void TRegForm::Button1Click()
{
    AccountEntry account;
    account.name = QToGbk(m_ui.Edit1->text());
    account.password = QToGbk(m_ui.Edit2->text());
    const std::string confirmation = QToGbk(m_ui.Edit3->text());
    account.age = QToGbk(m_ui.Edit5->text());
    account.area = QToGbk(m_ui.Edit6->text());
    account.qq = QToGbk(m_ui.Edit7->text());
    account.phone = QToGbk(m_ui.Edit8->text());
    account.mail = QToGbk(m_ui.Edit9->text());
    const bool female = m_ui.ComboBox1->currentText() == QStringLiteral("女");
    account.sex = std::string(female ? "0" : "1");
    const std::string code = QToGbk(m_ui.Edit4->text());

    // The checks run in this order; the first one that fails ends the press. Trimmed texts
    // are checked, the texts as typed are stored.
    if (Trim(account.name).empty())
        return Tell("用户名不能为空。");
    if (GbkLength(Trim(account.name)) > 10)
        return Tell("用户名太长啦。");
    if (Trim(account.password).empty())
        return Tell("密码不能为空。");
    if (Trim(account.password) != Trim(confirmation))
        return Tell("前后密码不一致。");
    if (Trim(account.age).empty())
        return Tell("年龄不能为空。");
    if (!IsInteger(account.age))
        return Tell("年龄为数字。");
    if (Trim(account.area).empty())
        return Tell("地区不能为空。");
    if (Trim(account.qq).empty())
        return Tell("请写上你的QQ吧。");
    if (!IsInteger(account.qq))
        return Tell("QQ为数字。");
    if (Trim(account.phone).empty())
        return Tell("请写上你的手机号码吧。");
    if (Trim(account.mail).empty())
        return Tell("请写上你的电子邮箱。");
    if (Trim(code) != QToGbk(m_ui.Label11->text()))
        return Tell("验证码错误。");

    if (!m_platform.prompts.Ask(this, QStringLiteral("温馨提示"),
                                QStringLiteral("确定现在注册吗？")))
        return;
    if (!m_connected)
        return;

    const auto failed = [this](const char* text) {
        m_platform.prompts.Warn(this, QString::fromUtf8(text));
    };
    switch (m_login->Register(account)) {
    case RegisterOutcome::Failed: return failed("注册模块出现错误，请重新注册。");
    case RegisterOutcome::NameTaken: return failed("此用户名已存在，请重新输入。");
    case RegisterOutcome::NotStored: return failed("注册失败，请重新注册。");
    case RegisterOutcome::Registered: break;
    }
    // The dialog stays open with the entries as typed; the visitor logs in from the login
    // dialog.
    Tell("恭喜注册成功，请牢记你的密码。");
}
