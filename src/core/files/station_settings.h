// KvxWriter.ini: the station's own settings beside Default.cfg in the start-up folder, as
// "key=value" lines (a line starting with # or ; is a comment). The program owns only a few of
// its keys (`port`, `journal`, ...); an administrator may have written others, comments among
// them, and may have narrowed the file's mode because a journal's address can carry a password.
// So the program never rewrites the file from scratch: it changes the lines of its own keys and
// leaves every other byte, and the file's mode, as they were.
#pragma once

#include <string>
#include <utility>
#include <vector>

namespace kvx {

inline constexpr char kSettingsFileName[] = "KvxWriter.ini";

// The value of `key` in a settings text (spaces around key and value ignored; the last line of a
// key counts); empty when the key is not there.
std::string SettingValue(const std::string& text, const std::string& key);
// The same, read from the file at `path`; empty when the file cannot be read.
std::string ReadSetting(const std::string& path, const std::string& key);

// `text` with each key set to its value: the line that counts for a key is replaced in place
// (keeping its line ending), a key not there yet is appended; every other line stays as it is.
using SettingChanges = std::vector<std::pair<std::string, std::string>>;
std::string WithSettings(const std::string& text, const SettingChanges& changes);

// Applies `changes` to the settings file at `path` (made when missing). The file keeps its mode;
// through a symbolic link the link's target is changed. The new text goes to a temporary file
// beside it that is flushed and renamed over it, so a crash leaves the old file or the new one.
// A file that exists but cannot be read is left alone. Returns an empty text, or the message.
std::string UpdateSettings(const std::string& path, const SettingChanges& changes);

}  // namespace kvx
