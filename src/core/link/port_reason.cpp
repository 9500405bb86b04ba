#include "core/link/port_reason.h"

#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>

namespace kvx {
namespace {

namespace fs = std::filesystem;

bool IsNumber(const std::string& s) {
  return !s.empty() && s.find_first_not_of("0123456789") == std::string::npos;
}

// Whether one of the process's open files is the character device `rdev`.
bool HoldsDevice(const fs::path& process, dev_t rdev) {
  std::error_code ec;
  for (fs::directory_iterator fd(process / "fd", ec), end; !ec && fd != end; fd.increment(ec)) {
    struct stat st {};
    if (::stat(fd->path().c_str(), &st) == 0 && S_ISCHR(st.st_mode) && st.st_rdev == rdev)
      return true;
  }
  return false;
}

std::string ProcessName(const fs::path& process) {
  std::ifstream in(process / "comm");
  std::string name;
  std::getline(in, name);
  return name;
}

std::string Busy(const std::string& device) {
  std::string line = "Port busy: " + device + " is held by another program";
  if (const std::string holders = PortHolders(device); !holders.empty()) line += " (" + holders + ")";
  return line;
}

std::string Missing(const std::string& device) {
  struct stat st {};
  if (::lstat(device.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
    std::error_code ec;
    const fs::path target = fs::read_symlink(device, ec);
    return "No such device: " + device + " is a link to " + target.string() +
           ", which does not exist";
  }
  return "No such device: " + device;
}

// The operator can do something about a refused permission: say which group may open the port.
std::string Permission(const std::string& device) {
  std::string line = "Permission denied on " + device;
  struct stat st {};
  if (::stat(device.c_str(), &st) != 0) return line;
  if (const group* g = ::getgrgid(st.st_gid); g != nullptr && st.st_gid != 0) {
    line += ": members of the group '" + std::string(g->gr_name) +
            "' may open it (add the user to that group and log in again)";
  }
  return line;
}

}  // namespace

std::string PortHolders(const std::string& device) {
  struct stat dev {};
  if (::stat(device.c_str(), &dev) != 0 || !S_ISCHR(dev.st_mode)) return {};
  std::string holders;
  std::error_code ec;
  for (fs::directory_iterator p("/proc", ec), end; !ec && p != end; p.increment(ec)) {
    const std::string pid = p->path().filename().string();
    if (!IsNumber(pid) || !HoldsDevice(p->path(), dev.st_rdev)) continue;
    if (!holders.empty()) holders += ", ";
    holders += "process " + pid;
    if (const std::string name = ProcessName(p->path()); !name.empty()) holders += " (" + name + ")";
  }
  return holders;
}

std::string PortOpenReason(const std::string& device, int error) {
  switch (error) {
    case 0: return {};
    case EBUSY: return Busy(device);
    case ENOENT: return Missing(device);
    case ENXIO:
    case ENODEV:
    case EIO: return "No such device: no serial hardware answers behind " + device;
    case ENOTTY: return device + " is not a serial device";
    case EACCES:
    case EPERM: return Permission(device);
    default: return device + ": " + std::strerror(error);
  }
}

}  // namespace kvx
