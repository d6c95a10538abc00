#pragma once

#include "ui/Controls.h"

#include <QDialog>

#include <cstdint>
#include <memory>
#include <string>

class DbSession;
class MoviePlayer;
class QComboBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class login;
struct Platform;
struct Session;
struct Settings;

// The registration dialog's controls under their design names.
struct TRegFormControls
{
    QLabel* Label1 = nullptr;
    QLabel* Label2 = nullptr;
    QLabel* Label3 = nullptr;
    QLabel* Label4 = nullptr;
    QLabel* Label5 = nullptr;
    QLabel* Label6 = nullptr;
    QLabel* Label7 = nullptr;
    QLabel* Label8 = nullptr;
    QLabel* Label9 = nullptr;
    QLabel* Label10 = nullptr;
    QLabel* Label11 = nullptr;      // the verification code
    QLineEdit* Edit1 = nullptr;     // user name
    QLineEdit* Edit2 = nullptr;     // password
    QLineEdit* Edit3 = nullptr;     // password again
    QComboBox* ComboBox1 = nullptr; // sex
    QLineEdit* Edit5 = nullptr;     // age
    QLineEdit* Edit6 = nullptr;     // region
    QLineEdit* Edit7 = nullptr;     // QQ
    QLineEdit* Edit8 = nullptr;     // mobile
    QLineEdit* Edit9 = nullptr;     // e-mail
    QLineEdit* Edit4 = nullptr;     // the code typed back
    QPushButton* Button1 = nullptr;
    QPlainTextEdit* Memo1 = nullptr; // the agreement
};

// The registration dialog: a visitor creates an account. Construction connects to the
// database, draws the verification code and loads the banner and the agreement; "注册"
// checks the entries and adds the account. Registering does not log in, and the dialog stays
// open with its entries until the visitor closes it; every press runs with the same code.
//
// When construction cannot connect, the program must end: the dialog shows its message,
// QuitRequested() turns true and exec() returns Rejected at once without showing the window.
// The opener ends its own modal run and makes sure the main loop is never entered; the dialog
// posts no quit of its own, which a nested modal loop could swallow.
class TRegForm final : public ButtonOnlyDialog
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TRegForm)

public:
    TRegForm(QWidget* owner, Session& session, DbSession& db, const Settings& settings,
             Platform& platform);
    ~TRegForm() override;

    // True when the construction's connection failed and the program must end.
    bool QuitRequested() const { return m_quitRequested; }
    // The outcome of the construction's connection; without it "注册" sends nothing.
    bool Connected() const { return m_connected; }
    // The banner's player; null while no banner was loaded.
    MoviePlayer* ShockwaveFlash1() const { return m_player.get(); }

    // Runs the dialog modally, or returns Rejected at once when construction failed.
    int exec() override;

    TRegFormControls& Controls() { return m_ui; }
    const TRegFormControls& Controls() const { return m_ui; }

public slots:
    // Checks the entries in order, asks, and registers the account.
    void Button1Click();

private:
    void BuildLayout(QWidget* owner);
    void LoadBannerAndAgreement();
    // The "提示" box with the dialog as owner.
    void Tell(const char* messageUtf8);

    DbSession& m_db;
    const Settings& m_settings;
    Platform& m_platform;
    TRegFormControls m_ui;
    std::unique_ptr<login> m_login;
    std::unique_ptr<MoviePlayer> m_player;
    bool m_connected = false;
    bool m_quitRequested = false;
};

// The verification code for a generator seeded with seed: 100000 + (value mod 899999) for a
// value from 0 to 32767, so always from 100000 to 132767, in decimal.
std::string VerificationCode(std::uint32_t seed);

// The registration agreement around the administrator's contact address (GBK).
QString RegistrationAgreement(const std::string& contactAddressGbk);
