// Loading a full KVX-43 image (6144 words) from Intel HEX and disassembling it, beside
// `objcopy -I ihex -O binary` converting the same file. Both are timed over several rounds and
// the medians compared; objcopy is timed as the process an operator would start. Then a program
// file of several megabytes (the image's records over and over, as a build that appends its
// sections writes one) is loaded, to show the load stays proportional to the file.
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "core/device/catalogue.h"
#include "core/device/workspace.h"
#include "core/disasm/disassembler.h"
#include "core/files/program_file.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr int kWords = 6144;  // KVX-43
constexpr int kRounds = 50;
constexpr int kLargeCopies = 120;  // about 4 MB of Intel HEX
constexpr int kLargeRounds = 5;

// Defined instructions only, so every word makes a listing line.
int WordAt(int address) {
  static constexpr int kPattern[] = {0x1820, 0x18A1, 0x3A55, 0x0103, 0x2800, 0x3100, 0x1004, 0x1B20};
  const int base = kPattern[address % 8];
  return base == 0x2800 ? base | (address & 0x7FF) : base;
}

std::string IntelHexImage(int copies = 1) {
  std::string text;
  char line[64];
  for (int byte = 0; byte < 2 * kWords * copies; byte += 16) {
    const int at = byte % (2 * kWords);
    int sum = 16 + (at >> 8) + (at & 0xFF);
    int n = std::snprintf(line, sizeof line, ":10%04X00", at);
    for (int i = 0; i < 16; ++i) {
      const int word = WordAt((at + i) / 2);
      const int value = (at + i) % 2 == 0 ? word & 0xFF : word >> 8;
      sum += value;
      n += std::snprintf(line + n, sizeof line - n, "%02X", value);
    }
    std::snprintf(line + n, sizeof line - n, "%02X\r\n", (0x100 - (sum & 0xFF)) & 0xFF);
    text += line;
  }
  return text + ":00000001FF\r\n";
}

double MedianMicros(std::vector<double> samples) {
  std::sort(samples.begin(), samples.end());
  return samples[samples.size() / 2];
}

double Since(Clock::time_point start) {
  return std::chrono::duration<double, std::micro>(Clock::now() - start).count();
}

struct Timing {
  double load = 0;
  double disassemble = 0;
  std::size_t listing = 0;  // the listing's size, so the work is not optimised away
};

Timing LoadAndDisassemble(const std::string& path) {
  Timing t;
  auto start = Clock::now();
  auto ws = std::make_unique<kvx::Workspace>();
  ws->device.SelectedDevice = "KVX-43";
  ws->device.DeviceIndex = kvx::GetICInfo(*ws, "KVX-43");
  const kvx::LoadReport report = kvx::OpenProgramFile(*ws, path);
  t.load = Since(start);
  if (report.stopped) return t;
  start = Clock::now();
  t.listing = kvx::DisassembleListing(*ws).size();
  t.disassemble = Since(start);
  return t;
}

bool HaveObjcopy() { return std::system("objcopy --version >/dev/null 2>&1") == 0; }

double RunObjcopy(const std::string& in, const std::string& out) {
  const auto start = Clock::now();
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::execlp("objcopy", "objcopy", "-I", "ihex", "-O", "binary", in.c_str(), out.c_str(),
             static_cast<char*>(nullptr));
    ::_exit(127);
  }
  int status = 0;
  ::waitpid(pid, &status, 0);
  const double took = Since(start);
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) return -1;
  return took;
}

}  // namespace

int main() {
  std::string pattern = (fs::temp_directory_path() / "kvx-bench-XXXXXX").string();
  if (::mkdtemp(pattern.data()) == nullptr) {
    std::fprintf(stderr, "files_bench: cannot make a temporary directory\n");
    return 1;
  }
  const fs::path dir = pattern;
  const std::string hexPath = (dir / "image.kvh").string();
  const std::string hex = IntelHexImage();
  std::ofstream(hexPath, std::ios::binary) << hex;
  std::printf("Intel HEX file: %zu bytes, %d words (KVX-43)\n", hex.size(), kWords);

  std::vector<double> ours, loads, listings;
  std::size_t listing = 0;
  for (int i = 0; i < kRounds; ++i) {
    const Timing t = LoadAndDisassemble(hexPath);
    listing = t.listing;
    ours.push_back(t.load + t.disassemble);
    loads.push_back(t.load);
    listings.push_back(t.disassemble);
  }
  if (listing == 0) {
    std::fprintf(stderr, "files_bench: the image did not load\n");
    fs::remove_all(dir);
    return 1;
  }
  const double oursMedian = MedianMicros(ours);
  std::printf("load + disassemble:        %10.1f us (median of %d; listing %zu bytes)\n",
              oursMedian, kRounds, listing);
  std::printf("  of which load:           %10.1f us\n", MedianMicros(loads));
  std::printf("  of which disassemble:    %10.1f us\n", MedianMicros(listings));

  if (!HaveObjcopy()) {
    std::printf("objcopy not found: the comparison is skipped\n");
  } else {
    std::vector<double> theirs;
    for (int i = 0; i < kRounds; ++i) theirs.push_back(RunObjcopy(hexPath, (dir / "image.bin").string()));
    if (*std::min_element(theirs.begin(), theirs.end()) < 0) {
      std::printf("objcopy failed on the file: the comparison is skipped\n");
    } else {
      const double theirsMedian = MedianMicros(theirs);
      std::printf("objcopy -I ihex -O binary: %10.1f us (median of %d, as a process)\n",
                  theirsMedian, kRounds);
      std::printf("ratio (load + disassemble / objcopy): %.2f\n", oursMedian / theirsMedian);
    }
  }

  const std::string largePath = (dir / "large.kvh").string();
  const std::string large = IntelHexImage(kLargeCopies);
  std::ofstream(largePath, std::ios::binary) << large;
  std::vector<double> largeLoads;
  for (int i = 0; i < kLargeRounds; ++i) largeLoads.push_back(LoadAndDisassemble(largePath).load);
  const double largeMedian = MedianMicros(largeLoads);
  const double largeBytes = static_cast<double>(large.size());
  std::printf("large Intel HEX file: %zu bytes (%.1f MB)\n", large.size(), largeBytes / 1e6);
  std::printf("  load:                    %10.1f us (median of %d; %.1f MB/s; %.1fx the small "
              "file's load per byte)\n",
              largeMedian, kLargeRounds, largeBytes / largeMedian,
              (largeMedian / largeBytes) / (MedianMicros(loads) / static_cast<double>(hex.size())));
  fs::remove_all(dir);
  return 0;
}
