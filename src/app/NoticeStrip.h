#pragma once

#include <QObject>
#include <QString>
#include <QTimer>

#include <functional>
#include <string>
#include <vector>

class DbSession;
class QWidget;
class ServerFiles;
struct Platform;
struct Settings;
struct TMainFormControls;

// The strip along the top of the main window and the caption under the list: the
// operator's notice, which doubles as the link to a new version of the program, the banners
// with their links, the rotating captions with theirs and the day's temperature.
class NoticeStrip final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(NoticeStrip)

public:
    // requestQuit ends the program (the service switched off).
    NoticeStrip(QWidget& window, TMainFormControls& ui, DbSession& db, const Settings& settings,
                Platform& platform, ServerFiles& files, std::function<void()> requestQuit);

    // Start-up steps.
    void FetchBanners();
    // The service record: notice, switch, captions; then the banners' link page.
    void ReadServiceRecord();
    void ShowTemperature();
    QTimer& TemperatureTimer() { return m_temperatureTimer; }

    // The design's handlers (TMainForm forwards to these).
    void NoticeRefresh();
    void NextCaption();
    void OpenBannerLink(int banner);
    void ShowBannerLink(int banner);
    void OpenCaptionLink();
    void SetCaptionHover(bool hovered);
    void ArmUpdateDownload();
    void DisarmUpdateDownload() { m_updateArmed = false; }
    void DownloadUpdate();

    const std::vector<std::string>& Captions() const { return m_captions; }
    const std::string& BannerLink(int banner) const { return banner == 1 ? m_link1 : m_link2; }

private:
    void ReadLinkPage();
    void ShowWarning(const QString& text);

    QWidget& m_window;
    TMainFormControls& m_ui;
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
