// Configuration files (*.cfg): the workspace's settings (the program data file they use, the
// port, the device, the OPTION word, the 32 ID bytes, "Keep Option" and the serial-number
// settings). Layout: "kvx", the program data file path, byte 0x0F, then space-separated text
// tokens each followed by one space, then OptionLow, OptionHigh and the ID bytes.
#pragma once

#include <array>
#include <cstdint>
#include <istream>
#include <optional>
#include <string>
#include <string_view>

#include "core/device/open_views.h"
#include "core/device/workspace.h"
#include "core/files/program_file.h"

namespace kvx {

// Everything a configuration file holds, checked for form but not yet applied.
struct ConfigRecord {
  std::string programPath;
  int port = 1;  // 1..8: "Com1".."Com8"
  std::string device;
  std::array<std::string, 6> optionTexts;  // informative: the panel's OPTION lines
  std::string checksumText;                // informative: the panel's checksum
  std::string passCount;
  bool keepOption = false;
  bool serialNoMode = false;
  int serialStartAddress = 0;
  int serialByteCount = 1;  // 1..8
  std::string serialText;   // 2n hexadecimal digits, most significant byte first
  std::array<int, 8> serialValue{};
  int serialIncrement = 1;
  int serialStepMode = 0;
  int serialByteOrder = 0;
  std::uint8_t optionLow = 0x7F;
  std::uint8_t optionHigh = 0x7F;
  std::array<std::uint8_t, kIdBytes> id{};
};

// Files larger than this are not configuration files.
inline constexpr std::size_t kMaxConfigBytes = 1 << 20;

// Takes the next token off the front of `text`: skips leading spaces, collects characters up to
// the next space and leaves in `text` what follows that space.
std::string GetStr(std::string_view& text);

// The record in `data`, or nothing when the file is not one this program wrote: a wrong magic,
// no path separator, a missing or malformed token, a port other than 1 to 8, a serial byte
// count outside 1 to 8, or fewer than the 34 bytes of OPTION and ID data at the end.
std::optional<ConfigRecord> ParseCfg(std::string_view data);

// Whether `name` is one of the port chooser's fixed names, "Com1" to "Com8".
bool IsComPortName(std::string_view name);
// The port token a configuration file holds: the port's name when it is Com1 to Com8. Any other
// port (a USB serial device) has no place in the file's format and is written as "Com1"; the
// desktop remembers it in its station settings instead.
std::string ConfigPortToken(const std::string& portName);

// The bytes of a configuration file for `ws`.
std::string SaveCfg(const Workspace& ws);

// Applies a configuration file's bytes. `full`: also select its device and reload its program
// data file; otherwise settings only. Messages name ws.files.ConfigPath. On failure returns false
// after its message; settings applied before the failure stay applied. Once the main window has
// been shown (views.windowsShown) the report asks for the ID window and the program view afresh.
bool LoadCfg(Workspace& ws, std::string_view data, bool full, LoadReport& report,
             const OpenViews& views = {});
bool LoadCfg(Workspace& ws, std::istream& in, bool full, LoadReport& report,
             const OpenViews& views = {});

// "Default.cfg" in the start-up directory.
std::string DefaultConfigPath(const Workspace& ws);
// "KvxWriter.ini" beside it: the station's settings that a configuration file has no room for,
// as "key=value" lines. Today one key: `port`, the port last chosen when it is not Com1..Com8.
std::string StationSettingsPath(const Workspace& ws);
// At start-up, after the workspace defaults and before any window is shown: apply the default
// file when there is one, then the port the station settings remember (a USB serial device),
// which the default file cannot hold.
LoadReport LoadDefaultConfig(Workspace& ws);
// On closing the main window: serial-number and QTP mode off, pass count "0", then replace the
// default file and the station settings. Returns the message to show when one cannot be written,
// or an empty text.
std::string SaveDefaultConfig(Workspace& ws);

// Save Config / Load Config once their dialog was confirmed; `filterIndex` is the dialog's
// chosen filter item (1 = "Config file(s) (*.cfg)").
std::string SaveConfig(const Workspace& ws, const std::string& path, int filterIndex);
LoadReport LoadConfig(Workspace& ws, const std::string& path, int filterIndex,
                      const OpenViews& views = {});

}  // namespace kvx
