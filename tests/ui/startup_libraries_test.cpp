// What the real client has mapped when its login dialog is up: the database's client library
// waits for the first connection and Qt Multimedia for the first sound, so neither may be
// there yet. The client runs on an Xvfb of the test's own, where its dialog is seen mapped.

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>
#include <QThread>

#include <xcb/xcb.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

namespace {

using Clock = std::chrono::steady_clock;

struct XcbDeleter
{
    void operator()(xcb_connection_t* c) const { xcb_disconnect(c); }
};
using Connection = std::unique_ptr<xcb_connection_t, XcbDeleter>;

template <typename Reply> std::unique_ptr<Reply, decltype(&free)> Owned(Reply* reply)
{
    return {reply, &free};
}

xcb_atom_t Atom(xcb_connection_t* c, const char* name)
{
    const auto reply = Owned(xcb_intern_atom_reply(
        c, xcb_intern_atom(c, 0, static_cast<uint16_t>(std::strlen(name)), name), nullptr));
    return reply ? reply->atom : static_cast<xcb_atom_t>(XCB_ATOM_NONE);
}

// Whether a top-level window with this title (UTF-8) is mapped on the display.
bool WindowShown(xcb_connection_t* c, const QByteArray& title)
{
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(c)).data->root;
    const xcb_atom_t name = Atom(c, "_NET_WM_NAME");
    const xcb_atom_t utf8 = Atom(c, "UTF8_STRING");
    const auto tree = Owned(xcb_query_tree_reply(c, xcb_query_tree(c, root), nullptr));
    if (!tree)
        return false;
    const xcb_window_t* children = xcb_query_tree_children(tree.get());
    for (int i = 0; i < xcb_query_tree_children_length(tree.get()); ++i) {
        const auto attributes = Owned(
            xcb_get_window_attributes_reply(c, xcb_get_window_attributes(c, children[i]), nullptr));
        if (!attributes || attributes->map_state != XCB_MAP_STATE_VIEWABLE)
            continue;
        const auto property = Owned(xcb_get_property_reply(
            c, xcb_get_property(c, 0, children[i], name, utf8, 0, 256), nullptr));
        if (!property)
            continue;
        const QByteArray text(static_cast<const char*>(xcb_get_property_value(property.get())),
                              xcb_get_property_value_length(property.get()));
        if (text == title)
            return true;
    }
    return false;
}

class StartupLibraries : public ::testing::Test
{
protected:
    void TearDown() override
    {
        for (QProcess* p : {&m_client, &m_xvfb}) {
            if (p->state() != QProcess::NotRunning) {
                p->kill();
                p->waitForFinished(5000);
            }
        }
    }

    // An Xvfb on the first free display from :170 on; empty when none started.
    QString StartXvfb()
    {
        for (int n = 170; n < 200; ++n) {
            if (QFile::exists(QStringLiteral("/tmp/.X%1-lock").arg(n))
                || QFile::exists(QStringLiteral("/tmp/.X11-unix/X%1").arg(n)))
                continue;
            const QString display = QStringLiteral(":%1").arg(n);
            m_xvfb.start(QStringLiteral("Xvfb"),
                         {display, "-nolisten", "tcp", "-noreset", "-screen", "0", "1024x768x24"});
            if (!m_xvfb.waitForStarted(5000))
                return {};
            const auto deadline = Clock::now() + std::chrono::seconds(20);
            while (Clock::now() < deadline && m_xvfb.state() == QProcess::Running) {
                Connection c(xcb_connect(display.toLatin1().constData(), nullptr));
                if (!xcb_connection_has_error(c.get()))
                    return display;
                QThread::msleep(100);
            }
            return {};
        }
        return {};
    }

    QProcess m_xvfb;
    QProcess m_client;
};

TEST_F(StartupLibraries, TheLoginDialogShowsWithoutTheDatabaseLibraryOrQtMultimedia)
{
    const QString display = StartXvfb();
    ASSERT_FALSE(display.isEmpty()) << "no Xvfb could be started";

    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("DISPLAY"), display);
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    // Under AddressSanitizer: libxkbcommon-x11 copies a keymap name that is not
    // zero-terminated with strndup, which the strict string checks take for an overflow.
    if (environment.contains(QStringLiteral("ASAN_OPTIONS")))
        environment.insert(QStringLiteral("ASAN_OPTIONS"),
                           environment.value(QStringLiteral("ASAN_OPTIONS"))
                               + QStringLiteral(":strict_string_checks=0"));
    m_client.setProcessEnvironment(environment);
    m_client.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_client.start(QStringLiteral(ZUMALO_TEST_BIN_DIR "/zumalo"), {});
    ASSERT_TRUE(m_client.waitForStarted(5000));

    Connection x(xcb_connect(display.toLatin1().constData(), nullptr));
    ASSERT_FALSE(xcb_connection_has_error(x.get()));
    // A bound for a loaded machine, not a measure: the dialog waits at most for the lookup
    // and the banner.
    const auto deadline = Clock::now() + std::chrono::seconds(60);
    bool shown = false;
    while (!shown && Clock::now() < deadline && m_client.state() == QProcess::Running) {
        shown = WindowShown(x.get(), QByteArray("登录Zumalo"));
        if (!shown)
            QThread::msleep(50);
    }
    ASSERT_TRUE(shown) << "the login dialog did not show";

    QFile maps(QStringLiteral("/proc/%1/maps").arg(m_client.processId()));
    ASSERT_TRUE(maps.open(QIODevice::ReadOnly));
    const QByteArray mapped = maps.readAll();
    EXPECT_TRUE(mapped.contains("libQt6Widgets")) << "the maps were not read";
    EXPECT_TRUE(mapped.contains("libcurl")) << "the dialog's fetches need the HTTP client";
    EXPECT_FALSE(mapped.contains("libmariadb"));
    EXPECT_FALSE(mapped.contains("libQt6Multimedia"));
    EXPECT_FALSE(mapped.contains("zumalo-sound"));
}

} // namespace
