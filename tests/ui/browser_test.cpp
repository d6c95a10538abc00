#include "FullDisk.h"
#include "MainFormFixture.h"
#include "core/GbkText.h"

#include "ui/Controls.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTimer>

#include <functional>

namespace {

// The list on the main window: paging, categories, activation and posting, on a database
// whose lists each test fills itself.
class Browser : public MainFormFixture
{
protected:
    void SetUp() override
    {
        MainFormFixture::SetUp();
        s_db->exec("DELETE FROM zumalo_zhongzi; DELETE FROM zumalo_sp; DELETE FROM zumalo_news; "
                   "DELETE FROM zumalo_bodysay");
    }

    void AddRows(const std::string& table, int count, const std::string& prefix = "item")
    {
        std::string sql = "INSERT INTO " + table + "(text, link) VALUES ";
        for (int i = 1; i <= count; ++i)
            sql += (i > 1 ? ", " : "") + std::string("('") + prefix + std::to_string(i) + "', 'l"
                + std::to_string(i) + "')";
        s_db->exec(sql);
    }

    QStringList Rows() const
    {
        QStringList rows;
        for (int i = 0; i < 8; ++i)
            rows << Row(i)->text();
        return rows;
    }

    std::vector<bool> Badges() const
    {
        std::vector<bool> shown;
        for (int i = 0; i < 8; ++i)
            shown.push_back(RowBadge(i)->isVisibleTo(m_form.get()));
        return shown;
    }

    QString LastWarning() const
    {
        return m_fake.prompts.entries.empty() ? QString() : m_fake.prompts.Last().text;
    }
};

TEST_F(Browser, EmptyListSaysNoRecordsAndRefusesEveryPage)
{
    StartAsDemo();
    EXPECT_EQ(Label("Label12")->text(), "没有记录");
    EXPECT_EQ(Rows(), QStringList(8, QString()));
    EXPECT_EQ(Badges(), std::vector<bool>(8, false));
    EXPECT_EQ(Status(0), "共0个种子");
    EXPECT_FALSE(Button("SpeedButton2")->isEnabled());
    EXPECT_FALSE(Button("SpeedButton3")->isEnabled());
    for (const char* text : {"1", "0", "-1"}) {
        Edit("Edit2")->setText(text);
        Click("SpeedButton6");
        EXPECT_EQ(LastWarning(), "不存在此页数。") << text;
    }
}

TEST_F(Browser, EightRowsAreOnePageAndNineAreTwo)
{
    AddRows("zumalo_zhongzi", 8);
    StartAsDemo();
    EXPECT_EQ(Label("Label12")->text(), "1/1");
    EXPECT_FALSE(Button("SpeedButton3")->isEnabled());
    EXPECT_EQ(Rows().front(), "item8"); // newest first
    EXPECT_EQ(Badges(), std::vector<bool>(8, true));

    AddRows("zumalo_zhongzi", 1, "ninth");
    Click("SpeedButton1");
    EXPECT_EQ(Status(0), "共9个种子");
    EXPECT_TRUE(Button("SpeedButton3")->isEnabled());
    Click("SpeedButton3");
    EXPECT_EQ(Label("Label12")->text(), "2/2");
    EXPECT_EQ(Rows(), QStringList({"item1", "", "", "", "", "", "", ""}));
    std::vector<bool> onlyFirst(8, false);
    onlyFirst[0] = true;
    EXPECT_EQ(Badges(), onlyFirst);
    EXPECT_FALSE(Button("SpeedButton3")->isEnabled());
    EXPECT_TRUE(Button("SpeedButton2")->isEnabled());
    Click("SpeedButton2");
    EXPECT_EQ(Label("Label12")->text(), "1/2");
    EXPECT_FALSE(Button("SpeedButton2")->isEnabled());
}

TEST_F(Browser, GoToPageOnFivePages)
{
    AddRows("zumalo_zhongzi", 40);
    TMainForm& form = StartAsDemo();
    struct Case
    {
        const char* text;
        QString label;
        bool previous;
        bool next;
        QString warning;
    };
    const Case cases[] = {
        {"3", "3/5", true, true, ""},
        {"5", "5/5", true, false, ""},
        {" 2", "2/5", true, true, ""},
        {"$1", "1/5", false, true, ""},
        {"abc", "1/5", false, true, "请输入有效数字。"},
        {"0", "1/5", false, true, "不存在此页数。"},
        {"6", "1/5", false, true, "不存在此页数。"},
        {"", "1/5", false, true, "请输入有效数字。"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        m_fake.prompts.entries.clear();
        Edit("Edit2")->setText(c.text);
        Click("SpeedButton6");
        EXPECT_EQ(Label("Label12")->text(), c.label);
        EXPECT_EQ(Button("SpeedButton2")->isEnabled(), c.previous);
        EXPECT_EQ(Button("SpeedButton3")->isEnabled(), c.next);
        EXPECT_EQ(LastWarning(), c.warning);
        if (!c.warning.isEmpty()) {
            EXPECT_EQ(m_fake.prompts.Last().owner, &form);
        }
        EXPECT_EQ(Edit("Edit2")->text(), c.text); // the box keeps its text
    }
    Edit("Edit2")->setText("3");
    Click("SpeedButton6");
    EXPECT_EQ(Rows().front(), "item24");
}

TEST_F(Browser, BoardRowsJoinNameAndTextAndTheInputRowFollowsTheBoard)
{
    s_db->exec("INSERT INTO zumalo_bodysay(username, saybody, saytime) VALUES "
               "('alice', 'older', '2026-01-01 10:00:00'), ('bob', 'hi', '2026-01-02 10:00:00')");
    AddRows("zumalo_sp", 3);
    TMainForm& form = StartAsDemo();
    EXPECT_EQ(form.height(), 388);

    Click("SpeedButton8");
    EXPECT_EQ(Rows().mid(0, 3), QStringList({"bob:hi", "alice:older", ""}));
    EXPECT_EQ(Status(0), "共2条留言");
    EXPECT_EQ(Status(4), "你正在浏览留言板");
    EXPECT_TRUE(Edit("Edit1")->isVisibleTo(&form));
    EXPECT_EQ(form.height(), 408);
    Click("SpeedButton8"); // taller only once
    EXPECT_EQ(form.height(), 408);

    Click("SpeedButton4");
    EXPECT_EQ(form.height(), 388);
    EXPECT_FALSE(Edit("Edit1")->isVisibleTo(&form));
    EXPECT_EQ(Status(0), "共3个视频");
    EXPECT_EQ(Status(4), "你正在浏览视频");
    Click("SpeedButton10");
    EXPECT_EQ(Status(0), "共0条快贴");
    EXPECT_EQ(form.height(), 388);
}

TEST_F(Browser, RefreshGoesBackToPageOneOfTheSameList)
{
    AddRows("zumalo_sp", 20);
    TMainForm& form = StartAsDemo();
    Click("SpeedButton4");
    Click("SpeedButton3");
    EXPECT_EQ(form.Browser().CurrentPage, 2);
    AddRows("zumalo_sp", 1, "fresh");
    Click("SpeedButton1");
    EXPECT_EQ(form.Browser().CurrentPage, 1);
    EXPECT_EQ(Label("Label12")->text(), "1/3");
    EXPECT_EQ(Rows().front(), "fresh1");
    EXPECT_EQ(Status(4), "你正在浏览视频");
}

TEST_F(Browser, HoverUnderlinesListRowsButNotBoardRowsOrTheUsersOwn)
{
    s_db->exec("INSERT INTO zumalo_zhongzi(text, link) VALUES ('abc', 'x'), ('demo:mine', 'y')");
    StartAsDemo();
    ASSERT_EQ(Row(0)->text(), "demo:mine");
    emit Row(1)->mouseMoved();
    EXPECT_TRUE(Row(1)->font().underline());
    emit Row(1)->mouseLeft();
    EXPECT_FALSE(Row(1)->font().underline());
    emit Row(0)->mouseMoved();
    EXPECT_FALSE(Row(0)->font().underline());
    s_db->exec("INSERT INTO zumalo_bodysay(username, saybody, saytime) VALUES ('bob', 'hi', "
               "'2026-01-02 10:00:00')");
    Click("SpeedButton8");
    emit Row(0)->mouseMoved();
    EXPECT_FALSE(Row(0)->font().underline());
}

TEST_F(Browser, RowLabelsFitTheirTitlesSoOnlyTheTextTakesClicks)
{
    s_db->exec("INSERT INTO zumalo_zhongzi(text, link) VALUES ('ab', 'x'), "
               "('一个很长很长的种子标题', 'y')");
    StartAsDemo();
    ASSERT_EQ(Row(0)->text(), "一个很长很长的种子标题");
    EXPECT_GT(Row(0)->width(), Row(1)->width());
    EXPECT_GE(Row(1)->width(), Row(1)->fontMetrics().horizontalAdvance("ab"));
    EXPECT_EQ(Row(2)->width(), 0);
    // A shorter title on the next list shrinks the label again.
    s_db->exec("INSERT INTO zumalo_sp(text, link) VALUES ('cd', 'z')");
    Click("SpeedButton4");
    EXPECT_EQ(Row(0)->text(), "cd");
    EXPECT_LT(Row(0)->width(), Row(1)->fontMetrics().horizontalAdvance("一个很长很长"));
}

TEST_F(Browser, RowsShowMarkupAsTyped)
{
    s_db->exec("INSERT INTO zumalo_bodysay(username, saybody, saytime) VALUES ('bob', '<b>hi</b> "
               "&lt;x&gt;', '2026-01-02 10:00:00')");
    StartAsDemo();
    Click("SpeedButton8");
    EXPECT_EQ(Row(0)->text(), "bob:<b>hi</b> &lt;x&gt;");
    EXPECT_EQ(Row(0)->textFormat(), Qt::PlainText);
    // Drawn as typed: as wide as the raw text, not as the shorter formatted one.
    EXPECT_GE(Row(0)->width(), Row(0)->fontMetrics().horizontalAdvance("bob:<b>hi</b> &lt;x&gt;"));
}

// ----- activation

TEST_F(Browser, BoardRowsAndEmptyRowsDoNothing)
{
    s_db->exec("INSERT INTO zumalo_bodysay(username, saybody, saytime) VALUES ('bob', 'hi', "
               "'2026-01-02 10:00:00')");
    StartAsDemo();
    Click("SpeedButton8");
    emit Row(0)->clicked();
    emit Row(5)->clicked();
    EXPECT_TRUE(m_fake.prompts.entries.empty());
    EXPECT_TRUE(m_fake.files.filters.isEmpty());
    EXPECT_TRUE(m_fake.shell.opened.isEmpty());
}

TEST_F(Browser, VideoScoreGateLetsEqualScoresPass)
{
    // The required score is kept as the uploader typed it: "$0A" is 10.
    s_db->exec("INSERT INTO zumalo_sp(text, link, allowScore, username, uploadtime) VALUES "
               "('gated', 'http://127.0.0.1:1/a.swf', '$0A', 'bob', '2026-01-01 10:00:00'), "
               "('nolink', '', 0, 'bob', '2026-01-01 10:00:00')");
    struct Case
    {
        int score;
        bool plays;
        QString warning;
    };
    const Case cases[] = {
        {10, true, ""},
        {9, false, "对不起，你的积分不够，不能观看此视频。"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.score);
        s_db->exec("UPDATE zumalo_userinfo SET userscore = " + std::to_string(c.score)
                   + " WHERE username = 'demo'");
        m_db = std::make_unique<DbSession>(m_settings);
        m_fake.prompts.entries.clear();
        m_fake.movies.calls.clear();
        StartAsDemo();
        Click("SpeedButton4");
        ASSERT_EQ(Row(1)->text(), "gated");
        // The player window is modal: close it as soon as it runs.
        QTimer::singleShot(0, [] {
            if (QWidget* w = QApplication::activeModalWidget())
                w->close();
        });
        emit Row(1)->clicked();
        EXPECT_EQ(m_fake.movies.calls.contains("LoadMovie 0 http://127.0.0.1:1/a.swf"), c.plays)
            << m_fake.movies.calls.join(", ").toStdString();
        EXPECT_EQ(LastWarning(), c.warning);
        // An empty link passes the gate and opens nothing.
        m_fake.movies.calls.clear();
        emit Row(0)->clicked();
        EXPECT_TRUE(m_fake.movies.calls.isEmpty());
        Destroy();
    }
    s_db->exec("UPDATE zumalo_userinfo SET userscore = 20 WHERE username = 'demo'");
}

// A required score that is no number ends the activation with the conversion text; a row
// without one (NULL) may be opened by everyone.
TEST_F(Browser, ValuesThatAreNotNumbersEndTheActivationWithTheConversionText)
{
    struct Case
    {
        const char* allowScore; // SQL literal
        const char* warning;    // "" when the link opens
    };
    const Case cases[] = {
        {"NULL", ""},
        {"''", "'' is not a valid integer value"},
        {"'abc'", "'abc' is not a valid integer value"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.allowScore);
        s_db->exec("DELETE FROM zumalo_news");
        s_db->exec(std::string("INSERT INTO zumalo_news(text, link, allowScore) VALUES ('odd', "
                               "'http://x', ")
                   + c.allowScore + ")");
        m_fake.prompts.entries.clear();
        m_fake.shell.opened.clear();
        StartAsDemo();
        Click("SpeedButton10");
        emit Row(0)->clicked();
        if (*c.warning) {
            EXPECT_EQ(LastWarning(), c.warning);
            EXPECT_TRUE(m_fake.shell.opened.isEmpty());
        } else {
            EXPECT_EQ(m_fake.shell.opened, QStringList{"http://x"});
        }
        Destroy();
    }
}

// Only web addresses reach the desktop's opener; anything else is refused with a message and
// stays stored as typed.
TEST_F(Browser, QuickPostLinkGoesToTheShellOnlyWhenItIsAWebAddress)
{
    const char* const refused = "这个链接不是网页地址，为了安全没有打开。";
    struct Case
    {
        const char* link;
        bool opens;
    };
    const Case cases[] = {
        {"http://127.0.0.1:8081/help.html", true},
        {"ftp://127.0.0.1/pub/a.rar", true},
        {"file:///etc/passwd", false},
        {"javascript:alert(1)", false},
        {"smb://host/a.desktop", false},
        {"a.desktop", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.link);
        s_db->exec("DELETE FROM zumalo_news");
        s_db->exec(std::string("INSERT INTO zumalo_news(text, link, username) VALUES ('帮助', '")
                   + c.link + "', 'bob')");
        m_fake.prompts.entries.clear();
        m_fake.shell.opened.clear();
        StartAsDemo();
        Click("SpeedButton10");
        emit Row(0)->clicked();
        if (c.opens) {
            EXPECT_EQ(m_fake.shell.opened, QStringList({c.link}));
            EXPECT_TRUE(m_fake.prompts.entries.empty());
        } else {
            EXPECT_TRUE(m_fake.shell.opened.isEmpty());
            EXPECT_EQ(LastWarning(), refused);
        }
        Destroy();
    }
}

TEST_F(Browser, TorrentDownloadSavesUnderTheChosenPrefix)
{
    s_db->exec("INSERT INTO zumalo_zhongzi(text, link) VALUES ('gone', 'missing.torrent'), "
               "('real', 'real.torrent')");
    m_http.Serve("/zhongzi/real.torrent", std::string(1234, 'd'));
    QTemporaryDir dir;
    const QString prefix = dir.path() + "/abc";
    const QString saved = prefix + "【欢迎共享种子到"
        + QString::fromStdString(m_settings.ShareContactAddress) + "】.torrent";
    StartAsDemo();
    ASSERT_EQ(Row(0)->text(), "real");

    // Cancelled dialog: nothing is fetched.
    m_fake.files.path = "";
    emit Row(0)->clicked();
    EXPECT_EQ(m_http.Hits("/zhongzi/real.torrent"), 0);
    EXPECT_TRUE(m_fake.prompts.entries.empty());
    ASSERT_EQ(m_fake.files.filters.size(), 1);
    EXPECT_TRUE(m_fake.files.filters[0].contains("*.torrent"));

    m_fake.files.path = prefix;
    emit Row(0)->clicked();
    EXPECT_EQ(LastWarning(), "下载种子完成，种子大小1234字节");
    QFile file(saved);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly)) << saved.toStdString();
    EXPECT_EQ(file.size(), 1234);

    // An error status writes no file.
    QFile::remove(saved);
    emit Row(1)->clicked();
    EXPECT_EQ(LastWarning(), "下载种子失败...");
    EXPECT_FALSE(QFile::exists(saved));
    // The wait cursor of the request went with it, also after the failure.
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
}

TEST_F(Browser, TorrentLinksWithBlanksAndChineseAreFetched)
{
    s_db->exec("INSERT INTO zumalo_zhongzi(text, link) VALUES ('odd', 'a b#种子.torrent')");
    const std::string served = "/zhongzi/a b#" + Utf8ToGbk("种子") + ".torrent";
    m_http.Serve(served, std::string(77, 't'));
    QTemporaryDir dir;
    m_fake.files.path = dir.path() + "/x";
    StartAsDemo();
    emit Row(0)->clicked();
    EXPECT_EQ(m_http.Hits(served), 1);
    EXPECT_EQ(LastWarning(), "下载种子完成，种子大小77字节");
}

TEST_F(Browser, TorrentThatCannotBeWrittenWholeIsAFailureAndLeavesNoFile)
{
    s_db->exec("INSERT INTO zumalo_zhongzi(text, link) VALUES ('big', 'big.torrent')");
    m_http.Serve("/zhongzi/big.torrent", std::string(1234, 'd'));
    QTemporaryDir dir;
    m_fake.files.path = dir.path() + "/full";
    StartAsDemo();

    // A file-size limit stands in for a full disk: writes past 100 bytes fail.
    {
        const FullDisk full(100);
        ASSERT_TRUE(full.ok());
        emit Row(0)->clicked();
    }

    EXPECT_EQ(LastWarning(), "下载种子失败...");
    EXPECT_TRUE(QDir(dir.path()).entryList(QDir::Files).isEmpty());
}

// ----- posting

TEST_F(Browser, PostingChecksTheTrimmedLengthAndStoresTheTextAsTyped)
{
    TMainForm& form = StartAsDemo();
    // Each post a second after the one before, so the newest is on top.
    auto now = std::chrono::system_clock::now();
    form.SetClock([&now] { return now += std::chrono::seconds(1); });
    Click("SpeedButton8");
    struct Case
    {
        QString typed;
        QString warning;
    };
    const Case cases[] = {
        {"   ", "请输入留言。"},
        {QString(74, 'a'), "提交成功！"},
        {QString(75, 'a'), "留言内容太长啦"},
        {QString(37, QChar(0x4E2D)), "提交成功！"}, // 37 Chinese characters, 74 bytes
        {QString(38, QChar(0x4E2D)), "留言内容太长啦"},
        {QString(10, ' ') + QString(70, 'b') + QString(10, ' '), "提交成功！"},
    };
    int stored = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.typed.toStdString());
        m_fake.prompts.entries.clear();
        Edit("Edit1")->setText(c.typed);
        Click("SpeedButton9");
        EXPECT_EQ(LastWarning(), c.warning);
        EXPECT_EQ(Edit("Edit1")->text(), c.typed);
        if (c.warning == "提交成功！") {
            ++stored;
            EXPECT_EQ(Row(0)->text(), "demo:" + c.typed);
            EXPECT_EQ(form.Browser().CurrentPage, 1);
        }
    }
    EXPECT_EQ(s_db->scalar("select count(*) from zumalo_bodysay"), std::to_string(stored));
    // Blanks around the text are stored with it.
    EXPECT_EQ(s_db->scalar("select count(*) from zumalo_bodysay where saybody = concat(repeat(' ', "
                           "10), repeat('b', 70), repeat(' ', 10))"),
              "1");
}

TEST_F(Browser, PostingWithTheDatabaseGoneFailsAndKeepsTheRows)
{
    s_db->exec("INSERT INTO zumalo_bodysay(username, saybody, saytime) VALUES ('bob', 'hi', "
               "'2026-01-02 10:00:00')");
    StartAsDemo();
    Click("SpeedButton8");
    m_db->Close();
    Edit("Edit1")->setText("hello");
    Click("SpeedButton9");
    EXPECT_EQ(LastWarning(), "提交留言失败，请重新提交。");
    EXPECT_EQ(Row(0)->text(), "bob:hi");
}

} // namespace

// A list or a page that cannot be read leaves rows, page number and counter in agreement:
// the list on display as it was when the new one cannot even be counted, else the new page
// empty under its own number and counter. Never one list's rows under another's name.
TEST_F(Browser, ListThatCannotBeReadLeavesRowsLabelAndCounterInAgreement)
{
    struct Case
    {
        const char* name;
        const char* table; // made unreadable after start-up
        bool countable;    // still counted (a view without the row texts), or gone
        std::function<void()> act;
        QStringList rows;
        QString page, counter, browsing;
    };
    const QStringList none(8, QString());
    const Case cases[] = {
        {"switch to a list that cannot be counted", "zumalo_sp", false,
         [this] { Click("SpeedButton4"); },
         QStringList({"item9", "item8", "item7", "item6", "item5", "item4", "item3", "item2"}),
         "1/2", "共9个种子", "你正在浏览种子"},
        {"switch to a list whose page cannot be read", "zumalo_sp", true,
         [this] { Click("SpeedButton4"); }, none, "1/1", "共3个视频", "你正在浏览视频"},
        {"next page cannot be read", "zumalo_zhongzi", true, [this] { Click("SpeedButton3"); },
         none, "2/2", "共9个种子", "你正在浏览种子"},
        {"go to a page that cannot be read", "zumalo_zhongzi", true,
         [this] {
             Edit("Edit2")->setText("2");
             Click("SpeedButton6");
         },
         none, "2/2", "共9个种子", "你正在浏览种子"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Destroy();
        s_db->exec("DELETE FROM zumalo_zhongzi; DELETE FROM zumalo_sp");
        AddRows("zumalo_zhongzi", 9);
        AddRows("zumalo_sp", 3, "video");
        TMainForm& form = StartAsDemo();
        Click("SpeedButton5");
        const std::string table = c.table;
        s_db->exec("RENAME TABLE " + table + " TO away");
        if (c.countable)
            s_db->exec("CREATE VIEW " + table + " AS SELECT id FROM away");
        c.act();
        if (c.countable)
            s_db->exec("DROP VIEW " + table);
        s_db->exec("RENAME TABLE away TO " + table);

        EXPECT_EQ(Rows(), c.rows);
        std::vector<bool> badges;
        for (const auto& row : c.rows)
            badges.push_back(!row.isEmpty());
        EXPECT_EQ(Badges(), badges);
        EXPECT_EQ(Label("Label12")->text(), c.page);
        EXPECT_EQ(Status(0), c.counter);
        EXPECT_EQ(Status(4), c.browsing);
        EXPECT_EQ(form.Browser().Current().browsing, c.browsing);
    }
}
