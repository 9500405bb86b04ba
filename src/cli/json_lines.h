// kvxw's machine-readable output (--json): JSON Lines on standard output, one object a line,
// each with a "type":
//   {"type":"status","port":"SIM","step":"blank check","state":"ok","text":"Blank Check ..... OK.","red":false}
//   {"type":"progress","port":"SIM","percent":42}
//   {"type":"chip","port":"SIM","pass":1,"outcome":"ok","reason":null,"serial":"0001", ...}
//   {"type":"summary","exit":0,"outcome":"ok","chips":3,"ok":3,"failed":0}
// The summary is always the last line. Every call may come from any thread (the ports of
// kvxw auto run at once); each object goes out whole and flushed.
#pragma once

#include <chrono>
#include <map>
#include <mutex>
#include <ostream>
#include <streambuf>
#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

#include "core/device/workspace.h"
#include "core/ops/command.h"
#include "core/production/pass_report.h"

namespace kvx::cli {

// Keys in the order they are set: "type" first, as a reader expects.
using Json = nlohmann::ordered_json;

class JsonLines {
 public:
  explicit JsonLines(std::ostream& out) : out_(out) {}

  // A status line of an operation, by the step it belongs to.
  void Status(std::string_view port, Step step, StepState state, std::string_view text, bool red);
  // A line of a command's own (kvxw writer, kvxw download), by its label.
  void Status(std::string_view port, std::string_view label, std::string_view text, bool red);
  // At most one object per percent: a value equal to the last one of the port is dropped, a
  // lower one starts a new transfer.
  void Progress(std::string_view port, int percent);
  // A chip's pass as the core reported it.
  void Chip(const PassReport& chip);
  // Any other object (kvxw journal's rows), with its "type" already set.
  void Object(const Json& object);
  // The last line: the exit status and the chips counted by Chip().
  void Summary(int exitStatus);

 private:
  void Write(const Json& object);  // the mutex held

  std::mutex mutex_;
  std::ostream& out_;
  std::map<std::string, int, std::less<>> lastPercent_;
  long chips_ = 0;
  long ok_ = 0;
  long failed_ = 0;  // a stop, an empty socket or a refused run is not a failed chip
};

// For a command that prints its own "LABEL: TEXT" lines (kvxw writer, kvxw download): every line
// written to Stream() goes to `people` as it is and, with `json`, out as a status object too
// (" [error]" at its end makes it red). Without `json` it is `people` itself.
class StatusLineStream {
 public:
  StatusLineStream(std::ostream& people, JsonLines* json);
  ~StatusLineStream();
  StatusLineStream(const StatusLineStream&) = delete;
  StatusLineStream& operator=(const StatusLineStream&) = delete;

  std::ostream& Stream() { return json_ != nullptr ? stream_ : people_; }

 private:
  class Buf final : public std::streambuf {
   public:
    explicit Buf(StatusLineStream& owner) : owner_(owner) {}
    void FlushPartial();

   protected:
    int_type overflow(int_type ch) override;

   private:
    StatusLineStream& owner_;
    std::string line_;
  };
  void Line(const std::string& line);

  std::ostream& people_;
  JsonLines* json_;
  Buf buf_;
  std::ostream stream_;
};

}  // namespace kvx::cli
