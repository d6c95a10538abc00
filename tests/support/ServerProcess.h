#pragma once

// The real zumalo-server as a child process of a test, on ports it picks itself (port 0),
// with its operator socket in a folder of its own, and a bare UDP client socket on
// 127.0.0.1 to talk to it.

#include <QProcess>
#include <QRegularExpression>
#include <QStringList>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <fstream>
#include <optional>
#include <string>
#include <string_view>

class ServerProcess
{
public:
    explicit ServerProcess(QStringList extraArgs = {})
    {
        QStringList args{"--bind",      "127.0.0.1", "--udp-port", "0",
                         "--http-port", "0",         "--web-port", "0"};
        if (!extraArgs.contains("--admin-socket"))
            args << "--admin-socket" << QString::fromStdString(adminSocket);
        args += extraArgs;
        m_process.setProgram(QStringLiteral(ZUMALO_TEST_BIN_DIR "/zumalo-server"));
        m_process.setArguments(args);
        m_process.setProcessChannelMode(QProcess::MergedChannels);
        m_process.start();
        if (!m_process.waitForStarted(5000))
            return;
        // The first line says ready and names the ports.
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (!m_output.contains("ready") && std::chrono::steady_clock::now() < deadline
               && m_process.state() == QProcess::Running) {
            m_process.waitForReadyRead(200);
            m_output += QString::fromUtf8(m_process.readAll());
        }
        const auto port = [this](const char* service) {
            const auto match =
                QRegularExpression(QString(service) + " [0-9.]+:(\\d+)").match(m_output);
            return match.hasMatch() ? static_cast<std::uint16_t>(match.captured(1).toUInt())
                                    : std::uint16_t{0};
        };
        udpPort = port("udp");
        httpPort = port("http");
        webPort = port("web");
    }

    ~ServerProcess()
    {
        if (m_process.state() != QProcess::NotRunning) {
            m_process.terminate();
            if (!m_process.waitForFinished(5000)) {
                m_process.kill();
                m_process.waitForFinished(2000);
            }
        }
    }

    bool ready() const { return udpPort != 0 && httpPort != 0 && webPort != 0; }
    bool running() const { return m_process.state() == QProcess::Running; }

    // SIGTERM or SIGINT; returns the exit code (-1 when it did not end within 5 s) and
    // keeps what it printed.
    int Stop(int signal = SIGTERM)
    {
        ::kill(static_cast<pid_t>(m_process.processId()), signal);
        if (!m_process.waitForFinished(5000))
            return -1;
        m_output += QString::fromUtf8(m_process.readAll());
        return m_process.exitStatus() == QProcess::NormalExit ? m_process.exitCode() : -1;
    }

    QString output()
    {
        m_output += QString::fromUtf8(m_process.readAll());
        return m_output;
    }
    // Waits up to timeoutMs for text to appear in what the server printed.
    bool WaitForOutput(const QString& text, int timeoutMs = 2000)
    {
        const auto deadline =
            std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        while (!output().contains(text) && std::chrono::steady_clock::now() < deadline)
            m_process.waitForReadyRead(50);
        return m_output.contains(text);
    }
    qint64 pid() const { return m_process.processId(); }

    // The peak of the server's resident memory so far (VmHWM), in KiB; 0 when unknown.
    long PeakRssKib() const
    {
        std::ifstream status("/proc/" + std::to_string(pid()) + "/status");
        std::string line;
        while (std::getline(status, line))
            if (line.starts_with("VmHWM:"))
                return std::stol(line.substr(6));
        return 0;
    }

private:
    QTemporaryDir m_dir;

public:
    const std::string adminSocket = m_dir.path().toStdString() + "/admin.sock";
    std::uint16_t udpPort = 0;
    std::uint16_t httpPort = 0;
    std::uint16_t webPort = 0;

private:
    QProcess m_process;
    QString m_output;
};

// A UDP socket on 127.0.0.1 with blocking reads bounded in time.
class UdpClient
{
public:
    // address in host byte order: any of 127.0.0.0/8 is this machine. Port 0: any free one.
    explicit UdpClient(std::uint32_t address = INADDR_LOOPBACK, std::uint16_t atPort = 0)
    {
        m_fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        sockaddr_in local{};
        local.sin_family = AF_INET;
        local.sin_port = htons(atPort);
        local.sin_addr.s_addr = htonl(address);
        ::bind(m_fd, reinterpret_cast<const sockaddr*>(&local), sizeof local);
        socklen_t length = sizeof local;
        ::getsockname(m_fd, reinterpret_cast<sockaddr*>(&local), &length);
        port = ntohs(local.sin_port);
    }
    ~UdpClient() { ::close(m_fd); }
    UdpClient(const UdpClient&) = delete;
    UdpClient& operator=(const UdpClient&) = delete;

    void SendTo(std::uint16_t toPort, std::string_view datagram) const
    {
        sockaddr_in to{};
        to.sin_family = AF_INET;
        to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        to.sin_port = htons(toPort);
        ::sendto(m_fd, datagram.data(), datagram.size(), 0, reinterpret_cast<const sockaddr*>(&to),
                 sizeof to);
    }

    // The next datagram within timeoutMs, with its source port.
    std::optional<std::string> Receive(int timeoutMs, std::uint16_t* fromPort = nullptr) const
    {
        pollfd waiting{m_fd, POLLIN, 0};
        if (::poll(&waiting, 1, timeoutMs) <= 0)
            return std::nullopt;
        std::string buffer(65536, '\0');
        sockaddr_in from{};
        socklen_t length = sizeof from;
        const ssize_t got = ::recvfrom(m_fd, buffer.data(), buffer.size(), 0,
                                       reinterpret_cast<sockaddr*>(&from), &length);
        if (got < 0)
            return std::nullopt;
        if (fromPort)
            *fromPort = ntohs(from.sin_port);
        buffer.resize(static_cast<std::size_t>(got));
        return buffer;
    }

    // The next datagram of the given type within timeoutMs, skipping others.
    std::optional<std::string> ReceiveType(std::uint8_t type, int timeoutMs) const
    {
        const auto deadline =
            std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        for (;;) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                deadline - std::chrono::steady_clock::now());
            if (left.count() <= 0)
                return std::nullopt;
            auto datagram = Receive(static_cast<int>(left.count()));
            if (datagram && !datagram->empty() && static_cast<std::uint8_t>((*datagram)[0]) == type)
                return datagram;
            if (!datagram)
                return std::nullopt;
        }
    }

    // Drops whatever is waiting.
    void Drain() const
    {
        while (Receive(0)) { }
    }

    int fd() const { return m_fd; }
    std::uint16_t port = 0;

private:
    int m_fd = -1;
};
