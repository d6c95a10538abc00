#pragma once

#include <QString>

#include <memory>

class Waits;

class QWidget;

// The desktop services the windows use, each behind a small interface so that tests hand
// in recording fakes that never block. main.cpp builds the real ones (RealPlatform.h).

// Message boxes.
class Prompts
{
public:
    virtual ~Prompts() = default;
    // The "提示" box with the warning icon and an OK button; owner may be null.
    virtual void Warn(QWidget* owner, const QString& text) = 0;
    // A plain message: the text and an OK button only.
    virtual void Plain(QWidget* owner, const QString& text) = 0;
    // A yes/no question; true for yes.
    virtual bool Ask(QWidget* owner, const QString& title, const QString& text) = 0;
    // An information box without icon.
    virtual void Inform(QWidget* owner, const QString& title, const QString& text) = 0;
};

// The open-style file dialog. filter is Qt's form, e.g. "torrent文件 (*.torrent)".
// An empty result means the user cancelled.
class FileChooser
{
public:
    virtual ~FileChooser() = default;
    virtual QString ChooseOpen(QWidget* owner, const QString& filter) = 0;
};

// The shell's "open" of an address or a document.
class Shell
{
public:
    virtual ~Shell() = default;
    virtual void Open(QWidget* owner, const QString& address) = 0;
};

// Plays a wav file without waiting; the system's default sound when it is missing.
class Sound
{
public:
    virtual ~Sound() = default;
    virtual void Play(const QString& wavFile) = 0;
};

// The movie player surface of the video window.
class MoviePlayer
{
public:
    virtual ~MoviePlayer() = default;
    // The surface; the player owns it and the video window places it.
    virtual QWidget* Widget() = 0;
    // Loads the movie at url into the layer, replacing what is shown.
    virtual void LoadMovie(int layer, const QString& url) = 0;
    virtual void Play() = 0;
    // The context menu of the player on or off.
    virtual void SetMenu(bool on) = 0;
};

class MoviePlayerFactory
{
public:
    virtual ~MoviePlayerFactory() = default;
    // Made only when a movie opens: the real player is heavy.
    virtual std::unique_ptr<MoviePlayer> Create(QWidget* parent) = 0;
};

// The bundle handed to the main window and the dialogs.
struct Platform
{
    Prompts& prompts;
    FileChooser& files;
    Shell& shell;
    Sound& sound;
    MoviePlayerFactory& movies;
    // The program's blocking calls, with the wait cursor among their listeners.
    Waits& waits;
};
