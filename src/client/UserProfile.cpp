#include "client/UserProfile.h"

#include "core/GbkText.h"

std::string ProfileText(std::string_view name, const Profile& profile)
{
    // Labels with their full-width colons, each with its field.
    const std::pair<std::string, const std::string&> lines[] = {
        {Utf8ToGbk("年龄："), profile.age},  {Utf8ToGbk("地区："), profile.area},
        {Utf8ToGbk("QQ："), profile.qq},     {Utf8ToGbk("电话："), profile.phone},
        {Utf8ToGbk("邮箱："), profile.mail}, {Utf8ToGbk("积分："), profile.score}};
    std::string text = Utf8ToGbk("昵称：") + std::string(name);
    if (profile.sex == "1")
        text += "\n" + Utf8ToGbk("性别：男");
    else if (profile.sex == "0")
        text += "\n" + Utf8ToGbk("性别：女");
    for (const auto& [label, value] : lines)
        text += "\n" + label + value;
    return text;
}
