#pragma once

#include <QString>
#include <QtGlobal>

#include <mutex>

// The messages the program logs while a LogCapture lives, passed on to the handler before it.
// The text starts empty with each capture.
class LogCapture
{
public:
    LogCapture()
    {
        {
            const std::lock_guard lock(s_mutex);
            s_text.clear();
        }
        s_previous = qInstallMessageHandler(Handle);
    }
    ~LogCapture() { qInstallMessageHandler(s_previous); }
    LogCapture(const LogCapture&) = delete;
    LogCapture& operator=(const LogCapture&) = delete;

    static QString Text()
    {
        const std::lock_guard lock(s_mutex);
        return s_text;
    }

private:
    static void Handle(QtMsgType type, const QMessageLogContext& context, const QString& text)
    {
        {
            const std::lock_guard lock(s_mutex);
            s_text += text + '\n';
        }
        s_previous(type, context, text);
    }
    static inline QtMessageHandler s_previous = nullptr;
    static inline std::mutex s_mutex;
    static inline QString s_text;
};
