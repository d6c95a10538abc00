#pragma once

#include "ui/Controls.h"

#include <QDialog>

#include <memory>

class DbSession;
class QLabel;
class QLineEdit;
class QPushButton;
class login;
struct Platform;
struct Session;
struct Settings;

// The change-password dialog's controls under their design names.
struct TChangeFormControls
{
    QLabel* Label1 = nullptr;
    QLineEdit* Edit1 = nullptr; // user name
    QLabel* Label4 = nullptr;
    QLineEdit* Edit4 = nullptr; // old password, shown as typed
    QLabel* Label2 = nullptr;
    QLineEdit* Edit2 = nullptr; // new password
    QLabel* Label3 = nullptr;
    QLineEdit* Edit3 = nullptr; // new password again
    QPushButton* Button1 = nullptr;
    QPushButton* Button2 = nullptr;
};

// The change-password dialog: replaces an account's password, given the user name, the old
// password and the new one twice. Construction connects the shared database session again and
// its outcome replaces DbSession::Connected for the whole program, except that a failure
// leaves a session that was connected as a lost connection leaves it: its next statement
// connects again. Nothing is trimmed here,
// and Session keeps the password the user logged in with.
//
// When that connection fails the dialog says so and is never usable: exec() returns Rejected
// at once without showing the window.
class TChangeForm final : public ButtonOnlyDialog
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TChangeForm)

public:
    TChangeForm(QWidget* owner, Session& session, DbSession& db, const Settings& settings,
                Platform& platform);
    ~TChangeForm() override;

    // False when the construction's connection failed.
    bool Usable() const { return m_usable; }

    // Runs the dialog modally, or returns Rejected at once when construction failed.
    int exec() override;

    TChangeFormControls& Controls() { return m_ui; }
    const TChangeFormControls& Controls() const { return m_ui; }

public slots:
    // Checks the texts and the old password, then stores the new password.
    void Button1Click();
    // Clears the four boxes.
    void Button2Click();

private:
    void BuildLayout(QWidget* owner);

    DbSession& m_db;
    Platform& m_platform;
    TChangeFormControls m_ui;
    std::unique_ptr<login> m_login;
    bool m_usable = true;
};
