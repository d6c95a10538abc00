#include "platform/LazySound.h"
#include "platform/QuitSignals.h"
#include "platform/RealPlatform.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDialog>
#include <QEventLoop>
#include <QFile>
#include <QMessageBox>
#include <QPointer>
#include <QTimer>
#include <QWidget>

#include <gtest/gtest.h>

#include <csignal>
#include <functional>

namespace {

// Whether a file whose name holds part is mapped into this process.
bool Mapped(const char* part)
{
    QFile maps(QStringLiteral("/proc/self/maps"));
    return maps.open(QIODevice::ReadOnly) && maps.readAll().contains(part);
}

// What the box looked like while it was open.
struct Seen
{
    QString title;
    QString text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QMessageBox::StandardButtons buttons;
    QWidget* owner = nullptr;
    bool modal = false;
    Qt::TextFormat format = Qt::AutoText;
};

// Runs show, which opens a modal box; once the box is up, records it and presses answer.
Seen Inspect(const std::function<void()>& show, QMessageBox::StandardButton answer)
{
    Seen seen;
    QTimer::singleShot(0, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box) {
            ADD_FAILURE() << "no message box is open";
            return;
        }
        seen = {box->windowTitle(),  box->text(),    box->icon(),      box->standardButtons(),
                box->parentWidget(), box->isModal(), box->textFormat()};
        box->button(answer)->click();
    });
    show();
    return seen;
}

TEST(QtPrompts, EachKindOfMessageHasItsTitleIconAndButtons)
{
    QtPrompts prompts;
    QWidget owner;
    owner.show();

    const Seen warn =
        Inspect([&] { prompts.Warn(&owner, QStringLiteral("密码不能为空。")); }, QMessageBox::Ok);
    EXPECT_EQ(warn.title, QStringLiteral("提示"));
    EXPECT_EQ(warn.text, QStringLiteral("密码不能为空。"));
    EXPECT_EQ(warn.icon, QMessageBox::Warning);
    EXPECT_EQ(warn.buttons, QMessageBox::Ok);
    EXPECT_EQ(warn.owner, &owner);
    EXPECT_TRUE(warn.modal);

    // A text that holds what somebody typed is shown as typed, not as markup.
    const Seen typed = Inspect(
        [&] { prompts.Warn(&owner, QStringLiteral("'<b>1</b>' is not a valid integer value")); },
        QMessageBox::Ok);
    EXPECT_EQ(typed.format, Qt::PlainText);

    const Seen ownerless =
        Inspect([&] { prompts.Warn(nullptr, QStringLiteral("x")); }, QMessageBox::Ok);
    EXPECT_EQ(ownerless.owner, nullptr);
    EXPECT_EQ(ownerless.title, QStringLiteral("提示"));

    const Seen plain =
        Inspect([&] { prompts.Plain(&owner, QStringLiteral("服务器没有响应")); }, QMessageBox::Ok);
    EXPECT_EQ(plain.icon, QMessageBox::NoIcon);
    EXPECT_EQ(plain.buttons, QMessageBox::Ok);

    const Seen inform = Inspect(
        [&] { prompts.Inform(&owner, QStringLiteral("用户信息"), QStringLiteral("QQ: 1")); },
        QMessageBox::Ok);
    EXPECT_EQ(inform.title, QStringLiteral("用户信息"));
    EXPECT_EQ(inform.icon, QMessageBox::NoIcon);
    EXPECT_EQ(inform.buttons, QMessageBox::Ok);
}

TEST(QtPrompts, AskAnswersWhatWasPressed)
{
    QtPrompts prompts;
    for (const auto answer : {QMessageBox::Yes, QMessageBox::No}) {
        bool result = false;
        const Seen ask = Inspect(
            [&] {
                result =
                    prompts.Ask(nullptr, QStringLiteral("下载"), QStringLiteral("现在下载吗？"));
            },
            answer);
        EXPECT_EQ(ask.buttons, QMessageBox::Yes | QMessageBox::No);
        EXPECT_EQ(ask.title, QStringLiteral("下载"));
        EXPECT_EQ(result, answer == QMessageBox::Yes);
    }
}

TEST(PlaceholderMovieFactory, SurfaceSitsInTheParentAndGoesWithThePlayer)
{
    QWidget parent;
    PlaceholderMovieFactory factory;
    auto player = factory.Create(&parent);
    QPointer<QWidget> surface = player->Widget();
    ASSERT_TRUE(surface);
    EXPECT_EQ(surface->parentWidget(), &parent);
    player->LoadMovie(0, QStringLiteral("http://127.0.0.1/x.swf"));
    player->Play();
    player->SetMenu(false);
    player.reset();
    EXPECT_FALSE(surface);
}

TEST(RealPlatform, BundleUsesTheGivenMovieFactoryOrThePlaceholder)
{
    auto movies = std::make_unique<PlaceholderMovieFactory>();
    MoviePlayerFactory* given = movies.get();
    RealPlatform withPlayer(std::move(movies));
    EXPECT_EQ(&withPlayer.bundle().movies, given);

    RealPlatform withoutPlayer(nullptr);
    QWidget parent;
    EXPECT_TRUE(withoutPlayer.bundle().movies.Create(&parent)->Widget());
}

// The sound's module, and with it Qt Multimedia, is mapped only when the first sound plays; a
// missing file or a module that cannot be loaded gives the beep and no failure.
TEST(LazySound, LoadsTheMultimediaModuleWhenTheFirstSoundPlays)
{
    const QString wav = QStringLiteral(ZUMALO_TEST_BIN_DIR "/dat/system.wav");
    ASSERT_TRUE(QFile::exists(wav));

    LazySound broken(QStringLiteral(ZUMALO_TEST_BIN_DIR "/no-such-module.so"));
    broken.Play(wav);
    EXPECT_FALSE(broken.Loaded());

    ASSERT_FALSE(Mapped("libQt6Multimedia")) << "the test program itself maps Qt Multimedia";
    LazySound sound(QStringLiteral(ZUMALO_TEST_BIN_DIR "/zumalo-sound.so"));
    sound.Play(QStringLiteral(ZUMALO_TEST_BIN_DIR "/dat/no-such.wav"));
    EXPECT_FALSE(sound.Loaded());
    EXPECT_FALSE(Mapped("zumalo-sound.so"));

    sound.Play(wav);
    EXPECT_TRUE(sound.Loaded());
    EXPECT_TRUE(Mapped("zumalo-sound.so"));
    EXPECT_TRUE(Mapped("libQt6Multimedia"));
    sound.Play(wav); // a second sound replaces the first
}

TEST(QuitSignals, TerminationClosesTheModalWindowUpAndIsTakenOnce)
{
    const QuitSignals quit;
    int received = 0;
    QObject::connect(&quit, &QuitSignals::received, [&] { ++received; });

    // The login dialog runs before the main loop: the signal must still end it.
    QDialog dialog;
    QTimer::singleShot(0, [] { std::raise(SIGTERM); });
    QTimer::singleShot(5000, &dialog, &QDialog::accept); // a test that fails, not one that hangs
    EXPECT_EQ(dialog.exec(), QDialog::Rejected);
    EXPECT_TRUE(quit.Requested());

    // The wake-up was taken out of the pipe: it does not fire again and again.
    QEventLoop loop;
    QTimer::singleShot(100, &loop, &QEventLoop::quit);
    loop.exec();
    EXPECT_EQ(received, 1);
}

} // namespace
