#pragma once

#include "ui/Controls.h"

#include "core/Session.h"
#include "core/TimeStamp.h"

#include <QDialog>

class DbSession;
class QLabel;
class QLineEdit;
class SpeedButton;
struct Platform;

// The quick-post dialog's controls under their design names.
struct TSubmitFormControls
{
    QLabel* Label1 = nullptr;
    QLabel* Label2 = nullptr;
    QLineEdit* Edit1 = nullptr;
    QLabel* Label3 = nullptr;
    QLabel* Label4 = nullptr;
    QLineEdit* Edit2 = nullptr;
    SpeedButton* SpeedButton1 = nullptr;
};

// The quick-post dialog: stores a title and a web address as a new quick post. Run it
// modally; Accepted means a post was stored and the quick-post list should be reloaded.
// It stays open through failed attempts, with the entries as typed.
class TSubmitForm final : public ButtonOnlyDialog
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TSubmitForm)

public:
    // owner is the main window, over which the dialog is centred. The clock gives the
    // submission time (the local clock by default).
    TSubmitForm(QWidget* owner, const Session& session, DbSession& db, Platform& platform,
                Clock clock = {});
    ~TSubmitForm() override;

    TSubmitFormControls& Controls() { return m_ui; }
    const TSubmitFormControls& Controls() const { return m_ui; }

public slots:
    // Checks the entries and stores the post.
    void SpeedButton1Click();

private:
    void BuildControls(QWidget* owner);
    void Warn(const QString& text);

    const Session& m_session;
    DbSession& m_db;
    Platform& m_platform;
    TSubmitFormControls m_ui;
    Clock m_clock;
};
