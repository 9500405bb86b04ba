// Why a port did not open, in one line the operator can act on: the port is held by another
// program (and by which one, when /proc tells), there is no such device, a link points nowhere,
// the name is no serial device, or the user may not open it (and which group may).
#pragma once

#include <string>

namespace kvx {

// `device` is the path that was opened, `error` the errno of the failed open. Empty when there is
// nothing to add (error 0).
std::string PortOpenReason(const std::string& device, int error);

// The processes that have `device` open, as "process 1234 (minicom)", joined by ", "; empty when
// none can be seen (other users' processes are hidden from a user who is not root).
std::string PortHolders(const std::string& device);

}  // namespace kvx
