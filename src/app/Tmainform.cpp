// The main window's start-up and shutdown.
#include "app/Tmainform.h"

#include "core/Basefunc.h"
#include "core/Settings.h"
#include "db/DbSession.h"
#include "ui/Controls.h"
#include "ui/TextBridge.h"
#include "ui/Tloginform.h"

#include <QApplication>
#include <QLineEdit>
#include <QPlainTextEdit>

TMainForm::TMainForm(Session& session, DbSession& db, const Settings& settings, Platform& platform,
                     LoginRunner runLogin)
    : QWidget(nullptr,
              Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint
                  | Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint
                  | Qt::MSWindowsFixedSizeDialogHint)
    , m_session(session)
    , m_db(db)
    , m_settings(settings)
    , m_platform(platform)
    , m_runLogin(std::move(runLogin))
    , m_files(settings, session)
{
    BuildLayout();
    MakePanels();
    connect(m_ui.SpeedButton15, &QToolButton::clicked, this, &TMainForm::SpeedButton15Click);
    StartUp();
}

void TMainForm::MakePanels()
{
    m_list = std::make_unique<ListPanel>(
        *this,
        ListPanel::Controls{m_ui.SpeedButton5, m_ui.SpeedButton4, m_ui.SpeedButton8,
                            m_ui.SpeedButton10, m_ui.SpeedButton1, m_ui.SpeedButton2,
                            m_ui.SpeedButton3, m_ui.SpeedButton6, m_ui.Edit2, m_ui.Label12,
                            m_ui.RowLabels, m_ui.RowIcons, m_ui.Edit1, m_ui.SpeedButton9,
                            m_ui.SpeedButton7, m_ui.SpeedButton11, m_ui.Panel3, m_ui.sb},
        m_session, m_db, m_settings, m_platform, m_files);
    m_notice = std::make_unique<NoticeStrip>(
        *this,
        NoticeStrip::Controls{m_ui.Label6, m_ui.Image1, m_ui.Image2, m_ui.Label15, &m_ui.Timer1,
                              m_ui.Label1},
        m_db, m_settings, m_platform, m_files, [this] { RequestQuit(); });
    // Found by name like Timer1 (the strip goes before the window, taking it off its children).
    m_notice->TemperatureTimer().setParent(this);
    m_chat = std::make_unique<ChatPanel>(
        *this,
        ChatPanel::Controls{m_ui.lb, m_ui.PopupMenu1, m_ui.N1, m_ui.Panel1, m_ui.Panel3, m_ui.Memo1,
                            m_ui.Edit3, m_ui.SpeedButton12, m_ui.SpeedButton13, m_ui.Panel4,
                            m_ui.SpeedButton14, m_ui.sb},
        m_session, m_db, m_settings, m_platform);

    connect(m_chat.get(), &ChatPanel::roomShown, m_list.get(),
            [this] { m_list->SetMessageInputShown(false); });
    connect(m_chat.get(), &ChatPanel::refreshCommand, m_notice.get(), &NoticeStrip::NoticeRefresh);
    connect(m_chat.get(), &ChatPanel::closeRequested, this, &QWidget::close);
}

std::unique_ptr<TMainForm> TMainForm::Launch(Session& session, DbSession& db,
                                             const Settings& settings, Platform& platform,
                                             LoginRunner runLogin)
{
    auto form = std::make_unique<TMainForm>(session, db, settings, platform, std::move(runLogin));
    form->FormCreate();
    return form;
}

TMainForm::~TMainForm()
{
    FormDestroy();
}

bool MessageLoopWanted(const TMainForm& form, bool quitSignalled)
{
    return !quitSignalled && !form.QuitRequested();
}

void TMainForm::StartUp()
{
    m_list->Browser().CurrentCategory = Category::Kind::Torrents;
    m_ui.Timer1.stop();

    m_loggedIn = m_runLogin ? m_runLogin(*this) : DefaultLogin();
    if (!m_loggedIn) {
        // Given up: the window is never shown and the program quits.
        RequestQuit();
        return;
    }

    // The design texts are replaced before the window is first painted, so that the user
    // never sees them while the fetches below wait.
    m_list->ClearRows();
    m_ui.Memo1->clear();
    setWindowTitle("欢迎" + GbkToQ(m_session.UserName) + "登录");
    m_ui.sb->SetPanelText(4, "你正在浏览种子");
    m_ui.Panel3->hide();
    // Empty until their data arrives: the page number with the list, the notice and the
    // caption with the service record, the temperature with its lookup.
    SetCaption(m_ui.Label1, QString());
    SetCaption(m_ui.Label6, QString());
    SetCaption(m_ui.Label12, QString());
    SetCaption(m_ui.Label15, QString());

    show();
    // Painted before the first wait on the network, so the user sees the window arrive. The
    // start-up's fetches share one bound: a hung server delays the window only so long.
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    m_files.BeginStartup(m_settings.startupFetchSeconds);
    m_notice->FetchBanners();
    m_ui.Timer1.start();
    ShapeHintPanel();
    m_list->LoadCategory(Category::Kind::Torrents);
    if (m_db.Connected)
        m_notice->ReadServiceRecord(); // may switch the service off, and start-up still goes on
    m_ui.Edit1->hide();
    m_ui.SpeedButton9->hide();
    setFixedHeight(height() - 20);
    m_ui.sb->move(0, height() - m_ui.sb->height());
    m_notice->ShowTemperature();
    m_files.EndStartup();
    m_notice->TemperatureTimer().start();
}

bool TMainForm::DefaultLogin()
{
    TLoginForm dialog(this, TLoginForm::StartupMode, m_session, m_db, m_settings, m_platform);
    return dialog.exec() == QDialog::Accepted;
}

void TMainForm::RequestQuit()
{
    m_quitRequested = true;
    // The posted quit ends a running message loop; main() asks QuitRequested() before it
    // enters one, since a modal box can take the posted quit first.
    QMetaObject::invokeMethod(qApp, &QCoreApplication::quit, Qt::QueuedConnection);
    close();
}

void TMainForm::FormCreate()
{
    // A given-up login is never announced: the session may hold the last name typed into
    // the dialog, or a password typed into the name box.
    if (m_loggedIn)
        m_chat->StartPresence();
}

void TMainForm::FormDestroy()
{
    if (m_destroyed)
        return;
    m_destroyed = true;
    m_ui.Timer1.stop();
    m_notice->TemperatureTimer().stop();
    m_chat->ClosePresence();
    m_db.Close();
}
