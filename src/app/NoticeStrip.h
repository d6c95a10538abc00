#pragma once

#include <QObject>
#include <QString>
#include <QTimer>

#include <functional>
#include <string>
#include <vector>

class ClickLabel;
class DbSession;
class QWidget;
class ServerFiles;
struct Platform;
struct Settings;

// The strip along the top of the main window and the caption under the list: the
// operator's notice, which doubles as the link to a new version of the program, the banners
// with their links, the rotating captions with theirs and the day's temperature.
class NoticeStrip final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(NoticeStrip)

public:
    // The window's controls the strip works on; the strip binds their events itself.
    struct Controls
    {
        ClickLabel* Label6; // the notice
        ClickLabel* Image1; // the banners
        ClickLabel* Image2;
        ClickLabel* Label15; // the rotating caption
        QTimer* Timer1;      // which turns it
        ClickLabel* Label1;  // the temperature
    };

    // requestQuit ends the program (the service switched off).
    NoticeStrip(QWidget& window, Controls ui, DbSession& db, const Settings& settings,
                Platform& platform, ServerFiles& files, std::function<void()> requestQuit);

    // Start-up steps.
    void FetchBanners();
    // The service record: notice, switch, captions; then the banners' link page.
    void ReadServiceRecord();
    void ShowTemperature();
    QTimer& TemperatureTimer() { return m_temperatureTimer; }

    // The notice read again (the server's "Refresh Command").
    void NoticeRefresh();

    // The design's handlers, bound to their controls by the strip.
    void Timer1Timer(); // the next caption
    void Image1Click() { OpenBannerLink(1); }
    void Image2Click() { OpenBannerLink(2); }
    void Image1MouseMove() { ShowBannerLink(1); }
    void Image2MouseMove() { ShowBannerLink(2); }
    void Label15Click(); // the caption's link
    void Label15MouseMove() { SetCaptionHover(true); }
    void Label15MouseLeave() { SetCaptionHover(false); }
    void Label6MouseMove(); // a notice naming an update archive becomes its download link
    void Label6MouseLeave() { m_updateArmed = false; }
    void Label6Click(); // the update download

    const std::vector<std::string>& Captions() const { return m_captions; }
    const std::string& BannerLink(int banner) const { return banner == 1 ? m_link1 : m_link2; }

private:
    void OpenBannerLink(int banner);
    void ShowBannerLink(int banner);
    void SetCaptionHover(bool hovered);
    void ReadLinkPage();
    void ShowWarning(const QString& text);

    QWidget& m_window;
    Controls m_ui;
    DbSession& m_db;
    const Settings& m_settings;
    Platform& m_platform;
    ServerFiles& m_files;
    std::function<void()> m_requestQuit;

    QTimer m_temperatureTimer;
    std::vector<std::string> m_captions;
    std::vector<std::string> m_links;
    std::string m_link1;
    std::string m_link2;
    int m_captionIndex = -1;
    bool m_updateArmed = false; // the pointer moved over a notice naming an update archive
};
