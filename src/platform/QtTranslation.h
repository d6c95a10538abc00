#pragma once

class QCoreApplication;

// Loads the framework's own Simplified Chinese texts (the buttons of message boxes, the file
// dialog) into app, whatever the locale: every other word the client shows is Chinese.
// Returns false, after a warning, when they are not installed; those parts then stay English.
bool InstallQtChinese(QCoreApplication& app);
