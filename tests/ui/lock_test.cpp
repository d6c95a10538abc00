// The screen lock with the real unlock dialog, driven while its modal run waits.
#include "MainFormFixture.h"

#include "ui/Tloginform.h"

#include <QApplication>
#include <QLineEdit>
#include <QTimer>

#include <utility>
#include <vector>

namespace {

using Attempt = std::pair<QString, QString>; // name, password

class ScreenLock : public MainFormFixture
{
protected:
    // Clicks 锁定 and, once the unlock dialog runs, tries the attempts in order; a dialog
    // still open after them is closed, as the user giving up does.
    void LockAndTry(std::vector<Attempt> attempts)
    {
        QTimer::singleShot(0, [attempts = std::move(attempts), this] {
            auto* dialog = qobject_cast<TLoginForm*>(QApplication::activeModalWidget());
            ASSERT_NE(dialog, nullptr);
            m_lockCaption = dialog->windowTitle();
            for (const Attempt& a : attempts) {
                if (!dialog->isVisible())
                    break;
                dialog->Controls().Edit1->setText(a.first);
                dialog->Controls().Edit2->setText(a.second);
                dialog->SpeedButton1Click();
            }
            if (dialog->isVisible())
                dialog->reject();
        });
        Click("SpeedButton15");
    }

    QString m_lockCaption;
};

std::string NameOf(const std::string& datagram)
{
    return datagram.size() >= 29 ? std::string(datagram.c_str() + 8) : std::string();
}

} // namespace

TEST_F(ScreenLock, UnlocksOnlyWithTheSessionsExactNameAndPassword)
{
    const QString wrong = "用户名或密码不正确，解锁失败。";
    struct Case
    {
        const char* what;
        std::vector<Attempt> attempts;
        int warnings;
        bool unlocked;
    };
    const Case cases[] = {
        {"exact", {{"demo", "demo123"}}, 0, true},
        {"wrong password, then right", {{"demo", "demo12"}, {"demo", "demo123"}}, 1, true},
        {"blank after the name", {{"demo ", "demo123"}}, 1, false},
        {"other letter case", {{"Demo", "demo123"}}, 1, false},
        {"given up", {}, 0, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        m_fake.prompts.entries.clear();
        TMainForm& form = StartAsDemo();
        LockAndTry(c.attempts);
        EXPECT_EQ(m_lockCaption, "Zumalo已锁定");
        EXPECT_EQ(m_fake.prompts.Texts(), QStringList(QList<QString>(c.warnings, wrong)));
        EXPECT_EQ(form.isVisible(), c.unlocked);
        EXPECT_EQ(form.QuitRequested(), !c.unlocked);
        if (c.unlocked) {
            EXPECT_EQ(form.windowTitle(), "欢迎demo回来");
        }
        Destroy();
    }
}

TEST_F(ScreenLock, UnlockNeedsNoDatabase)
{
    TMainForm& form = StartAsDemo();
    m_db->Close();
    LockAndTry({{"demo", "demo123"}});
    EXPECT_TRUE(form.isVisible());
    EXPECT_FALSE(form.QuitRequested());
}

TEST_F(ScreenLock, GivingUpEndsTheProgramAndSaysGoodbye)
{
    TMainForm& form = StartAsDemo();
    LockAndTry({});
    EXPECT_TRUE(form.QuitRequested());
    EXPECT_FALSE(form.isVisible());
    EXPECT_FALSE(MessageLoopWanted(form, false));
    Destroy();
    const auto sent = Datagrams();
    ASSERT_FALSE(sent.empty());
    EXPECT_EQ(sent.back()[0], 2); // logout notice
    EXPECT_EQ(NameOf(sent.back()), "demo");
}
