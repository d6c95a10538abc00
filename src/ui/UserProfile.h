#pragma once

#include "db/DbSession.h"

#include <string>
#include <string_view>

// The text of the profile box "用户信息" for name, from a row of the profile statement
// (usersex, userage, userarea, userqq, userphone, usermail, userscore). GBK, one line a
// field, the sex line only for "1" (男) and "0" (女). A NULL column gives an empty value.
std::string ProfileText(std::string_view name, const DbRow& row);
