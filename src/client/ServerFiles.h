#pragma once

#include "net/Http.h"
#include "net/WaitBudget.h"

#include <QString>

#include <cstddef>
#include <optional>
#include <string>

class Waits;
struct Session;
struct Settings;

// A file of the file service fetched or saved whole, each fetch a wait of the program's.
struct SavedDownload
{
    enum class Outcome {
        Saved,
        FetchFailed, // the server or the network
        GaveUp,      // too slow: a bound of the download ended it
        WriteFailed, // the disk (the cause is logged)
    };
    Outcome outcome = Outcome::FetchFailed;
    std::size_t size = 0;
};

// The windows' access to the file service of the session's server. While a start-up bound
// runs, the page fetches share it; downloads keep their own bounds.
class ServerFiles
{
public:
    ServerFiles(const Settings& settings, const Session& session, const Waits& waits);

    void BeginStartup(long seconds) { m_startupBudget.emplace(seconds); }
    void EndStartup() { m_startupBudget.reset(); }
    // What is left of the start-up's bound for a wait of ownSeconds; ownSeconds without one.
    long Allow(long ownSeconds) const;

    HttpResult Fetch(const std::string& path, FetchSize size = FetchSize::Page) const;
    // Fetches a file and saves it whole under fileName, or not at all: a failed fetch or
    // write leaves a file already there as it was, and no other behind.
    SavedDownload Save(const std::string& path, const QString& fileName) const;

private:
    const Settings& m_settings;
    const Session& m_session;
    const Waits& m_waits;
    std::optional<WaitBudget> m_startupBudget;
};
