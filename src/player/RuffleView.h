#pragma once

#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>

class QNetworkAccessManager;
class QNetworkReply;
class QTimer;
class QWebEngineView;
class QWidget;

// The movie player itself: a web view running the Ruffle Flash player from player.html in
// the player folder. It downloads the movie and hands its bytes to the page: a page loaded
// from a file may only fetch from servers that allow it by CORS headers, which Flash hosts
// do not send.
//
// Calls made before the page is ready are queued and run in order once it is. loaded()
// tells that the movie's header has been read and it is showing; failed() that the page or
// the movie could not be loaded (the reason is also shown in the player's area). Both carry
// the load number given to LoadMovie.
class RuffleView final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(RuffleView)

public:
    // A download ends when fewer than lowSpeedBytes a second arrive for lowSpeedSeconds.
    struct Pace
    {
        long lowSpeedBytes = 0;
        long lowSpeedSeconds = 0;
    };

    RuffleView(const QString& pagePath, Pace pace);
    ~RuffleView() override;

    QWidget* Widget();
    void LoadMovie(int loadNumber, const QString& url);
    void Play();
    void SetMenu(bool on);

    // Movies larger than this are refused.
    static constexpr qint64 MaxMovieBytes = qint64{64} * 1024 * 1024;

signals:
    void loaded(int loadNumber);
    void failed(int loadNumber, const QString& reason);

private:
    class Page;
    void RunScript(const QString& script);
    void PageMessage(const QString& message);
    void PageLoadFinished(bool ok);
    void CheckPace();
    void MovieDownloaded(QNetworkReply* reply, int loadNumber);
    void Fail(const QString& reason);

    QPointer<QWebEngineView> m_view;
    QNetworkAccessManager* m_network = nullptr; // a child of the view's owner, this
    QPointer<QNetworkReply> m_download;
    QTimer* m_paceTimer = nullptr;
    Pace m_pace;
    qint64 m_received = 0;       // bytes of the current download so far
    qint64 m_receivedAtTick = 0; // ... when the pace was last checked
    QString m_pagePath;
    QStringList m_pending; // scripts waiting for the page
    bool m_pageReady = false;
    QString m_pageError; // why the page could not be loaded; empty while it can
    int m_loadNumber = 0;
    bool m_playing = false; // Play asked for since the last LoadMovie
};
