#pragma once

#include "platform/Platform.h"

#include <QLibrary>
#include <QString>

#include <memory>

// The sound of the hint, played through Qt Multimedia, which with its audio back ends is a
// good part of what the program would map at start-up for a sound that may never play. The
// player lives in a module of its own (zumalo-sound.so beside the program, SoundModule.cpp),
// loaded when the first sound plays. A missing file gives the system's beep, as does a
// module that cannot be loaded (the reason goes to the log, "zumalo.sound").
class LazySound final : public Sound
{
public:
    // moduleFile: the module's path; an empty one means zumalo-sound.so in ProgramDir().
    explicit LazySound(const QString& moduleFile = {});
    ~LazySound() override;
    LazySound(const LazySound&) = delete;
    LazySound& operator=(const LazySound&) = delete;

    void Play(const QString& wavFile) override;

    // Whether the module has been loaded (by the first sound that played).
    bool Loaded() const { return m_sound != nullptr; }

private:
    Sound* Module();

    QLibrary m_module;
    std::unique_ptr<Sound> m_sound;
    bool m_tried = false;
};

// What the module exports: a new player of wav files, made and deleted with the module's own
// code. The name is looked up with QLibrary::resolve.
extern "C" {
using CreateSoundFunction = Sound* (*)();
}
inline constexpr const char* CreateSoundSymbol = "zumalo_create_sound";
