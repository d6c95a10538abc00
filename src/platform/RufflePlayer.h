#pragma once

#include "platform/Platform.h"

#include <QObject>
#include <QPointer>
#include <QString>

#include <string>

class QLabel;
class QProcess;
struct Settings;

// The player's view can only be placed inside the client's window on X11: on a Wayland
// desktop the client runs through its X server unless told otherwise. main() calls it
// before it constructs QApplication.
void PreferX11ForMoviePlayer();

// The movie player of the video window and of the registration dialog's banner. The player
// runs in a process of its own, zumalo-player beside the program, started when a movie opens
// and ended with the window that shows it: the web engine that runs the Ruffle Flash player
// is large, and only a process of its own gives all of it back. On X11 the player's view is
// placed inside this player's surface; elsewhere the player runs without a window of its own
// on screen.
//
// Calls are passed on in order; the player queues them until its page is ready. loaded()
// tells that the movie's header has been read and it is showing; failed() that the page or
// the movie could not be loaded, or that the player process ended, with the reason for the
// log; the user reads it in Chinese in the player's area.
class RufflePlayer final : public QObject, public MoviePlayer
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(RufflePlayer)

public:
    struct Options
    {
        QString program;          // zumalo-player
        QString page;             // player.html, with the Ruffle files beside it
        long lowSpeedBytes = 0;   // a movie download ends when fewer bytes a second than
        long lowSpeedSeconds = 0; // this arrive for this long

        // zumalo-player and player/ in programDir, the download pace of settings.
        static Options From(const QString& programDir, const Settings& settings);
    };

    RufflePlayer(QWidget* parent, const Options& options);
    ~RufflePlayer() override;

    QWidget* Widget() override;
    void LoadMovie(int layer, const QString& url) override;
    void Play() override;
    void SetMenu(bool on) override;

    // The address of the last movie asked for, and whether it has been loaded.
    QString MovieUrl() const { return m_movieUrl; }
    bool IsLoaded() const { return m_loaded; }
    bool MenuOn() const { return m_menu; }
    // The player process's id while it runs, else 0.
    qint64 ProcessId() const;
    // What the player's area tells the user instead of a movie, "" while it shows none.
    QString Message() const;

signals:
    void loaded();
    void failed(const QString& reason);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void Send(const std::string& line);
    void ReadReports();
    void ProcessEnded();
    void ShowMessage(const QString& text);

    QPointer<QWidget> m_surface;
    QLabel* m_message = nullptr;   // a child of the surface, made at the first load
    QProcess* m_process = nullptr; // outlives the player until it has ended
    QString m_movieUrl;
    int m_loadNumber = 0; // counts loads, so a late report of an earlier movie is ignored
    bool m_loaded = false;
    bool m_menu = true;
};

class RufflePlayerFactory final : public MoviePlayerFactory
{
public:
    RufflePlayerFactory(const QString& programDir, const Settings& settings)
        : m_options(RufflePlayer::Options::From(programDir, settings))
    {
    }
    std::unique_ptr<MoviePlayer> Create(QWidget* parent) override;

private:
    RufflePlayer::Options m_options;
};
