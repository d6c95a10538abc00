#include "core/Session.h"
#include "core/Settings.h"
#include "db/DbSession.h"
#include "ui/Tchangeform.h"

#include "ClosedPort.h"
#include "DbAccounts.h"
#include "DialogFixture.h"
#include "PrivateMariaDb.h"

#include <QApplication>
#include <QLineEdit>
#include <QTimer>

#include <gtest/gtest.h>

namespace {

const QString kChanged = QStringLiteral("请记住新的密码，下次登录按本次修改的密码验证。");
const QString kWrongOld = QStringLiteral("用户名或旧密码不正确。");

class ChangeFormTest : public DialogFixture
{
protected:
    void SetUp() override
    {
        s_db->clear();
        s_db->exec("INSERT INTO zumalo_userinfo(username, userpwd) VALUES "
                   "('alice', 'old1'), ('   ', ' '), ('张三', '旧密码')");
        m_settings = s_db->settings();
        m_session = Session{"alice", "old1", "127.0.0.1"};
    }

    std::unique_ptr<TChangeForm> Open(DbSession& db)
    {
        return std::make_unique<TChangeForm>(nullptr, m_session, db, m_settings, m_platform);
    }
    std::unique_ptr<TChangeForm> Open() { return Open(m_db); }

    static void Type(TChangeForm& form, const QString& name, const QString& oldPassword,
                     const QString& newPassword, const QString& confirmation)
    {
        form.Controls().Edit1->setText(name);
        form.Controls().Edit4->setText(oldPassword);
        form.Controls().Edit2->setText(newPassword);
        form.Controls().Edit3->setText(confirmation);
    }

    static std::string PasswordOf(const std::string& nameUtf8)
    {
        return s_db->scalar("select userpwd from zumalo_userinfo where username = '" + nameUtf8
                            + "'");
    }
};

TEST_F(ChangeFormTest, EachPressShowsItsOutcomeWithItsOwner)
{
    const struct
    {
        const char* what;
        QString name, oldPassword, newPassword, confirmation;
        QString message;
        bool ownedByDialog;
    } cases[] = {
        {"empty name", "", "old1", "n1", "n1", QStringLiteral("用户名或旧密码不能为空。"), true},
        {"empty old password", "alice", "", "n1", "n1", QStringLiteral("用户名或旧密码不能为空。"),
         true},
        {"empty new password", "alice", "old1", "", "n1", QStringLiteral("新密码不能为空。"), true},
        {"empty confirmation", "alice", "old1", "n1", "", QStringLiteral("新密码不能为空。"), true},
        {"confirmation differs", "alice", "old1", "n1", "n2", QStringLiteral("密码确认不正确。"),
         true},
        {"confirmation differs by a trailing blank", "alice", "old1", "n1", "n1 ",
         QStringLiteral("密码确认不正确。"), true},
        {"old password in another case", "alice", "Old1", "n1", "n1", kWrongOld, true},
        {"unknown user", "carol", "old1", "n1", "n1", kWrongOld, true},
        {"name with a blank after it", "alice ", "old1", "n1", "n1", kWrongOld, true},
        // Nothing is trimmed: blanks pass the emptiness checks and name an account.
        {"an account of blanks", "   ", " ", "  ", "  ", kChanged, false},
        {"a Chinese account", QStringLiteral("张三"), QStringLiteral("旧密码"),
         QStringLiteral("新密码"), QStringLiteral("新密码"), kChanged, false},
    };
    auto form = Open();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        m_fakes.prompts.entries.clear();
        Type(*form, c.name, c.oldPassword, c.newPassword, c.confirmation);
        form->Button1Click();
        ASSERT_EQ(m_fakes.prompts.entries.size(), 1u);
        EXPECT_EQ(m_fakes.prompts.Last().kind, FakePrompts::Kind::Warn);
        EXPECT_EQ(m_fakes.prompts.Last().text, c.message);
        EXPECT_EQ(m_fakes.prompts.Last().owner, c.ownedByDialog ? form.get() : nullptr);
        EXPECT_NE(form->result(), QDialog::Accepted);
    }
    EXPECT_EQ(PasswordOf("alice"), "old1");
    EXPECT_EQ(PasswordOf("   "), "  ");
    EXPECT_EQ(PasswordOf("张三"), "新密码");
}

TEST_F(ChangeFormTest, SecondPressWithTheOldPasswordStillTypedFails)
{
    auto form = Open();
    Type(*form, "alice", "old1", "new1", "new1");
    form->Button1Click();
    form->Button1Click();
    EXPECT_EQ(m_fakes.prompts.Texts(), QStringList({kChanged, kWrongOld}));
    EXPECT_EQ(PasswordOf("alice"), "new1");
    // The dialog stays open with its texts; the session keeps the password it logged in with.
    EXPECT_EQ(form->Controls().Edit4->text(), "old1");
    EXPECT_EQ(m_session.Password, "old1");

    // With the new password as the old one, it changes again.
    Type(*form, "alice", "new1", "new2", "new2");
    form->Button1Click();
    EXPECT_EQ(m_fakes.prompts.Last().text, kChanged);
    EXPECT_EQ(PasswordOf("alice"), "new2");
}

TEST_F(ChangeFormTest, RejectedUpdateIsReportedWithoutOwner)
{
    s_db->exec("CREATE TRIGGER refuse_password BEFORE UPDATE ON zumalo_userinfo FOR EACH ROW "
               "SIGNAL SQLSTATE '45000' SET MESSAGE_TEXT = 'refused'");
    auto form = Open();
    Type(*form, "alice", "old1", "new1", "new1");
    form->Button1Click();
    s_db->exec("DROP TRIGGER refuse_password");

    EXPECT_EQ(m_fakes.prompts.Texts(), QStringList{QStringLiteral("密码修改失败，请重修修改。")});
    EXPECT_EQ(m_fakes.prompts.Last().owner, nullptr);
    EXPECT_EQ(PasswordOf("alice"), "old1");
}

TEST_F(ChangeFormTest, ConstructionReplacesTheSharedConnectedFlag)
{
    m_db.Connected = false;
    auto form = Open();
    EXPECT_TRUE(m_db.Connected);
    EXPECT_TRUE(form->Usable());
    EXPECT_TRUE(m_fakes.prompts.entries.empty());
}

TEST_F(ChangeFormTest, DatabaseStoppedClosesTheDialogWithoutAClick)
{
    DbSession::Options stopped = s_db->options();
    const ClosedPort closed;
    stopped.port = closed.Port();
    DbSession db(stopped);
    db.Connected = true; // an earlier login connected
    auto form = Open(db);

    EXPECT_EQ(m_fakes.prompts.Texts(), QStringList{QStringLiteral("连接数据服务器失败。")});
    EXPECT_EQ(m_fakes.prompts.Last().owner, form.get());
    EXPECT_FALSE(db.Connected);
    EXPECT_FALSE(form->Usable());

    bool watchdog = false;
    QTimer::singleShot(3000, [&watchdog] {
        watchdog = true;
        if (QWidget* modal = QApplication::activeModalWidget())
            modal->close();
    });
    EXPECT_EQ(form->exec(), QDialog::Rejected);
    EXPECT_EQ(form->result(), QDialog::Rejected);
    EXPECT_FALSE(watchdog);
    EXPECT_FALSE(form->isVisible());
}

// A dialog opened while the database is down (from the lock screen) leaves the logged-in
// session as any lost connection leaves it: once the database answers, the main window's next
// statement works.
TEST_F(ChangeFormTest, FailedConnectLeavesTheSessionToConnectAgain)
{
    PrivateMariaDb server;
    const Settings settings = server.settings(1, 2);
    DbSession db(settings);
    ASSERT_TRUE(OpenAsProgram(db)); // the login
    db.Connected = true;
    server.Kill();
    {
        TChangeForm form(nullptr, m_session, db, settings, m_platform);
        EXPECT_EQ(m_fakes.prompts.Texts(), QStringList{QStringLiteral("连接数据服务器失败。")});
        EXPECT_FALSE(form.Usable());
    }
    EXPECT_TRUE(db.Connected);
    server.Start();
    EXPECT_TRUE(db.Query("select count(*) from zumalo_zhongzi"));
    EXPECT_EQ(db.RowCount(), 1u);
}

TEST_F(ChangeFormTest, WithoutConnectedNothingIsChecked)
{
    // The construction failed; the database is back afterwards, but the flag says otherwise.
    m_session.ServerAddress = "domain is wrong.";
    auto form = Open();
    ASSERT_TRUE(m_db.Open("127.0.0.1", m_settings.dbUser, m_settings.dbPassword));
    m_fakes.prompts.entries.clear();
    Type(*form, "alice", "old1", "new1", "new1");
    form->Button1Click();
    EXPECT_EQ(m_fakes.prompts.Texts(), QStringList{kWrongOld});
    EXPECT_EQ(PasswordOf("alice"), "old1");
}

TEST_F(ChangeFormTest, ResetClearsTheFourBoxesAndOnlyTheNewPasswordsAreMasked)
{
    QWidget mainWindow;
    mainWindow.setGeometry(100, 80, 681, 600);
    TChangeForm form(&mainWindow, m_session, m_db, m_settings, m_platform);
    EXPECT_EQ(form.windowTitle(), QStringLiteral("修改密码"));
    EXPECT_EQ(form.minimumSize(), QSize(334, 395));
    EXPECT_EQ(form.maximumSize(), QSize(334, 395));
    EXPECT_EQ(form.geometry().center(), mainWindow.geometry().center());
    EXPECT_EQ(form.Controls().Edit1->echoMode(), QLineEdit::Normal);
    EXPECT_EQ(form.Controls().Edit4->echoMode(), QLineEdit::Normal);
    EXPECT_EQ(form.Controls().Edit2->echoMode(), QLineEdit::Password);
    EXPECT_EQ(form.Controls().Edit3->echoMode(), QLineEdit::Password);

    Type(form, "alice", "old1", "n1", "n1");
    form.Button2Click();
    for (const QLineEdit* edit : {form.Controls().Edit1, form.Controls().Edit2,
                                  form.Controls().Edit3, form.Controls().Edit4})
        EXPECT_TRUE(edit->text().isEmpty());
    EXPECT_TRUE(m_fakes.prompts.entries.empty());
}

} // namespace
