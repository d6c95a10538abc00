#include "core/Settings.h"
#include "db/DbSession.h"
#include "ui/TextBridge.h"
#include "ui/Tregform.h"

#include "ClosedPort.h"
#include "DialogFixture.h"

#include <QApplication>
#include <QComboBox>
#include <QCoreApplication>
#include <QEventLoop>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTimer>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <ctime>
#include <functional>
#include <set>
#include <thread>

namespace {

const QString kRegistered = QStringLiteral("恭喜注册成功，请牢记你的密码。");
const std::string kBanner = "http://127.0.0.1:1/sp/注册.swf";

// What the visitor types; "%1" in code stands for the code the dialog shows.
struct Entry
{
    QString name;
    QString password = "pw123";
    QString confirmation = "pw123";
    QString sex = QStringLiteral("男");
    QString age = "25";
    QString area = QStringLiteral("北京海淀");
    QString qq = "12345";
    QString phone = "13800138000";
    QString mail = "carol@zumalo.example";
    QString code = "%1";
};

void Fill(TRegForm& form, const Entry& e)
{
    form.Controls().Edit1->setText(e.name);
    form.Controls().Edit2->setText(e.password);
    form.Controls().Edit3->setText(e.confirmation);
    form.Controls().ComboBox1->setCurrentText(e.sex);
    form.Controls().Edit5->setText(e.age);
    form.Controls().Edit6->setText(e.area);
    form.Controls().Edit7->setText(e.qq);
    form.Controls().Edit8->setText(e.phone);
    form.Controls().Edit9->setText(e.mail);
    form.Controls().Edit4->setText(QString(e.code).replace("%1", form.Controls().Label11->text()));
}

class RegFormTest : public DialogFixture
{
protected:
    void SetUp() override
    {
        s_db->clear();
        s_db->exec("INSERT INTO zumalo_sys(sys_message, sys_reglink) VALUES ('notice', '" + kBanner
                   + "')");
        m_settings = s_db->settings();
        m_settings.ShareContactAddress = "admin@zumalo.example";
        m_session.ServerAddress = "127.0.0.1";
    }

    std::unique_ptr<TRegForm> Open(DbSession& db)
    {
        return std::make_unique<TRegForm>(nullptr, m_session, db, m_settings, m_platform);
    }
    std::unique_ptr<TRegForm> Open() { return Open(m_db); }

    static int Accounts()
    {
        return std::stoi(s_db->scalar("select count(*) from zumalo_userinfo"));
    }
};

struct CheckCase
{
    const char* what;
    std::function<void(Entry&)> change;
    const char* outcome; // the refusal, or nullptr when the account is registered
};

TEST_F(RegFormTest, ChecksRunInOrderAndTheFirstFailureEndsThePress)
{
    const CheckCase cases[] = {
        {"empty name", [](Entry& e) { e.name = ""; }, "用户名不能为空。"},
        {"name of blanks", [](Entry& e) { e.name = "   "; }, "用户名不能为空。"},
        {"everything empty: the name first",
         [](Entry& e) { e = Entry{"", "", "", "男", "", "", "", "", "", ""}; }, "用户名不能为空。"},
        {"five Chinese characters are 10 bytes", [](Entry& e) { e.name = "五个汉字名"; }, nullptr},
        {"six Chinese characters are 12 bytes", [](Entry& e) { e.name = "六个汉字的名"; },
         "用户名太长啦。"},
        {"empty password", [](Entry& e) { e.password = e.confirmation = ""; }, "密码不能为空。"},
        {"password of blanks", [](Entry& e) { e.password = e.confirmation = "  "; },
         "密码不能为空。"},
        {"confirmation differs", [](Entry& e) { e.confirmation = "pw124"; }, "前后密码不一致。"},
        {"confirmation differs by a trailing blank", [](Entry& e) { e.confirmation = "pw123 "; },
         nullptr},
        {"empty age", [](Entry& e) { e.age = " "; }, "年龄不能为空。"},
        {"age with a leading blank", [](Entry& e) { e.age = " 25"; }, nullptr},
        {"age with a trailing blank", [](Entry& e) { e.age = "25 "; }, "年龄为数字。"},
        {"age in hexadecimal", [](Entry& e) { e.age = "$1F"; }, nullptr},
        {"age not a number", [](Entry& e) { e.age = "2x"; }, "年龄为数字。"},
        {"age checked before the region",
         [](Entry& e) {
             e.age = "x";
             e.area = "";
         },
         "年龄为数字。"},
        {"empty region", [](Entry& e) { e.area = "\t"; }, "地区不能为空。"},
        {"empty QQ", [](Entry& e) { e.qq = ""; }, "请写上你的QQ吧。"},
        {"largest QQ", [](Entry& e) { e.qq = "2147483647"; }, nullptr},
        {"QQ beyond 32 bits", [](Entry& e) { e.qq = "2147483648"; }, "QQ为数字。"},
        {"QQ with a leading blank", [](Entry& e) { e.qq = " 12345"; }, nullptr},
        {"QQ with a trailing blank", [](Entry& e) { e.qq = "12345 "; }, "QQ为数字。"},
        {"QQ in hexadecimal", [](Entry& e) { e.qq = "$1F"; }, nullptr},
        {"empty phone", [](Entry& e) { e.phone = ""; }, "请写上你的手机号码吧。"},
        {"empty mail", [](Entry& e) { e.mail = " "; }, "请写上你的电子邮箱。"},
        {"wrong code", [](Entry& e) { e.code = "000000"; }, "验证码错误。"},
        {"code with a letter after it", [](Entry& e) { e.code = "%1x"; }, "验证码错误。"},
        {"code with blanks around", [](Entry& e) { e.code = " %1 "; }, nullptr},
    };
    // One dialog serves every press, with one code.
    auto form = Open();
    const QString code = form->Controls().Label11->text();
    int registered = 0;
    int i = 0;
    for (const CheckCase& c : cases) {
        SCOPED_TRACE(c.what);
        m_fakes.prompts.entries.clear();
        Entry entry;
        entry.name = QStringLiteral("user%1").arg(++i);
        c.change(entry);
        Fill(*form, entry);
        form->Button1Click();

        if (c.outcome) {
            ASSERT_EQ(m_fakes.prompts.entries.size(), 1u);
            EXPECT_EQ(m_fakes.prompts.Last().kind, FakePrompts::Kind::Warn);
            EXPECT_EQ(m_fakes.prompts.Last().text, QString::fromUtf8(c.outcome));
            EXPECT_EQ(m_fakes.prompts.Last().owner, form.get());
        } else {
            ++registered;
            ASSERT_EQ(m_fakes.prompts.entries.size(), 2u);
            const FakePrompts::Entry& question = m_fakes.prompts.entries[0];
            EXPECT_EQ(question.kind, FakePrompts::Kind::Ask);
            EXPECT_EQ(question.title, QStringLiteral("温馨提示"));
            EXPECT_EQ(question.text, QStringLiteral("确定现在注册吗？"));
            EXPECT_EQ(question.owner, form.get());
            EXPECT_EQ(m_fakes.prompts.Last().kind, FakePrompts::Kind::Warn);
            EXPECT_EQ(m_fakes.prompts.Last().text, kRegistered);
            EXPECT_EQ(m_fakes.prompts.Last().owner, form.get());
        }
        EXPECT_EQ(Accounts(), registered);
    }
    EXPECT_EQ(form->Controls().Label11->text(), code);
    EXPECT_NE(form->result(), QDialog::Accepted);
}

TEST_F(RegFormTest, AccountIsStoredAsTypedAndTheDialogKeepsItsEntries)
{
    auto form = Open();
    Entry entry;
    entry.name = QStringLiteral("张三");
    entry.password = " Pw1";     // stored with its blank
    entry.confirmation = "Pw1 "; // equal once trimmed
    entry.sex = QStringLiteral("女");
    entry.age = " 25";
    entry.area = QStringLiteral("O'Brien 路\\");
    entry.qq = "$1F";
    Fill(*form, entry);
    form->Button1Click();
    ASSERT_EQ(m_fakes.prompts.Last().text, kRegistered);

    const auto rows = s_db->rows("select username, userpwd, usersex, userage, userarea, userqq, "
                                 "userphone, usermail, userscore from zumalo_userinfo");
    ASSERT_EQ(rows.size(), 1u);
    const std::vector<std::optional<std::string>> want = {
        "张三", " Pw1", "0", " 25", "O'Brien 路\\", "$1F", "13800138000", "carol@zumalo.example",
        "0"};
    EXPECT_EQ(rows[0], want);

    // Registering does not close the dialog or clear what was typed.
    EXPECT_NE(form->result(), QDialog::Accepted);
    EXPECT_EQ(form->Controls().Edit1->text(), entry.name);
    EXPECT_EQ(form->Controls().Edit2->text(), entry.password);
    EXPECT_EQ(form->Controls().ComboBox1->currentText(), QStringLiteral("女"));
}

TEST_F(RegFormTest, NameCheckUsesTheNameAsTyped)
{
    auto form = Open();
    const struct
    {
        QString name;
        QString outcome;
    } presses[] = {
        {"carol", kRegistered},
        {"carol", QStringLiteral("此用户名已存在，请重新输入。")},
        {" carol", kRegistered}, // a leading blank makes another name
        {" carol", QStringLiteral("此用户名已存在，请重新输入。")},
    };
    for (const auto& press : presses) {
        SCOPED_TRACE(press.name.toStdString());
        Entry entry;
        entry.name = press.name;
        Fill(*form, entry);
        form->Button1Click();
        EXPECT_EQ(m_fakes.prompts.Last().text, press.outcome);
    }
    EXPECT_EQ(Accounts(), 2);
    // The name check released its result: the connection takes the next statement.
    EXPECT_TRUE(m_db.Query("select 1"));
}

TEST_F(RegFormTest, NothingIsSentWithoutYesOrWithoutTheConstructionsConnection)
{
    Entry entry;
    entry.name = "carol";

    // No at the question.
    m_fakes.prompts.answer = false;
    auto form = Open();
    Fill(*form, entry);
    form->Button1Click();
    EXPECT_EQ(m_fakes.prompts.Texts(), QStringList{QStringLiteral("确定现在注册吗？")});
    EXPECT_EQ(Accounts(), 0);

    // Yes, but the construction could not connect: even with the shared connection open
    // again afterwards, the press sends nothing.
    m_fakes.prompts.entries.clear();
    m_fakes.prompts.answer = true;
    m_session.ServerAddress = "domain is wrong.";
    auto unconnected = Open();
    ASSERT_FALSE(unconnected->Connected());
    ASSERT_TRUE(m_db.Open("127.0.0.1", m_settings.dbUser, m_settings.dbPassword));
    Fill(*unconnected, entry); // the code is the design caption, never drawn
    const long first = Questions();
    const long before = Questions();
    unconnected->Button1Click();
    EXPECT_EQ(Questions() - before, before - first);
    EXPECT_EQ(m_fakes.prompts.Texts(),
              QStringList({QStringLiteral("连接服务器失败，请检查网络连接。"),
                           QStringLiteral("确定现在注册吗？")}));
    EXPECT_EQ(Accounts(), 0);
}

TEST_F(RegFormTest, RejectedNameCheckIsReportedAndNothingIsWritten)
{
    auto form = Open();
    Entry entry;
    entry.name = "carol";
    Fill(*form, entry);
    s_db->exec("RENAME TABLE zumalo_userinfo TO zumalo_userinfo_away");
    form->Button1Click();
    s_db->exec("RENAME TABLE zumalo_userinfo_away TO zumalo_userinfo");
    EXPECT_EQ(m_fakes.prompts.Last().text, QStringLiteral("注册模块出现错误，请重新注册。"));
    EXPECT_EQ(m_fakes.prompts.Last().owner, form.get());
    EXPECT_EQ(Accounts(), 0);
}

TEST_F(RegFormTest, NameTakenBetweenTheCheckAndTheInsertFailsTheInsert)
{
    auto form = Open();
    Entry entry;
    entry.name = "dora";
    Fill(*form, entry);

    // A rival registration of the same name, not yet committed: the name check does not see
    // it, and the insert waits on its key until the rival commits.
    DbSession rival{s_db->options()};
    ASSERT_TRUE(rival.Open("127.0.0.1", m_settings.dbUser, m_settings.dbPassword));
    ASSERT_TRUE(rival.Query("start transaction"));
    ASSERT_TRUE(rival.Query("insert into zumalo_userinfo(username, userpwd) values('dora', 'x')"));
    const std::string waiting = "select count(*) from information_schema.processlist where db = '"
        + s_db->name() + "' and info like 'insert into zumalo_userinfo%'";
    std::thread committer([&rival, &waiting] {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(15);
        while (std::chrono::steady_clock::now() < deadline) {
            rival.Query(waiting);
            const auto row = rival.FetchRow();
            rival.FreeResult();
            if (row && Field(*row, 0) != "0")
                break;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        rival.Query("commit");
    });
    form->Button1Click();
    committer.join();

    EXPECT_EQ(m_fakes.prompts.Texts(),
              QStringList(
                  {QStringLiteral("确定现在注册吗？"), QStringLiteral("注册失败，请重新注册。")}));
    EXPECT_EQ(s_db->scalar("select userpwd from zumalo_userinfo where username = 'dora'"), "x");
    EXPECT_EQ(Accounts(), 1);
}

TEST_F(RegFormTest, ConstructionDrawsTheCodeAndLoadsTheBannerAndTheAgreement)
{
    const QString agreement = QStringLiteral(
        "               注册协议                 尊敬的用户，感谢您的注册，注册前请细心阅读协议。\n"
        "您可以在这里发布任何想发布的资源，发布时请仔细阅\n"
        "读发布的格式和要求，以免造成资源无法打开以及其他\n"
        "用户无法观看。注册时请用户的联系方式尽量真实，以\n"
        "便其他用户可以与你取得联系，服务器会对您的资料保\n"
        "密，不会向外透露。若有其它问题可以联系管理员，发\n"
        "送邮件至admin@zumalo.example，或者在留言板内发表。");
    const QString banner = "LoadMovie 0 " + QString::fromStdString(kBanner);
    const struct
    {
        const char* what;
        const char* setup;
        const char* restore;
        QStringList calls;
        QString message;
        QString memo;
    } cases[] = {
        {"the banner link", "", "", {banner, "Play"}, "", agreement},
        {"the first of two rows",
         "INSERT INTO zumalo_sys(sys_reglink) VALUES ('http://other')",
         "",
         {banner, "Play"},
         "",
         agreement},
        {"no row: no banner", "DELETE FROM zumalo_sys", "", {}, "", agreement},
        {"an empty link: no banner",
         "UPDATE zumalo_sys SET sys_reglink = NULL",
         "",
         {},
         "",
         agreement},
        {"the statement rejected",
         "RENAME TABLE zumalo_sys TO zumalo_sys_away",
         "RENAME TABLE zumalo_sys_away TO zumalo_sys",
         {},
         QStringLiteral("登录失败，请重新登录。"),
         "Memo1"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        SetUp();
        if (*c.setup)
            s_db->exec(c.setup);
        m_fakes.prompts.entries.clear();
        m_fakes.movies.calls.clear();
        m_db.Connected = false;
        auto form = Open();
        if (*c.restore)
            s_db->exec(c.restore);

        EXPECT_EQ(m_fakes.movies.calls, c.calls);
        EXPECT_EQ(form->ShockwaveFlash1() != nullptr, !c.calls.isEmpty());
        if (c.message.isEmpty()) {
            EXPECT_TRUE(m_fakes.prompts.entries.empty());
        } else {
            EXPECT_EQ(m_fakes.prompts.Texts(), QStringList{c.message});
            EXPECT_EQ(m_fakes.prompts.Last().owner, form.get());
        }
        EXPECT_EQ(form->Controls().Memo1->toPlainText(), c.memo);

        // The code is drawn either way; the shared flag belongs to the other dialogs.
        bool number = false;
        const int code = form->Controls().Label11->text().toInt(&number);
        EXPECT_TRUE(number);
        EXPECT_GE(code, 100000);
        EXPECT_LE(code, 132767);
        EXPECT_TRUE(form->Connected());
        EXPECT_FALSE(form->QuitRequested());
        EXPECT_FALSE(m_db.Connected);
    }
}

TEST_F(RegFormTest, DatabaseStoppedShowsTheMessageAndEndsTheModalRunAtOnce)
{
    DbSession::Options stopped = s_db->options();
    const ClosedPort closed;
    stopped.port = closed.Port();
    DbSession db(stopped);
    auto form = Open(db);

    EXPECT_EQ(m_fakes.prompts.Texts(),
              QStringList{QStringLiteral("连接服务器失败，请检查网络连接。")});
    EXPECT_EQ(m_fakes.prompts.Last().owner, form.get());
    EXPECT_TRUE(form->QuitRequested());
    EXPECT_FALSE(form->Connected());
    EXPECT_EQ(m_fakes.movies.created, 0);

    // The modal run ends by itself: nothing shows and no click is awaited.
    bool shown = false;
    bool watchdog = false;
    QTimer::singleShot(3000, [&] {
        watchdog = true;
        if (QWidget* modal = QApplication::activeModalWidget())
            modal->close();
    });
    struct ShowSpy : QObject
    {
        bool* shown;
        bool eventFilter(QObject*, QEvent* event) override
        {
            if (event->type() == QEvent::Show)
                *shown = true;
            return false;
        }
    } spy;
    spy.shown = &shown;
    form->installEventFilter(&spy);
    EXPECT_EQ(form->exec(), QDialog::Rejected);
    EXPECT_FALSE(shown);
    EXPECT_FALSE(watchdog);
    for (QWidget* window : QApplication::topLevelWidgets())
        EXPECT_FALSE(window->isVisible()) << window->metaObject()->className();

    // The dialog left no quit in the queue for some other loop to swallow: ending the
    // program is the opener's, through QuitRequested().
    QEventLoop loop;
    QTimer::singleShot(50, &loop, [&loop] { loop.exit(7); });
    EXPECT_EQ(loop.exec(), 7);
}

TEST(VerificationCode, StaysWithinItsRangeAndChangesWithTheSecond)
{
    int lowest = 1 << 30;
    int highest = 0;
    std::set<std::string> consecutive;
    const std::uint32_t now = static_cast<std::uint32_t>(std::time(nullptr));
    for (std::uint32_t i = 0; i < 100000; ++i) {
        const std::uint32_t seed = i < 50000 ? i : now + i;
        const std::string code = VerificationCode(seed);
        ASSERT_EQ(code.size(), 6u) << code;
        const int value = std::stoi(code);
        lowest = std::min(lowest, value);
        highest = std::max(highest, value);
        if (i < 1000)
            consecutive.insert(code);
    }
    EXPECT_GE(lowest, 100000);
    EXPECT_LE(highest, 132767);
    // The whole range is used, and visitors a second apart get different codes.
    EXPECT_LT(lowest, 100100);
    EXPECT_GT(highest, 132667);
    EXPECT_GT(consecutive.size(), 950u);
    EXPECT_EQ(VerificationCode(now), VerificationCode(now));
}

TEST_F(RegFormTest, LayoutLimitsAndKeys)
{
    QWidget mainWindow;
    mainWindow.setGeometry(100, 80, 681, 600);
    QDialog loginDialog(&mainWindow);
    loginDialog.setGeometry(600, 500, 302, 212);
    TRegForm form(&loginDialog, m_session, m_db, m_settings, m_platform);

    EXPECT_EQ(form.windowTitle(), QStringLiteral("注册"));
    EXPECT_EQ(form.minimumSize(), QSize(507, 348));
    EXPECT_EQ(form.maximumSize(), QSize(507, 348));
    EXPECT_EQ(form.geometry().center(), mainWindow.geometry().center());
    EXPECT_EQ(form.ShockwaveFlash1()->Widget()->geometry(), QRect(233, 3, 273, 182));

    const QLineEdit unlimited;
    const struct
    {
        QLineEdit* edit;
        int maxLength;
        bool masked;
    } edits[] = {
        {form.Controls().Edit1, 10, false},
        {form.Controls().Edit2, 12, true},
        {form.Controls().Edit3, unlimited.maxLength(), true},
        {form.Controls().Edit5, 4, false},
        {form.Controls().Edit6, 20, false},
        {form.Controls().Edit7, unlimited.maxLength(), false},
        {form.Controls().Edit8, 12, false},
        {form.Controls().Edit9, 25, false},
        {form.Controls().Edit4, unlimited.maxLength(), false},
    };
    for (const auto& e : edits) {
        EXPECT_EQ(e.edit->maxLength(), e.maxLength);
        EXPECT_EQ(e.edit->echoMode() == QLineEdit::Password, e.masked);
    }
    EXPECT_EQ(form.Controls().ComboBox1->count(), 2);
    EXPECT_EQ(form.Controls().ComboBox1->itemText(1), QStringLiteral("女"));
    EXPECT_EQ(form.Controls().ComboBox1->currentText(), QStringLiteral("男"));
    EXPECT_TRUE(form.Controls().Memo1->isReadOnly());

    const QWidget* order[] = {
        form.Controls().Edit1, form.Controls().Edit2,   form.Controls().Edit3,
        form.Controls().Edit5, form.Controls().Edit6,   form.Controls().Edit7,
        form.Controls().Edit8, form.Controls().Edit9,   form.Controls().ComboBox1,
        form.Controls().Edit4, form.Controls().Button1, form.Controls().Memo1};
    QWidget* w = form.Controls().Edit1;
    for (const QWidget* want : order) {
        while (w->focusPolicy() == Qt::NoFocus || !form.isAncestorOf(w))
            w = w->nextInFocusChain();
        EXPECT_EQ(w, want) << w->metaObject()->className();
        w = w->nextInFocusChain();
    }

    // Neither Enter nor Escape registers or closes.
    Entry entry;
    entry.name = "carol";
    Fill(form, entry);
    int finished = 0;
    QObject::connect(&form, &QDialog::finished, [&finished] { ++finished; });
    for (int key : {Qt::Key_Return, Qt::Key_Enter, Qt::Key_Escape}) {
        QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
        QCoreApplication::sendEvent(form.Controls().Edit4, &press);
    }
    EXPECT_EQ(finished, 0);
    EXPECT_TRUE(m_fakes.prompts.entries.empty());
    EXPECT_EQ(Accounts(), 0);
}

} // namespace
