#pragma once

#include "ui/Controls.h"

#include "core/Session.h"
#include "core/TimeStamp.h"

#include <QDialog>

#include <string>

class DbSession;
class QLabel;
class QLineEdit;
class SpeedButton;
struct Platform;

// The video upload dialog's controls under their design names.
struct TUploadFormControls
{
    QLabel* Label1 = nullptr;
    QLabel* Label3 = nullptr;
    QLineEdit* Edit1 = nullptr;
    QLabel* Label2 = nullptr;
    QLineEdit* Edit2 = nullptr;
    QLineEdit* Edit3 = nullptr;
    SpeedButton* SpeedButton2 = nullptr;
    QLabel* Label4 = nullptr;
    QLineEdit* Edit4 = nullptr;
    SpeedButton* SpeedButton1 = nullptr;
};

// The video upload dialog: publishes a title, a movie address and the score a viewer needs,
// and awards the uploader 2 points. A second button previews an address in the video
// window without publishing it. Run it modally; Accepted means a video was published and
// the video list should be reloaded. It stays open through failed attempts.
//
// The score lives in an InnoDB table and the videos in an Aria one, so no transaction can
// hold the score update and the insert together. When the insert fails after the points
// were added, the score is written back to the value read before the update.
class TUploadForm final : public ButtonOnlyDialog
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TUploadForm)

public:
    // owner is the main window, over which the dialog is centred. The clock gives the upload
    // time (the local clock by default).
    TUploadForm(QWidget* owner, const Session& session, DbSession& db, Platform& platform,
                Clock clock = {});
    ~TUploadForm() override;

    TUploadFormControls& Controls() { return m_ui; }
    const TUploadFormControls& Controls() const { return m_ui; }

public slots:
    // Upload: checks the entries, raises the score by 2 and stores the video.
    void SpeedButton1Click();
    // Test: plays Edit3's address in the video window's test mode.
    void SpeedButton2Click();

private:
    void BuildControls(QWidget* owner);
    void Warn(const QString& text);

    const Session& m_session;
    DbSession& m_db;
    Platform& m_platform;
    TUploadFormControls m_ui;
    Clock m_clock;
};
