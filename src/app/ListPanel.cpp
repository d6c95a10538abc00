#include "app/ListPanel.h"

#include "client/ServerFiles.h"
#include "core/GbkText.h"
#include "core/Session.h"
#include "core/Settings.h"
#include "core/StrToInt.h"
#include "core/Substring.h"
#include "core/TimeStamp.h"
#include "db/Activation.h"
#include "db/CheckedWrite.h"
#include "db/DbSession.h"
#include "platform/Platform.h"
#include "ui/Controls.h"
#include "ui/TextBridge.h"
#include "ui/Tflashform.h"
#include "ui/Tsubmitform.h"
#include "ui/Tuploadform.h"
#include "ui/WindowPrompts.h"

#include <QFrame>
#include <QLineEdit>

#include <utility>

ListPanel::ListPanel(QWidget& window, Controls ui, Session& session, DbSession& db,
                     const Settings& settings, Platform& platform, ServerFiles& files)
    : m_window(window)
    , m_ui(std::move(ui))
    , m_session(session)
    , m_db(db)
    , m_settings(settings)
    , m_platform(platform)
    , m_files(files)
    , m_browser(db)
{
    const struct
    {
        SpeedButton* button;
        void (ListPanel::*handler)();
    } buttons[] = {
        {m_ui.SpeedButton5, &ListPanel::SpeedButton5Click},
        {m_ui.SpeedButton4, &ListPanel::SpeedButton4Click},
        {m_ui.SpeedButton8, &ListPanel::SpeedButton8Click},
        {m_ui.SpeedButton10, &ListPanel::SpeedButton10Click},
        {m_ui.SpeedButton1, &ListPanel::SpeedButton1Click},
        {m_ui.SpeedButton2, &ListPanel::SpeedButton2Click},
        {m_ui.SpeedButton3, &ListPanel::SpeedButton3Click},
        {m_ui.SpeedButton6, &ListPanel::SpeedButton6Click},
        {m_ui.SpeedButton9, &ListPanel::SpeedButton9Click},
        {m_ui.SpeedButton7, &ListPanel::SpeedButton7Click},
        {m_ui.SpeedButton11, &ListPanel::SpeedButton11Click},
    };
    for (const auto& [button, handler] : buttons)
        connect(button, &QToolButton::clicked, this, handler);
    for (ClickLabel* label : m_ui.RowLabels) {
        connect(label, &ClickLabel::clicked, this, [this, label] { RowLabelClick(label); });
        connect(label, &ClickLabel::mouseMoved, this, [this, label] { RowLabelMouseMove(label); });
        connect(label, &ClickLabel::mouseLeft, this, [this, label] { RowLabelMouseLeave(label); });
    }
}

void ListPanel::ShowWarning(const QString& text)
{
    ::ShowWarning(m_platform, &m_window, text);
}

void ListPanel::ClearRows()
{
    for (auto* label : m_ui.RowLabels)
        label->setText(QString());
    m_browser.RowTexts.clear();
}

void ListPanel::LoadCategory(Category::Kind list)
{
    // A list that cannot be counted leaves the one on display as it was.
    if (!m_db.Connected || !m_browser.Count(list))
        return;
    ShowCountedCategory();
}

void ListPanel::ShowCountedCategory()
{
    m_ui.SpeedButton3->setEnabled(m_browser.PageCount > 1);
    m_browser.CurrentPage = 1;
    ShowPage(1, m_browser.CurrentCategory);
    if (m_browser.ItemCount == 0)
        SetCaption(m_ui.Label12, "没有记录");
    m_ui.SpeedButton2->setEnabled(false);
}

void ListPanel::ShowPage(int page, Category::Kind list)
{
    // Row labels size themselves to their text, so only the title itself takes the pointer.
    const auto setRowText = [](QLabel* label, const QString& text) {
        label->setText(text);
        label->resize(text.isEmpty() ? 0 : label->sizeHint().width(), label->height());
    };
    for (auto* label : m_ui.RowLabels)
        setRowText(label, QString());
    // A page that cannot be read shows empty, under its own number and its list's counter.
    if (!m_browser.FetchPage(page, list))
        qCWarning(lcDb) << "page" << page << "of" << m_browser.Current().caption
                        << "could not be read";
    const auto& rows = m_browser.RowTexts;
    for (std::size_t j = 0; j < rows.size() && j < m_ui.RowLabels.size(); ++j) {
        m_ui.RowLabels[j]->setCursor(Qt::PointingHandCursor);
        setRowText(m_ui.RowLabels[j], GbkToQ(rows[j]));
    }
    SetCaption(m_ui.Label12, QString("%1/%2").arg(m_browser.CurrentPage).arg(m_browser.PageCount));
    for (std::size_t i = 0; i < m_ui.RowIcons.size(); ++i)
        m_ui.RowIcons[i]->setVisible(!m_ui.RowLabels[i]->text().isEmpty());
    m_ui.sb->SetPanelText(0, m_browser.Counter());
}

void ListPanel::RefreshCategory()
{
    LoadCategory(m_browser.CurrentCategory);
    m_browser.CurrentPage = 1;
}

void ListPanel::SetMessageInputShown(bool shown)
{
    if (m_browser.MessageInputShown == shown)
        return;
    m_ui.Edit1->setVisible(shown);
    m_ui.SpeedButton9->setVisible(shown);
    m_window.setFixedHeight(m_window.height() + (shown ? 20 : -20));
    m_ui.sb->move(0, m_window.height() - m_ui.sb->height());
    m_browser.MessageInputShown = shown;
}

void ListPanel::SwitchCategory(Category::Kind kind)
{
    const Category& c = CategoryOfKind(kind);
    // The list is counted before anything changes: one that cannot be counted leaves the
    // list or the chat room on display as it was, never old rows under the new list's name
    // or the chat room's.
    if (!m_db.Connected || !m_browser.Count(kind))
        return;
    m_ui.Panel3->hide();
    m_ui.sb->SetPanelText(4, c.browsing);
    m_browser.CurrentPage = 1;
    m_browser.CurrentCategory = kind;
    ShowCountedCategory();
    SetMessageInputShown(kind == Category::Kind::Board);
}

void ListPanel::SpeedButton2Click()
{
    m_browser.CurrentPage -= 1;
    m_ui.SpeedButton3->setEnabled(true);
    if (m_browser.CurrentPage == 1)
        m_ui.SpeedButton2->setEnabled(false);
    ShowPage(m_browser.CurrentPage, m_browser.CurrentCategory);
}

void ListPanel::SpeedButton3Click()
{
    m_browser.CurrentPage += 1;
    m_ui.SpeedButton2->setEnabled(true);
    if (m_browser.CurrentPage == m_browser.PageCount)
        m_ui.SpeedButton3->setEnabled(false);
    ShowPage(m_browser.CurrentPage, m_browser.CurrentCategory);
}

void ListPanel::SpeedButton6Click()
{
    int n = 0;
    try {
        n = StrToInt(QToGbk(m_ui.Edit2->text()));
    } catch (const ConvertError&) {
        ShowWarning("请输入有效数字。");
        return;
    }
    if (n > m_browser.PageCount || n < 1) {
        ShowWarning("不存在此页数。");
        return;
    }
    m_browser.CurrentPage = n;
    ShowPage(n, m_browser.CurrentCategory);
    m_ui.SpeedButton2->setEnabled(n > 1);
    m_ui.SpeedButton3->setEnabled(n < m_browser.PageCount);
    SetCaption(m_ui.Label12, QString("%1/%2").arg(n).arg(m_browser.PageCount));
}

// Rows of the lists are underlined under the pointer; board rows and rows that begin with
// the user's own name and ":" keep their look.
void ListPanel::SetRowHover(ClickLabel* label, bool hovered)
{
    if (m_browser.Current().kind == Category::Kind::Board || label->text().isEmpty())
        return;
    const std::string caption = QToGbk(label->text());
    const std::size_t colon = caption.find(':');
    if ((colon == std::string::npos ? std::string() : caption.substr(0, colon))
        == m_session.UserName)
        return;
    QFont f = label->font();
    f.setUnderline(hovered);
    label->setFont(f);
    if (hovered)
        label->setCursor(Qt::PointingHandCursor);
    else
        label->unsetCursor();
}

void ListPanel::RowLabelClick(ClickLabel* label)
{
    const Category& category = m_browser.Current();
    // A row left empty on this page has no entry behind it.
    if (!label || label->text().isEmpty() || category.kind == Category::Kind::Board)
        return;
    const std::string title = QToGbk(label->text());
    const Activation activation = Activate(m_db, category.kind, title, m_session.UserName);
    switch (activation.kind) {
    case Activation::Kind::Nothing: return;
    case Activation::Kind::LookupFailed: ShowWarning("获取用户资料失败，请重新获取。"); return;
    case Activation::Kind::ScoreFailed: ShowWarning("获取用户积分失败。"); return;
    case Activation::Kind::ScoreTooLow:
        ShowWarning("对不起，你的积分不够，不能观看此视频。");
        return;
    case Activation::Kind::NotANumber: ShowWarning(GbkToQ(activation.error)); return;
    case Activation::Kind::Open: break;
    }
    const std::string& link = activation.link;
    switch (category.kind) {
    case Category::Kind::Torrents: DownloadTorrent(link); break;
    case Category::Kind::Videos:
        if (!link.empty()) {
            TFlashForm player(&m_window, TFlashForm::ModeForListedTitle(title), title, link, m_db,
                              m_platform);
            player.exec();
        }
        break;
    case Category::Kind::QuickPosts: OpenLink(m_platform, &m_window, link, LinkUse::Page); break;
    case Category::Kind::Board: break;
    }
}

void ListPanel::DownloadTorrent(const std::string& link)
{
    const QString chosen = m_platform.files.ChooseOpen(&m_window, "torrent文件 (*.torrent)");
    if (chosen.isEmpty() || Trim(QToGbk(chosen)).empty())
        return;
    // The chosen name is a prefix of the saved file's name.
    const SavedDownload saved = m_files.Save(
        m_settings.torrentFolder + link,
        chosen + "【欢迎共享种子到" + GbkToQ(m_settings.ShareContactAddress) + "】.torrent");
    if (saved.outcome != SavedDownload::Outcome::Saved) {
        ShowWarning(DownloadFailure("下载种子失败...", saved));
        return;
    }
    ShowWarning("下载种子完成，种子大小" + QString::number(saved.size) + "字节");
}

void ListPanel::SpeedButton9Click()
{
    const std::string typed = QToGbk(m_ui.Edit1->text());
    const std::string trimmed = Trim(typed);
    if (trimmed.empty()) {
        ShowWarning("请输入留言。");
        return;
    }
    if (GbkLength(trimmed) > 74) {
        ShowWarning("留言内容太长啦");
        return;
    }
    if (!StoreOnce(m_db, BoardPostWrite(m_db, m_session.UserName, typed, NowStamp(m_clock)))) {
        ShowWarning("提交留言失败，请重新提交。");
        return;
    }
    ShowWarning("提交成功！");
    RefreshCategory();
}

// After an OK the list on display is loaded again from page 1, so its rows and the counter
// in the status bar agree whichever list it is; the new entry shows first when its own list
// is on display.
void ListPanel::SpeedButton7Click()
{
    TUploadForm form(&m_window, m_session, m_db, m_platform, m_clock);
    if (form.exec() == QDialog::Accepted)
        RefreshCategory();
}

void ListPanel::SpeedButton11Click()
{
    TSubmitForm form(&m_window, m_session, m_db, m_platform, m_clock);
    if (form.exec() == QDialog::Accepted)
        RefreshCategory();
}
