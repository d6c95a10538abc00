#include "client/ContentBrowser.h"
#include "core/GbkText.h"
#include "core/TimeStamp.h"
#include "db/DbSession.h"
#include "ui/TextBridge.h"
#include "ui/Tflashform.h"
#include "ui/Tuploadform.h"

#include "DbAccounts.h"
#include "DialogFixture.h"

#include <QApplication>
#include <QLineEdit>
#include <QTimer>

#include <gtest/gtest.h>

#include <ctime>
#include <functional>

namespace {

// 2011-03-05 14:07:09 local time: the upload time every test writes.
std::chrono::system_clock::time_point FixedNow()
{
    std::tm t{};
    t.tm_year = 2011 - 1900;
    t.tm_mon = 2;
    t.tm_mday = 5;
    t.tm_hour = 14;
    t.tm_min = 7;
    t.tm_sec = 9;
    t.tm_isdst = -1;
    return std::chrono::system_clock::from_time_t(std::mktime(&t));
}

QString Repeat(const char* utf8, int times)
{
    return QString::fromUtf8(utf8).repeated(times);
}

class UploadFormTest : public DialogFixture
{
protected:
    void SetUp() override
    {
        s_db->exec("DROP TRIGGER IF EXISTS refuse_video; DROP TRIGGER IF EXISTS refuse_score");
        s_db->clear();
        s_db->exec("INSERT INTO zumalo_userinfo(username, userpwd, userscore) VALUES "
                   "('小明', 'pw', 10), ('other', 'pw', 50)");
        ASSERT_TRUE(OpenAsProgram(m_db));
        m_db.Connected = true;
        m_session.UserName = Utf8ToGbk("小明");
    }

    std::unique_ptr<TUploadForm> Form()
    {
        return std::make_unique<TUploadForm>(nullptr, m_session, m_db, m_platform,
                                             [] { return FixedNow(); });
    }

    // Fills the three upload fields and presses "上传"; the text of the box it showed.
    QString Upload(TUploadForm& form, const QString& title, const QString& link,
                   const QString& requiredScore)
    {
        form.Controls().Edit1->setText(title);
        form.Controls().Edit2->setText(link);
        form.Controls().Edit4->setText(requiredScore);
        m_fakes.prompts.entries.clear();
        form.SpeedButton1Click();
        EXPECT_EQ(m_fakes.prompts.entries.size(), 1u);
        EXPECT_EQ(m_fakes.prompts.Last().kind, FakePrompts::Kind::Warn);
        EXPECT_EQ(m_fakes.prompts.Last().owner, &form);
        return m_fakes.prompts.Last().text;
    }

    static std::string Score()
    {
        return s_db->scalar("SELECT userscore FROM zumalo_userinfo WHERE username = '小明'");
    }
    static std::string VideoCount() { return s_db->scalar("SELECT count(*) FROM zumalo_sp"); }
};

const QString kDone = QStringLiteral("上传成功，恭喜获得2个积分。");

TEST_F(UploadFormTest, EntriesAreCheckedInOrderAndStoredAsTheRulesSay)
{
    const QString link = QStringLiteral("http://127.0.0.1/sp/a.swf");
    const struct
    {
        const char* what;
        QString title;
        QString link;
        QString requiredScore;
        QString message;
        const char* storedTitle;    // UTF-8; null when nothing may be stored
        const char* storedLink;     // UTF-8
        const char* storedRequired; // allowScore as stored
    } cases[] = {
        {"40 Chinese characters are 80 bytes", Repeat("视", 40), link, "0", kDone,
         "视视视视视视视视视视视视视视视视视视视视视视视视视视视视视视视视视视视视视视视视",
         "http://127.0.0.1/sp/a.swf", "0"},
        {"41 are too long", Repeat("视", 41), link, "0", "视频名称太长了。", nullptr, nullptr,
         nullptr},
        {"blanks only are no title", "   ", link, "0", "请输入视频名称。", nullptr, nullptr,
         nullptr},
        {"blanks only are no address", "春天", " \t ", "0", "请输入视频链接地址。", nullptr,
         nullptr, nullptr},
        {"title and address keep their blanks", " 春天 ", " http://x/a.swf ", "0", kDone, " 春天 ",
         " http://x/a.swf ", "0"},
        {"a quote is stored as typed", "Tom's 片", link, "0", kDone, "Tom's 片",
         "http://127.0.0.1/sp/a.swf", "0"},
        {"32767 is the highest", "a", link, "32767", kDone, "a", "http://127.0.0.1/sp/a.swf",
         "32767"},
        {"32768 is too high", "a", link, "32768", "请输入合法数字。", nullptr, nullptr, nullptr},
        {"negative passes", "a", link, "-5", kDone, "a", "http://127.0.0.1/sp/a.swf", "-5"},
        {"stored trimmed", "a", link, " 7 ", kDone, "a", "http://127.0.0.1/sp/a.swf", "7"},
        {"hexadecimal is stored as typed", "a", link, "$0A", kDone, "a",
         "http://127.0.0.1/sp/a.swf", "$0A"},
        {"empty is no integer", "a", link, "", "'' is not a valid integer value", nullptr, nullptr,
         nullptr},
        {"blanks are no integer", "a", link, "  ", "'' is not a valid integer value", nullptr,
         nullptr, nullptr},
        {"words are no integer", "a", link, "十", "'十' is not a valid integer value", nullptr,
         nullptr, nullptr},
        {"beyond 32 bits", "a", link, "4294967296", "'4294967296' is not a valid integer value",
         nullptr, nullptr, nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        s_db->exec("DELETE FROM zumalo_sp; UPDATE zumalo_userinfo SET userscore = 10 WHERE "
                   "username = '小明'");
        const auto form = Form();
        EXPECT_EQ(Upload(*form, c.title, c.link, c.requiredScore), c.message);
        if (!c.storedTitle) {
            EXPECT_EQ(form->result(), 0) << "the dialog stays open";
            EXPECT_EQ(VideoCount(), "0");
            EXPECT_EQ(Score(), "10");
            continue;
        }
        EXPECT_EQ(form->result(), QDialog::Accepted);
        EXPECT_EQ(Score(), "12");
        const auto rows =
            s_db->rows("SELECT username, text, link, uploadtime, allowScore FROM zumalo_sp");
        ASSERT_EQ(rows.size(), 1u);
        EXPECT_EQ(rows[0][0], "小明");
        EXPECT_EQ(rows[0][1], c.storedTitle);
        EXPECT_EQ(rows[0][2], c.storedLink);
        EXPECT_EQ(rows[0][3], TimeStamp(FixedNow()));
        EXPECT_EQ(rows[0][4], c.storedRequired);
    }
    EXPECT_EQ(s_db->scalar("SELECT userscore FROM zumalo_userinfo WHERE username = 'other'"), "50");
}

TEST_F(UploadFormTest, PublishingRaisesTheScoreByTwoAndTheReloadShowsTheVideoFirst)
{
    s_db->exec("INSERT INTO zumalo_sp(text, link) VALUES ('旧一', 'x'), ('旧二', 'y')");
    const auto form = Form();
    EXPECT_EQ(form->Controls().Edit4->text(), QStringLiteral("0"))
        << "everyone may watch by default";
    form->Controls().Edit1->setText(QStringLiteral("春天"));
    form->Controls().Edit2->setText(QStringLiteral("http://127.0.0.1/sp/spring.swf"));
    form->SpeedButton1Click();
    EXPECT_EQ(m_fakes.prompts.Texts(), QStringList({kDone}));
    EXPECT_EQ(form->result(), QDialog::Accepted);
    EXPECT_EQ(Score(), "12");

    // What the main window does after the dialog's OK: page 1 of the video list.
    ContentBrowser browser(m_db);
    browser.CurrentCategory = Category::Kind::Videos;
    ASSERT_TRUE(browser.Count(Category::Kind::Videos));
    ASSERT_TRUE(browser.FetchPage(1, Category::Kind::Videos));
    ASSERT_EQ(browser.RowTexts.size(), 3u);
    EXPECT_EQ(browser.RowTexts[0], Utf8ToGbk("春天"));
    EXPECT_EQ(browser.Counter(), QStringLiteral("共3个视频"));
}

TEST_F(UploadFormTest, RefusedInsertLeavesTheScoreAsItWasOnEveryPress)
{
    s_db->exec("CREATE TRIGGER refuse_video BEFORE INSERT ON zumalo_sp FOR EACH ROW "
               "SIGNAL SQLSTATE '45000' SET MESSAGE_TEXT = 'no videos today'");
    const auto form = Form();
    for (int press = 1; press <= 2; ++press) {
        SCOPED_TRACE(press);
        EXPECT_EQ(Upload(*form, "春天", "http://x/a.swf", "0"), "上传视频信息失败。");
        EXPECT_EQ(Score(), "10");
        EXPECT_EQ(VideoCount(), "0");
        EXPECT_EQ(form->result(), 0);
        EXPECT_EQ(form->Controls().Edit1->text(), QStringLiteral("春天"))
            << "the entries stay as typed";
    }

    // Once the server takes videos again, the same dialog earns exactly 2 points.
    s_db->exec("DROP TRIGGER refuse_video");
    EXPECT_EQ(Upload(*form, "春天", "http://x/a.swf", "0"), kDone);
    EXPECT_EQ(Score(), "12");
    EXPECT_EQ(VideoCount(), "1");
}

TEST_F(UploadFormTest, WhenTheScoreCannotBeSetBackThePointsStay)
{
    // The server refuses the insert and any lowering of a score: the points added before
    // the insert cannot be taken back, and the box still says the upload failed.
    s_db->exec("CREATE TRIGGER refuse_video BEFORE INSERT ON zumalo_sp FOR EACH ROW "
               "SIGNAL SQLSTATE '45000' SET MESSAGE_TEXT = 'no videos today'");
    s_db->exec("CREATE TRIGGER refuse_score BEFORE UPDATE ON zumalo_userinfo FOR EACH ROW "
               "IF NEW.userscore < OLD.userscore THEN "
               "SIGNAL SQLSTATE '45000' SET MESSAGE_TEXT = 'scores only rise'; END IF");
    const auto form = Form();
    EXPECT_EQ(Upload(*form, "春天", "http://x/a.swf", "0"), "上传视频信息失败。");
    EXPECT_EQ(Score(), "12");
    EXPECT_EQ(VideoCount(), "0");
}

TEST_F(UploadFormTest, ScoreThatCannotBeReadOrRaisedStopsBeforeTheInsert)
{
    const struct
    {
        const char* what;
        std::function<void()> arrange;
        const char* message;
    } cases[] = {
        {"no account row", [this] { m_session.UserName = Utf8ToGbk("无名"); },
         "获取个人积分信息失败。"},
        // A connection killed on the server is made again (tests/integration/reconnect_test);
        // a session without one fails the same way as a missing row.
        {"no connection", [this] { m_db.Close(); }, "获取个人积分信息失败。"},
        {"update refused",
         [] {
             s_db->exec("CREATE TRIGGER refuse_score BEFORE UPDATE ON zumalo_userinfo FOR EACH "
                        "ROW SIGNAL SQLSTATE '45000' SET MESSAGE_TEXT = 'frozen'");
         },
         "更新个人积分信息失败。"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        SetUp();
        c.arrange();
        const auto form = Form();
        EXPECT_EQ(Upload(*form, "春天", "http://x/a.swf", "0"), QString::fromUtf8(c.message));
        EXPECT_EQ(form->result(), 0);
        EXPECT_EQ(Score(), "10");
        EXPECT_EQ(VideoCount(), "0");
    }
}

TEST_F(UploadFormTest, TestButtonPlaysItsOwnFieldOnly)
{
    const auto form = Form();
    form->Controls().Edit2->setText(QStringLiteral("http://x/publish.swf"));
    form->SpeedButton2Click();
    EXPECT_EQ(m_fakes.prompts.Texts(), QStringList({"请输入测试链接地址。"}));
    EXPECT_EQ(m_fakes.prompts.Last().owner, form.get());
    EXPECT_EQ(m_fakes.movies.created, 0);

    // The player opens modally over the dialog, in test mode, with the address as typed.
    m_fakes.prompts.entries.clear();
    form->Controls().Edit3->setText(QStringLiteral(" http://x/试.swf "));
    QString caption;
    QWidget* owner = nullptr;
    QTimer::singleShot(0, [&] {
        if (auto* player = qobject_cast<TFlashForm*>(QApplication::activeModalWidget())) {
            caption = player->windowTitle();
            owner = player->parentWidget();
            player->close();
        }
    });
    form->SpeedButton2Click();
    EXPECT_EQ(caption, QStringLiteral("正在测试视频效果"));
    EXPECT_EQ(owner, form.get());
    EXPECT_EQ(m_fakes.movies.calls, QStringList({"LoadMovie 0  http://x/试.swf ", "Play"}));
    EXPECT_TRUE(m_fakes.prompts.entries.empty());
    EXPECT_EQ(VideoCount(), "0");
    EXPECT_EQ(Score(), "10");
}

TEST_F(UploadFormTest, DialogIsFixedAndCentredOverTheMainWindow)
{
    QWidget mainWindow;
    mainWindow.setGeometry(100, 80, 900, 700);
    const TUploadForm form(&mainWindow, m_session, m_db, m_platform);
    EXPECT_EQ(form.windowTitle(), QStringLiteral("视频上传"));
    EXPECT_EQ(form.minimumSize(), QSize(379, 205));
    EXPECT_EQ(form.maximumSize(), QSize(379, 205));
    EXPECT_EQ(form.geometry().center(), mainWindow.geometry().center());
}

} // namespace
