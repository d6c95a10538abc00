#include "platform/RufflePlayer.h"

#include "core/Links.h"

#include <QColor>
#include <QCoreApplication>
#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QLoggingCategory>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QUrl>
#include <QWebEnginePage>
#include <QWebEngineSettings>
#include <QWebEngineView>

#include <unistd.h>

void PrepareMoviePlayerEnvironment()
{
    // Chromium refuses to run its sandbox as root; a normal user keeps it.
    if (::geteuid() == 0 && qEnvironmentVariableIsEmpty("QTWEBENGINE_DISABLE_SANDBOX"))
        qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
}

namespace {

// A text as a JavaScript string literal.
QString JsString(const QString& text)
{
    const QByteArray array = QJsonDocument(QJsonArray{text}).toJson(QJsonDocument::Compact);
    return QString::fromUtf8(array.mid(1, array.size() - 2));
}

const QColor kBackground(0xb9, 0xd1, 0xea); // the window's colour, shown until a movie draws
constexpr int kDownloadTimeoutMs = 30000;   // without a byte for this long the download ends

} // namespace

// Hands the page's "zumalo:" console lines to the player and keeps the page where it is.
class RufflePlayer::Page final : public QWebEnginePage
{
public:
    Page(RufflePlayer& player, QUrl home, QObject* parent)
        : QWebEnginePage(parent)
        , m_player(player)
        , m_home(std::move(home))
    {
    }

protected:
    void javaScriptConsoleMessage(JavaScriptConsoleMessageLevel, const QString& message, int,
                                  const QString&) override
    {
        m_player.PageMessage(message);
    }

    bool acceptNavigationRequest(const QUrl& url, NavigationType, bool isMainFrame) override
    {
        return !isMainFrame || url == m_home;
    }

private:
    RufflePlayer& m_player;
    QUrl m_home;
};

RufflePlayer::RufflePlayer(QWidget* parent, const QString& playerDir)
    : m_network(new QNetworkAccessManager(this))
    , m_pagePath(QDir(playerDir).filePath("player.html"))
{
    const QUrl home = QUrl::fromLocalFile(m_pagePath);
    m_view = new QWebEngineView(parent);
    m_view->setContextMenuPolicy(Qt::NoContextMenu); // only the player's own menu, when on
    auto* page = new Page(*this, home, m_view);
    page->setBackgroundColor(kBackground);
    QWebEngineSettings* settings = page->settings();
    settings->setAttribute(QWebEngineSettings::PlaybackRequiresUserGesture, false);
    settings->setAttribute(QWebEngineSettings::ShowScrollBars, false);
    m_view->setPage(page);
    connect(page, &QWebEnginePage::loadFinished, this, &RufflePlayer::PageLoadFinished);
    connect(page, &QWebEnginePage::renderProcessTerminated, this,
            [this] { emit failed(QStringLiteral("the player's page stopped")); });
    m_network->setTransferTimeout(kDownloadTimeoutMs);
    m_view->setUrl(home);
}

RufflePlayer::~RufflePlayer()
{
    if (m_download)
        m_download->abort();
    delete m_view.data(); // null when the window has already taken it down
}

QWidget* RufflePlayer::Widget()
{
    return m_view;
}

void RufflePlayer::LoadMovie(int /*layer*/, const QString& url)
{
    // Only the root layer is used: a new movie replaces what is shown.
    m_movieUrl = url;
    m_loaded = false;
    m_playing = false;
    const int generation = ++m_generation;
    if (m_download)
        m_download->abort(); // its finished() comes at once and is ignored as an earlier load

    // Movies come from the web only: a local path or another scheme would let a row read
    // the user's files into the page.
    const QUrl address(url, QUrl::StrictMode);
    if (!IsWebLink(url.toStdString()) || !address.isValid()) {
        Fail(QStringLiteral("not a movie address: %1").arg(url));
        return;
    }
    QNetworkRequest request(address);
    request.setMaximumRedirectsAllowed(5);
    QNetworkReply* reply = m_network->get(request);
    m_download = reply;
    connect(reply, &QNetworkReply::downloadProgress, reply, [reply](qint64 received, qint64 total) {
        if (received > MaxMovieBytes || total > MaxMovieBytes) {
            reply->setProperty("tooLarge", true);
            reply->abort();
        }
    });
    connect(reply, &QNetworkReply::finished, this, [this, reply, generation] {
        reply->deleteLater();
        MovieDownloaded(reply, generation);
    });
}

void RufflePlayer::MovieDownloaded(QNetworkReply* reply, int generation)
{
    if (generation != m_generation)
        return; // replaced by a later movie
    if (reply->error() != QNetworkReply::NoError) {
        Fail(reply->property("tooLarge").toBool()
                 ? QStringLiteral("the movie is larger than %1 bytes: %2")
                       .arg(MaxMovieBytes)
                       .arg(m_movieUrl)
                 : QStringLiteral("the movie could not be downloaded: %1")
                       .arg(reply->errorString()));
        return;
    }
    const QByteArray data = reply->readAll();
    RunScript(QStringLiteral("zumaloLoad(%1, %2, \"%3\", %4)")
                  .arg(generation)
                  .arg(JsString(reply->url().toString()), QString::fromLatin1(data.toBase64()),
                       m_playing ? QStringLiteral("true") : QStringLiteral("false")));
}

Q_LOGGING_CATEGORY(lcPlayer, "zumalo.player", QtWarningMsg)

void RufflePlayer::Fail(const QString& reason)
{
    qCWarning(lcPlayer) << reason;
    RunScript(QStringLiteral("zumaloFailed(%1, %2)").arg(m_generation).arg(JsString(reason)));
    emit failed(reason);
}

void RufflePlayer::Play()
{
    // Before the movie is in the page this only marks it to start as soon as it loads.
    m_playing = true;
    RunScript(QStringLiteral("zumaloPlay()"));
}

void RufflePlayer::SetMenu(bool on)
{
    // Applies at once through the page's own guard, and to the next movie's configuration.
    m_menu = on;
    RunScript(QStringLiteral("zumaloMenu(%1)").arg(on ? "true" : "false"));
}

void RufflePlayer::RunScript(const QString& script)
{
    if (m_pageFailed || !m_view)
        return;
    if (!m_pageReady) {
        m_pending << script;
        return;
    }
    m_view->page()->runJavaScript(script);
}

void RufflePlayer::PageLoadFinished(bool ok)
{
    if (m_pageReady || m_pageFailed)
        return;
    if (!ok) {
        m_pageFailed = true;
        m_pending.clear();
        emit failed(QStringLiteral("the player page %1 could not be loaded").arg(m_pagePath));
        return;
    }
    m_pageReady = true;
    const QStringList pending = std::exchange(m_pending, {});
    for (const QString& script : pending)
        m_view->page()->runJavaScript(script);
}

void RufflePlayer::PageMessage(const QString& message)
{
    // "zumalo:loaded <load number>" and "zumalo:failed <load number> <reason>".
    static const QString prefix = QStringLiteral("zumalo:");
    if (!message.startsWith(prefix))
        return;
    const QStringList words = message.mid(prefix.size()).split(u' ');
    const QString kind = words.value(0);
    if (kind != u"loaded" && kind != u"failed")
        return;
    if (words.value(1).toInt() != m_generation)
        return; // about a movie that has since been replaced
    if (kind == u"loaded") {
        m_loaded = true;
        emit loaded();
    } else {
        emit failed(words.mid(2).join(u' '));
    }
}

std::unique_ptr<MoviePlayer> RufflePlayerFactory::Create(QWidget* parent)
{
    return std::make_unique<RufflePlayer>(parent, m_playerDir);
}
