#pragma once

#include <QString>

#include <string>

struct Platform;
struct SavedDownload;
class QWidget;

// What the main window and its panels tell the user through the desktop's boxes and opener.

// The "提示" box over owner.
void ShowWarning(Platform& platform, QWidget* owner, const QString& text);

// Hands a link to the desktop's opener when it is a web address (core/Links.h); a page link
// that is none is refused with a message, a banner link quietly.
enum class LinkUse {
    Page,
    Banner
};
void OpenLink(Platform& platform, QWidget* owner, const std::string& link, LinkUse use);

// The failure text of a download (failedText) with, when it was given up, why.
QString DownloadFailure(const QString& failedText, const SavedDownload& saved);
