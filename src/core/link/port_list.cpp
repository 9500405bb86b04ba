#include "core/link/port_list.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <map>
#include <system_error>

namespace kvx {
namespace {

namespace fs = std::filesystem;

bool IsUsbSerialName(const std::string& name) {
  for (const char* prefix : {"ttyUSB", "ttyACM"}) {
    const std::string p = prefix;
    if (name.size() > p.size() && name.compare(0, p.size(), p) == 0 &&
        std::all_of(name.begin() + static_cast<long>(p.size()), name.end(),
                    [](unsigned char c) { return std::isdigit(c) != 0; }))
      return true;
  }
  return false;
}

// ttyUSB2 before ttyUSB10: the prefix, then the number's value.
bool DeviceOrder(const std::string& a, const std::string& b) {
  const auto split = [](const std::string& s) {
    const auto digits = s.find_first_of("0123456789");
    return std::make_pair(s.substr(0, digits), std::stol(s.substr(digits)));
  };
  return split(a) < split(b);
}

// The by-id links under devRoot, by the device each leads to.
std::map<fs::path, std::string> ByIdNames(const fs::path& devRoot) {
  std::map<fs::path, std::string> names;
  std::error_code ec;
  const fs::path byId = devRoot / "serial" / "by-id";
  for (const auto& entry : fs::directory_iterator(byId, ec)) {
    std::error_code linkError;
    if (!entry.is_symlink(linkError)) continue;
    const fs::path target = fs::read_symlink(entry.path(), linkError);
    if (linkError) continue;
    const fs::path device = fs::weakly_canonical(byId / target, linkError);
    if (linkError) continue;
    // Two links to one device: the first in name order names it, whichever the folder lists first.
    const std::string name = entry.path().string();
    auto [it, added] = names.emplace(device, name);
    if (!added && name < it->second) it->second = name;
  }
  return names;
}

}  // namespace

std::vector<PortChoice> ListPorts(const std::string& devRoot, const EnvLookup& env) {
  std::vector<PortChoice> ports;
  for (std::string_view name : kPortNames)
    ports.push_back({std::string(name), ResolvePortDevice(name, env)});

  std::vector<std::string> devices;
  std::error_code ec;
  for (const auto& entry : fs::directory_iterator(devRoot, ec)) {
    const std::string name = entry.path().filename().string();
    if (IsUsbSerialName(name)) devices.push_back(name);
  }
  std::sort(devices.begin(), devices.end(), DeviceOrder);
  const auto byId = ByIdNames(devRoot);
  for (const std::string& name : devices) {
    const fs::path path = fs::path(devRoot) / name;
    std::error_code canonicalError;
    const auto link = byId.find(fs::weakly_canonical(path, canonicalError));
    ports.push_back({link != byId.end() ? link->second : path.string(), path.string()});
  }
  return ports;
}

}  // namespace kvx
