#include "ui/TextBridge.h"

#include "core/GbkText.h"

QString GbkToQ(std::string_view gbk)
{
    return QString::fromStdString(GbkToUtf8(gbk));
}

std::string QToGbk(const QString& text)
{
    return Utf8ToGbk(text.toStdString());
}
