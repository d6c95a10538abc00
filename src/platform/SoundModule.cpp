// The module zumalo-sound.so: the program's wav player on Qt Multimedia, loaded by LazySound
// when the first sound plays, so that the program maps Qt Multimedia only from then on.
#include "platform/LazySound.h"

#include <QFileInfo>
#include <QSoundEffect>
#include <QUrl>

#include <memory>

namespace {

// Plays through one QSoundEffect, which returns at once; a new sound replaces the one still
// playing. LazySound has made sure that the file exists.
class QtSound final : public Sound
{
public:
    void Play(const QString& wavFile) override
    {
        if (!m_effect)
            m_effect = std::make_unique<QSoundEffect>();
        m_effect->stop();
        m_effect->setSource(QUrl::fromLocalFile(QFileInfo(wavFile).absoluteFilePath()));
        m_effect->play();
    }

private:
    std::unique_ptr<QSoundEffect> m_effect;
};

} // namespace

// A C symbol that LazySound looks up by this name.
// NOLINTNEXTLINE(readability-identifier-naming)
extern "C" Q_DECL_EXPORT Sound* zumalo_create_sound()
{
    return new QtSound;
}
