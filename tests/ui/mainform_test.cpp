#include "MainFormFixture.h"

#include "ui/Controls.h"

#include "net/PresenceChannel.h"

#include <QGuiApplication>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QRegularExpression>
#include <QTextDocument>
#include <QTimer>

#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>

namespace {

using MainFormStartUp = MainFormFixture;

std::string NameOf(const std::string& datagram)
{
    return datagram.size() >= 29 ? std::string(datagram.c_str() + 8) : std::string();
}

// The datagrams with repeats folded: an unanswered login request goes again, and the logout
// notice goes in a few copies.
std::vector<std::string> Folded(std::vector<std::string> sent)
{
    sent.erase(std::unique(sent.begin(), sent.end()), sent.end());
    return sent;
}

TEST_F(MainFormStartUp, FillsTheWindowFromTheDatabaseTheFileServiceAndTheWeatherPage)
{
    TMainForm& form = StartAsDemo();
    EXPECT_FALSE(form.QuitRequested());
    EXPECT_TRUE(form.isVisible());
    EXPECT_EQ(form.windowTitle(), "欢迎demo登录");
    EXPECT_EQ(Status(4), "你正在浏览种子");
    EXPECT_EQ(Status(0), "共22个种子");
    EXPECT_EQ(Status(1), "QEL Studio");
    EXPECT_EQ(Status(3), "");
    EXPECT_EQ(Label("Label6")->text(), "新版本Zumalo2.rar已发布，修复聊天室断线问题，欢迎下载！");
    EXPECT_EQ(Label("Label15")->text(), "欢迎来到Zumalo社区");
    ASSERT_EQ(form.NoticeCaptions().size(), 5u);
    EXPECT_EQ(GbkToUtf8(form.NoticeCaptions()[4]), "快贴板块开放投稿");
    EXPECT_EQ(form.FirstBannerLink(), "http://left.example/a");
    EXPECT_EQ(form.SecondBannerLink(), "http://right.example/b");
    EXPECT_EQ(Label("Label1")->text(), "当天温度25℃");
    // The newest torrent is the first row; the input row is hidden and the window lowered.
    EXPECT_EQ(Row(0)->text(), "开源游戏《超级企鹅》");
    EXPECT_FALSE(Edit("Edit1")->isVisibleTo(&form));
    EXPECT_FALSE(Button("SpeedButton9")->isVisibleTo(&form));
    EXPECT_EQ(form.height(), 388);
    EXPECT_EQ(form.width(), 681);
    EXPECT_FALSE(Control<QFrame>("Panel3")->isVisibleTo(&form));
    EXPECT_TRUE(Control<QTimer>("Timer1")->isActive());
    EXPECT_EQ(Control<QTimer>("Timer1")->interval(), 20000);
    EXPECT_TRUE(Control<QTimer>("TemperatureTimer")->isActive());
    EXPECT_EQ(Control<QTimer>("TemperatureTimer")->interval(), 300000);
    // The server's banners replaced the design pictures.
    EXPECT_EQ(m_http.Hits("/low.bmp"), 1);
    EXPECT_EQ(m_http.Hits("/high.bmp"), 1);
    EXPECT_EQ(Label("Image1")->pixmap().toImage().pixel(10, 10) & 0xffffff, 0xff3366u);
    EXPECT_TRUE(m_fake.prompts.entries.empty());
    // Every wait of the start-up, statements and fetches alike, gave the cursor back.
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
}

// What the window shows when it first appears, with a file service that takes connections
// and never answers in time: no design text ("Label12", "通告", "Memo1"), whatever arrives
// later.
TEST_F(MainFormStartUp, FirstShowHoldsNoDesignTextWhileTheServerHangs)
{
    TestHttpServer::Page hung;
    hung.delay = std::chrono::milliseconds(3000);
    m_http.ServeAll(hung);
    for (const char* path : {"/low.bmp", "/high.bmp", "/link.php", "/tb.q"})
        m_http.Remove(path);
    m_settings.startupFetchSeconds = 1;

    // The texts of every label and text box the user can see, at the window's first show.
    struct FirstShow : QObject
    {
        bool eventFilter(QObject* watched, QEvent* event) override
        {
            auto* window = qobject_cast<TMainForm*>(watched);
            if (window && event->type() == QEvent::Show && !seen) {
                seen = true;
                for (const QLabel* label : window->findChildren<QLabel*>())
                    if (label->isVisibleTo(window) && !label->text().isEmpty())
                        texts << label->objectName() + "=" + label->text();
                for (const QPlainTextEdit* edit : window->findChildren<QPlainTextEdit*>())
                    if (edit->isVisibleTo(window) && !edit->toPlainText().isEmpty())
                        texts << edit->objectName() + "=" + edit->toPlainText();
            }
            return false;
        }
        bool seen = false;
        QStringList texts;
    } firstShow;
    qApp->installEventFilter(&firstShow);
    StartAsDemo();
    qApp->removeEventFilter(&firstShow);

    ASSERT_TRUE(firstShow.seen);
    const QRegularExpression designText(QStringLiteral("=(Label\\d*|Memo\\d+|通告)$"));
    EXPECT_TRUE(firstShow.texts.filter(designText).isEmpty())
        << firstShow.texts.filter(designText).join(u' ').toStdString();
    // Once start-up is over, the service record has filled what it holds.
    EXPECT_EQ(Label("Label15")->text(), "欢迎来到Zumalo社区");
    EXPECT_EQ(Label("Label12")->text(), "1/3");
}

TEST_F(MainFormStartUp, ServiceSwitchedOffWarnsAndQuitsAfterTheNoticeIsSet)
{
    s_db->exec("UPDATE zumalo_sys SET sys_enable = '0'");
    TMainForm& form = StartAsDemo();
    s_db->exec("UPDATE zumalo_sys SET sys_enable = '1'");
    EXPECT_TRUE(form.QuitRequested());
    EXPECT_FALSE(form.isVisible());
    ASSERT_EQ(m_fake.prompts.entries.size(), 1u);
    EXPECT_EQ(m_fake.prompts.Last().kind, FakePrompts::Kind::Warn);
    EXPECT_EQ(m_fake.prompts.Last().owner, &form);
    EXPECT_EQ(m_fake.prompts.Last().text, "软件暂停服务。");
    // The remaining start-up steps still ran.
    EXPECT_EQ(Label("Label15")->text(), "欢迎来到Zumalo社区");
    EXPECT_EQ(Label("Label1")->text(), "当天温度25℃");
}

TEST_F(MainFormStartUp, AnySwitchValueOtherThanZeroKeepsTheServiceOn)
{
    for (const char* value : {"", "1", "00", " 0", "NULL"}) {
        SCOPED_TRACE(value);
        s_db->exec(std::string("UPDATE zumalo_sys SET sys_enable = ")
                   + (std::string(value) == "NULL" ? "NULL" : "'" + std::string(value) + "'"));
        m_db = std::make_unique<DbSession>(m_settings);
        TMainForm& form = StartAsDemo();
        EXPECT_FALSE(form.QuitRequested());
        Destroy();
    }
    s_db->exec("UPDATE zumalo_sys SET sys_enable = '1'");
}

TEST_F(MainFormStartUp, MissingServiceRecordLeavesNoNoticeAndNoBannerLinks)
{
    // A failing statement and a table without its row are treated alike.
    const char* breakIt[] = {
        "RENAME TABLE zumalo_sys TO zumalo_sys_away",
        "CREATE TABLE zumalo_sys_away AS SELECT * FROM zumalo_sys; DELETE FROM zumalo_sys"};
    const char* mend[] = {
        "RENAME TABLE zumalo_sys_away TO zumalo_sys",
        "INSERT INTO zumalo_sys SELECT * FROM zumalo_sys_away; DROP TABLE zumalo_sys_away"};
    for (int i = 0; i < 2; ++i) {
        SCOPED_TRACE(breakIt[i]);
        s_db->exec(breakIt[i]);
        m_db = std::make_unique<DbSession>(m_settings);
        const int linkHits = m_http.Hits("/link.php");
        TMainForm& form = StartAsDemo();
        s_db->exec(mend[i]);
        EXPECT_EQ(Label("Label6")->text(), "今天无通告");
        EXPECT_TRUE(form.NoticeCaptions().empty());
        EXPECT_EQ(form.FirstBannerLink(), "");
        EXPECT_EQ(form.SecondBannerLink(), "");
        EXPECT_EQ(m_http.Hits("/link.php"), linkHits); // the link page is not read
        EXPECT_FALSE(form.QuitRequested());
        EXPECT_TRUE(m_fake.prompts.entries.empty());
        EXPECT_EQ(Label("Label1")->text(), "当天温度25℃");
        Destroy();
    }
}

TEST_F(MainFormStartUp, BannerLinksFollowTheMarkRules)
{
    struct Case
    {
        const char* body;
        const char* first;
        const char* second;
    };
    const Case cases[] = {
        {"(http://a)[http://b]", "http://a", "http://b"},
        {"no opening) mark [x]", "no opening", "x"}, // text before the first ")"
        {"(open only [", "", ""},
        {")(reversed ][", "", ""},
        {"", "", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.body);
        m_http.Serve("/link.php", c.body);
        m_db = std::make_unique<DbSession>(m_settings);
        TMainForm& form = StartAsDemo();
        EXPECT_EQ(form.FirstBannerLink(), c.first);
        EXPECT_EQ(form.SecondBannerLink(), c.second);
        Destroy();
    }
    // An error page and an unreachable page: both links empty, start-up goes on.
    m_http.Serve("/link.php", "(http://error.example)[x]", 500);
    m_db = std::make_unique<DbSession>(m_settings);
    EXPECT_EQ(StartAsDemo().FirstBannerLink(), "");
    Destroy();
    m_http.Remove("/link.php");
    m_db = std::make_unique<DbSession>(m_settings);
    TMainForm& form = StartAsDemo();
    EXPECT_EQ(form.FirstBannerLink(), "");
    EXPECT_EQ(Label("Label1")->text(), "当天温度25℃");
}

TEST_F(MainFormStartUp, BannerFailureKeepsTheDesignPicturesAndSkipsTheSecond)
{
    m_http.Serve("/low.bmp", "this is not a bitmap");
    TMainForm& form = StartAsDemo();
    EXPECT_EQ(m_http.Hits("/high.bmp"), 0);
    EXPECT_FALSE(form.isHidden());
}

TEST_F(MainFormStartUp, TemperatureIsCutToNineBytesAtACharacterBoundary)
{
    struct Case
    {
        std::string page;
        QString shown;
    };
    const Case cases[] = {
        {"<temperature><![CDATA[" + Utf8ToGbk("-12℃~3℃") + "]]></temperature>",
         "当天温度-12℃~3℃"}, // 9 bytes fit
        {"<temperature><![CDATA[" + Utf8ToGbk("-12℃~-3℃") + "]]></temperature>", "当天温度-12℃~-3"},
        {"<temperature><![CDATA[" + Utf8ToGbk("晴转多云") + "]]></temperature>",
         "当天温度晴转多云"},
        {"", "当天温度internet "}, // the lookup's failure text, cut like any other
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.shown.toStdString());
        m_http.Serve("/tb.q", c.page);
        m_db = std::make_unique<DbSession>(m_settings);
        StartAsDemo();
        EXPECT_EQ(Label("Label1")->text(), c.shown);
        Destroy();
    }
}

TEST_F(MainFormStartUp, ShutdownSendsLoginThenLogoutWithTheSessionName)
{
    StartAsDemo();
    const auto sent = Folded(Datagrams());
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0][0], 0); // login request
    EXPECT_EQ(NameOf(sent[0]), "demo");
    Destroy();
    const auto all = Folded(Datagrams());
    ASSERT_EQ(all.size(), 2u);
    EXPECT_EQ(all[1][0], 2); // logout notice
    EXPECT_EQ(NameOf(all[1]), "demo");
    // The database is closed.
    EXPECT_FALSE(m_db->Query("select 1"));
}

TEST_F(MainFormStartUp, GivenUpLoginNeverShowsTheWindowAndAnnouncesNoName)
{
    // A failed attempt leaves its name in the session (it could be a password typed into
    // the name box); then the user gives up. Nothing of it reaches the presence service.
    struct Case
    {
        const char* what;
        TMainForm::LoginRunner runner;
    };
    const Case cases[] = {
        {"after a failed attempt",
         [this](TMainForm& f) {
             LoginAs("demo", "wrong")(f);
             return false;
         }},
        {"without any attempt", [](TMainForm&) { return false; }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TMainForm& form = Start(c.runner);
        EXPECT_TRUE(form.QuitRequested());
        EXPECT_FALSE(form.isVisible());
        EXPECT_FALSE(Control<QTimer>("Timer1")->isActive());
        EXPECT_FALSE(Control<QTimer>("TemperatureTimer")->isActive());
        EXPECT_EQ(form.Presence(), nullptr);
        Destroy();
        EXPECT_TRUE(Datagrams().empty());
    }
    EXPECT_EQ(m_session.UserName, "demo");
}

TEST_F(MainFormStartUp, SwitchedOffServiceLoggedInSoItSaysHelloAndGoodbye)
{
    s_db->exec("UPDATE zumalo_sys SET sys_enable = '0'");
    StartAsDemo();
    s_db->exec("UPDATE zumalo_sys SET sys_enable = '1'");
    Destroy();
    const auto sent = Folded(Datagrams());
    ASSERT_EQ(sent.size(), 2u);
    EXPECT_EQ(sent[0][0], 0);
    EXPECT_EQ(sent[1][0], 2);
    EXPECT_EQ(NameOf(sent[1]), "demo");
}

TEST_F(MainFormStartUp, RotatingCaptionShowsCaptionOneTwiceThenCycles)
{
    TMainForm& form = StartAsDemo();
    QStringList shown;
    for (int i = 0; i < 7; ++i) {
        form.Notice().Timer1Timer();
        shown << Label("Label15")->text();
    }
    EXPECT_EQ(shown,
              QStringList({"欢迎来到Zumalo社区", "上传视频可获得2积分",
                           "周末电影之夜：本周六晚八点", "请文明发言，共建和谐社区",
                           "快贴板块开放投稿", "欢迎来到Zumalo社区", "上传视频可获得2积分"}));
}

TEST_F(MainFormStartUp, BannerClicksOpenOnlyWebAddresses)
{
    struct Case
    {
        const char* page;
        QStringList opened;
    };
    const Case cases[] = {
        {"(http://left.example/a)[plainword]", {"http://left.example/a"}},
        {"(https://left.example/a)[HTTP://right.example]",
         {"https://left.example/a", "HTTP://right.example"}},
        // "http://" somewhere inside is not enough.
        {"(smb://h/http://)[file:///etc/http://x]", {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.page);
        m_http.Serve("/link.php", c.page);
        m_fake.shell.opened.clear();
        StartAsDemo();
        emit Label("Image1")->clicked();
        emit Label("Image2")->clicked();
        EXPECT_EQ(m_fake.shell.opened, c.opened);
        EXPECT_TRUE(m_fake.prompts.entries.empty());
        Destroy();
    }
}

TEST_F(MainFormStartUp, PointerOverBannersShowsTheirLinksAndUnderlinesTheCaption)
{
    // Through the controls' own signals, so the bindings are tested with the handlers.
    StartAsDemo();
    emit Label("Image1")->mouseMoved();
    emit Label("Image2")->mouseMoved();
    EXPECT_EQ(Label("Image1")->toolTip(), "http://left.example/a");
    EXPECT_EQ(Label("Image2")->toolTip(), "http://right.example/b");
    emit Label("Label15")->mouseMoved();
    EXPECT_TRUE(Label("Label15")->font().underline());
    EXPECT_EQ(Label("Label15")->cursor().shape(), Qt::PointingHandCursor);
    emit Label("Label15")->mouseLeft();
    EXPECT_FALSE(Label("Label15")->font().underline());
    EXPECT_EQ(Label("Label15")->cursor().shape(), Qt::ArrowCursor);
}

// The link page is the server's: a link that looks like markup is shown as the text it is,
// never drawn as rich text (a picture, a table, a fake hint).
TEST_F(MainFormStartUp, BannerHintsShowTheLinkAsPlainText)
{
    const QString hostile[] = {
        "<b>http://left.example</b><img src=\"file:///etc/hostname\">",
        "<table><tr><td>&lt;free points&gt;</td></tr></table>",
    };
    // What a tooltip shows: rich text when it looks like markup, the text itself otherwise.
    const auto shown = [](const QString& tip) {
        QTextDocument document;
        if (Qt::mightBeRichText(tip))
            document.setHtml(tip);
        else
            document.setPlainText(tip);
        return document.toPlainText();
    };
    m_http.Serve("/link.php", ("(" + hostile[0] + ")[" + hostile[1] + "]").toStdString());
    StartAsDemo();
    emit Label("Image1")->mouseMoved();
    emit Label("Image2")->mouseMoved();
    EXPECT_EQ(shown(Label("Image1")->toolTip()), hostile[0]);
    EXPECT_EQ(shown(Label("Image2")->toolTip()), hostile[1]);
}

} // namespace

namespace {

TEST_F(MainFormStartUp, PresenceServiceListsAndRefreshCommandReachTheWindow)
{
    TMainForm& form = StartAsDemo();
    emit form.Presence()->onlineList({"demo", Utf8ToGbk("小雨"), "bob"});
    ASSERT_EQ(Control<QListWidget>("lb")->count(), 3);
    EXPECT_EQ(Control<QListWidget>("lb")->item(1)->text(), "小雨");
    EXPECT_EQ(Status(2), "3人在线");
    emit form.Presence()->onlineList({});
    EXPECT_EQ(Control<QListWidget>("lb")->count(), 0);
    EXPECT_EQ(Status(2), "3人在线");

    // The notice is read again; the rotating captions stay as they were.
    s_db->exec("UPDATE zumalo_sys SET sys_message = '今晚维护', sys_caption1 = 'changed'");
    emit form.Presence()->refreshCommand();
    s_db->exec("UPDATE zumalo_sys SET sys_message = "
               "'新版本Zumalo2.rar已发布，修复聊天室断线问题，欢迎下载！', "
               "sys_caption1 = '欢迎来到Zumalo社区'");
    EXPECT_EQ(Label("Label6")->text(), "今晚维护");
    EXPECT_EQ(Label("Label15")->text(), "欢迎来到Zumalo社区");
}

} // namespace

namespace {

// Plain messages in a real modal box, as the program shows them: the box runs its own
// event loop until a timer closes it. The other kinds are only recorded.
class ModalPrompts final : public Prompts
{
public:
    explicit ModalPrompts(FakePrompts& record)
        : m_record(record)
    {
    }
    void Warn(QWidget* owner, const QString& text) override { m_record.Warn(owner, text); }
    void Plain(QWidget* owner, const QString& text) override
    {
        m_record.Plain(owner, text);
        QMessageBox box(QMessageBox::NoIcon, QString(), text, QMessageBox::Ok, owner);
        QTimer::singleShot(50, &box, &QDialog::accept);
        box.exec();
    }
    bool Ask(QWidget* owner, const QString& title, const QString& text) override
    {
        return m_record.Ask(owner, title, text);
    }
    void Inform(QWidget* owner, const QString& title, const QString& text) override
    {
        m_record.Inform(owner, title, text);
    }

private:
    FakePrompts& m_record;
};

// Lowers the open-file limit to the descriptors in use, so that the next socket() fails;
// the old limit comes back when this goes.
class NoFreeDescriptors
{
public:
    NoFreeDescriptors()
    {
        ::getrlimit(RLIMIT_NOFILE, &m_old);
        const int lowestFree = ::dup(0); // the number the next descriptor would get
        ::close(lowestFree);
        rlimit none = m_old;
        none.rlim_cur = static_cast<rlim_t>(lowestFree);
        ::setrlimit(RLIMIT_NOFILE, &none);
    }
    ~NoFreeDescriptors() { ::setrlimit(RLIMIT_NOFILE, &m_old); }
    NoFreeDescriptors(const NoFreeDescriptors&) = delete;
    NoFreeDescriptors& operator=(const NoFreeDescriptors&) = delete;

private:
    rlimit m_old{};
};

using MainLoopDecision = MainFormFixture;

TEST_F(MainLoopDecision, RunsOnlyWhenStartUpEndedWithTheWindowUp)
{
    TMainForm& form = StartAsDemo();
    EXPECT_TRUE(MessageLoopWanted(form, false));
    EXPECT_FALSE(MessageLoopWanted(form, true)); // a quit signal came during start-up
    Destroy();

    s_db->exec("UPDATE zumalo_sys SET sys_enable = '0'");
    m_db = std::make_unique<DbSession>(m_settings);
    TMainForm& switchedOff = StartAsDemo();
    s_db->exec("UPDATE zumalo_sys SET sys_enable = '1'");
    EXPECT_FALSE(MessageLoopWanted(switchedOff, false));
}

TEST_F(MainLoopDecision, SwitchedOffServiceStillSkipsTheLoopAfterTheSocketErrorBoxTookThePostedQuit)
{
    // The service is switched off (the quit is posted); then the presence socket cannot be
    // made, and its plain message runs a modal loop before main() decides.
    s_db->exec("UPDATE zumalo_sys SET sys_enable = '0'");
    ModalPrompts prompts(m_fake.prompts);
    Platform platform{prompts, m_fake.files, m_fake.shell, m_fake.sound, m_fake.movies};
    std::unique_ptr<NoFreeDescriptors> noDescriptors;
    m_form = TMainForm::Launch(m_session, *m_db, m_settings, platform, [&](TMainForm& f) {
        const bool loggedIn = LoginAs("demo", "demo123")(f);
        noDescriptors = std::make_unique<NoFreeDescriptors>();
        return loggedIn;
    });
    noDescriptors.reset();
    s_db->exec("UPDATE zumalo_sys SET sys_enable = '1'");

    EXPECT_EQ(m_fake.prompts.Texts(), QStringList({"软件暂停服务。", "WinSock Version Error~!"}));
    EXPECT_TRUE(m_form->QuitRequested());
    EXPECT_FALSE(m_form->isVisible());
    EXPECT_FALSE(MessageLoopWanted(*m_form, false));
}

} // namespace
