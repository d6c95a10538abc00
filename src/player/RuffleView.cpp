#include "player/RuffleView.h"

#include "core/Links.h"
#include "core/PlayerProtocol.h"

#include <QColor>
#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QLoggingCategory>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QTimer>
#include <QUrl>
#include <QWebEnginePage>
#include <QWebEngineSettings>
#include <QWebEngineView>

Q_LOGGING_CATEGORY(lcPlayer, "zumalo.player", QtWarningMsg)

namespace {

// A text as a JavaScript string literal.
QString JsString(const QString& text)
{
    const QByteArray array = QJsonDocument(QJsonArray{text}).toJson(QJsonDocument::Compact);
    return QString::fromUtf8(array.mid(1, array.size() - 2));
}

const QColor kBackground(0xb9, 0xd1, 0xea); // the window's colour, shown until a movie draws

} // namespace

// Hands the page's "zumalo:" console lines to the view and keeps the page where it is.
class RuffleView::Page final : public QWebEnginePage
{
public:
    Page(RuffleView& view, QUrl home, QObject* parent)
        : QWebEnginePage(parent)
        , m_owner(view)
        , m_home(std::move(home))
    {
    }

protected:
    void javaScriptConsoleMessage(JavaScriptConsoleMessageLevel, const QString& message, int,
                                  const QString&) override
    {
        m_owner.PageMessage(message);
    }

    bool acceptNavigationRequest(const QUrl& url, NavigationType, bool isMainFrame) override
    {
        return !isMainFrame || url == m_home;
    }

private:
    RuffleView& m_owner;
    QUrl m_home;
};

RuffleView::RuffleView(const QString& pagePath, Pace pace)
    : m_network(new QNetworkAccessManager(this))
    , m_paceTimer(new QTimer(this))
    , m_pace(pace)
    , m_pagePath(pagePath)
{
    const QUrl home = QUrl::fromLocalFile(QDir(m_pagePath).absolutePath());
    m_view = new QWebEngineView;
    m_view->setContextMenuPolicy(Qt::NoContextMenu); // only the player's own menu, when on
    auto* page = new Page(*this, home, m_view);
    page->setBackgroundColor(kBackground);
    QWebEngineSettings* settings = page->settings();
    settings->setAttribute(QWebEngineSettings::PlaybackRequiresUserGesture, false);
    settings->setAttribute(QWebEngineSettings::ShowScrollBars, false);
    m_view->setPage(page);
    connect(page, &QWebEnginePage::loadFinished, this, &RuffleView::PageLoadFinished);
    connect(page, &QWebEnginePage::renderProcessTerminated, this,
            [this] { emit failed(m_loadNumber, QStringLiteral("the player's page stopped")); });
    m_paceTimer->setInterval(static_cast<int>(std::max(1L, m_pace.lowSpeedSeconds) * 1000));
    connect(m_paceTimer, &QTimer::timeout, this, &RuffleView::CheckPace);
    m_view->setUrl(home);
}

RuffleView::~RuffleView()
{
    if (m_download)
        m_download->abort();
    delete m_view.data();
}

QWidget* RuffleView::Widget()
{
    return m_view;
}

void RuffleView::LoadMovie(int loadNumber, const QString& url)
{
    // A new movie replaces what is shown.
    m_loadNumber = loadNumber;
    m_playing = false;
    if (!m_pageError.isEmpty()) {
        emit failed(loadNumber, m_pageError); // each load hears it, also the ones after it
        return;
    }
    m_paceTimer->stop();
    if (m_download)
        m_download->abort(); // its finished() comes at once and is ignored as an earlier load

    // Movies come from the web only: a local path or another scheme would let a row read
    // the user's files into the page.
    const QUrl address(url, QUrl::StrictMode);
    if (!IsWebLink(url.toStdString()) || !address.isValid()) {
        Fail(QStringLiteral("not a movie address: %1").arg(url));
        return;
    }
    // Until its bytes are in the page says that the movie is coming.
    RunScript(QStringLiteral("zumaloLoading(%1, %2)")
                  .arg(loadNumber)
                  .arg(JsString(QString::fromUtf8(player_protocol::MovieLoadingText))));
    QNetworkRequest request(address);
    request.setMaximumRedirectsAllowed(5);
    QNetworkReply* reply = m_network->get(request);
    m_download = reply;
    m_received = 0;
    m_receivedAtTick = 0;
    m_paceTimer->start();
    connect(reply, &QNetworkReply::downloadProgress, reply,
            [this, reply](qint64 received, qint64 total) {
                if (reply == m_download)
                    m_received = received;
                if (received > MaxMovieBytes || total > MaxMovieBytes) {
                    reply->setProperty("tooLarge", true);
                    reply->abort();
                }
            });
    connect(reply, &QNetworkReply::finished, this, [this, reply, loadNumber] {
        reply->deleteLater();
        MovieDownloaded(reply, loadNumber);
    });
}

// A download has no bound in total, but one that trickles ends: a slow host may take its
// time with a large movie as long as the bytes keep coming.
void RuffleView::CheckPace()
{
    if (!m_download) {
        m_paceTimer->stop();
        return;
    }
    if (m_received - m_receivedAtTick < m_pace.lowSpeedBytes * m_pace.lowSpeedSeconds) {
        m_download->setProperty("tooSlow", true);
        m_download->abort();
        return;
    }
    m_receivedAtTick = m_received;
}

void RuffleView::MovieDownloaded(QNetworkReply* reply, int loadNumber)
{
    if (loadNumber != m_loadNumber)
        return; // replaced by a later movie
    m_paceTimer->stop();
    if (reply->error() != QNetworkReply::NoError) {
        if (reply->property("tooLarge").toBool())
            Fail(QStringLiteral("the movie is larger than %1 bytes: %2")
                     .arg(MaxMovieBytes)
                     .arg(reply->url().toString()));
        else if (reply->property("tooSlow").toBool())
            Fail(QStringLiteral("the movie came slower than %1 bytes a second for %2 s: %3")
                     .arg(m_pace.lowSpeedBytes)
                     .arg(m_pace.lowSpeedSeconds)
                     .arg(reply->url().toString()));
        else
            Fail(QStringLiteral("the movie could not be downloaded: %1").arg(reply->errorString()));
        return;
    }
    const QByteArray data = reply->readAll();
    RunScript(QStringLiteral("zumaloLoad(%1, %2, \"%3\", %4)")
                  .arg(loadNumber)
                  .arg(JsString(reply->url().toString()), QString::fromLatin1(data.toBase64()),
                       m_playing ? QStringLiteral("true") : QStringLiteral("false")));
}

void RuffleView::Fail(const QString& reason)
{
    qCWarning(lcPlayer) << reason;
    // The user reads the window's language; the reason is for the log.
    RunScript(QStringLiteral("zumaloFailed(%1, %2)")
                  .arg(m_loadNumber)
                  .arg(JsString(QString::fromUtf8(player_protocol::MovieFailedText))));
    emit failed(m_loadNumber, reason);
}

void RuffleView::Play()
{
    // Before the movie is in the page this only marks it to start as soon as it loads.
    m_playing = true;
    RunScript(QStringLiteral("zumaloPlay()"));
}

void RuffleView::SetMenu(bool on)
{
    // Applies at once through the page's own guard, and to the next movie's configuration.
    RunScript(QStringLiteral("zumaloMenu(%1)").arg(on ? "true" : "false"));
}

void RuffleView::RunScript(const QString& script)
{
    if (!m_pageError.isEmpty() || !m_view)
        return;
    if (!m_pageReady) {
        m_pending << script;
        return;
    }
    m_view->page()->runJavaScript(script);
}

void RuffleView::PageLoadFinished(bool ok)
{
    if (m_pageReady || !m_pageError.isEmpty())
        return;
    if (!ok) {
        m_pageError = QStringLiteral("the player page %1 could not be loaded").arg(m_pagePath);
        m_pending.clear();
        emit failed(m_loadNumber, m_pageError);
        return;
    }
    m_pageReady = true;
    const QStringList pending = std::exchange(m_pending, {});
    for (const QString& script : pending)
        m_view->page()->runJavaScript(script);
}

void RuffleView::PageMessage(const QString& message)
{
    // "zumalo:" and then a report in the player's own line form: "loaded <load number>" or
    // "failed <load number> <reason>".
    static const QString prefix = QStringLiteral("zumalo:");
    if (!message.startsWith(prefix))
        return;
    const auto report = player_protocol::Parse(message.mid(prefix.size()).toStdString());
    if (!report || report->first != m_loadNumber)
        return; // not a report, or about a movie that has since been replaced
    if (report->command == player_protocol::Command::Loaded)
        emit loaded(report->first);
    else if (report->command == player_protocol::Command::Failed)
        Fail(QString::fromStdString(report->text)); // Ruffle's own panel would speak English
}
