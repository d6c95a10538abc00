#pragma once

#include <functional>
#include <string>
#include <string_view>

// The operator's log: one line an event on standard output. Under systemd (JOURNAL_STREAM
// set) each line carries its priority, so that `journalctl -p warning` shows the rejections,
// and the journal stamps it; anywhere else each line starts with the local time.

enum class LogLevel {
    Info,
    Warning,
};

using LogSink = std::function<void(LogLevel level, const std::string& line)>;

// "yyyy-mm-dd hh:mm:ss.mmm " of the local time, or "" under the journal.
std::string LogStamp();

// Writes a line whole, also when several threads log at once.
void WriteLogLine(LogLevel level, std::string_view line);

// A reason the service cannot start, on standard error; under systemd with the priority
// "err", so that `journalctl -p err` and `systemctl status` show why it stopped.
void WriteFatalLine(std::string_view line);

// "a.b.c.d:port" of an address and port in host order.
std::string EndpointText(unsigned ip, unsigned port);
