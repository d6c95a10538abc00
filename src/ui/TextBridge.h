#pragma once

#include <QString>

#include <string>
#include <string_view>

// The one boundary between the program's GBK byte strings and the widgets' QString. A
// character that the other side cannot hold becomes '?'; nothing is cut.
QString GbkToQ(std::string_view gbk);
std::string QToGbk(const QString& text);
