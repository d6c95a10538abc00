#include "core/Settings.h"

#include "BuildConfig.h"

Settings Settings::Defaults()
{
    Settings s;
    s.serverHostName = ZUMALO_SERVER_HOST;
    s.serverHostUrl = std::string("http://") + ZUMALO_SERVER_HOST;
    s.lookupHost = ZUMALO_LOOKUP_HOST;
    s.weatherHost = ZUMALO_WEATHER_HOST;
    s.ShareContactAddress = ZUMALO_SHARE_CONTACT;
    return s;
}
