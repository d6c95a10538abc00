#include "FullDisk.h"
#include "MainFormFixture.h"
#include "ServerProcess.h"
#include "Wait.h"
#include "core/GbkText.h"
#include "core/ProgramDir.h"

#include "core/Presence.h"
#include "net/PresenceChannel.h"
#include "ui/Controls.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFrame>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QProcess>
#include <QScrollBar>
#include <QTemporaryDir>

#include <algorithm>
#include <functional>

namespace {

QStringList Lines(const QPlainTextEdit* memo)
{
    const QString text = memo->toPlainText();
    return text.isEmpty() ? QStringList() : text.split('\n');
}

// ----- the online list and the profile box

using OnlineUsers = MainFormFixture;

// A mouse press of the given kind at a point of lb, as the window receives it.
void PressOnList(QListWidget* lb, QEvent::Type type, Qt::MouseButton button, QPoint at)
{
    QMouseEvent press(type, at, lb->viewport()->mapToGlobal(at), button, button, Qt::NoModifier);
    QApplication::sendEvent(lb->viewport(), &press);
}

TEST_F(OnlineUsers, NamesAreOwnerDrawnItemsOfTwentyFivePixels)
{
    TMainForm& form = StartAsDemo();
    emit form.Presence()->onlineList({"demo", Utf8ToGbk("小雨"), "bob"});
    QListWidget* lb = Control<QListWidget>("lb");
    ASSERT_EQ(lb->count(), 3);
    EXPECT_EQ(Status(2), "3人在线");
    EXPECT_TRUE(lb->item(1)->icon().isNull()); // the delegate draws the person icon
    EXPECT_EQ(lb->visualItemRect(lb->item(1)).top(), 25);
    EXPECT_EQ(lb->visualItemRect(lb->item(1)).height(), 25);
}

TEST_F(OnlineUsers, RightButtonSelectsTheNameUnderThePointerAndTheMenuShowsItsProfile)
{
    TMainForm& form = StartAsDemo();
    emit form.Presence()->onlineList({"demo", Utf8ToGbk("小雨"), "bob"});
    QListWidget* lb = Control<QListWidget>("lb");

    PressOnList(lb, QEvent::MouseButtonPress, Qt::RightButton, {30, 25 + 12});
    ASSERT_EQ(lb->selectedItems().size(), 1);
    EXPECT_EQ(lb->selectedItems().front()->text(), "小雨");
    // Below the last name nothing changes: the menu still works on 小雨.
    PressOnList(lb, QEvent::MouseButtonPress, Qt::RightButton, {30, 300});
    ASSERT_EQ(lb->selectedItems().size(), 1);
    EXPECT_EQ(lb->selectedItems().front()->text(), "小雨");

    EXPECT_EQ(Control<QAction>("N1")->text(), "查看用户信息");
    Control<QAction>("N1")->trigger();
    const auto& box = m_fake.prompts.Last();
    EXPECT_EQ(box.kind, FakePrompts::Kind::Inform);
    EXPECT_EQ(box.owner, &form);
    EXPECT_EQ(box.title, "用户信息");
    EXPECT_EQ(box.text,
              "昵称：小雨\n性别：女\n年龄：21\n地区：上海徐汇\nQQ：22334455\n"
              "电话：13800138000\n邮箱：xiaoyu@zumalo.example\n积分：64");
}

// The server sends its list again to repair a lost one: the same list changes nothing on
// screen, and a changed one keeps the selected name selected and the list where it was
// scrolled; only a list without the selected name drops the selection.
TEST_F(OnlineUsers, AListAgainKeepsTheSelectionAndTheScrollPosition)
{
    std::vector<std::string> names;
    for (int i = 0; i < 40; ++i)
        names.push_back("user" + std::to_string(i));
    const auto without = [&](const std::string& name) {
        std::vector<std::string> fewer = names;
        fewer.erase(std::find(fewer.begin(), fewer.end(), name));
        return fewer;
    };
    std::vector<std::string> more = names;
    more.push_back("newcomer");
    struct Case
    {
        const char* what;
        std::vector<std::string> list;
        QString selected; // "" for none
        int row;
    } cases[] = {
        {"the same list", names, "user25", 25},
        {"a name added below", more, "user25", 25},
        {"a name gone above", without("user3"), "user25", 24},
        {"the selected name gone", without("user25"), "", -1},
    };
    TMainForm& form = StartAsDemo();
    QListWidget* lb = Control<QListWidget>("lb");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        emit form.Presence()->onlineList(names);
        lb->setCurrentRow(25);
        lb->verticalScrollBar()->setValue(20); // short of the end: a shorter list keeps it
        const int scrolled = lb->verticalScrollBar()->value();
        ASSERT_EQ(scrolled, 20);
        QListWidgetItem* const before = lb->item(25);

        emit form.Presence()->onlineList(c.list);
        ASSERT_EQ(lb->count(), static_cast<int>(c.list.size()));
        EXPECT_EQ(Status(2), QString::number(c.list.size()) + "人在线");
        const QList<QListWidgetItem*> selected = lb->selectedItems();
        if (c.row < 0) {
            EXPECT_TRUE(selected.isEmpty());
            continue;
        }
        ASSERT_EQ(selected.size(), 1);
        EXPECT_EQ(selected.front()->text(), c.selected);
        EXPECT_EQ(lb->row(selected.front()), c.row);
        EXPECT_EQ(lb->verticalScrollBar()->value(), scrolled);
        if (c.list == names) {
            EXPECT_EQ(lb->item(25), before) << "the same list was drawn again";
        }
    }
}

// "查看用户信息" shows the name the menu was opened on, also when a list arrives while the
// menu is open and moves that name or leaves it out.
TEST_F(OnlineUsers, TheMenuActsOnTheNameItWasOpenedOn)
{
    const std::vector<std::string> before = {"demo", Utf8ToGbk("小雨"), "bob"};
    const std::vector<std::vector<std::string>> arriving = {
        {Utf8ToGbk("小雨"), "demo", "bob"},
        {"demo", "bob"},
        {"bob"},
    };
    TMainForm& form = StartAsDemo();
    QListWidget* lb = Control<QListWidget>("lb");
    auto* menu = Control<QMenu>("PopupMenu1");
    for (const auto& list : arriving) {
        SCOPED_TRACE(list.size());
        emit form.Presence()->onlineList(before);
        m_fake.prompts.entries.clear();
        const QPoint onXiaoyu(30, 25 + 12);
        PressOnList(lb, QEvent::MouseButtonPress, Qt::RightButton, onXiaoyu);
        emit lb->customContextMenuRequested(onXiaoyu);
        emit form.Presence()->onlineList(list);
        Control<QAction>("N1")->trigger();
        menu->hide();
        ASSERT_EQ(m_fake.prompts.entries.size(), 1u);
        EXPECT_EQ(m_fake.prompts.Last().title, "用户信息");
        EXPECT_TRUE(m_fake.prompts.Last().text.startsWith("昵称：小雨\n性别：女\n"));
    }
}

TEST_F(OnlineUsers, LeftDoubleClickShowsTheProfileOnlyOfASelectedName)
{
    TMainForm& form = StartAsDemo();
    emit form.Presence()->onlineList({"demo", "bob"});
    QListWidget* lb = Control<QListWidget>("lb");

    // An empty area with no selection: nothing.
    PressOnList(lb, QEvent::MouseButtonDblClick, Qt::LeftButton, {30, 300});
    EXPECT_TRUE(m_fake.prompts.entries.empty());

    // Over a selected name only the left button opens its profile.
    lb->setCurrentRow(1);
    const struct
    {
        Qt::MouseButton button;
        bool opens;
    } cases[] = {{Qt::RightButton, false}, {Qt::MiddleButton, false}, {Qt::LeftButton, true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.button);
        m_fake.prompts.entries.clear();
        PressOnList(lb, QEvent::MouseButtonDblClick, c.button, {30, 37});
        ASSERT_EQ(m_fake.prompts.entries.size(), c.opens ? 1u : 0u);
        if (c.opens) {
            EXPECT_TRUE(m_fake.prompts.Last().text.startsWith("昵称：bob\n性别：男\n年龄：28\n"));
        }
    }
}

TEST_F(OnlineUsers, ProfileThatCannotBeReadSaysSoInAPlainMessage)
{
    TMainForm& form = StartAsDemo();
    // A listed name without an account row, then a statement that fails.
    emit form.Presence()->onlineList({"ghost"});
    Control<QListWidget>("lb")->setCurrentRow(0);
    Control<QAction>("N1")->trigger();
    m_db->Close();
    Control<QAction>("N1")->trigger();
    ASSERT_EQ(m_fake.prompts.entries.size(), 2u);
    for (const auto& shown : m_fake.prompts.entries) {
        EXPECT_EQ(shown.kind, FakePrompts::Kind::Plain);
        EXPECT_EQ(shown.text, "获取用户信息失败，请重新获取。");
    }
}

// ----- the chat room against the real zumalo-server

class ChatRoom : public MainFormFixture
{
protected:
    void SetUp() override
    {
        MainFormFixture::SetUp();
        ASSERT_TRUE(m_server.ready()) << m_server.output().toStdString();
        m_settings.presencePort = m_server.udpPort;
    }

    // The window logged in as demo, and a second client "bob" beside it.
    TMainForm& StartBoth()
    {
        TMainForm& form = StartAsDemo();
        EXPECT_TRUE(
            WaitUntil([&] { return form.Presence()->state() == PresenceChannel::State::Online; }));
        m_bob.SendTo(m_server.udpPort, presence::BuildLoginRequest("bob"));
        EXPECT_TRUE(m_bob.ReceiveType(1, 2000));                   // the login answer
        m_bob.SendTo(m_server.udpPort, presence::BuildLoginAck()); // bob hears from now on
        EXPECT_TRUE(WaitUntil([&] { return Control<QListWidget>("lb")->count() == 2; }));
        return form;
    }

    // The next chat line bob receives.
    std::string BobHears()
    {
        const auto line = m_bob.ReceiveType(10, 2000);
        return line ? presence::ReadText(*line) : std::string("(nothing)");
    }

    bool Broadcast(const char* text)
    {
        QProcess broadcast;
        broadcast.start(
            QStringLiteral(ZUMALO_TEST_BIN_DIR "/zumalo-server"),
            {"broadcast", text, "--admin-socket", QString::fromStdString(m_server.adminSocket)});
        return broadcast.waitForFinished(5000) && broadcast.exitCode() == 0;
    }

    QStringList Transcript() const { return Lines(Control<QPlainTextEdit>("Memo1")); }

    ServerProcess m_server;
    UdpClient m_bob;
};

TEST_F(ChatRoom, TypedLineReachesTheOthersAndComesBackToTheTranscript)
{
    TMainForm& form = StartBoth();
    Click("SpeedButton13");
    EXPECT_TRUE(Control<QFrame>("Panel3")->isVisibleTo(&form));
    EXPECT_EQ(Status(0), "聊天室");
    EXPECT_EQ(Status(4), "你正在聊天室中");

    Edit("Edit3")->setText("大家好");
    Click("SpeedButton12");
    EXPECT_EQ(Edit("Edit3")->text(), "");
    EXPECT_EQ(GbkToUtf8(BobHears()), "demo说: 大家好");
    // The transcript shows the line only once the server relayed it.
    ASSERT_TRUE(WaitUntil([&] { return !Transcript().isEmpty(); }));
    EXPECT_EQ(Transcript(), QStringList({"demo说: 大家好"}));

    // An empty input line still sends the name.
    Click("SpeedButton12");
    EXPECT_EQ(GbkToUtf8(BobHears()), "demo说: ");
}

TEST_F(ChatRoom, LinesArriveAsPlainTextWhileAListIsShown)
{
    TMainForm& form = StartBoth();
    ASSERT_FALSE(Control<QFrame>("Panel3")->isVisibleTo(&form));
    const std::string markup = Utf8ToGbk("bob说: <b>粗</b> &amp;");
    m_bob.SendTo(m_server.udpPort, presence::BuildTextLine(markup));
    ASSERT_TRUE(WaitUntil([&] { return !Transcript().isEmpty(); }));
    EXPECT_EQ(Transcript(), QStringList({"bob说: <b>粗</b> &amp;"}));
    EXPECT_EQ(Status(4), "你正在浏览种子");

    // A client's command is not relayed; the operator's is.
    s_db->exec("UPDATE zumalo_sys SET sys_message = '今晚维护'");
    m_bob.SendTo(m_server.udpPort, presence::BuildTextLine(presence::RefreshCommand));
    m_bob.SendTo(m_server.udpPort, presence::BuildTextLine(Utf8ToGbk("bob说: after")));
    ASSERT_TRUE(WaitUntil([&] { return Transcript().size() == 2; }));
    EXPECT_EQ(Transcript().back(), "bob说: after");
    EXPECT_NE(Label("Label6")->text(), "今晚维护");
    ASSERT_TRUE(Broadcast("Refresh Command"));
    EXPECT_TRUE(WaitUntil([&] { return Label("Label6")->text() == "今晚维护"; }));
    s_db->exec("UPDATE zumalo_sys SET sys_message = "
               "'新版本Zumalo2.rar已发布，修复聊天室断线问题，欢迎下载！'");
    EXPECT_EQ(Transcript().size(), 2); // the commands are no chat lines

    Click("SpeedButton13");
    EXPECT_TRUE(Control<QPlainTextEdit>("Memo1")->isVisibleTo(&form));
    EXPECT_EQ(Transcript().front(), "bob说: <b>粗</b> &amp;");
}

TEST_F(ChatRoom, OperatorHintPlaysTheSoundAndShowsThePanel)
{
    TMainForm& form = StartBoth();
    ASSERT_FALSE(Control<QFrame>("Panel4")->isVisibleTo(&form));
    ASSERT_TRUE(Broadcast("Hint Command"));
    ASSERT_TRUE(WaitUntil([&] { return Control<QFrame>("Panel4")->isVisibleTo(&form); }));
    EXPECT_EQ(m_fake.sound.played,
              QStringList({QString::fromStdString(ProgramDir() + "dat/system.wav")}));
    EXPECT_EQ(Label("Label17")->text(), "Zumalo信息");
    EXPECT_EQ(Label("Label16")->text(), "Label");
    EXPECT_TRUE(Transcript().isEmpty());
    Click("SpeedButton14");
    EXPECT_FALSE(Control<QFrame>("Panel4")->isVisibleTo(&form));
}

// ----- the chat room's own state, with the stand-in presence socket

using ChatRoomState = MainFormFixture;

TEST_F(ChatRoomState, LineSentBeforeTheServerAnsweredFailsAndClosesTheWindow)
{
    // Nothing has arrived yet, so there is no address to send the line to.
    TMainForm& form = StartAsDemo();
    Click("SpeedButton13");
    Edit("Edit3")->setText("hello");
    Click("SpeedButton12");
    EXPECT_EQ(m_fake.prompts.Texts(), QStringList({"与服务器失去链接。"}));
    EXPECT_EQ(m_fake.prompts.Last().kind, FakePrompts::Kind::Warn);
    EXPECT_EQ(Edit("Edit3")->text(), "");
    EXPECT_FALSE(form.isVisible());
}

TEST_F(ChatRoomState, ChatRoomTakesTheBoardInputRowAwayOnceAndAListButtonLeavesIt)
{
    TMainForm& form = StartAsDemo();
    Click("SpeedButton8"); // the board shows its input row
    ASSERT_EQ(form.height(), 408);
    Click("SpeedButton13");
    EXPECT_EQ(form.height(), 388);
    EXPECT_FALSE(Edit("Edit1")->isVisibleTo(&form));
    EXPECT_FALSE(form.Browser().MessageInputShown);
    Click("SpeedButton13");
    EXPECT_EQ(form.height(), 388);

    Click("SpeedButton5");
    EXPECT_FALSE(Control<QFrame>("Panel3")->isVisibleTo(&form));
    EXPECT_EQ(Status(0), "共22个种子");
    EXPECT_EQ(Status(4), "你正在浏览种子");
}

// A list that cannot be counted leaves the chat room on display: never the old list's rows
// under the chat room's status.
TEST_F(ChatRoomState, ListButtonWithTheDatabaseDownLeavesTheChatRoomShowing)
{
    TMainForm& form = StartAsDemo();
    Click("SpeedButton13");
    m_db->Close();
    for (const char* button : {"SpeedButton5", "SpeedButton4", "SpeedButton8", "SpeedButton10"}) {
        SCOPED_TRACE(button);
        Click(button);
        EXPECT_TRUE(Control<QFrame>("Panel3")->isVisibleTo(&form));
        EXPECT_EQ(Status(0), "聊天室");
        EXPECT_EQ(Status(4), "你正在聊天室中");
    }
}

TEST_F(ChatRoomState, HintBubbleHasItsShape)
{
    StartAsDemo();
    const QRegion mask = Control<QFrame>("Panel4")->mask();
    struct Probe
    {
        QPoint at;
        bool inside;
    };
    const Probe probes[] = {
        {{120, 64}, true},   // the middle of the bubble
        {{0, 0}, false},     // a rounded corner
        {{1, 1}, false},     // (still the corner)
        {{237, 64}, true},   // the right edge, up to 238 exclusive
        {{238, 64}, false},  //
        {{120, 127}, true},  // the bottom edge, up to 128 exclusive
        {{120, 128}, false}, //
        {{55, 140}, true},   // inside the tail
        {{80, 140}, false},  // right of the tail
        {{30, 140}, false},  // left of the tail
        {{40, 160}, false},  // below its tip
        {{240, 172}, false}, // the panel's last pixel
    };
    for (const Probe& p : probes)
        EXPECT_EQ(mask.contains(p.at), p.inside) << p.at.x() << "," << p.at.y();
}

TEST_F(ChatRoomState, FoldingTwiceRestoresTheWindow)
{
    TMainForm& form = StartAsDemo();
    emit Label("Panel1")->clicked();
    EXPECT_EQ(form.width(), 681 - 126);
    EXPECT_EQ(Label("Panel1")->text(), ">");
    EXPECT_EQ(Control<QListWidget>("lb")->x(), 555); // the list stays, outside the narrower window
    emit Label("Panel1")->clicked();
    EXPECT_EQ(form.width(), 681);
    EXPECT_EQ(Label("Panel1")->text(), "<");
}

// ----- the update download from the notice

class UpdateDownload : public MainFormFixture
{
protected:
    void SetNotice(const char* text) { SetCaption(Label("Label6"), text); }

    QString LastWarning() const
    {
        return m_fake.prompts.entries.empty() ? QString() : m_fake.prompts.Last().text;
    }

    QTemporaryDir m_dir;
};

TEST_F(UpdateDownload, ArmedNoticeSavesTheArchiveUnderTheChosenName)
{
    m_http.Serve("/Zumalo2.rar", std::string(4321, 'r'));
    m_fake.files.path = m_dir.path() + "/a.rar";
    StartAsDemo();

    // Not armed yet: a click does nothing.
    emit Label("Label6")->clicked();
    EXPECT_TRUE(m_fake.files.filters.isEmpty());

    emit Label("Label6")->mouseMoved();
    EXPECT_EQ(Label("Label6")->toolTip(), "点击我下载吧！");
    EXPECT_EQ(Label("Label6")->cursor().shape(), Qt::PointingHandCursor);
    emit Label("Label6")->clicked();
    ASSERT_EQ(m_fake.files.filters.size(), 1);
    EXPECT_EQ(m_fake.files.filters[0], "绿色压缩文件(RAR文件) (*.rar)");
    EXPECT_EQ(LastWarning(), "感谢您下载Zumalo，软件下载完成，软件大小4321字节");
    QFile saved(m_dir.path() + "/a.rar【感谢下载Zumalo】.rar");
    ASSERT_TRUE(saved.open(QIODevice::ReadOnly));
    EXPECT_EQ(saved.size(), 4321);

    // Leaving the notice disarms it; a cancelled dialog downloads nothing.
    emit Label("Label6")->mouseLeft();
    emit Label("Label6")->clicked();
    EXPECT_EQ(m_fake.files.filters.size(), 1);
    emit Label("Label6")->mouseMoved();
    m_fake.files.path = "";
    emit Label("Label6")->clicked();
    EXPECT_EQ(m_http.Hits("/Zumalo2.rar"), 1);
}

TEST_F(UpdateDownload, NoticesThatNameNoArchiveOrAnOddOne)
{
    m_http.Serve("/Zumalo 3" + Utf8ToGbk("版") + ".rar", std::string(5, 'x'));
    m_fake.files.path = m_dir.path() + "/b";
    StartAsDemo();

    // "Zumalo" without ".rar" never arms; the hint stays as it was.
    SetNotice("Zumalo 新版本即将发布");
    emit Label("Label6")->mouseMoved();
    emit Label("Label6")->clicked();
    EXPECT_TRUE(m_fake.files.filters.isEmpty());
    EXPECT_EQ(Label("Label6")->toolTip(), "");

    // A name with a blank and a Chinese character is fetched escaped.
    SetNotice("请下载 Zumalo 3版.rar！");
    emit Label("Label6")->mouseMoved();
    emit Label("Label6")->clicked();
    EXPECT_EQ(LastWarning(), "感谢您下载Zumalo，软件下载完成，软件大小5字节");

    // ".rar" before "Zumal": an empty name, the server's base address, which has no file.
    SetNotice("old.rar replaced by Zumalo");
    emit Label("Label6")->mouseMoved();
    emit Label("Label6")->clicked();
    EXPECT_EQ(m_http.Hits("/"), 1);
    EXPECT_EQ(LastWarning(), "下载软件失败...");
}

TEST_F(UpdateDownload, FailedFetchOrWriteLeavesNoFile)
{
    m_http.Serve("/Zumalo2.rar", std::string(1234, 'r'));
    m_fake.files.path = m_dir.path() + "/c";
    StartAsDemo();

    // An archive the server does not have.
    SetNotice("Zumalo9.rar");
    emit Label("Label6")->mouseMoved();
    emit Label("Label6")->clicked();
    EXPECT_EQ(LastWarning(), "下载软件失败...");
    EXPECT_TRUE(QDir(m_dir.path()).entryList(QDir::Files).isEmpty());

    // A file-size limit stands in for a full disk: writes past 100 bytes fail.
    SetNotice("Zumalo2.rar");
    emit Label("Label6")->mouseMoved();
    {
        const FullDisk full(100);
        ASSERT_TRUE(full.ok());
        emit Label("Label6")->clicked();
    }
    EXPECT_EQ(LastWarning(), "下载软件失败...");
    EXPECT_TRUE(QDir(m_dir.path()).entryList(QDir::Files).isEmpty());
}

} // namespace
