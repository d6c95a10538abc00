#include "client/ContentBrowser.h"
#include "core/GbkText.h"
#include "core/TimeStamp.h"
#include "db/DbSession.h"
#include "ui/TextBridge.h"
#include "ui/Tsubmitform.h"

#include "DbAccounts.h"
#include "DialogFixture.h"

#include <QLineEdit>

#include <gtest/gtest.h>

#include <ctime>

namespace {

// 2026-11-02 09:15:30 local time: the submission time every test writes.
std::chrono::system_clock::time_point FixedNow()
{
    std::tm t{};
    t.tm_year = 2026 - 1900;
    t.tm_mon = 10;
    t.tm_mday = 2;
    t.tm_hour = 9;
    t.tm_min = 15;
    t.tm_sec = 30;
    t.tm_isdst = -1;
    return std::chrono::system_clock::from_time_t(std::mktime(&t));
}

class SubmitFormTest : public DialogFixture
{
protected:
    void SetUp() override
    {
        s_db->clear();
        s_db->exec("INSERT INTO zumalo_userinfo(username, userpwd, userscore) VALUES "
                   "('小明', 'pw', 10)");
        ASSERT_TRUE(OpenAsProgram(m_db));
        m_db.Connected = true;
        m_session.UserName = Utf8ToGbk("小明");
    }

    std::unique_ptr<TSubmitForm> Form()
    {
        return std::make_unique<TSubmitForm>(nullptr, m_session, m_db, m_platform,
                                             [] { return FixedNow(); });
    }

    // Fills both fields and presses "我要提交"; the text of the box it showed.
    QString Submit(TSubmitForm& form, const QString& title, const QString& link)
    {
        form.Controls().Edit1->setText(title);
        form.Controls().Edit2->setText(link);
        m_fakes.prompts.entries.clear();
        form.SpeedButton1Click();
        EXPECT_EQ(m_fakes.prompts.entries.size(), 1u);
        EXPECT_EQ(m_fakes.prompts.Last().kind, FakePrompts::Kind::Warn);
        EXPECT_EQ(m_fakes.prompts.Last().owner, &form);
        return m_fakes.prompts.Last().text;
    }

    static std::string PostCount() { return s_db->scalar("SELECT count(*) FROM zumalo_news"); }
};

const QString kDone = QStringLiteral("上传成功。");

TEST_F(SubmitFormTest, EntriesAreCheckedAndStoredAsTyped)
{
    const QString link = QStringLiteral("http://example.org/");
    const struct
    {
        const char* what;
        QString title;
        QString link;
        QString message;
        const char* storedTitle; // UTF-8; null when nothing may be stored
        const char* storedLink;
    } cases[] = {
        {"40 Chinese characters are 80 bytes", QString::fromUtf8("快").repeated(40), link, kDone,
         "快快快快快快快快快快快快快快快快快快快快快快快快快快快快快快快快快快快快快快快快",
         "http://example.org/"},
        {"41 are too long", QString::fromUtf8("快").repeated(41), link, "标题名称太长啦。", nullptr,
         nullptr},
        {"81 bytes counted trimmed", " " + QString(81, u'a') + " ", link, "标题名称太长啦。",
         nullptr, nullptr},
        {"blanks only are no title", "  \t ", link, "请快贴标题名称。", nullptr, nullptr},
        {"blanks only are no address", "新闻", "   ", "请输入快贴网址。", nullptr, nullptr},
        {"blanks around the address stay", "新闻", "  www.example.org/a b  ", kDone, "新闻",
         "  www.example.org/a b  "},
        {"any text is an address", " 'quoted' \\ ", "not even a link", kDone, " 'quoted' \\ ",
         "not even a link"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        s_db->exec("DELETE FROM zumalo_news");
        const auto form = Form();
        EXPECT_EQ(Submit(*form, c.title, c.link), c.message);
        if (!c.storedTitle) {
            EXPECT_EQ(form->result(), 0) << "the dialog stays open";
            EXPECT_EQ(PostCount(), "0");
            continue;
        }
        EXPECT_EQ(form->result(), QDialog::Accepted);
        const auto rows = s_db->rows("SELECT username, text, link, submittime FROM zumalo_news");
        ASSERT_EQ(rows.size(), 1u);
        EXPECT_EQ(rows[0][0], "小明");
        EXPECT_EQ(rows[0][1], c.storedTitle);
        EXPECT_EQ(rows[0][2], c.storedLink);
        EXPECT_EQ(rows[0][3], TimeStamp(FixedNow()));
    }
    // A quick post earns nothing.
    EXPECT_EQ(s_db->scalar("SELECT userscore FROM zumalo_userinfo"), "10");
}

TEST_F(SubmitFormTest, LostDatabaseKeepsTheDialogOpenWithTheEntries)
{
    // No connection, as when the database cannot be reached (a connection the server
    // dropped is made again: tests/ui/write_check_test).
    m_db.Close();

    const auto form = Form();
    EXPECT_EQ(Submit(*form, "新闻", "http://example.org/"),
              "你的快贴提交不成功哦，快快重新提交你的一手信息吧。");
    EXPECT_EQ(form->result(), 0);
    EXPECT_EQ(form->Controls().Edit1->text(), QStringLiteral("新闻"));
    EXPECT_EQ(form->Controls().Edit2->text(), QStringLiteral("http://example.org/"));
    EXPECT_EQ(PostCount(), "0");

    // With the database back, the same dialog stores the post.
    ASSERT_TRUE(OpenAsProgram(m_db));
    EXPECT_EQ(Submit(*form, "新闻", "http://example.org/"), kDone);
    EXPECT_EQ(PostCount(), "1");
}

TEST_F(SubmitFormTest, ReloadShowsTheNewPostFirst)
{
    s_db->exec("INSERT INTO zumalo_news(text, link) VALUES ('旧一', 'x'), ('旧二', 'y')");
    const auto form = Form();
    EXPECT_EQ(Submit(*form, "新闻", "http://example.org/"), kDone);

    // What the main window does after the dialog's OK: page 1 of the quick-post list.
    ContentBrowser browser(m_db);
    browser.CurrentCategory = Category::Kind::QuickPosts;
    ASSERT_TRUE(browser.Count(Category::Kind::QuickPosts));
    ASSERT_TRUE(browser.FetchPage(1, Category::Kind::QuickPosts));
    ASSERT_EQ(browser.RowTexts.size(), 3u);
    EXPECT_EQ(browser.RowTexts[0], Utf8ToGbk("新闻"));
    EXPECT_EQ(browser.Counter(), QStringLiteral("共3条快贴"));
}

TEST_F(SubmitFormTest, DialogIsFixedAndCentredOverTheMainWindow)
{
    QWidget mainWindow;
    mainWindow.setGeometry(100, 80, 900, 700);
    const TSubmitForm form(&mainWindow, m_session, m_db, m_platform);
    EXPECT_EQ(form.windowTitle(), QStringLiteral("有什么新鲜事，可以在这里提交和大家分享。"));
    EXPECT_EQ(form.minimumSize(), QSize(404, 162));
    EXPECT_EQ(form.maximumSize(), QSize(404, 162));
    EXPECT_EQ(form.geometry().center(), mainWindow.geometry().center());
}

} // namespace
