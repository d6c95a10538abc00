#include "platform/QtTranslation.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QTranslator>
#include <QtDebug>

bool InstallQtChinese(QCoreApplication& app)
{
    // Owned by the application, so that the texts live as long as it does.
    auto* translator = new QTranslator(&app);
    const QString folder = QLibraryInfo::path(QLibraryInfo::TranslationsPath);
    if (!translator->load(QStringLiteral("qtbase_zh_CN"), folder)) {
        qWarning("zumalo: the framework's Chinese texts (qtbase_zh_CN.qm in %s) are missing; "
                 "its buttons and file dialog stay English",
                 qUtf8Printable(folder));
        delete translator;
        return false;
    }
    return QCoreApplication::installTranslator(translator);
}
