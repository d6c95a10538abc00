// The screen lock: the window hides until the session's own name and password are typed
// again. Everything else (timers, presence, chat) keeps running meanwhile.
#include "app/Tmainform.h"

#include "ui/TextBridge.h"
#include "ui/Tloginform.h"

void TMainForm::SpeedButton15Click()
{
    hide();
    const bool unlocked = DefaultUnlock();
    if (!unlocked) {
        // Giving up the unlock ends the program; the window stays hidden.
        RequestQuit();
        return;
    }
    show();
    setWindowTitle("欢迎" + GbkToQ(m_session.UserName) + "回来");
}

bool TMainForm::DefaultUnlock()
{
    TLoginForm dialog(this, TLoginForm::UnlockMode, m_session, m_db, m_settings, m_platform);
    return dialog.exec() == QDialog::Accepted;
}
