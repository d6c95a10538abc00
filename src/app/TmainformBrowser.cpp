// The main window's list: paging, category buttons, row activation and board posting.
#include "app/Tmainform.h"

#include "core/Basefunc.h"
#include "core/Settings.h"
#include "db/CheckedWrite.h"
#include "db/DbSession.h"
#include "db/Statements.h"
#include "ui/Controls.h"
#include "ui/TextBridge.h"
#include "ui/Tflashform.h"

#include <QLineEdit>

#include <optional>

namespace {

// A failed step of an activation: its text is shown and the activation ends.
struct ActivationFailure
{
    QString text;
};

} // namespace

void TMainForm::LoadCategory(Category::Kind list)
{
    // A list that cannot be counted leaves the one on display as it was.
    if (!m_db.Connected || !m_browser.Count(list))
        return;
    ShowCountedCategory();
}

void TMainForm::ShowCountedCategory()
{
    m_ui.SpeedButton3->setEnabled(m_browser.PageCount > 1);
    m_browser.CurrentPage = 1;
    ShowPage(1, m_browser.CurrentCategory);
    if (m_browser.ItemCount == 0)
        SetCaption(m_ui.Label12, "没有记录");
    m_ui.SpeedButton2->setEnabled(false);
}

void TMainForm::ShowPage(int page, Category::Kind list)
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

void TMainForm::RefreshCategory()
{
    LoadCategory(m_browser.CurrentCategory);
    m_browser.CurrentPage = 1;
}

void TMainForm::SetMessageInputShown(bool shown)
{
    if (m_browser.MessageInputShown == shown)
        return;
    m_ui.Edit1->setVisible(shown);
    m_ui.SpeedButton9->setVisible(shown);
    setFixedHeight(height() + (shown ? 20 : -20));
    m_ui.sb->move(0, height() - m_ui.sb->height());
    m_browser.MessageInputShown = shown;
}

void TMainForm::SwitchCategory(Category::Kind kind)
{
    const Category& c = CategoryOfKind(kind);
    m_ui.Panel3->hide();
    // The list is counted before anything changes: one that cannot be counted leaves the
    // list on display as it was, never its rows under the new list's name.
    if (!m_db.Connected || !m_browser.Count(kind))
        return;
    m_ui.sb->SetPanelText(4, c.browsing);
    m_browser.CurrentPage = 1;
    m_browser.CurrentCategory = kind;
    ShowCountedCategory();
    SetMessageInputShown(kind == Category::Kind::Board);
}

void TMainForm::SpeedButton5Click()
{
    SwitchCategory(Category::Kind::Torrents);
}
void TMainForm::SpeedButton4Click()
{
    SwitchCategory(Category::Kind::Videos);
}
void TMainForm::SpeedButton8Click()
{
    SwitchCategory(Category::Kind::Board);
}
void TMainForm::SpeedButton10Click()
{
    SwitchCategory(Category::Kind::QuickPosts);
}
void TMainForm::SpeedButton1Click()
{
    RefreshCategory();
}

void TMainForm::SpeedButton2Click()
{
    m_browser.CurrentPage -= 1;
    m_ui.SpeedButton3->setEnabled(true);
    if (m_browser.CurrentPage == 1)
        m_ui.SpeedButton2->setEnabled(false);
    ShowPage(m_browser.CurrentPage, m_browser.CurrentCategory);
}

void TMainForm::SpeedButton3Click()
{
    m_browser.CurrentPage += 1;
    m_ui.SpeedButton2->setEnabled(true);
    if (m_browser.CurrentPage == m_browser.PageCount)
        m_ui.SpeedButton3->setEnabled(false);
    ShowPage(m_browser.CurrentPage, m_browser.CurrentCategory);
}

void TMainForm::SpeedButton6Click()
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

void TMainForm::RowLabelClick(ClickLabel* label)
{
    ActivateRow(label);
}

// Rows of the lists are underlined under the pointer; board rows and rows that begin with
// the user's own name and ":" keep their look.
void TMainForm::RowLabelMouseMove(ClickLabel* label)
{
    SetRowHover(label, true);
}

void TMainForm::RowLabelMouseLeave(ClickLabel* label)
{
    SetRowHover(label, false);
}

void TMainForm::SetRowHover(ClickLabel* label, bool hovered)
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

void TMainForm::ActivateRow(ClickLabel* label)
{
    const Category& category = m_browser.Current();
    // A row left empty on this page has no entry behind it.
    if (!label || label->text().isEmpty() || category.kind == Category::Kind::Board)
        return;
    const std::string title = QToGbk(label->text());
    const Statements statements(m_db);
    try {
        if (!m_db.Query(statements.ItemLookup(category.kind, title)))
            throw ActivationFailure{"获取用户资料失败，请重新获取。"};
        const auto item = m_db.FetchRow();
        if (!item) { // the entry was removed since the page was drawn
            m_db.FreeResult();
            return;
        }
        const std::string link = Field(*item, 0);
        // A row without a required score (NULL) may be opened by everyone.
        const int allowScore = (*item)[1] ? StrToInt(*(*item)[1]) : 0;
        if (category.kind == Category::Kind::Videos) {
            if (!m_db.Query(statements.UserScore(m_session.UserName)))
                throw ActivationFailure{"获取用户积分失败。"};
            const auto user = m_db.FetchRow();
            if (!user) {
                m_db.FreeResult();
                return;
            }
            if (StrToInt(Field(*user, 0)) < allowScore)
                throw ActivationFailure{"对不起，你的积分不够，不能观看此视频。"};
        }
        m_db.FreeResult();
        switch (category.kind) {
        case Category::Kind::Torrents: DownloadTorrent(link); break;
        case Category::Kind::Videos:
            if (!link.empty()) {
                TFlashForm player(this, TFlashForm::ModeForListedTitle(title), title, link, m_db,
                                  m_platform);
                player.exec();
            }
            break;
        case Category::Kind::QuickPosts: OpenLink(link, LinkUse::Page); break;
        case Category::Kind::Board: break;
        }
    } catch (const ActivationFailure& failure) {
        ShowWarning(failure.text);
        m_db.FreeResult();
    } catch (const ConvertError& failure) {
        ShowWarning(GbkToQ(failure.what()));
        m_db.FreeResult();
    }
}

void TMainForm::DownloadTorrent(const std::string& link)
{
    const QString chosen = m_platform.files.ChooseOpen(this, "torrent文件 (*.torrent)");
    if (chosen.isEmpty() || Trim(QToGbk(chosen)).empty())
        return;
    // The chosen name is a prefix of the saved file's name.
    const SavedDownload saved = SaveDownload(
        m_settings.torrentFolder + link,
        chosen + "【欢迎共享种子到" + GbkToQ(m_settings.ShareContactAddress) + "】.torrent");
    if (saved.outcome != SavedDownload::Outcome::Saved) {
        ShowWarning(DownloadFailure("下载种子失败...", saved));
        return;
    }
    ShowWarning("下载种子完成，种子大小" + QString::number(saved.size) + "字节");
}

void TMainForm::SpeedButton9Click()
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
