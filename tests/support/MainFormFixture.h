#pragma once

#include "FakePlatform.h"
#include "ScratchDatabase.h"
#include "TestHttpServer.h"

#include "app/Tmainform.h"
#include "core/Basefunc.h"
#include "core/Settings.h"
#include "db/DbSession.h"

#include <QUdpSocket>

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

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
