#include "ui/UserProfile.h"

#include "core/Basefunc.h"

std::string ProfileText(std::string_view name, const DbRow& row)
{
    // Labels with their full-width colons, in the order of the statement's columns.
    static const std::string labels[] = {Utf8ToGbk("年龄："), Utf8ToGbk("地区："),
                                         Utf8ToGbk("QQ："),   Utf8ToGbk("电话："),
                                         Utf8ToGbk("邮箱："), Utf8ToGbk("积分：")};
    std::string text = Utf8ToGbk("昵称：") + std::string(name);
    const std::string sex = Field(row, 0);
    if (sex == "1")
        text += "\n" + Utf8ToGbk("性别：男");
    else if (sex == "0")
        text += "\n" + Utf8ToGbk("性别：女");
    for (std::size_t i = 0; i < std::size(labels); ++i)
        text += "\n" + labels[i] + Field(row, i + 1);
    return text;
}
