#include "ui/Artwork.h"

#include <QtGlobal>

// Q_INIT_RESOURCE must be used outside any namespace.
static bool RegisterAssets()
{
    Q_INIT_RESOURCE(assets);
    return true;
}

void InitArtwork()
{
    // Registered once however often windows ask for it.
    [[maybe_unused]] static const bool registered = RegisterAssets();
}
