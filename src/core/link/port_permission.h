// When the system refuses to open a serial device for lack of permission, the operator can do
// something about it: this says which group may open it.
#pragma once

#include <string>

namespace kvx {

// "Permission denied on /dev/ttyS0: members of the group 'dialout' may open it (...)", or an
// empty text when `device` cannot be looked at.
std::string PermissionLine(const std::string& device);

}  // namespace kvx
