// The few file-system steps the readers and writers share: opening a file for reading,
// replacing a file without ever leaving a half-written one, and joining paths.
#pragma once

#include <cstdint>
#include <fstream>
#include <optional>
#include <span>
#include <string>

namespace kvx {

enum class OpenResult { Ok, Missing, CannotOpen };

// Opens `path` for reading. Only regular files are read: a directory, a FIFO or a device would
// hang or never end, so they count as files that cannot be opened.
OpenResult OpenForReading(const std::string& path, std::ifstream& in);

// Why OpenForReading refuses `path`, for a message: "it is a directory", "it is not a regular
// file", or the system's text ("Permission denied").
std::string WhyNotReadable(const std::string& path);

bool FileExists(const std::string& path);

// Reads at most `limit` bytes of `in` from its current position.
std::string ReadAtMost(std::istream& in, std::size_t limit);

// Writes `data` to a temporary file beside `path`, flushes it to the disk and renames it over
// `path`. On any failure the temporary file is removed and an existing `path` is untouched.
// The new file gets `mode` when given (before it is renamed, so it is never wider even for a
// moment), otherwise the usual permissions narrowed by the umask.
bool WriteFileReplacing(const std::string& path, std::span<const std::uint8_t> data,
                        std::optional<unsigned> mode = std::nullopt);
bool WriteFileReplacing(const std::string& path, std::string_view data,
                        std::optional<unsigned> mode = std::nullopt);

// `dir` + the platform's separator + `name`; just `name` when `dir` is empty.
std::string JoinPath(const std::string& dir, const std::string& name);

}  // namespace kvx
