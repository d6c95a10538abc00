// Publishing from the main window: a video and a quick post. After an OK the list on display
// is loaded again from page 1, so its rows and the counter in the status bar agree whichever
// list it is; the new entry shows first when its own list is on display.
#include "app/Tmainform.h"

#include "ui/Tsubmitform.h"
#include "ui/Tuploadform.h"

void TMainForm::SpeedButton7Click()
{
    TUploadForm form(this, m_session, m_db, m_platform, m_clock);
    if (form.exec() == QDialog::Accepted)
        RefreshCategory();
}

void TMainForm::SpeedButton11Click()
{
    TSubmitForm form(this, m_session, m_db, m_platform, m_clock);
    if (form.exec() == QDialog::Accepted)
        RefreshCategory();
}
