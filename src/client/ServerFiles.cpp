#include "client/ServerFiles.h"

#include "core/AtomicSave.h"
#include "core/Session.h"
#include "core/Settings.h"
#include "core/Waits.h"

#include <QFile>
#include <QLoggingCategory>

namespace {

// Why a download could not be saved, for an operator.
Q_LOGGING_CATEGORY(lcFiles, "zumalo.files", QtWarningMsg)

} // namespace

ServerFiles::ServerFiles(const Settings& settings, const Session& session, const Waits& waits)
    : m_settings(settings)
    , m_session(session)
    , m_waits(waits)
{
}

long ServerFiles::Allow(long ownSeconds) const
{
    return m_startupBudget ? m_startupBudget->Allow(ownSeconds) : ownSeconds;
}

HttpResult ServerFiles::Fetch(const std::string& path, FetchSize size) const
{
    if (m_startupBudget && size == FetchSize::Page) {
        const Settings bounded = m_startupBudget->Bounded(m_settings);
        if (bounded.httpTimeoutSeconds == 0) {
            HttpResult skipped;
            skipped.outcome = HttpResult::Outcome::NoResponse;
            skipped.error = "not fetched: the start-up's bound was used up";
            qCWarning(lcHttp) << path.c_str() << skipped.error.c_str();
            return skipped;
        }
        const WaitScope waiting(m_waits);
        return ::FetchServerFile(bounded, m_session.ServerAddress, path, size);
    }
    const WaitScope waiting(m_waits);
    return ::FetchServerFile(m_settings, m_session.ServerAddress, path, size);
}

SavedDownload ServerFiles::Save(const std::string& path, const QString& fileName) const
{
    using Outcome = SavedDownload::Outcome;
    const HttpResult got = Fetch(path, FetchSize::Download);
    if (!got.ok) // nothing was opened, so a file already there stays as it was
        return {got.gaveUp ? Outcome::GaveUp : Outcome::FetchFailed};
    const QByteArray name = QFile::encodeName(fileName);
    const std::string failure = SaveAtomically(name.toStdString(), got.body);
    if (!failure.empty()) {
        qCWarning(lcFiles) << "cannot save" << fileName << ":" << failure.c_str();
        return {Outcome::WriteFailed};
    }
    return {Outcome::Saved, got.body.size()};
}
