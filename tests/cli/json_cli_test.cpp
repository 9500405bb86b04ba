// --json as a test controller reads it: standard output holds JSON objects only, one a line,
// a chip object per chip and a summary last; the lines for people go to standard error; the exit
// status is the one without --json.
#include <gtest/gtest.h>
#include <signal.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "cli/cli_support.h"

namespace kvx::cli::test {
namespace {

using namespace std::chrono_literals;
using nlohmann::json;

const std::filesystem::path kExamples = std::filesystem::path(KVX_SOURCE_DIR) / "examples";

// Every line of `out` as an object with a type; a line that is not one fails the test.
std::vector<json> Objects(const std::string& out) {
  std::vector<json> objects;
  for (const std::string& line : Lines(out)) {
    json object = json::parse(line, nullptr, /*allow_exceptions=*/false);
    EXPECT_TRUE(object.is_object() && object.contains("type")) << "not a JSON object: " << line;
    if (object.is_object()) objects.push_back(object);
  }
  return objects;
}

std::vector<json> OfType(const std::vector<json>& objects, const std::string& type) {
  std::vector<json> found;
  for (const json& o : objects)
    if (o.value("type", "") == type) found.push_back(o);
  return found;
}

class JsonCli : public CliTest {
 protected:
  void SetUp() override {
    CliTest::SetUp();
    if (IsSkipped() || HasFatalFailure()) return;
    Write("p01.bin", WordBytes(SampleProgramWords(true)));
  }

  std::vector<std::string> Auto(std::vector<std::string> extra) const {
    std::vector<std::string> args = {"auto",  "--json",  "--port", "sim",  "--device",
                                     "KVX-01", "--file", Path("p01.bin"), "--option", "155D"};
    args.insert(args.end(), extra.begin(), extra.end());
    return args;
  }
};

TEST_F(JsonCli, AutoReportsEachChipAndASummaryForEveryEnd) {
  struct Case {
    const char* name;
    std::vector<std::string> extra;
    int exit;
    std::vector<std::string> outcomes;  // of the chips, in order
    const char* redLine;                // of the last chip; empty: none
    const char* reason = "";            // of the last chip, also when shown in the normal colour
  };
  const Case cases[] = {
      {"success", {"--count", "3", "--serial-start", "0100", "--serial-bytes", "2",
                   "--serial-value", "00A0"}, 0, {"ok", "ok", "ok"}, ""},
      {"success, no journal", {"--count", "3", "--serial-start", "0100", "--serial-bytes", "2",
                               "--serial-value", "00A0", "--no-journal"}, 0, {"ok", "ok", "ok"},
       ""},
      {"chip failed", {"--count", "3", "--sim-fault", "write-fail-at=100"}, 1,
       {"chip failed"}, "Data program fail !!"},
      {"chip failed, no journal", {"--count", "3", "--no-journal", "--sim-fault",
                                   "write-fail-at=100"}, 1, {"chip failed"}, "Data program fail !!"},
      // Nothing in the socket: no chip to fail, and the journal says so.
      {"no chip", {"--count", "3", "--sim-fault", "no-chip"}, 3, {"no chip"},
       "Nothing in socket or type error!!"},
      {"link failed", {"--count", "3", "--sim-fault", "silent-after=300"}, 3, {"link failed"},
       "Connect Timeout!!"},
      // Went through and counted, but with a red read-back: a failed chip all the same.
      {"option unwritten", {"--count", "3", "--sim-fault", "option-unwritten"}, 1,
       {"chip failed"}, "OPTION verify Fail!!"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const KvxwRun run = RunKvxw(Auto(c.extra));
    EXPECT_EQ(run.status, c.exit) << run.err;
    const std::vector<json> objects = Objects(run.out);
    ASSERT_FALSE(objects.empty());

    const std::vector<json> chips = OfType(objects, "chip");
    ASSERT_EQ(chips.size(), c.outcomes.size()) << run.out;
    for (std::size_t i = 0; i < chips.size(); ++i) {
      EXPECT_EQ(chips[i]["port"], "SIM");
      EXPECT_EQ(chips[i]["pass"], i + 1);
      EXPECT_EQ(chips[i]["outcome"], c.outcomes[i]);
      EXPECT_TRUE(chips[i]["data_checksum"].is_string() && chips[i]["option"].is_string());
      EXPECT_GE(chips[i]["duration_ms"].get<long>(), 0);
      // Each chip names the serial number stamped into it.
      if (c.exit == 0) {
        EXPECT_EQ(chips[i]["serial"], (std::vector<std::string>{"00A0", "00A1", "00A2"}[i]));
      }
    }
    const json& last = chips.back();
    if (*c.redLine == '\0') EXPECT_TRUE(last["red_line"].is_null()) << last;
    else EXPECT_EQ(last["red_line"], c.redLine);
    const std::string reason = *c.reason != '\0' ? c.reason : c.redLine;
    if (reason.empty()) EXPECT_TRUE(last["reason"].is_null()) << last;
    else EXPECT_EQ(last["reason"], reason);
    // What the operator does about it, beside the Writer's line.
    const std::map<std::string, json> actions = {
        {"ok", nullptr},
        {"chip failed", nullptr},
        {"no chip", "Insert a chip: the socket is empty"},
        {"link failed", "Check the cable and the port"}};
    EXPECT_EQ(last["action"], actions.at(c.outcomes.back()));
    if (!reason.empty()) {
      // The journal's row says why too.
      const std::vector<json> rows = OfType(Objects(RunKvxw({"journal", "--json"}).out), "pass");
      ASSERT_FALSE(rows.empty());
      EXPECT_EQ(rows.back()["red_line"], reason) << rows.back();
      EXPECT_EQ(rows.back()["outcome"], c.outcomes.back());
    }

    const json& summary = objects.back();
    EXPECT_EQ(summary["type"], "summary");
    EXPECT_EQ(summary["exit"], c.exit);
    EXPECT_EQ(summary["chips"], c.outcomes.size());
    const auto ok =
        static_cast<std::size_t>(std::count(c.outcomes.begin(), c.outcomes.end(), "ok"));
    EXPECT_EQ(summary["ok"], ok);
    EXPECT_EQ(summary["failed"],
              std::count(c.outcomes.begin(), c.outcomes.end(), "chip failed") +
                  std::count(c.outcomes.begin(), c.outcomes.end(), "link failed"));
    EXPECT_EQ(OfType(objects, "summary").size(), 1u);

    // Progress at most once per percent: a port never repeats the value it just gave.
    std::map<std::string, int> lastPercent;
    for (const json& p : OfType(objects, "progress")) {
      const int percent = p["percent"];
      auto [it, first] = lastPercent.emplace(p["port"], percent);
      if (!first) {
        EXPECT_NE(it->second, percent) << run.out;
      }
      it->second = percent;
    }
    if (c.exit == 0) {
      EXPECT_FALSE(lastPercent.empty());
    }

    // The status lines are objects too, and the lines for people went to standard error. Each
    // names its step and how far it got, never the dialog's control.
    const std::vector<json> statuses = OfType(objects, "status");
    EXPECT_FALSE(statuses.empty());
    std::map<std::string, std::string> lastState;  // by step
    for (const json& status : statuses) {
      EXPECT_TRUE(status.contains("step") && status.contains("state")) << status;
      EXPECT_FALSE(status.contains("label")) << status;
      EXPECT_EQ(status.dump().find("Label"), std::string::npos) << status;
      EXPECT_EQ(status.dump().find("StaticText"), std::string::npos) << status;
      lastState[status.value("step", "")] = status.value("state", "");
      if (status["red"] == true) {
        EXPECT_EQ(status["state"], "failed") << status;
      }
    }
    if (c.exit == 0) {
      for (const char* step : {"blank check", "program", "ID", "OPTION"})
        EXPECT_EQ(lastState[step], "ok") << step << "\n" << run.out;
      EXPECT_EQ(lastState["pass count"], "ok");
    }
    if (*c.redLine != '\0') {
      // The red line comes before the chip it failed.
      std::size_t red = objects.size(), chip = objects.size();
      for (std::size_t i = 0; i < objects.size(); ++i) {
        if (red == objects.size() && objects[i]["type"] == "status" && objects[i]["red"] == true &&
            objects[i]["text"] == c.redLine)
          red = i;
        if (objects[i]["type"] == "chip") chip = i;
      }
      EXPECT_LT(red, chip) << run.out;
      EXPECT_NE(run.err.find(std::string(c.redLine) + " [error]"), std::string::npos) << run.err;
    }
    EXPECT_NE(run.err.find("Pass Count: "), std::string::npos) << run.err;
  }
}

// A run refused before any chip (no OPTION word: its fields are blank) is no chip, on one port
// or two: no chip object, no failure, no journal row, and the reason said once.
TEST_F(JsonCli, ARunRefusedBeforeAnyChipIsNoChipOnAnyNumberOfPorts) {
  for (const std::vector<std::string>& ports :
       {std::vector<std::string>{"--port", "sim"}, {"--port", "sim", "--port", "sim"}}) {
    SCOPED_TRACE(ports.size() / 2);
    std::vector<std::string> args = {"auto", "--json", "--device", "KVX-01", "--file",
                                     Path("p01.bin"), "--serial-start", "0100"};
    args.insert(args.end(), ports.begin(), ports.end());
    const KvxwRun run = RunKvxw(args);
    EXPECT_EQ(run.status, 1) << run.err;
    const std::vector<json> objects = Objects(run.out);
    ASSERT_FALSE(objects.empty());
    EXPECT_TRUE(OfType(objects, "chip").empty()) << run.out;
    EXPECT_EQ(objects.back()["chips"], 0);
    EXPECT_EQ(objects.back()["failed"], 0);
    // Once for every port, on each output (the objects, and the lines people read).
    const auto times = [](const std::string& text) {
      long n = 0;
      for (auto at = text.find("Some Options are Blank!"); at != std::string::npos;
           at = text.find("Some Options are Blank!", at + 1))
        ++n;
      return n;
    };
    EXPECT_LE(times(run.out), 1) << run.out;
    EXPECT_LE(times(run.err), 1) << run.err;
    EXPECT_GE(times(run.out) + times(run.err), 1) << run.out << run.err;
    EXPECT_TRUE(OfType(Objects(RunKvxw({"journal", "--json"}).out), "pass").empty());
  }
}

TEST_F(JsonCli, TheJournalStampedSerialNumbersAreTheChipsOwn) {
  const KvxwRun run = RunKvxw(Auto({"--count", "2", "--port", "sim", "--serial-start", "0100",
                                    "--serial-bytes", "2", "--serial-value", "00A0",
                                    "--lot", "L9"}));
  ASSERT_EQ(run.status, 0) << run.err;
  std::vector<std::string> serials;
  for (const json& chip : OfType(Objects(run.out), "chip")) serials.push_back(chip["serial"]);
  std::sort(serials.begin(), serials.end());
  EXPECT_EQ(serials, (std::vector<std::string>{"00A0", "00A1", "00A2", "00A3"}));

  const KvxwRun journal = RunKvxw({"journal", "--json"});
  ASSERT_EQ(journal.status, 0) << journal.err;
  const std::vector<json> rows = Objects(journal.out);
  EXPECT_EQ(OfType(rows, "pass").size(), 4u);
  for (const json& pass : OfType(rows, "pass")) EXPECT_EQ(pass["lot"], "L9");
  EXPECT_FALSE(OfType(rows, "group").empty());
  EXPECT_EQ(rows.back()["type"], "summary");
}

TEST_F(JsonCli, AFileNameThatIsNotUtf8StillGivesObjectsOnly) {
  const std::string name = Path("p\xff\xfe.bin");
  Write("p\xff\xfe.bin", WordBytes(SampleProgramWords(false)));
  const KvxwRun run = RunKvxw({"auto", "--json", "--port", "sim", "--device", "KVX-01", "--file",
                               name, "--option", "155D"});
  EXPECT_EQ(run.status, 0) << run.err;
  const KvxwRun journal = RunKvxw({"journal", "--json"});
  EXPECT_EQ(journal.status, 0) << journal.err;
  const std::vector<json> rows = Objects(journal.out);
  ASSERT_EQ(OfType(rows, "pass").size(), 1u) << journal.out;
  // The bytes that are not UTF-8 are replaced; the rest of the name stays.
  EXPECT_NE(OfType(rows, "pass")[0]["program"].get<std::string>().find(".bin"), std::string::npos);
}

TEST_F(JsonCli, AStopSignalEndsTheChipAsStoppedAndTheSummaryNamesIt) {
  // A large device on a line as slow as the real one: its stream takes seconds.
  KvxwProcess run({"auto", "--json", "--port", "sim", "--device", "KVX-43", "--file",
                   (kExamples / "demo.kvh").string(), "--option", "166B", "--sim-fault",
                   "baud-delay", "--no-journal"});
  ASSERT_TRUE(run.WaitForOutput("\"type\":\"progress\"", 20s)) << run.SoFar().err;
  const KvxwRun stopped = run.Stop(SIGTERM, 10s);
  EXPECT_EQ(stopped.status, 128 + SIGTERM) << stopped.err;
  EXPECT_NE(stopped.err.find("kvxw auto: stopped\n"), std::string::npos) << stopped.err;

  const std::vector<json> objects = Objects(stopped.out);
  const std::vector<json> chips = OfType(objects, "chip");
  ASSERT_EQ(chips.size(), 1u) << stopped.out;
  EXPECT_EQ(chips[0]["outcome"], "stopped");
  ASSERT_FALSE(objects.empty());
  EXPECT_EQ(objects.back()["type"], "summary");
  EXPECT_EQ(objects.back()["exit"], 128 + SIGTERM);
  EXPECT_EQ(objects.back()["signal"], SIGTERM);
}

TEST_F(JsonCli, EveryOutcomeOfADeviceCommandEndsInASummaryOnAnOutputOfObjectsOnly) {
  struct Case {
    std::vector<std::string> args;
    int exit;
  };
  const Case cases[] = {
      {{"read", "--json", "--port", "sim", "--device", "KVX-01", "--sim-chip", "programmed"}, 0},
      {{"blank-check", "--json", "--port", "sim", "--device", "KVX-01", "--sim-chip",
        "programmed"}, 1},
      {{"read", "--json", "--port", "sim", "--device", "KVX-43", "--sim-fault", "no-chip"}, 3},
      {{"blank-check", "--json", "--port", "sim", "--device", "NO-SUCH"}, 2},
      {{"journal", "--json", "--csv"}, 2},
      {{"writer", "--json", "--port", "sim"}, 0},
      {{"download", "--json", "--port", "sim", "--device", "KVX-01", "--sim-fault",
        "wrong-writer"}, 3},
      {{"download", "--json", "--port", "sim", "--device", "KVX-01"}, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(CommandLine(c.args));
    const KvxwRun run = RunKvxw(c.args);
    EXPECT_EQ(run.status, c.exit) << run.err;
    const std::vector<json> objects = Objects(run.out);
    ASSERT_FALSE(objects.empty());
    EXPECT_EQ(objects.back()["type"], "summary");
    EXPECT_EQ(objects.back()["exit"], c.exit);
  }
  // The lines a command prints after its dialog, or of its own, are status objects too: the
  // OPTION word after a read, the Writer's identification, a download's refusal in red.
  const struct {
    const Case& run;
    const char* label;
    bool red;
  } lines[] = {{cases[0], "OPTION", false}, {cases[5], "writer-id", false},
               {cases[6], "Message", true}};
  for (const auto& l : lines) {
    const KvxwRun run = RunKvxw(l.run.args);
    bool found = false;
    for (const json& s : OfType(Objects(run.out), "status"))
      found = found || (s["label"] == l.label && s["red"] == l.red);
    EXPECT_TRUE(found) << l.label << "\n" << run.out;
  }
  // A download's gauge is progress objects.
  const KvxwRun download = RunKvxw(cases[7].args);
  EXPECT_FALSE(OfType(Objects(download.out), "progress").empty()) << download.out;
}

}  // namespace
}  // namespace kvx::cli::test
