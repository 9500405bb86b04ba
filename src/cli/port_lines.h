// Output of several ports at once (kvxw auto with --port given more than once). Every port
// writes through streams of its own; each line goes out whole, starting with the port's name in
// brackets ("[COM1] Label1: Blank Check ..... OK."). A port's progress (Progress, from its view)
// goes out as "progress: PORT P" lines, or, when standard error is a terminal, one bar per port,
// all on one line that status lines push down.
#pragma once

#include <memory>
#include <mutex>
#include <ostream>
#include <string>
#include <vector>

namespace kvx::cli {

class PortLines {
 public:
  PortLines(std::ostream& out, std::ostream& err, bool errIsTerminal,
            std::vector<std::string> ports);
  ~PortLines();
  PortLines(const PortLines&) = delete;
  PortLines& operator=(const PortLines&) = delete;

  std::ostream& Out(std::size_t port);
  std::ostream& Err(std::size_t port);
  // A port's transfer has got to `percent` (a value below its last one starts a new transfer).
  // Without a terminal, at most one line per tenth.
  void Progress(std::size_t port, int percent);
  // Prints what a port left without a line end and takes the bars off the terminal.
  void Finish();

  // Names for the ports as the operator gave them, told apart when the same name is given twice
  // ("sim", "sim" -> "SIM", "SIM#2"): `shown` are the ports' own display names.
  static std::vector<std::string> DistinctNames(const std::vector<std::string>& shown);

 private:
  class LineBuf;
  friend class LineBuf;
  void Line(std::size_t port, bool err, const std::string& text);
  void DrawBars();
  void ClearBars();

  std::mutex mutex_;
  std::ostream& out_;
  std::ostream& err_;
  bool terminal_;
  std::vector<std::string> ports_;
  std::vector<int> percent_;  // -1: no bar yet
  std::vector<int> lastTenth_;  // without a terminal: the tenth of the last line printed
  bool barsShown_ = false;
  std::vector<std::unique_ptr<LineBuf>> bufs_;  // out, err for port 0, then port 1, ...
  std::vector<std::unique_ptr<std::ostream>> streams_;
};

}  // namespace kvx::cli
