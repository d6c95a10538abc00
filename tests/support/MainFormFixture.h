#pragma once

#include "FakePlatform.h"
#include "ScratchDatabase.h"
#include "TestHttpServer.h"

#include "app/Tmainform.h"
#include "core/Session.h"
#include "core/Settings.h"
#include "db/DbSession.h"
#include "ui/Controls.h"

#include <QLineEdit>
#include <QUdpSocket>

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

// The control of window with the given design name; the test fails when there is none.
template <typename T> T* FindControl(const QObject& window, const char* name)
{
    T* found = window.findChild<T*>(QString::fromLatin1(name));
    EXPECT_NE(found, nullptr) << "no control " << name;
    return found;
}

// A main window started against real services on 127.0.0.1: a scratch database with the
// sample data, a file service on its own port serving banners, the link page and the
// weather page, and a UDP socket standing in for the presence server. The login dialog is
// replaced by a login through the real account class.
class MainFormFixture : public ::testing::Test
{
protected:
    static void SetUpTestSuite();
    static void TearDownTestSuite();
    void SetUp() override;
    void TearDown() override;

    // A login runner that logs in as name/password through the account class.
    TMainForm::LoginRunner LoginAs(const std::string& name, const std::string& password);
    // Constructs the window and raises its creation event, as the program does.
    TMainForm& Start(TMainForm::LoginRunner runner);
    TMainForm& StartAsDemo() { return Start(LoginAs("demo", "demo123")); }
    // Destroys the window (its shutdown runs).
    void Destroy() { m_form.reset(); }

    // The datagrams the presence stand-in received so far (waits up to waitMs for more).
    std::vector<std::string> Datagrams(int waitMs = 200);

    static std::string Bmp(int width, int height, unsigned rgb);

    // The started window's controls by their design names.
    template <typename T> T* Control(const char* name) const
    {
        return FindControl<T>(*m_form, name);
    }
    ClickLabel* Label(const char* name) const { return Control<ClickLabel>(name); }
    SpeedButton* Button(const char* name) const { return Control<SpeedButton>(name); }
    QLineEdit* Edit(const char* name) const { return Control<QLineEdit>(name); }
    // A click on a button, as the user gives it: nothing when the button is disabled.
    void Click(const char* button) const { Button(button)->click(); }
    // The text of a panel of the status bar.
    QString Status(int panel) const { return Control<PanelStatusBar>("sb")->PanelText(panel); }
    // The eight rows of the list, top to bottom, and their badges.
    ClickLabel* Row(int i) const;
    ClickLabel* RowBadge(int i) const;

    static ScratchDatabase* s_db;
    TestHttpServer m_http;
    QUdpSocket m_presence;
    Settings m_settings;
    Session m_session;
    std::unique_ptr<DbSession> m_db;
    FakePlatform m_fake;
    Platform m_platform{m_fake.bundle()};
    std::unique_ptr<TMainForm> m_form;
    std::vector<std::string> m_datagrams;
};
