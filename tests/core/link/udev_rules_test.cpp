// The opt-in udev rules of the package, read as udev reads them: each rule's keys and operators
// are ones udev knows, and on each kind of port the rules set exactly what takes away the knob
// the program would warn about.
#include <fnmatch.h>

#include <fstream>
#include <map>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "core/link/fake_sysfs.h"
#include "core/link/port_facts.h"

namespace kvx {
namespace {

struct Key {
  std::string name, attribute, op, value;  // ATTR{latency_timer}="1": ATTR, latency_timer, =, 1
};
using Rule = std::vector<Key>;

// The rules of the file, one a line; a line udev would refuse fails the test.
std::vector<Rule> ReadRules() {
  std::ifstream in(std::string(KVX_SOURCE_DIR) + "/packaging/60-kvxwriter-serial.rules");
  EXPECT_TRUE(in.good());
  const std::regex key(R"re(^\s*(ACTION|SUBSYSTEM|DRIVER|KERNEL|ATTR)(\{([a-z_]+)\})?(==|!=|=)"([^"]*)"\s*$)re");
  std::vector<Rule> rules;
  for (std::string line; std::getline(in, line);) {
    if (line.empty() || line[0] == '#') continue;
    Rule rule;
    std::stringstream parts(line);
    for (std::string part; std::getline(parts, part, ',');) {
      std::smatch m;
      EXPECT_TRUE(std::regex_match(part, m, key)) << "not a udev key: " << part;
      if (m.empty()) continue;
      rule.push_back({m[1], m[3], m[4], m[5]});
      // Only an attribute is assigned, and an attribute is named.
      EXPECT_TRUE(m[4] != "=" || m[1] == "ATTR") << part;
      EXPECT_EQ(m[1] == "ATTR", m[3].matched) << part;
    }
    rules.push_back(rule);
  }
  return rules;
}

// A device as the rules see it when it is added.
struct Device {
  std::string subsystem, driver, kernel;
  std::map<std::string, std::string> attributes;
};

bool Matches(const Key& k, const Device& d) {
  std::string have;
  if (k.name == "ACTION") have = "add";
  if (k.name == "SUBSYSTEM") have = d.subsystem;
  if (k.name == "DRIVER") have = d.driver;
  if (k.name == "KERNEL") have = d.kernel;
  if (k.name == "ATTR") {
    const auto a = d.attributes.find(k.attribute);
    if (a == d.attributes.end()) return k.op == "!=";  // a missing attribute matches nothing
    have = a->second;
  }
  const bool same = ::fnmatch(k.value.c_str(), have.c_str(), 0) == 0;
  return k.op == "==" ? same : !same;
}

// The attributes every matching rule assigns.
void Apply(const std::vector<Rule>& rules, Device& d) {
  for (const Rule& rule : rules) {
    bool all = true;
    for (const Key& k : rule)
      if (k.op != "=") all = all && Matches(k, d);
    if (all)
      for (const Key& k : rule)
        if (k.op == "=") d.attributes[k.attribute] = k.value;
  }
}

TEST(UdevRulesTest, EachPortTheProgramWarnsAboutIsSetRightAndNoOtherIsTouched) {
  const std::vector<Rule> rules = ReadRules();
  ASSERT_EQ(rules.size(), 2u);
  const struct Case {
    Device device;          // as added, with the driver's default setting
    const char* attribute;  // where the fake sysfs keeps it
    const char* after;      // its value after the rules
  } cases[] = {
      {{"usb-serial", "ftdi_sio", "ttyUSB0", {{"latency_timer", "16"}}}, "latency_timer", "1"},
      {{"usb-serial", "cp210x", "ttyUSB1", {}}, "", ""},
      {{"tty", "serial8250", "ttyS0", {{"rx_trig_bytes", "8"}}}, "rx_trig_bytes", "1"},
      // A UART without the setting: left alone.
      {{"tty", "serial", "ttyS1", {}}, "", ""},
  };
  test::FakeSysfs sys;
  for (Case c : cases) {
    SCOPED_TRACE(c.device.kernel);
    const Device before = c.device;
    Apply(rules, c.device);
    const std::string value = *c.attribute ? c.device.attributes[c.attribute] : "";
    EXPECT_EQ(value, c.after);
    if (!*c.attribute) {
      EXPECT_EQ(c.device.attributes, before.attributes);
    }
    sys.Tty(c.device.kernel, c.device.driver, c.attribute, value);
    EXPECT_FALSE(ReadPortFacts("/dev/" + c.device.kernel, sys.Root()).Slow());
  }
}

}  // namespace
}  // namespace kvx
