#pragma once

#include <string>

// The program's settings. The program reads no configuration file: these are constants,
// with the host names and the contact address chosen at build time (BuildConfig.h).
// Tests make their own value and change what they need.
struct Settings
{
    // Address resolution: the dynamic-DNS name asked of the lookup page, and the probe.
    std::string serverHostUrl;                 // "http://" + host name
    std::string serverHostName;                // the host name alone (the probe resolves it)
    std::string probeProgram = "dat/test.dat"; // under ProgramDir()

    // Database.
    unsigned dbPort = 3306;
    std::string dbUser = "connect_server";
    std::string dbPassword = "40725913";
    std::string dbName = "test";
    std::string dbCharset = "gb2312";
    unsigned long dbClientFlags = 65536; // CLIENT_MULTI_STATEMENTS
    // A dead or hung server must cost seconds, not minutes: a statement waits at most one
    // connect and one read timeout (a connection lost before it is made again first), 9 s,
    // within the 10 s that a page may take.
    unsigned dbConnectTimeoutSeconds = 3;
    unsigned dbReadTimeoutSeconds = 6;
    unsigned dbWriteTimeoutSeconds = 6;

    // HTTP file service on the server: "http://" + ServerAddress + ":8081" + path.
    unsigned httpPort = 8081;
    std::string lowBannerPath = "/low.bmp";
    std::string highBannerPath = "/high.bmp";
    std::string linkPagePath = "/link.php";
    std::string torrentFolder = "/zhongzi/";
    // Pages and pictures (banners, the link page) are small: connect within 3 s, all within
    // 10 s. Downloads (torrents, the update archive) have no total bound; they give up when
    // less than downloadLowSpeedBytes a second arrive for downloadLowSpeedSeconds.
    long httpConnectTimeoutSeconds = 3;
    long httpTimeoutSeconds = 10;
    long downloadLowSpeedBytes = 1024;
    long downloadLowSpeedSeconds = 15;

    // Public pages (host[:port]); paths and query keys are fixed by the lookups.
    std::string lookupHost;
    std::string weatherHost;
    long webTimeoutSeconds = 10;

    // Presence and chat.
    unsigned presencePort = 5432;
    int loginCheckMs = 2000;
    int keepOnlineMs = 3000;

    std::string chatSound = "dat/system.wav"; // under ProgramDir()
    std::string ShareContactAddress;

    int timer1Ms = 20000; // rotating caption
    int temperatureRefreshMs = 300000;

    // The build-time defaults.
    static Settings Defaults();
};
