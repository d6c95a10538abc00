#include "ui/Artwork.h"

#include <QtGlobal>

// Q_INIT_RESOURCE must be used outside any namespace.
static void InitAssetsResource()
{
    Q_INIT_RESOURCE(assets);
}

void InitArtwork()
{
    InitAssetsResource();
}
