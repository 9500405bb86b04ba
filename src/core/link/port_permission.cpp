#include "core/link/port_permission.h"

#include <grp.h>
#include <sys/stat.h>

namespace kvx {

std::string PermissionLine(const std::string& device) {
  struct stat st {};
  if (::stat(device.c_str(), &st) != 0) return {};
  std::string line = "Permission denied on " + device;
  if (const group* g = ::getgrgid(st.st_gid); g != nullptr && st.st_gid != 0) {
    line += ": members of the group '" + std::string(g->gr_name) +
            "' may open it (add the user to that group and log in again)";
  }
  return line;
}

}  // namespace kvx
