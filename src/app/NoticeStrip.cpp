#include "app/NoticeStrip.h"

#include "client/ServerFiles.h"
#include "core/GbkText.h"
#include "core/Settings.h"
#include "core/Substring.h"
#include "core/UpdateArchive.h"
#include "core/Waits.h"
#include "db/DbSession.h"
#include "db/ServiceRecord.h"
#include "net/Http.h"
#include "net/WebLookups.h"
#include "platform/Platform.h"
#include "ui/Controls.h"
#include "ui/TextBridge.h"
#include "ui/WindowPrompts.h"

#include <QImage>
#include <QTextDocument>

#include <optional>

NoticeStrip::NoticeStrip(QWidget& window, Controls ui, DbSession& db, const Settings& settings,
                         Platform& platform, ServerFiles& files, std::function<void()> requestQuit)
    : m_window(window)
    , m_ui(ui)
    , m_db(db)
    , m_settings(settings)
    , m_platform(platform)
    , m_files(files)
    , m_requestQuit(std::move(requestQuit))
{
    m_temperatureTimer.setInterval(m_settings.temperatureRefreshMs);
    m_temperatureTimer.setObjectName("TemperatureTimer");
    connect(&m_temperatureTimer, &QTimer::timeout, this, &NoticeStrip::ShowTemperature);

    connect(m_ui.Image1, &ClickLabel::clicked, this, &NoticeStrip::Image1Click);
    connect(m_ui.Image2, &ClickLabel::clicked, this, &NoticeStrip::Image2Click);
    connect(m_ui.Image1, &ClickLabel::mouseMoved, this, &NoticeStrip::Image1MouseMove);
    connect(m_ui.Image2, &ClickLabel::mouseMoved, this, &NoticeStrip::Image2MouseMove);
    connect(m_ui.Label15, &ClickLabel::clicked, this, &NoticeStrip::Label15Click);
    connect(m_ui.Label15, &ClickLabel::mouseMoved, this, &NoticeStrip::Label15MouseMove);
    connect(m_ui.Label15, &ClickLabel::mouseLeft, this, &NoticeStrip::Label15MouseLeave);
    connect(m_ui.Label6, &ClickLabel::clicked, this, &NoticeStrip::Label6Click);
    connect(m_ui.Label6, &ClickLabel::mouseMoved, this, &NoticeStrip::Label6MouseMove);
    connect(m_ui.Label6, &ClickLabel::mouseLeft, this, &NoticeStrip::Label6MouseLeave);
    connect(m_ui.Timer1, &QTimer::timeout, this, &NoticeStrip::Timer1Timer);
}

void NoticeStrip::ShowWarning(const QString& text)
{
    ::ShowWarning(m_platform, &m_window, text);
}

void NoticeStrip::FetchBanners()
{
    // Left first; a failure keeps the design pictures and skips the right one.
    const struct
    {
        ClickLabel* image;
        const std::string& path;
    } banners[] = {{m_ui.Image1, m_settings.lowBannerPath},
                   {m_ui.Image2, m_settings.highBannerPath}};
    for (const auto& banner : banners) {
        const HttpResult got = m_files.Fetch(banner.path);
        QImage picture;
        if (!got.ok
            || !picture.loadFromData(reinterpret_cast<const uchar*>(got.body.data()),
                                     static_cast<int>(got.body.size()), "BMP"))
            return;
        banner.image->setPixmap(QPixmap::fromImage(picture));
    }
}

void NoticeStrip::ReadServiceRecord()
{
    const std::optional<ServiceRecord> record = ::ReadServiceRecord(m_db);
    if (!record) {
        // A failed statement, and a service table without a row, leave no notice.
        SetCaption(m_ui.Label6, "今天无通告");
        return;
    }
    m_captions.insert(m_captions.end(), record->captions.begin(), record->captions.end());
    m_links.insert(m_links.end(), record->links.begin(), record->links.end());
    SetCaption(m_ui.Label15, GbkToQ(record->captions[0]));
    SetCaption(m_ui.Label6, GbkToQ(record->notice));
    if (record->suspended) {
        m_window.hide();
        ShowWarning("软件暂停服务。");
        m_requestQuit();
    }
    ReadLinkPage();
}

void NoticeStrip::ReadLinkPage()
{
    // A failed fetch leaves no body to cut links from (an error page has none to give).
    const HttpResult page = m_files.Fetch(m_settings.linkPagePath);
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
    m_link1 = between('(', ')');
    m_link2 = between('[', ']');
}

void NoticeStrip::ShowTemperature()
{
    // The label's area holds nine bytes: a longer result is cut at a character boundary.
    const std::string text = [this] {
        const long bound = m_files.Allow(m_settings.webTimeoutSeconds);
        if (bound == 0)
            return std::string(kNoTemperature); // the start-up's bound was used up
        const WaitScope waiting(m_platform.waits);
        return LookupTemperature(m_settings.weatherHost, bound);
    }();
    SetCaption(m_ui.Label1, "当天温度" + GbkToQ(CutAtCharBoundary(text, 9)));
}

void NoticeStrip::NoticeRefresh()
{
    if (!m_db.Connected)
        return;
    if (const std::optional<std::string> notice = ReadNotice(m_db))
        SetCaption(m_ui.Label6, GbkToQ(*notice));
}

void NoticeStrip::Timer1Timer()
{
    if (m_captions.empty())
        return;
    ++m_captionIndex;
    SetCaption(m_ui.Label15, GbkToQ(m_captions[static_cast<std::size_t>(m_captionIndex)]));
    if (m_captionIndex >= static_cast<int>(m_captions.size()) - 1)
        m_captionIndex = -1;
}

// A banner opens only a web address; anything else on the link page is ignored, as a banner
// without a link is.
void NoticeStrip::OpenBannerLink(int banner)
{
    OpenLink(m_platform, &m_window, BannerLink(banner), LinkUse::Banner);
}

// Pointer over a banner: its link as the hint, as plain text. A tooltip that looks like
// markup is shown as rich text, and the link page is the server's, not ours.
void NoticeStrip::ShowBannerLink(int banner)
{
    const QString link = GbkToQ(BannerLink(banner));
    (banner == 1 ? m_ui.Image1 : m_ui.Image2)
        ->setToolTip(Qt::mightBeRichText(link) ? Qt::convertFromPlainText(link) : link);
}

void NoticeStrip::Label15Click()
{
    const std::string shown = QToGbk(m_ui.Label15->text());
    for (std::size_t i = 0; i < m_captions.size() && i < m_links.size(); ++i) {
        if (m_captions[i] == shown) {
            OpenLink(m_platform, &m_window, m_links[i], LinkUse::Page);
            return;
        }
    }
}

void NoticeStrip::SetCaptionHover(bool hovered)
{
    QFont f = m_ui.Label15->font();
    f.setUnderline(hovered);
    m_ui.Label15->setFont(f);
    if (hovered)
        m_ui.Label15->setCursor(Qt::PointingHandCursor);
    else
        m_ui.Label15->unsetCursor();
}

// Pointer over a notice that names an update archive: the notice becomes its download link.
// Any other notice leaves the hint and the cursor as they were.
void NoticeStrip::Label6MouseMove()
{
    if (!NamesUpdateArchive(QToGbk(m_ui.Label6->text())))
        return;
    m_ui.Label6->setToolTip("点击我下载吧！");
    m_ui.Label6->setCursor(Qt::PointingHandCursor);
    m_updateArmed = true;
}

void NoticeStrip::Label6Click()
{
    if (!m_updateArmed)
        return;
    const std::string archive = UpdateArchiveName(QToGbk(m_ui.Label6->text()));
    const QString chosen = m_platform.files.ChooseOpen(&m_window, "绿色压缩文件(RAR文件) (*.rar)");
    if (chosen.isEmpty())
        return;
    // The chosen name is a prefix of the saved file's name.
    const SavedDownload saved = m_files.Save("/" + archive, chosen + "【感谢下载Zumalo】.rar");
    if (saved.outcome != SavedDownload::Outcome::Saved) {
        ShowWarning(DownloadFailure("下载软件失败...", saved));
        return;
    }
    ShowWarning("感谢您下载Zumalo，软件下载完成，软件大小" + QString::number(saved.size) + "字节");
}
