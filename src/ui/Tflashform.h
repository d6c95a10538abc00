#pragma once

#include "ui/Controls.h"

#include <QDialog>

#include <memory>
#include <string>

class DbSession;
class MoviePlayer;
struct Platform;

// The video window: plays one Flash movie given by its web address. All of its work happens
// while it is constructed; afterwards it only shows the player until the user closes it.
//
// Test mode (the upload dialog's test button) plays the movie under the caption
// "正在测试视频效果" without touching the database. Listed mode (a row of the video list) looks
// up who published the video and when, shows both in the caption, turns the player's menu
// off and plays. A failed lookup is reported and leaves the window empty
// with its design caption "FlashForm".
//
// The player (a web engine, heavy) is made only when a movie opens and goes with the window.
class TFlashForm final : public ButtonOnlyDialog
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TFlashForm)

public:
    enum class Mode {
        Listed, // a published video, named by its title
        Test,   // an address tried out before it is published
    };

    // The title the upload dialog's test button passes (GBK).
    static std::string TestTitle();
    // The mode a row of the video list opens in: test mode for a video titled exactly like
    // the test, listed mode for every other.
    static Mode ModeForListedTitle(const std::string& titleGbk);

    // Both texts are GBK: the video's title (TestTitle in test mode) and the movie's address.
    TFlashForm(QWidget* owner, Mode mode, const std::string& titleGbk,
               const std::string& movieAddressGbk, DbSession& db, Platform& platform);
    ~TFlashForm() override;

    const std::string& Title() const { return m_title; }
    const std::string& MovieAddress() const { return m_movieAddress; }
    // The player surface's control; null while no movie was loaded.
    MoviePlayer* ShockwaveFlash1() const { return m_player.get(); }
    bool MovieLoaded() const { return m_player != nullptr; }

private:
    void BuildLayout(QWidget* owner);
    // Uploader and time for the caption; false when the lookup failed or found nothing.
    bool LookUpUploader(std::string& caption);
    void OpenMovie(bool menuOff);

    Mode m_mode;
    std::string m_title;
    std::string m_movieAddress;
    DbSession& m_db;
    Platform& m_platform;
    std::unique_ptr<MoviePlayer> m_player;
};
