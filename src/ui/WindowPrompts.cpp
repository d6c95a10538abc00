#include "ui/WindowPrompts.h"

#include "client/ServerFiles.h"
#include "core/Links.h"
#include "platform/Platform.h"
#include "ui/TextBridge.h"

#include <QLoggingCategory>

namespace {

Q_LOGGING_CATEGORY(lcShell, "zumalo.shell", QtWarningMsg)

} // namespace

void ShowWarning(Platform& platform, QWidget* owner, const QString& text)
{
    platform.prompts.Warn(owner, text);
}

void OpenLink(Platform& platform, QWidget* owner, const std::string& link, LinkUse use)
{
    const bool openable = use == LinkUse::Banner ? IsWebLink(link) : IsOpenablePageLink(link);
    if (openable) {
        platform.shell.Open(owner, GbkToQ(link));
        return;
    }
    // The stored link stays as it was typed; only the opener never sees it.
    if (!link.empty())
        qCWarning(lcShell) << "refused to open" << GbkToQ(link);
    if (use == LinkUse::Page)
        ShowWarning(platform, owner, "这个链接不是网页地址，为了安全没有打开。");
}

QString DownloadFailure(const QString& failedText, const SavedDownload& saved)
{
    if (saved.outcome != SavedDownload::Outcome::GaveUp)
        return failedText;
    return failedText + "\n网速太慢，已停止下载，请稍后重新下载。";
}
