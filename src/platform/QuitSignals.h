#pragma once

#include <QObject>

#include <memory>

class QSocketNotifier;

// SIGTERM and SIGINT end the program the ordinary way, through the event loop, so that the
// main window's shutdown still logs the user out and closes the database. The handler only
// writes to a pipe; the event loop then closes any modal window that is up (the login
// dialog runs before the main loop, where quitting the loop alone would do nothing) and
// quits the main loop. One object at a time.
class QuitSignals final : public QObject
{
    Q_OBJECT
public:
    QuitSignals();
    ~QuitSignals() override;

    // Whether a signal has come; main() then skips the main loop.
    bool Requested() const { return m_requested; }

signals:
    void received();

private:
    void OnPipe();

    int m_pipe[2] = {-1, -1};
    std::unique_ptr<QSocketNotifier> m_notifier;
    bool m_requested = false;
};
