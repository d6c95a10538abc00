#pragma once

#include "core/Waits.h"
#include "platform/Platform.h"
#include "platform/WaitCursor.h"

#include <QPointer>
#include <QString>
#include <QStringList>
#include <QWidget>

#include <memory>
#include <vector>

// Recording fakes of the platform stand-ins for window tests. None of them opens a window
// that waits for a click, so a handler under test runs to its end.

class FakePrompts final : public Prompts
{
public:
    enum class Kind {
        Warn,
        Plain,
        Ask,
        Inform
    };

    struct Entry
    {
        Kind kind;
        QWidget* owner; // null when the message had no owner window
        QString title;  // empty for Warn and Plain
        QString text;
    };

    void Warn(QWidget* owner, const QString& text) override;
    void Plain(QWidget* owner, const QString& text) override;
    bool Ask(QWidget* owner, const QString& title, const QString& text) override;
    void Inform(QWidget* owner, const QString& title, const QString& text) override;

    // The texts in the order they were shown.
    QStringList Texts() const;
    // The last entry; fails the calling test when there is none.
    const Entry& Last() const;

    std::vector<Entry> entries;
    // What Ask answers.
    bool answer = true;
};

class FakeFileChooser final : public FileChooser
{
public:
    QString ChooseOpen(QWidget* owner, const QString& filter) override;

    // What ChooseOpen returns; "" plays a cancelled dialog.
    QString path;
    QStringList filters;
    std::vector<QWidget*> owners;
};

class FakeShell final : public Shell
{
public:
    void Open(QWidget* owner, const QString& address) override;

    QStringList opened;
};

class FakeSound final : public Sound
{
public:
    void Play(const QString& wavFile) override;

    QStringList played;
};

// The calls a player received, in order, e.g. "LoadMovie 0 http://...", "Play", "SetMenu 0".
class FakeMoviePlayer final : public MoviePlayer
{
public:
    explicit FakeMoviePlayer(QWidget* parent, QStringList& calls);
    ~FakeMoviePlayer() override;

    QWidget* Widget() override { return m_widget.data(); }
    void LoadMovie(int layer, const QString& url) override;
    void Play() override;
    void SetMenu(bool on) override;

private:
    QPointer<QWidget> m_widget; // the player owns its surface, as the real one does
    QStringList& m_calls;
};

class FakeMoviePlayerFactory final : public MoviePlayerFactory
{
public:
    std::unique_ptr<MoviePlayer> Create(QWidget* parent) override;

    int created = 0;
    // The calls of every player this factory made, in order.
    QStringList calls;
};

// One of each, handed to a window as its Platform.
struct FakePlatform
{
    FakePrompts prompts;
    FakeFileChooser files;
    FakeShell shell;
    FakeSound sound;
    FakeMoviePlayerFactory movies;
    // The real wait cursor: a window under test leaves no cursor behind.
    Waits waits;

    FakePlatform() { ShowWaitCursorDuring(waits); }
    Platform bundle() { return Platform{prompts, files, shell, sound, movies, waits}; }
};
