#pragma once

#include "platform/Platform.h"

#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>

class QNetworkAccessManager;
class QNetworkReply;
class QWebEngineView;

// Sets what the player's web engine needs in this process's environment. main() calls it
// before it constructs QApplication: as root the engine only starts without its sandbox.
void PrepareMoviePlayerEnvironment();

// The movie player of the video window: a web view running the Ruffle Flash player from
// player.html in the player folder beside the program (build/bin/player). The player
// downloads the movie itself and hands its bytes to the page: a page loaded from a file may
// only fetch from servers that allow it by CORS headers, which Flash hosts do not send.
//
// Calls made before the page is ready are queued and run in order once it is. loaded() tells
// that the movie's header has been read and it is showing; failed() that the page or the
// movie could not be loaded (the reason is also shown in the player's area).
class RufflePlayer final : public QObject, public MoviePlayer
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(RufflePlayer)

public:
    RufflePlayer(QWidget* parent, const QString& playerDir);
    ~RufflePlayer() override;

    QWidget* Widget() override;
    void LoadMovie(int layer, const QString& url) override;
    void Play() override;
    void SetMenu(bool on) override;

    // Movies larger than this are refused.
    static constexpr qint64 MaxMovieBytes = qint64{64} * 1024 * 1024;

    // The address of the last movie asked for, and whether it has been loaded.
    QString MovieUrl() const { return m_movieUrl; }
    bool IsLoaded() const { return m_loaded; }
    bool MenuOn() const { return m_menu; }

    // Runs JavaScript in the page once it is ready (tests ask the player what it shows).
    void RunScript(const QString& script);

signals:
    void loaded();
    void failed(const QString& reason);

private:
    class Page;
    void PageMessage(const QString& message);
    void PageLoadFinished(bool ok);
    void MovieDownloaded(QNetworkReply* reply, int generation);
    void Fail(const QString& reason);

    QPointer<QWebEngineView> m_view;
    QNetworkAccessManager* m_network = nullptr; // a child of the player
    QPointer<QNetworkReply> m_download;
    QString m_pagePath;
    QStringList m_pending; // scripts waiting for the page
    bool m_pageReady = false;
    bool m_pageFailed = false;
    QString m_movieUrl;
    int m_generation = 0; // counts loads, so a late report of an earlier movie is ignored
    bool m_loaded = false;
    bool m_playing = false; // Play asked for since the last LoadMovie
    bool m_menu = true;
};

class RufflePlayerFactory final : public MoviePlayerFactory
{
public:
    // playerDir holds player.html and the Ruffle files.
    explicit RufflePlayerFactory(QString playerDir)
        : m_playerDir(std::move(playerDir))
    {
    }
    std::unique_ptr<MoviePlayer> Create(QWidget* parent) override;

private:
    QString m_playerDir;
};
