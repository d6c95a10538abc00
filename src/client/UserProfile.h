#pragma once

#include "db/Accounts.h"

#include <string>
#include <string_view>

// The text of the profile box "用户信息" for name. GBK, one line a field, the sex line only
// for "1" (男) and "0" (女).
std::string ProfileText(std::string_view name, const Profile& profile);
