#pragma once

#include <string_view>

// Which links the program hands to the desktop's opener. Links come from rows and from the
// service record that any member or the operator wrote; the opener would also start local
// files, scripts and network shares, so only web addresses with a host pass.

// Quick-post and caption links: "http://", "https://" or "ftp://" (any letter case) followed
// by a host, and no control byte or blank anywhere.
bool IsOpenablePageLink(std::string_view link);

// Banner links and movie addresses: as above, but "http://" or "https://" only.
bool IsWebLink(std::string_view link);
