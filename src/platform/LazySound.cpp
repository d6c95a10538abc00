#include "platform/LazySound.h"

#include "core/ProgramDir.h"

#include <QApplication>
#include <QFileInfo>
#include <QLoggingCategory>

Q_LOGGING_CATEGORY(lcSound, "zumalo.sound", QtWarningMsg)

LazySound::LazySound(const QString& moduleFile)
    : m_module(moduleFile.isEmpty() ? QString::fromStdString(ProgramDir() + "zumalo-sound.so")
                                    : moduleFile)
{
}

// The player goes before the module that holds its code; the module itself stays mapped
// (QLibrary does not unload at destruction), as Qt Multimedia's threads may still run.
LazySound::~LazySound() = default;

Sound* LazySound::Module()
{
    if (m_sound || m_tried)
        return m_sound.get();
    m_tried = true;
    const auto create = reinterpret_cast<CreateSoundFunction>(m_module.resolve(CreateSoundSymbol));
    if (!create) {
        qCWarning(lcSound) << "cannot load the sound module:" << m_module.errorString();
        return nullptr;
    }
    m_sound.reset(create());
    return m_sound.get();
}

void LazySound::Play(const QString& wavFile)
{
    if (!QFileInfo(wavFile).isFile()) {
        QApplication::beep();
        return;
    }
    if (Sound* sound = Module())
        sound->Play(wavFile);
    else
        QApplication::beep();
}
