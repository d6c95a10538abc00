#include "app/ChatPanel.h"

#include "core/Basefunc.h"
#include "core/Settings.h"
#include "db/Accounts.h"
#include "net/KeepOnlineDuringWaits.h"
#include "net/PresenceChannel.h"
#include "platform/Platform.h"
#include "ui/Controls.h"
#include "ui/TextBridge.h"
#include "ui/UserProfile.h"
#include "ui/WaitCursor.h"
#include "ui/WindowPrompts.h"

#include <QFrame>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QStringList>

#include <optional>
#include <utility>

ChatPanel::ChatPanel(QWidget& window, Controls ui, Session& session, DbSession& db,
                     const Settings& settings, Platform& platform)
    : m_window(window)
    , m_ui(ui)
    , m_session(session)
    , m_db(db)
    , m_settings(settings)
    , m_platform(platform)
{
    m_ui.lb->viewport()->installEventFilter(this); // lbMouseDown, lbDblClick
    connect(m_ui.lb, &QWidget::customContextMenuRequested, this, [this](const QPoint& at) {
        // The menu acts on the name selected when it opened, whatever list arrives meanwhile.
        const QList<QListWidgetItem*> selected = m_ui.lb->selectedItems();
        m_menuName = selected.isEmpty() ? QString() : selected.front()->text();
        m_menuNameTaken = true;
        m_ui.PopupMenu1->popup(m_ui.lb->viewport()->mapToGlobal(at));
    });
    connect(m_ui.N1, &QAction::triggered, this, &ChatPanel::N1Click);
    connect(m_ui.SpeedButton12, &QToolButton::clicked, this, &ChatPanel::SpeedButton12Click);
    connect(m_ui.SpeedButton13, &QToolButton::clicked, this, &ChatPanel::SpeedButton13Click);
    connect(m_ui.SpeedButton14, &QToolButton::clicked, this, &ChatPanel::SpeedButton14Click);
    connect(m_ui.Panel1, &ClickLabel::clicked, this, &ChatPanel::Panel1Click);
}

ChatPanel::~ChatPanel() = default;

bool ChatPanel::eventFilter(QObject* watched, QEvent* event)
{
    // lb's mouse events arrive at its viewport. The right button is taken here, so that a
    // click below the last name keeps the selection the pop-up menu then works on.
    if (watched == m_ui.lb->viewport()) {
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
    return QObject::eventFilter(watched, event);
}

void ChatPanel::StartPresence()
{
    m_presence = std::make_unique<PresenceChannel>(m_session, m_settings);
    BindPresence();
    m_presence->Start();
    // The channel's timer cannot fire while the window waits on the network or the database.
    m_keepOnline = std::make_unique<KeepOnlineDuringWaits>(*m_presence);
    SetWaitCompanion([this] { m_keepOnline->Begin(); }, [this] { m_keepOnline->End(); });
}

void ChatPanel::BindPresence()
{
    const auto text = [](const char* utf8) { return QString::fromUtf8(utf8); };
    PresenceChannel& presence = *m_presence;
    connect(&presence, &PresenceChannel::socketError, this,
            [this](const QString& message) { m_platform.prompts.Plain(&m_window, message); });
    connect(&presence, &PresenceChannel::loginFailed, this, [this, text] {
        ShowWarning(m_platform, &m_window, text(presence_texts::LoginFailed));
        emit closeRequested();
    });
    connect(&presence, &PresenceChannel::loginRefused, this, [this, text] {
        m_platform.prompts.Plain(&m_window, text(presence_texts::LoginRefused));
    });
    connect(&presence, &PresenceChannel::sendFailed, this, [this, text] {
        ShowWarning(m_platform, &m_window, text(presence_texts::SendFailed));
        emit closeRequested();
    });
    connect(&presence, &PresenceChannel::refreshCommand, this, &ChatPanel::refreshCommand);
    connect(&presence, &PresenceChannel::onlineList, this, &ChatPanel::FillOnlineList);
    connect(&presence, &PresenceChannel::chatLine, this, &ChatPanel::AppendChatLine);
    connect(&presence, &PresenceChannel::hintCommand, this, &ChatPanel::ShowHint);
}

void ChatPanel::ClosePresence()
{
    if (m_keepOnline) {
        SetWaitCompanion({}, {});
        m_keepOnline.reset();
    }
    if (m_presence)
        m_presence->Logout();
}

void ChatPanel::FillOnlineList(const std::vector<std::string>& names)
{
    QStringList listed;
    listed.reserve(static_cast<qsizetype>(names.size()));
    for (const auto& name : names)
        listed.append(GbkToQ(name));
    // The server sends the list again to repair a lost one: the same list changes nothing.
    if (listed.size() == m_ui.lb->count()) {
        bool same = true;
        for (int i = 0; same && i < m_ui.lb->count(); ++i)
            same = m_ui.lb->item(i)->text() == listed[i];
        if (same)
            return;
    }
    // A changed list keeps the selected name selected, and the list where it was scrolled.
    const QList<QListWidgetItem*> selectedItems = m_ui.lb->selectedItems();
    const QString selected = selectedItems.isEmpty() ? QString() : selectedItems.front()->text();
    const int selectedRow = selectedItems.isEmpty() ? -1 : m_ui.lb->row(selectedItems.front());
    const int scrolled = m_ui.lb->verticalScrollBar()->value();

    // With no names the count keeps its previous text.
    m_ui.lb->clear();
    for (const QString& name : listed) {
        m_ui.lb->addItem(name);
        m_ui.sb->SetPanelText(2, QString::number(m_ui.lb->count()) + "人在线");
    }
    if (selectedRow >= 0) {
        // The same row when it still holds the name (a name may be listed twice), else the
        // name's first row.
        int row = selectedRow < listed.size() && listed[selectedRow] == selected
            ? selectedRow
            : static_cast<int>(listed.indexOf(selected));
        if (row >= 0)
            m_ui.lb->setCurrentRow(row);
    }
    m_ui.lb->verticalScrollBar()->setValue(scrolled);
}

void ChatPanel::lbMouseDown(Qt::MouseButton button, const QPoint& at)
{
    if (button != Qt::RightButton)
        return;
    if (QListWidgetItem* item = m_ui.lb->itemAt(at))
        m_ui.lb->setCurrentItem(item);
}

void ChatPanel::N1Click()
{
    if (!m_menuNameTaken) {
        lbDblClick();
        return;
    }
    ShowProfileOf(m_menuName);
}

void ChatPanel::lbDblClick()
{
    const QList<QListWidgetItem*> selected = m_ui.lb->selectedItems();
    if (!selected.isEmpty())
        ShowProfileOf(selected.front()->text());
}

void ChatPanel::ShowProfileOf(const QString& listedName)
{
    if (listedName.isEmpty())
        return;
    const std::string name = QToGbk(listedName);
    // A listed name without an account row (removed since it logged in) has no profile to
    // show: it is told like a failed statement rather than as a profile of empty values.
    const std::optional<Profile> profile = ReadProfile(m_db, name);
    if (!profile) {
        m_platform.prompts.Plain(&m_window, "获取用户信息失败，请重新获取。");
        return;
    }
    m_platform.prompts.Inform(&m_window, "用户信息", GbkToQ(ProfileText(name, *profile)));
}

void ChatPanel::SpeedButton12Click()
{
    // The line goes to everyone, this client included: the transcript shows it when the
    // server relays it, not before.
    const std::string line = m_session.UserName + Utf8ToGbk("说: ") + QToGbk(m_ui.Edit3->text());
    if (m_presence)
        m_presence->SendText(line); // a failure is shown and closes the window
    m_ui.Edit3->clear();
}

void ChatPanel::AppendChatLine(const std::string& text)
{
    // As plain text, also while a list is shown: a line is never taken for markup.
    m_ui.Memo1->appendPlainText(GbkToQ(text));
}

void ChatPanel::SpeedButton13Click()
{
    m_ui.sb->SetPanelText(0, "聊天室");
    m_ui.sb->SetPanelText(4, "你正在聊天室中");
    m_ui.Panel3->show();
    m_ui.Panel3->raise();
    emit roomShown();
}

void ChatPanel::ShowHint()
{
    // A missing file plays the system's default sound (the Sound stand-in sees to it).
    m_platform.sound.Play(QString::fromStdString(ProgramDir() + m_settings.chatSound));
    m_ui.Panel4->show();
    m_ui.Panel4->raise();
}

void ChatPanel::SpeedButton14Click()
{
    m_ui.Panel4->hide();
}

void ChatPanel::Panel1Click()
{
    // The list stays where it is: a narrower window leaves it outside.
    const int by = m_ui.lb->width();
    m_ui.Panel1->setText(m_listFolded ? "<" : ">");
    m_window.setFixedWidth(m_window.width() + (m_listFolded ? by : -by));
    m_ui.sb->resize(m_window.width(), m_ui.sb->height());
    m_listFolded = !m_listFolded;
}
