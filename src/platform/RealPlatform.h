#pragma once

#include "platform/LazySound.h"
#include "platform/Platform.h"

#include "core/Waits.h"

#include <QString>

#include <memory>

// The real stand-ins on Qt: message boxes, the file dialog, the desktop's "open" and
// sound effects (LazySound.h), and the wait cursor. main.cpp makes one RealPlatform and hands
// its bundle() to the windows.

class QtPrompts final : public Prompts
{
public:
    void Warn(QWidget* owner, const QString& text) override;
    void Plain(QWidget* owner, const QString& text) override;
    bool Ask(QWidget* owner, const QString& title, const QString& text) override;
    void Inform(QWidget* owner, const QString& title, const QString& text) override;
};

class QtFileChooser final : public FileChooser
{
public:
    QString ChooseOpen(QWidget* owner, const QString& filter) override;
};

// Addresses with a scheme go to the desktop as they are; anything else is a local path.
class DesktopShell final : public Shell
{
public:
    void Open(QWidget* owner, const QString& address) override;
};

// Shown where a movie would play while no real player is built in.
class PlaceholderMovieFactory final : public MoviePlayerFactory
{
public:
    std::unique_ptr<MoviePlayer> Create(QWidget* parent) override;
};

// One of each real stand-in; the movie player factory comes from outside because the
// player lives in its own unit.
class RealPlatform final
{
public:
    explicit RealPlatform(std::unique_ptr<MoviePlayerFactory> movies);
    RealPlatform(const RealPlatform&) = delete;
    RealPlatform& operator=(const RealPlatform&) = delete;

    Platform bundle();

private:
    QtPrompts m_prompts;
    QtFileChooser m_files;
    DesktopShell m_shell;
    LazySound m_sound;
    std::unique_ptr<MoviePlayerFactory> m_movies;
    Waits m_waits;
};
