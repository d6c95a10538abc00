#pragma once

#include "core/Ports.h"

#include <cstddef>
#include <string>
#include <vector>

// The program's settings. The program reads no configuration file: these are constants,
// with the host names, the contact address and the ports chosen at build time (BuildConfig.h,
// Ports.h). The ports are the build's from the start, so a bare Settings reaches the same
// services as Defaults(). Tests make their own value and change what they need.
struct Settings
{
    // Address resolution: the dynamic-DNS name asked of the lookup page, and the probe.
    std::string serverHostUrl;                 // "http://" + host name
    std::string serverHostName;                // the host name alone (the probe resolves it)
    std::string probeProgram = "dat/test.dat"; // under ProgramDir()

    // Database.
    unsigned dbPort = ports::Database;
    std::string dbUser = "connect_server";
    std::string dbPassword = "40725913";
    std::string dbName = "test";
    std::string dbCharset = "gb2312";
    // A dead or hung server must cost seconds, not minutes: a statement waits at most one
    // connect and one read timeout (a connection lost before it is made again first), 9 s,
    // within the 10 s that a page may take.
    unsigned dbConnectTimeoutSeconds = 3;
    unsigned dbReadTimeoutSeconds = 6;
    unsigned dbWriteTimeoutSeconds = 6;

    // HTTP file service on the server: "http://" + ServerAddress + ":" + httpPort + path.
    unsigned httpPort = ports::Http;
    std::string lowBannerPath = "/low.bmp";
    std::string highBannerPath = "/high.bmp";
    std::string linkPagePath = "/link.php";
    std::string torrentFolder = "/zhongzi/";
    // Pages and pictures (banners, the link page) are small: connect within 3 s, all within
    // 10 s. Downloads (torrents, the update archive) give up when less than
    // downloadLowSpeedBytes a second arrive for downloadLowSpeedSeconds, and when they take
    // longer than downloadGraceSeconds plus a second for every downloadFloorBytesPerSecond of
    // their size: 100 KB may take 40 s, 1 MB 4 min 31 s. The window waits meanwhile, so the
    // floor keeps that wait bounded even for a transfer that trickles just above the low speed.
    // A page or a picture larger than pageMaxBytes is a failure: an endless answer ends
    // there, not in an exhausted client.
    long httpConnectTimeoutSeconds = 3;
    long httpTimeoutSeconds = 10;
    long downloadLowSpeedBytes = 1024;
    long downloadLowSpeedSeconds = 15;
    long downloadFloorBytesPerSecond = 4096;
    long downloadGraceSeconds = 15;
    std::size_t pageMaxBytes = 4u << 20;

    // Public pages (host[:port]); paths and query keys are fixed by the lookups.
    std::string lookupHost;
    std::string weatherHost;
    long webTimeoutSeconds = 10;

    // The fetches of one start-up step share this bound: the login dialog's (the address
    // lookup, the banner) and the main window's (banners, link page, temperature). A server
    // that accepts connections and never answers holds each step up this long, not 10 s a
    // fetch; what is not fetched in time keeps its design picture or empty text.
    long startupFetchSeconds = 4;

    // Presence and chat.
    unsigned presencePort = ports::Presence;
    int loginCheckMs = 2000;
    int keepOnlineMs = 3000;
    // A datagram may be lost: while no answer has come, the LoginRequest goes again at these
    // times after the attempt's first one, within the login check's wait. Few and spaced, so
    // that on an ordinary round trip the answer comes before any repeat: a server that takes
    // a repeat for a second login of the name answers it with a refusal.
    std::vector<int> loginRepeatMs = {500, 1200, 2200, 3200};
    // After a refusal the login is tried again this often, without telling the user again.
    // zumalo-server lets a login replace a session of the same address that has been silent
    // for two keep-online periods (6 s): a program started again after a crash is back on
    // the list at its first retry.
    int loginRetryMs = 7000;

    std::string chatSound = "dat/system.wav"; // under ProgramDir()
    std::string ShareContactAddress;

    int timer1Ms = 20000; // rotating caption
    int temperatureRefreshMs = 300000;

    // The build-time defaults.
    static Settings Defaults();
};
