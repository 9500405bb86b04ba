// The simulated Writer on a pseudo-terminal: the host opens the terminal's other side (through a
// symbolic link with a name of the caller's choosing) exactly as it opens a real serial port, so
// the whole termios path is exercised. Each host byte is answered as soon as it arrives.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <string>
#include <thread>
#include <vector>

#include "sim/sim_writer.h"

namespace kvx::sim {

class PtyServer {
 public:
  explicit PtyServer(SimWriter& writer);
  ~PtyServer();  // stops
  PtyServer(const PtyServer&) = delete;
  PtyServer& operator=(const PtyServer&) = delete;

  // Opens a pseudo-terminal, points `linkPath` at its terminal side and starts answering on a
  // thread of its own. An existing symbolic link at `linkPath` (left by a server that did not
  // stop cleanly) is replaced; any other file there is left alone and refused.
  bool Start(const std::string& linkPath, std::string& error);
  // Stops answering, closes the terminal (the host sees it hang up) and removes the link.
  void Stop();
  bool Running() const { return thread_.joinable(); }

  const std::string& SlaveName() const { return slaveName_; }  // "/dev/pts/N"

  // With the baud-delay fault: how far from their wire-time deadlines the answers were written,
  // on average (early is negative) and on average in either direction, over the answers written
  // within a wire time of their deadline; `delayed` counts the others (the machine was busy).
  struct Pacing {
    long answers = 0;
    long delayed = 0;
    std::chrono::nanoseconds meanLate{0};
    std::chrono::nanoseconds meanAbsLate{0};
  };
  Pacing PacingSoFar() const;
  const std::string& LinkPath() const { return linkPath_; }

 private:
  bool OpenTerminal(std::string& error);
  bool MakeLink(const std::string& linkPath, std::string& error);
  void CloseAll();
  void Serve();
  void Answer(const std::vector<std::uint8_t>& answers);
  void Schedule(std::size_t count, std::vector<std::chrono::steady_clock::time_point>& due);
  void NotePacing(std::chrono::nanoseconds late, std::chrono::nanoseconds wire);
  bool WriteAll(const std::uint8_t* bytes, std::size_t count);
  bool WaitWritable();
  std::chrono::nanoseconds MeasureTransit();
  void SleepUntil(std::chrono::steady_clock::time_point deadline);

  SimWriter& writer_;
  int master_ = -1;
  int slave_ = -1;  // held open so the terminal stays up between host sessions
  int wake_[2] = {-1, -1};
  std::string slaveName_;
  std::string linkPath_;
  std::thread thread_;

  // Wire timing with the baud-delay fault (see Serve).
  using SteadyTime = std::chrono::steady_clock;
  std::chrono::nanoseconds transit_{0};  // one-way trip through the terminal, measured at start
  SteadyTime::time_point rxFree_{};           // the host-to-Writer line is busy until then
  SteadyTime::time_point txFree_{};           // the Writer-to-host line is busy until then
  SteadyTime::time_point lastAnswerWritten_{};  // when the last answer went into the terminal
  SteadyTime::time_point holdEnd_{};  // the adapter passes on what it holds then (answer-delay)
  std::chrono::nanoseconds wakeLate_{0};      // how late a sleep to a deadline wakes, on average
  std::vector<SteadyTime::time_point> due_;  // when each byte of the answer at hand is due
  std::atomic<long> pacedAnswers_{0};
  std::atomic<long> pacedDelayed_{0};
  std::atomic<long long> pacedLateNs_{0};
  std::atomic<long long> pacedAbsLateNs_{0};
};

}  // namespace kvx::sim
