#include "core/Session.h"
#include "core/Settings.h"
#include "db/DbSession.h"
#include "ui/TextBridge.h"
#include "ui/Tloginform.h"

#include "ClosedPort.h"
#include "DialogFixture.h"
#include "TestHttpServer.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QEvent>
#include <QImage>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QToolButton>

#include <gtest/gtest.h>

namespace {

std::string Bitmap(int width, int height, const char* format = "BMP")
{
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(QColor(10, 120, 200));
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, format);
    return bytes.toStdString();
}

class LoginFormTest : public DialogFixture
{
protected:
    static void SetUpTestSuite()
    {
        DialogFixture::SetUpTestSuite();
        s_db->exec("INSERT INTO zumalo_userinfo(username, userpwd) VALUES "
                   "('alice', 'Secret1'), ('  bob  ', 'pw'), ('张三', '密码123')");
    }

    LoginFormTest()
    {
        // No banner service unless a test starts one.
        m_settings.httpPort = m_noBanner.Port();
        m_settings.httpTimeoutSeconds = 10;
    }

    // Start-up mode with the resolution replaced by a fixed address.
    std::unique_ptr<TLoginForm> Startup(std::string address = "127.0.0.1")
    {
        return std::make_unique<TLoginForm>(
            nullptr, TLoginForm::StartupMode, m_session, m_db, m_settings, m_platform,
            [address](Session& session, const Settings&) { session.ServerAddress = address; });
    }

    std::unique_ptr<TLoginForm> Unlock()
    {
        return std::make_unique<TLoginForm>(nullptr, TLoginForm::UnlockMode, m_session, m_db,
                                            m_settings, m_platform,
                                            [this](Session&, const Settings&) { ++m_resolutions; });
    }

    static void Type(TLoginForm& form, const QString& name, const QString& password)
    {
        form.Controls().Edit1->setText(name);
        form.Controls().Edit2->setText(password);
    }

    const ClosedPort m_noBanner;
    int m_resolutions = 0;
};

// Which window owns a message: the dialog itself, or none.
enum class Owner {
    Dialog,
    None
};

struct LoginCase
{
    const char* what;
    QString name;
    QString password;
    std::string address; // where the resolution says the server is
    bool databaseDown;   // nothing listens on the database port
    const char* message;
    Owner owner;
};

TEST_F(LoginFormTest, FailedAttemptsShowTheirMessageWithItsOwnerAndKeepTheDialogOpen)
{
    const LoginCase cases[] = {
        {"empty name", "", "Secret1", "127.0.0.1", false, "用户名不能为空。", Owner::Dialog},
        {"name of blanks only", "   ", "Secret1", "127.0.0.1", false, "用户名不能为空。",
         Owner::Dialog},
        {"blank password", "alice", " \t ", "127.0.0.1", false, "密码不能为空。", Owner::Dialog},
        {"name checked first", " ", "", "127.0.0.1", true, "用户名不能为空。", Owner::Dialog},
        {"unresolved server", "alice", "Secret1", "domain is wrong.", false,
         "连接服务器失败，请稍后重新登录。", Owner::Dialog},
        {"database not answering", "alice", "Secret1", "127.0.0.1", true,
         "连接服务器失败，请稍后重新登录。", Owner::Dialog},
        {"wrong password", "alice", "secret1", "127.0.0.1", false,
         "用户名或密码不正确，请重新输入。", Owner::None},
        {"unknown user", "carol", "Secret1", "127.0.0.1", false, "用户名或密码不正确，请重新输入。",
         Owner::None},
        {"name sent with its blanks", " alice ", "Secret1", "127.0.0.1", false,
         "用户名或密码不正确，请重新输入。", Owner::None},
    };
    for (const LoginCase& c : cases) {
        SCOPED_TRACE(c.what);
        m_fakes.prompts.entries.clear();
        DbSession::Options options = s_db->options();
        const ClosedPort closed;
        if (c.databaseDown)
            options.port = closed.Port();
        DbSession db(options);
        auto form = std::make_unique<TLoginForm>(
            nullptr, TLoginForm::StartupMode, m_session, db, m_settings, m_platform,
            [&c](Session& session, const Settings&) { session.ServerAddress = c.address; });
        Type(*form, c.name, c.password);
        form->SpeedButton1Click();

        ASSERT_EQ(m_fakes.prompts.entries.size(), 1u);
        const auto& shown = m_fakes.prompts.Last();
        EXPECT_EQ(shown.kind, FakePrompts::Kind::Warn);
        EXPECT_EQ(shown.text, QString::fromUtf8(c.message));
        EXPECT_EQ(shown.owner, c.owner == Owner::Dialog ? form.get() : nullptr);
        EXPECT_NE(form->result(), QDialog::Accepted);
    }
}

TEST_F(LoginFormTest, RejectedLoginStatementFailsWithoutOwner)
{
    auto form = Startup();
    Type(*form, "alice", "Secret1");
    s_db->exec("RENAME TABLE zumalo_userinfo TO zumalo_userinfo_away");
    form->SpeedButton1Click();
    s_db->exec("RENAME TABLE zumalo_userinfo_away TO zumalo_userinfo");

    ASSERT_EQ(m_fakes.prompts.entries.size(), 1u);
    EXPECT_EQ(m_fakes.prompts.Last().text, QStringLiteral("登录失败，请重新登录。"));
    EXPECT_EQ(m_fakes.prompts.Last().owner, nullptr);
    EXPECT_TRUE(m_db.Connected);
    EXPECT_NE(form->result(), QDialog::Accepted);
}

TEST_F(LoginFormTest, SuccessfulLoginFillsTheSessionAndAccepts)
{
    struct Account
    {
        QString name;
        QString password;
    };
    for (const Account& account : {Account{"alice", "Secret1"}, Account{"  bob  ", "pw"},
                                   Account{QStringLiteral("张三"), QStringLiteral("密码123")}}) {
        SCOPED_TRACE(account.name.toStdString());
        auto form = Startup();
        Type(*form, account.name, account.password);
        form->SpeedButton1Click();

        EXPECT_TRUE(m_fakes.prompts.entries.empty()) << m_fakes.prompts.Last().text.toStdString();
        EXPECT_EQ(form->result(), QDialog::Accepted);
        EXPECT_TRUE(m_db.Connected);
        // Stored as typed, blanks and all, in the program's GBK.
        EXPECT_EQ(m_session.UserName, QToGbk(account.name));
        EXPECT_EQ(m_session.Password, QToGbk(account.password));
        EXPECT_EQ(m_session.ServerAddress, "127.0.0.1");
    }
}

TEST_F(LoginFormTest, EveryAttemptConnectsAgainAndTheSessionKeepsTheLastTextsTried)
{
    std::string found = "127.0.0.1";
    auto form = std::make_unique<TLoginForm>(
        nullptr, TLoginForm::StartupMode, m_session, m_db, m_settings, m_platform,
        [&found](Session& session, const Settings&) { session.ServerAddress = found; });
    Type(*form, "alice", "wrong");
    form->SpeedButton1Click();
    EXPECT_EQ(m_session.UserName, "alice");
    EXPECT_EQ(m_session.Password, "wrong");

    // The server went away between the attempts, and cannot be found again either: the
    // second attempt is no longer connected.
    m_session.ServerAddress = "domain is wrong.";
    found = "domain is wrong.";
    Type(*form, "alice", "Secret1");
    form->SpeedButton1Click();
    EXPECT_EQ(m_fakes.prompts.Texts(),
              QStringList({QStringLiteral("用户名或密码不正确，请重新输入。"),
                           QStringLiteral("连接服务器失败，请稍后重新登录。")}));
    EXPECT_FALSE(m_db.Connected);
    EXPECT_NE(form->result(), QDialog::Accepted);
}

TEST_F(LoginFormTest, UnlockComparesExactlyAndNeverTouchesTheDatabase)
{
    m_session = Session{"alice", "Secret1", "domain is wrong."};
    // A database session that was never opened: unlocking must not need it.
    DbSession unopened{s_db->options()};
    struct UnlockCase
    {
        QString name;
        QString password;
        bool unlocks;
    };
    const UnlockCase cases[] = {
        {"alice", "Secret1", true},   {"alice", "secret1", false}, {"alice", "Secret1 ", false},
        {" alice", "Secret1", false}, {"Alice", "Secret1", false}, {"bob", "Secret1", false},
    };
    for (const UnlockCase& c : cases) {
        SCOPED_TRACE(c.name.toStdString() + "/" + c.password.toStdString());
        m_fakes.prompts.entries.clear();
        TLoginForm form(nullptr, TLoginForm::UnlockMode, m_session, unopened, m_settings,
                        m_platform, [this](Session&, const Settings&) { ++m_resolutions; });
        Type(form, c.name, c.password);
        form.SpeedButton1Click();
        EXPECT_EQ(form.result() == QDialog::Accepted, c.unlocks);
        if (c.unlocks) {
            EXPECT_TRUE(m_fakes.prompts.entries.empty());
        } else {
            ASSERT_EQ(m_fakes.prompts.entries.size(), 1u);
            EXPECT_EQ(m_fakes.prompts.Last().text,
                      QStringLiteral("用户名或密码不正确，解锁失败。"));
            EXPECT_EQ(m_fakes.prompts.Last().owner, &form);
        }
    }
    EXPECT_FALSE(unopened.IsOpen());
    EXPECT_FALSE(unopened.Connected);
    EXPECT_EQ(m_resolutions, 0);
    EXPECT_EQ(m_session.ServerAddress, "domain is wrong.");
}

TEST_F(LoginFormTest, UnlockStillChecksForBlankTexts)
{
    m_session = Session{" ", " ", "127.0.0.1"};
    auto form = Unlock();
    Type(*form, " ", " ");
    form->SpeedButton1Click();
    EXPECT_EQ(m_fakes.prompts.Texts(), QStringList{QStringLiteral("用户名不能为空。")});
    EXPECT_NE(form->result(), QDialog::Accepted);
}

TEST_F(LoginFormTest, CaptionTellsTheMode)
{
    EXPECT_EQ(Startup()->windowTitle(), QStringLiteral("登录Zumalo"));
    EXPECT_EQ(Unlock()->windowTitle(), QStringLiteral("Zumalo已锁定"));
}

TEST_F(LoginFormTest, StartupModeResolvesTheServerAddressOnce)
{
    int calls = 0;
    TLoginForm form(nullptr, TLoginForm::StartupMode, m_session, m_db, m_settings, m_platform,
                    [&calls](Session& session, const Settings&) {
                        ++calls;
                        session.ServerAddress = "127.0.0.1";
                    });
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(m_session.ServerAddress, "127.0.0.1");
}

TEST_F(LoginFormTest, BannerComesFromTheFileServiceWhenItIsABitmap)
{
    struct BannerCase
    {
        const char* what;
        int status;
        std::string body;
        bool shown;
    };
    const BannerCase cases[] = {
        {"a bitmap", 200, Bitmap(302, 97), true},
        {"missing", 404, Bitmap(302, 97), false},
        {"not a bitmap", 200, Bitmap(302, 97, "PNG"), false},
        {"empty", 200, "", false},
    };
    TestHttpServer server;
    m_settings.httpPort = server.port();
    for (const BannerCase& c : cases) {
        SCOPED_TRACE(c.what);
        server.Serve("/low.bmp", c.body, c.status);
        const int before = server.Hits("/low.bmp");
        for (const int mode : {TLoginForm::StartupMode, TLoginForm::UnlockMode}) {
            const auto form = mode == TLoginForm::StartupMode ? Startup() : Unlock();
            // The stored picture, scaled only when drawn.
            const QPixmap banner = form->Controls().Image1->pixmap();
            EXPECT_EQ(!banner.isNull(), c.shown);
            if (c.shown) {
                EXPECT_EQ(banner.size(), QSize(302, 97));
            }
            EXPECT_TRUE(m_fakes.prompts.entries.empty());
        }
        EXPECT_EQ(server.Hits("/low.bmp") - before, 2);
    }
}

TEST_F(LoginFormTest, UnreachableBannerLeavesThePictureEmpty)
{
    for (const char* address : {"127.0.0.1", "domain is wrong."}) {
        auto form = Startup(address);
        EXPECT_TRUE(form->Controls().Image1->pixmap().isNull());
        EXPECT_TRUE(m_fakes.prompts.entries.empty());
    }
}

TEST_F(LoginFormTest, LinkLabelsLightUpUnderThePointer)
{
    auto form = Startup();
    for (QLabel* link : {form->Controls().Label3, form->Controls().Label4}) {
        const QColor normal = link->palette().color(QPalette::WindowText);
        QEvent enter(QEvent::Enter);
        QCoreApplication::sendEvent(link, &enter);
        EXPECT_EQ(link->palette().color(QPalette::WindowText),
                  form->palette().color(QPalette::Active, QPalette::Highlight));
        QEvent leave(QEvent::Leave);
        QCoreApplication::sendEvent(link, &leave);
        EXPECT_EQ(link->palette().color(QPalette::WindowText), normal);
        EXPECT_EQ(link->cursor().shape(), Qt::PointingHandCursor);
    }
}

TEST_F(LoginFormTest, NeitherEnterNorEscapeEndsTheDialog)
{
    auto form = Startup();
    Type(*form, "alice", "Secret1");
    int finished = 0;
    QObject::connect(form.get(), &QDialog::finished, [&finished] { ++finished; });
    for (int key : {Qt::Key_Return, Qt::Key_Enter, Qt::Key_Escape}) {
        QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
        QCoreApplication::sendEvent(form->Controls().Edit2, &press);
    }
    EXPECT_EQ(finished, 0);
    EXPECT_TRUE(m_fakes.prompts.entries.empty());
    EXPECT_FALSE(m_db.IsOpen());
}

TEST_F(LoginFormTest, PasswordIsMaskedAndTheButtonTakesNoFocus)
{
    auto form = Startup();
    EXPECT_EQ(form->Controls().Edit2->echoMode(), QLineEdit::Password);
    EXPECT_EQ(form->Controls().SpeedButton1->focusPolicy(), Qt::NoFocus);
    EXPECT_EQ(form->size(), QSize(302, 212));
}

} // namespace
