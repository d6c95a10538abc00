#include "platform/QuitSignals.h"

#include <QApplication>
#include <QDialog>
#include <QSocketNotifier>
#include <QWidget>

#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace {

int g_writeEnd = -1;

void OnSignal(int)
{
    const char byte = 1;
    [[maybe_unused]] const ssize_t n = ::write(g_writeEnd, &byte, 1);
}

} // namespace

QuitSignals::QuitSignals()
{
    if (::pipe2(m_pipe, O_CLOEXEC | O_NONBLOCK) != 0)
        return;
    g_writeEnd = m_pipe[1];
    m_notifier = std::make_unique<QSocketNotifier>(m_pipe[0], QSocketNotifier::Read);
    connect(m_notifier.get(), &QSocketNotifier::activated, this, &QuitSignals::OnPipe);
    std::signal(SIGTERM, OnSignal);
    std::signal(SIGINT, OnSignal);
}

QuitSignals::~QuitSignals()
{
    if (m_pipe[0] < 0)
        return;
    std::signal(SIGTERM, SIG_DFL);
    std::signal(SIGINT, SIG_DFL);
    g_writeEnd = -1;
    m_notifier.reset();
    ::close(m_pipe[0]);
    ::close(m_pipe[1]);
}

void QuitSignals::OnPipe()
{
    // Emptied, or the notifier fires again at once and for ever.
    char bytes[64];
    while (::read(m_pipe[0], bytes, sizeof bytes) > 0) { }
    m_requested = true;
    // Innermost first; a window that refuses to close ends the walk.
    QWidget* previous = nullptr;
    while (QWidget* modal = QApplication::activeModalWidget()) {
        if (modal == previous)
            break;
        previous = modal;
        if (auto* dialog = qobject_cast<QDialog*>(modal))
            dialog->reject();
        else
            modal->close();
    }
    QCoreApplication::quit();
    emit received();
}
