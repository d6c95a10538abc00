#include "ui/Tflashform.h"

#include "core/GbkText.h"
#include "db/ContentPages.h"
#include "platform/Platform.h"
#include "ui/Palette.h"
#include "ui/Placement.h"
#include "ui/TextBridge.h"

namespace {

constexpr int kClientWidth = 677;
constexpr int kClientHeight = 433;
// The player's design size: one row taller than the client area.
constexpr int kPlayerWidth = 677;
constexpr int kPlayerHeight = 434;

} // namespace

TFlashForm::TFlashForm(QWidget* owner, Mode mode, const std::string& titleGbk,
                       const std::string& movieAddressGbk, DbSession& db, Platform& platform)
    : ButtonOnlyDialog(owner)
    , m_mode(mode)
    , m_title(titleGbk)
    , m_movieAddress(movieAddressGbk)
    , m_db(db)
    , m_platform(platform)
{
    BuildLayout(owner);

    if (m_mode == Mode::Test) {
        // Previewing a link before it is published: nothing is looked up.
        setWindowTitle(QStringLiteral("正在测试视频效果"));
        OpenMovie(false);
        return;
    }

    std::string caption;
    if (!LookUpUploader(caption))
        return; // reported; the window opens empty
    setWindowTitle(GbkToQ(caption));
    OpenMovie(true);
}

TFlashForm::~TFlashForm() = default;

std::string TFlashForm::TestTitle()
{
    return Utf8ToGbk("视频测试效果");
}

TFlashForm::Mode TFlashForm::ModeForListedTitle(const std::string& titleGbk)
{
    return titleGbk == TestTitle() ? Mode::Test : Mode::Listed;
}

void TFlashForm::BuildLayout(QWidget* owner)
{
    setWindowTitle(QStringLiteral("FlashForm"));
    setModal(true);
    setFixedSize(kClientWidth, kClientHeight);
    SetColor(this, QPalette::Window, palette::GradientActiveCaption);
    setAutoFillBackground(true);

    // Centred over the main window, whoever opened it.
    CentreOverMainWindow(this, owner);
}

bool TFlashForm::LookUpUploader(std::string& caption)
{
    // Of several videos with this title the first row the server returns names the uploader.
    const std::optional<VideoUploader> uploader = ReadVideoUploader(m_db, m_title);
    // A lookup that finds no row cannot make the caption: it takes the failure's way.
    if (!uploader) {
        m_platform.prompts.Warn(this, QStringLiteral("获取视频用户信息失败。"));
        return false;
    }
    caption = m_title + Utf8ToGbk("   【由") + uploader->user + Utf8ToGbk("发布于") + uploader->time
        + Utf8ToGbk("】");
    return true;
}

void TFlashForm::OpenMovie(bool menuOff)
{
    m_player = m_platform.movies.Create(this);
    if (QWidget* surface = m_player->Widget())
        surface->setGeometry(0, 0, kPlayerWidth, kPlayerHeight);
    if (menuOff)
        m_player->SetMenu(false);
    m_player->LoadMovie(0, GbkToQ(m_movieAddress));
    m_player->Play();
}
