// The presence service on the main window: the online list with its profile pop-up, the
// chat room, the hint panel and the strip that folds the list away.
#include "app/Tmainform.h"

#include "core/Basefunc.h"
#include "core/Settings.h"
#include "db/Accounts.h"
#include "net/PresenceChannel.h"
#include "ui/Controls.h"
#include "ui/TextBridge.h"
#include "ui/UserProfile.h"

#include <QFrame>
#include <QLineEdit>
#include <QListWidget>
#include <QMouseEvent>
#include <QPlainTextEdit>

void TMainForm::FillOnlineList(const std::vector<std::string>& names)
{
    // With no names the count keeps its previous text.
    m_ui.lb->clear();
    for (const auto& name : names) {
        m_ui.lb->addItem(GbkToQ(name));
        m_ui.sb->SetPanelText(2, QString::number(m_ui.lb->count()) + "人在线");
    }
}

bool TMainForm::eventFilter(QObject* watched, QEvent* event)
{
    // lb's mouse events arrive at its viewport. The right button is taken here, so that a
    // click below the last name keeps the selection the pop-up menu then works on.
    if (m_ui.lb && watched == m_ui.lb->viewport()) {
        if (event->type() == QEvent::MouseButtonPress) {
            const auto* mouse = static_cast<QMouseEvent*>(event);
            lbMouseDown(mouse->button(), mouse->position().toPoint());
            return mouse->button() == Qt::RightButton;
        }
        // Only the left button opens a profile; the right one belongs to the menu.
        if (event->type() == QEvent::MouseButtonDblClick
            && static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton)
            lbDblClick();
    }
    return QWidget::eventFilter(watched, event);
}

void TMainForm::lbMouseDown(Qt::MouseButton button, const QPoint& at)
{
    if (button != Qt::RightButton)
        return;
    if (QListWidgetItem* item = m_ui.lb->itemAt(at))
        m_ui.lb->setCurrentItem(item);
}

void TMainForm::lbDblClick()
{
    ShowProfile();
}

void TMainForm::N1Click()
{
    ShowProfile();
}

void TMainForm::ShowProfile()
{
    const QList<QListWidgetItem*> selected = m_ui.lb->selectedItems();
    if (selected.isEmpty() || selected.front()->text().isEmpty())
        return;
    const std::string name = QToGbk(selected.front()->text());
    // A listed name without an account row (removed since it logged in) has no profile to
    // show: it is told like a failed statement rather than as a profile of empty values.
    const std::optional<Profile> profile = ReadProfile(m_db, name);
    if (!profile) {
        m_platform.prompts.Plain(this, "获取用户信息失败，请重新获取。");
        return;
    }
    m_platform.prompts.Inform(this, "用户信息", GbkToQ(ProfileText(name, *profile)));
}

void TMainForm::SpeedButton12Click()
{
    // The line goes to everyone, this client included: the transcript shows it when the
    // server relays it, not before.
    const std::string line = m_session.UserName + Utf8ToGbk("说: ") + QToGbk(m_ui.Edit3->text());
    if (m_presence)
        m_presence->SendText(line); // a failure is shown and closes the window (FormCreate)
    m_ui.Edit3->clear();
}

void TMainForm::AppendChatLine(const std::string& text)
{
    // As plain text, also while a list is shown: a line is never taken for markup.
    m_ui.Memo1->appendPlainText(GbkToQ(text));
}

void TMainForm::SpeedButton13Click()
{
    m_ui.sb->SetPanelText(0, "聊天室");
    m_ui.sb->SetPanelText(4, "你正在聊天室中");
    m_ui.Panel3->show();
    m_ui.Panel3->raise();
    SetMessageInputShown(false);
}

void TMainForm::ShowHint()
{
    // A missing file plays the system's default sound (the Sound stand-in sees to it).
    m_platform.sound.Play(QString::fromStdString(ProgramDir() + m_settings.chatSound));
    m_ui.Panel4->show();
    m_ui.Panel4->raise();
}

void TMainForm::SpeedButton14Click()
{
    m_ui.Panel4->hide();
}

void TMainForm::Panel1Click()
{
    // The list stays where it is: a narrower window leaves it outside.
    const int by = m_ui.lb->width();
    m_ui.Panel1->setText(m_listFolded ? "<" : ">");
    setFixedWidth(width() + (m_listFolded ? by : -by));
    m_ui.sb->resize(width(), m_ui.sb->height());
    m_listFolded = !m_listFolded;
}
