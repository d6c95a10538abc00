#include "ui/Tuploadform.h"

#include "core/GbkText.h"
#include "core/StrToInt.h"
#include "core/Substring.h"
#include "db/DbSession.h"
#include "db/Publishing.h"
#include "platform/Platform.h"
#include "ui/Controls.h"
#include "ui/Fonts.h"
#include "ui/Palette.h"
#include "ui/Placement.h"
#include "ui/TextBridge.h"
#include "ui/Tflashform.h"

#include <QLabel>
#include <QLineEdit>
#include <QLoggingCategory>

#include <memory>

namespace {

constexpr int kClientWidth = 379;
constexpr int kClientHeight = 205;
constexpr int kEditHeight = 21;
constexpr std::size_t kMaxTitleBytes = 80;
constexpr int kMaxRequiredScore = 32767;

} // namespace

TUploadForm::TUploadForm(QWidget* owner, const Session& session, DbSession& db, Platform& platform,
                         Clock clock)
    : ButtonOnlyDialog(owner,
                       Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint
                           | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint)
    , m_session(session)
    , m_db(db)
    , m_platform(platform)
    , m_clock(std::move(clock))
{
    BuildControls(owner);
}

TUploadForm::~TUploadForm() = default;

void TUploadForm::BuildControls(QWidget* owner)
{
    setWindowTitle(QStringLiteral("视频上传"));
    setFixedSize(kClientWidth, kClientHeight);
    // Centred over the main window, the owner.
    CentreOverMainWindow(this, owner);

    const auto makeLabel = [this](const QString& text, int x, int y) {
        return MakeLabel(this, text, x, y, SongTi(12));
    };
    const auto makeEdit = [this](int x, int y, int width) {
        return MakeEdit(this, QRect(x, y, width, kEditHeight), SongTi(12));
    };

    m_ui.Label1 = makeLabel(QStringLiteral("视频名称"), 8, 8);
    m_ui.Label3 = makeLabel(QStringLiteral("视频名称请用简体字"), 72, 8);
    SetTextColor(m_ui.Label3, palette::Red);
    m_ui.Edit1 = makeEdit(8, 32, 361);
    m_ui.Label2 = makeLabel(QStringLiteral("视频链接（上传链接为 http://......xxxx.swf）"), 8, 64);
    m_ui.Edit2 = makeEdit(8, 88, 361);
    m_ui.Edit3 = makeEdit(8, 120, 305);
    m_ui.SpeedButton2 = new SpeedButton(QStringLiteral("测试"), this, false);
    m_ui.SpeedButton2->setGeometry(320, 120, 49, 22);
    m_ui.Label4 =
        makeLabel(QStringLiteral("此积分以下的用户不能观看(不填则默认为均可观看)"), 8, 152);
    m_ui.Label4->resize(300, m_ui.Label4->height());
    m_ui.Edit4 = makeEdit(312, 148, 57);
    m_ui.Edit4->setText(QStringLiteral("0"));
    SetTextColor(m_ui.Edit4, palette::Red);
    m_ui.SpeedButton1 = new SpeedButton(QStringLiteral("上传"), this, false);
    m_ui.SpeedButton1->setGeometry(152, 176, 65, 22);

    setTabOrder(m_ui.Edit1, m_ui.Edit2);
    setTabOrder(m_ui.Edit2, m_ui.Edit3);
    setTabOrder(m_ui.Edit3, m_ui.Edit4);
    m_ui.Edit1->setFocus();

    connect(m_ui.SpeedButton1, &QToolButton::clicked, this, &TUploadForm::SpeedButton1Click);
    connect(m_ui.SpeedButton2, &QToolButton::clicked, this, &TUploadForm::SpeedButton2Click);
}

void TUploadForm::Warn(const QString& text)
{
    m_platform.prompts.Warn(this, text);
}

void TUploadForm::SpeedButton1Click()
{
    // Title and address are checked trimmed but stored as typed.
    const std::string title = QToGbk(m_ui.Edit1->text());
    const std::string link = QToGbk(m_ui.Edit2->text());
    const std::string requiredScore = Trim(QToGbk(m_ui.Edit4->text()));
    if (Trim(title).empty()) {
        Warn(QStringLiteral("请输入视频名称。"));
        return;
    }
    if (GbkLength(Trim(title)) > kMaxTitleBytes) {
        Warn(QStringLiteral("视频名称太长了。"));
        return;
    }
    if (Trim(link).empty()) {
        Warn(QStringLiteral("请输入视频链接地址。"));
        return;
    }

    // The score a viewer needs: any integer up to 32767. It is stored as typed (trimmed),
    // e.g. "$0A", and converted again when the video is opened.
    try {
        if (StrToInt(requiredScore) > kMaxRequiredScore) {
            Warn(QStringLiteral("请输入合法数字。"));
            return;
        }
    } catch (const ConvertError& error) {
        Warn(GbkToQ(error.what()));
        return;
    }

    const std::string& user = m_session.UserName;
    const Publication published = PublishVideo(m_db, user, title, link, requiredScore, m_clock);
    switch (published.kind) {
    case Publication::Kind::Done:
    // An earlier try of this very upload whose outcome could not be learned then was
    // stored after all: this try is already done.
    case Publication::Kind::AlreadyStored: break;
    case Publication::Kind::Unreachable:
        qCWarning(lcDb) << "upload: the database cannot be reached";
        Warn(QStringLiteral("获取个人积分信息失败。"));
        return;
    case Publication::Kind::ScoreUnread:
        qCWarning(lcDb) << "upload: score of" << GbkToQ(user) << "not read";
        Warn(QStringLiteral("获取个人积分信息失败。"));
        return;
    case Publication::Kind::NotANumber: Warn(GbkToQ(published.error)); return;
    case Publication::Kind::PointsNotStored:
        qCWarning(lcDb) << "upload: score update not stored for" << GbkToQ(user);
        Warn(QStringLiteral("更新个人积分信息失败。"));
        return;
    case Publication::Kind::VideoNotStored:
        qCWarning(lcDb) << "upload: video not stored for" << GbkToQ(user);
        Warn(QStringLiteral("上传视频信息失败。"));
        return;
    }
    Warn(QStringLiteral("上传成功，恭喜获得2个积分。"));
    accept();
}

void TUploadForm::SpeedButton2Click()
{
    const std::string address = QToGbk(m_ui.Edit3->text());
    if (Trim(address).empty()) {
        Warn(QStringLiteral("请输入测试链接地址。"));
        return;
    }
    // The address goes to the player as typed.
    const auto player = std::make_unique<TFlashForm>(
        this, TFlashForm::Mode::Test, TFlashForm::TestTitle(), address, m_db, m_platform);
    player->exec();
}
