#include "ui/Tsubmitform.h"

#include "core/GbkText.h"
#include "core/Substring.h"
#include "db/CheckedWrite.h"
#include "db/DbSession.h"
#include "platform/Platform.h"
#include "ui/Controls.h"
#include "ui/Fonts.h"
#include "ui/Palette.h"
#include "ui/Placement.h"
#include "ui/TextBridge.h"

#include <QLabel>
#include <QLineEdit>
#include <QLoggingCategory>

namespace {

constexpr int kClientWidth = 404;
constexpr int kClientHeight = 162;
constexpr int kEditHeight = 21;
constexpr std::size_t kMaxTitleBytes = 80;

} // namespace

TSubmitForm::TSubmitForm(QWidget* owner, const Session& session, DbSession& db, Platform& platform,
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

TSubmitForm::~TSubmitForm() = default;

void TSubmitForm::BuildControls(QWidget* owner)
{
    setWindowTitle(QStringLiteral("有什么新鲜事，可以在这里提交和大家分享。"));
    setFixedSize(kClientWidth, kClientHeight);
    // Centred over the main window, the owner.
    CentreOverMainWindow(this, owner);

    const auto makeLabel = [this](const QString& text, int x, int y) {
        return MakeLabel(this, text, x, y, SongTi(12));
    };
    const auto makeEdit = [this](int x, int y, int width) {
        return MakeEdit(this, QRect(x, y, width, kEditHeight), SongTi(12));
    };

    m_ui.Label1 = makeLabel(QStringLiteral("快贴标题"), 8, 8);
    m_ui.Label2 = makeLabel(QStringLiteral("(这里标题请使用简体字)"), 72, 8);
    SetTextColor(m_ui.Label2, palette::Red);
    m_ui.Edit1 = makeEdit(8, 26, 385);
    m_ui.Label3 = makeLabel(QStringLiteral("快贴网址"), 8, 64);
    m_ui.Label4 = makeLabel(QStringLiteral("(这里网址可以是任意有效网址)"), 72, 64);
    SetTextColor(m_ui.Label4, palette::Red);
    m_ui.Edit2 = makeEdit(8, 88, 385);
    m_ui.SpeedButton1 = new SpeedButton(QStringLiteral("我要提交"), this, true);
    m_ui.SpeedButton1->setGeometry(152, 120, 89, 33);

    setTabOrder(m_ui.Edit1, m_ui.Edit2);
    m_ui.Edit1->setFocus();

    connect(m_ui.SpeedButton1, &QToolButton::clicked, this, &TSubmitForm::SpeedButton1Click);
}

void TSubmitForm::Warn(const QString& text)
{
    m_platform.prompts.Warn(this, text);
}

void TSubmitForm::SpeedButton1Click()
{
    // Title and address are checked trimmed but stored as typed; the address's form is
    // the poster's business.
    const std::string title = QToGbk(m_ui.Edit1->text());
    const std::string link = QToGbk(m_ui.Edit2->text());
    if (Trim(title).empty()) {
        Warn(QStringLiteral("请快贴标题名称。"));
        return;
    }
    if (GbkLength(Trim(title)) > kMaxTitleBytes) {
        Warn(QStringLiteral("标题名称太长啦。"));
        return;
    }
    if (Trim(link).empty()) {
        Warn(QStringLiteral("请输入快贴网址。"));
        return;
    }

    if (!StoreOnce(m_db,
                   QuickPostWrite(m_db, m_session.UserName, title, link, NowStamp(m_clock)))) {
        qCWarning(lcDb) << "quick post: insert refused for" << GbkToQ(m_session.UserName);
        Warn(QStringLiteral("你的快贴提交不成功哦，快快重新提交你的一手信息吧。"));
        return;
    }
    Warn(QStringLiteral("上传成功。"));
    accept();
}
