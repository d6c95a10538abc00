// The design's handlers of the main window, each forwarding to the panel that owns its
// concern.
#include "app/Tmainform.h"

#include <QListWidget>
#include <QMouseEvent>

// ----- the lists (ListPanel)

void TMainForm::SpeedButton5Click()
{
    m_list.SwitchCategory(Category::Kind::Torrents);
}

void TMainForm::SpeedButton4Click()
{
    m_list.SwitchCategory(Category::Kind::Videos);
}

void TMainForm::SpeedButton8Click()
{
    m_list.SwitchCategory(Category::Kind::Board);
}

void TMainForm::SpeedButton10Click()
{
    m_list.SwitchCategory(Category::Kind::QuickPosts);
}

void TMainForm::SpeedButton1Click()
{
    m_list.RefreshCategory();
}

void TMainForm::SpeedButton2Click()
{
    m_list.PreviousPage();
}

void TMainForm::SpeedButton3Click()
{
    m_list.NextPage();
}

void TMainForm::SpeedButton6Click()
{
    m_list.GoToPage();
}

void TMainForm::RowLabelClick(ClickLabel* label)
{
    m_list.ActivateRow(label);
}

void TMainForm::RowLabelMouseMove(ClickLabel* label)
{
    m_list.SetRowHover(label, true);
}

void TMainForm::RowLabelMouseLeave(ClickLabel* label)
{
    m_list.SetRowHover(label, false);
}

void TMainForm::SpeedButton9Click()
{
    m_list.PostToBoard();
}

void TMainForm::SpeedButton7Click()
{
    m_list.PublishVideo();
}

void TMainForm::SpeedButton11Click()
{
    m_list.PublishQuickPost();
}

// ----- notice, banners and captions (NoticeStrip)

void TMainForm::Timer1Timer()
{
    m_notice.NextCaption();
}

void TMainForm::Image1Click()
{
    m_notice.OpenBannerLink(1);
}

void TMainForm::Image2Click()
{
    m_notice.OpenBannerLink(2);
}

void TMainForm::Image1MouseMove()
{
    m_notice.ShowBannerLink(1);
}

void TMainForm::Image2MouseMove()
{
    m_notice.ShowBannerLink(2);
}

void TMainForm::Label15Click()
{
    m_notice.OpenCaptionLink();
}

void TMainForm::Label15MouseMove()
{
    m_notice.SetCaptionHover(true);
}

void TMainForm::Label15MouseLeave()
{
    m_notice.SetCaptionHover(false);
}

void TMainForm::NoticeRefresh()
{
    m_notice.NoticeRefresh();
}

void TMainForm::Label6MouseMove()
{
    m_notice.ArmUpdateDownload();
}

void TMainForm::Label6MouseLeave()
{
    m_notice.DisarmUpdateDownload();
}

void TMainForm::Label6Click()
{
    m_notice.DownloadUpdate();
}

// ----- the online list, chat room, hint and fold (ChatPanel)

void TMainForm::FillOnlineList(const std::vector<std::string>& names)
{
    m_chat.FillOnlineList(names);
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
    m_chat.SelectNameAt(button, at);
}

void TMainForm::lbDblClick()
{
    m_chat.ShowProfile();
}

void TMainForm::N1Click()
{
    m_chat.ShowMenuProfile();
}

void TMainForm::SpeedButton12Click()
{
    m_chat.SendLine();
}

void TMainForm::AppendChatLine(const std::string& text)
{
    m_chat.AppendChatLine(text);
}

void TMainForm::SpeedButton13Click()
{
    m_chat.ShowRoom();
}

void TMainForm::ShowHint()
{
    m_chat.ShowHint();
}

void TMainForm::SpeedButton14Click()
{
    m_chat.HideHint();
}

void TMainForm::Panel1Click()
{
    m_chat.FoldList();
}
