#pragma once

#include "ui/Controls.h"

#include <QDialog>

#include <functional>
#include <memory>

class DbSession;
class QLabel;
class QLineEdit;
class QToolButton;
class ServerLogin;
struct Platform;
struct Session;
struct Settings;

// The login dialog's controls under their design names.
struct TLoginFormControls
{
    QLabel* Image1 = nullptr; // the banner
    QLabel* Label1 = nullptr;
    QLineEdit* Edit1 = nullptr; // user name
    QLabel* Label2 = nullptr;
    QLineEdit* Edit2 = nullptr; // password
    QLabel* Label3 = nullptr;   // "我要注册"
    QLabel* Label4 = nullptr;   // "修改密码"
    QToolButton* SpeedButton1 = nullptr;
};

// The login dialog: logs the user in before the main window shows (start-up mode) and
// unlocks the locked main window (unlock mode). Run it modally; Accepted means the user
// logged in or unlocked, anything else that the user gave up.
class TLoginForm : public ButtonOnlyDialog
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TLoginForm)

public:
    static constexpr int StartupMode = 0;
    static constexpr int UnlockMode = 1;

    // Finds the server and writes Session::ServerAddress.
    using Resolver = std::function<void(Session&, const Settings&)>; // as ServerLogin's

    // Builds the dialog; in start-up mode resolves the server address first, and again at
    // each login attempt while it has not been found. Both modes then load the banner from
    // the server's file service. A null resolver means the program's own resolution.
    TLoginForm(QWidget* owner, int mode, Session& session, DbSession& db, const Settings& settings,
               Platform& platform, Resolver resolve = {});
    ~TLoginForm() override;

    int Mode() const { return m_mode; }

    TLoginFormControls& Controls() { return m_ui; }
    const TLoginFormControls& Controls() const { return m_ui; }

public slots:
    // Checks the texts and logs in (start-up) or compares them with the session (unlock).
    void SpeedButton1Click();
    // Opens the registration dialog.
    virtual void Label3Click();
    // Opens the change-password dialog.
    virtual void Label4Click();
    void Label3MouseMove();
    void Label3MouseLeave();
    void Label4MouseMove();
    void Label4MouseLeave();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

    Session& m_session;
    DbSession& m_db;
    const Settings& m_settings;
    Platform& m_platform;
    TLoginFormControls m_ui;

private:
    void BuildControls();
    // In start-up mode, when the server was not found before: it may be back by now.
    void ResolveAgainIfNotFound();
    void LoadBanner(const Settings& settings);

    int m_mode;
    std::unique_ptr<ServerLogin> m_server;
};
