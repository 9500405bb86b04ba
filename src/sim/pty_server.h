// The simulated Writer on a pseudo-terminal: the host opens the terminal's other side (through a
// symbolic link with a name of the caller's choosing) exactly as it opens a real serial port, so
// the whole termios path is exercised. Each host byte is answered as soon as it arrives.
//
// Every server in a process is served by one thread that waits in poll() on all their terminals
// at once and wakes only for a host's byte or for the deadline of an answer that is due: a
// simulated Writer costs no more than the host it talks to, and many of them cost one thread.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <poll.h>

#include <string>
#include <vector>

#include "sim/sim_writer.h"

namespace kvx::sim {

class ServeLoop;

class PtyServer {
 public:
  explicit PtyServer(SimWriter& writer);
  ~PtyServer();  // stops
  PtyServer(const PtyServer&) = delete;
  PtyServer& operator=(const PtyServer&) = delete;

  // Opens a pseudo-terminal, points `linkPath` at its terminal side and starts answering it. An existing symbolic link at `linkPath` (left by a server that did not
  // stop cleanly) is replaced; any other file there is left alone and refused.
  bool Start(const std::string& linkPath, std::string& error);
  // Stops answering, closes the terminal (the host sees it hang up) and removes the link.
  void Stop();
  bool Running() const { return serving_; }

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
  friend class ServeLoop;
  using SteadyTime = std::chrono::steady_clock;

  bool OpenTerminal(std::string& error);
  bool MakeLink(const std::string& linkPath, std::string& error);
  void CloseAll();
  std::chrono::nanoseconds MeasureTransit();

  // On the serving thread: what to wait for (and until when at the latest), then what came.
  pollfd Poll(SteadyTime::time_point now, SteadyTime::time_point& wakeAt) const;
  void Serve(short revents);
  void ReadByte();
  void Schedule(std::size_t count, std::vector<SteadyTime::time_point>& due);
  std::size_t ChunkEnd(std::size_t first) const;
  void WriteDue();
  void AimAt(std::chrono::nanoseconds error);
  void NotePacing(std::chrono::nanoseconds late, std::chrono::nanoseconds wire);

  SimWriter& writer_;
  int master_ = -1;
  int slave_ = -1;  // held open so the terminal stays up between host sessions
  std::string slaveName_;
  std::string linkPath_;
  bool serving_ = false;

  // The answer being written (see WriteDue).
  std::vector<std::uint8_t> answer_;
  std::vector<SteadyTime::time_point> due_;  // when each byte of it is due
  std::size_t written_ = 0;
  std::chrono::nanoseconds answerWire_{0};   // the wire time and hold it was scheduled with
  std::chrono::nanoseconds answerHold_{0};
  bool writeBlocked_ = false;                // the terminal was full: waiting for room
  SteadyTime::time_point blockedSince_{};
  SteadyTime::time_point quietUntil_{};      // a hang-up without input: look again then
  SteadyTime::time_point lastArrival_{};
  bool failed_ = false;                      // the terminal failed: nothing more is served

  // Wire timing with the baud-delay fault (see ReadByte).
  std::chrono::nanoseconds transit_{0};  // one-way trip through the terminal, measured at start
  SteadyTime::time_point rxFree_{};           // the host-to-Writer line is busy until then
  SteadyTime::time_point txFree_{};           // the Writer-to-host line is busy until then
  SteadyTime::time_point lastAnswerWritten_{};  // when the last answer went into the terminal
  SteadyTime::time_point holdEnd_{};  // the adapter passes on what it holds then (answer-delay)
  std::chrono::nanoseconds wakeLate_{0};      // how late a wake-up for a deadline comes, on average
  std::atomic<long> pacedAnswers_{0};
  std::atomic<long> pacedDelayed_{0};
  std::atomic<long long> pacedLateNs_{0};
  std::atomic<long long> pacedAbsLateNs_{0};
};

}  // namespace kvx::sim
