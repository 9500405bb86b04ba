#include "core/link/writer_link.h"

#include <gtest/gtest.h>

#include <vector>

#include "core/device/catalogue.h"
#include "core/link/scripted_port.h"

namespace kvx {
namespace {

using Bytes = std::vector<std::uint8_t>;
using test::ScriptedPort;

Bytes Repeat(std::uint8_t value, int count) { return Bytes(count, value); }
Bytes Join(Bytes a, const Bytes& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

class WriterLinkTest : public ::testing::Test {
 protected:
  void Select(const char* device) {
    ws.device.SelectedDevice = device;
    ws.device.DeviceIndex = GetICInfo(ws, device);
  }
  // Elapsed simulated time since the test began.
  Millis Elapsed() { return std::chrono::duration_cast<Millis>(clock.Now() - start); }

  Workspace ws;
  FakeClock clock;
  TimePoint start = clock.Now();
  ScriptedPort port{clock};
  WriterLink link{ws, port, clock};
};

// ---- GetHeader ----------------------------------------------------------------------------------

struct HeaderCase {
  const char* device;
  int area;
  int action;
  std::uint8_t optionLow;
  std::uint8_t optionHigh;
  std::array<std::uint8_t, 10> expected;
};

class GetHeaderTable : public WriterLinkTest, public ::testing::WithParamInterface<HeaderCase> {};

TEST_P(GetHeaderTable, BuildsTheTenHeaderBytes) {
  const HeaderCase& c = GetParam();
  ws.device.SelectedDevice = c.device;
  ws.image.OptionLow = c.optionLow;
  ws.image.OptionHigh = c.optionHigh;
  link.GetHeader(c.area, c.action);
  const std::array<std::uint8_t, 10> got{ws.link.HeaderBytes[0], ws.link.HeaderBytes[1], ws.link.HeaderBytes[2],
                                         ws.link.HeaderBytes[3], ws.link.HeaderBytes[4], ws.link.HeaderBytes[5],
                                         ws.link.HeaderBytes[6], ws.link.HeaderBytes[7], ws.link.HeaderBytes[8],
                                         ws.link.HeaderBytes[9]};
  EXPECT_EQ(got, c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    AreasActionsAndReadModes, GetHeaderTable,
    ::testing::Values(
        // device   area act  OptL  OptH   A1    -  -  last  lastH area alg   param mode  action
        HeaderCase{"KVX-03", 2, 1, 0x7F, 0x7F, {0xA1, 0, 0, 15, 0, 2, 0x02, 0x02, 0x20, 0xA5}},
        HeaderCase{"KVX-03", 2, 0, 0x7F, 0x7F, {0xA1, 0, 0, 7, 0, 2, 0x02, 0x02, 0x20, 0xA6}},
        HeaderCase{"KVX-03", 0, 2, 0x7F, 0x7F, {0xA1, 0, 0, 0xFF, 0x01, 0, 0x02, 0x50, 0x20, 0xA8}},
        HeaderCase{"KVX-03", 0, 0, 0x7F, 0x7F, {0xA1, 0, 0, 0xFF, 0x01, 0, 0x02, 0x02, 0x20, 0xA6}},
        HeaderCase{"KVX-01", 0, 0, 0x7F, 0x7F, {0xA1, 0, 0, 0xFF, 0x03, 0, 0x31, 0x18, 0xD0, 0xA7}},
        HeaderCase{"KVX-03", 0, 3, 0x7F, 0x7F, {0xA1, 0, 0, 0xFF, 0x01, 0, 0x02, 0x18, 0x20, 0xA7}},
        HeaderCase{"KVX-03", 1, 1, 0x7F, 0x7F, {0xA1, 0, 0, 2, 0, 1, 0x02, 0x30, 0x20, 0xA5}},
        HeaderCase{"KVX-03", 1, 0, 0x7F, 0x7F, {0xA1, 0, 0, 0, 0, 1, 0x02, 0x30, 0x20, 0xA6}},
        HeaderCase{"KVX-03", 5, 1, 0x7F, 0x7F, {0xA1, 0, 0, 2, 0, 5, 0x02, 0x30, 0x20, 0xA5}},
        HeaderCase{"KVX-03", 4, 1, 0x7F, 0x7F, {0xA1, 0, 0, 0, 0, 2, 0x02, 0x02, 0x20, 0xA5}},
        HeaderCase{"KVX-03", 0, 7, 0x7F, 0x7F, {0xA1, 0, 0, 0xFF, 0x01, 0, 0x02, 0x02, 0x20, 0xA5}},
        // EEPROM: bit 7 of the algorithm byte, and of the mode byte when reading.
        HeaderCase{"KVX-01", 3, 1, 0x7F, 0x7F, {0xA1, 0, 0, 0x7F, 0, 3, 0xB1, 0x0C, 0xD0, 0xA5}},
        HeaderCase{"KVX-01", 3, 3, 0x7F, 0x7F, {0xA1, 0, 0, 0x7F, 0, 3, 0xB1, 0x18, 0xD0, 0xA7}},
        HeaderCase{"KVX-17", 3, 1, 0x7F, 0x7F, {0xA1, 0, 0, 0, 0, 3, 0xA2, 0x0C, 0xC0, 0xA5}},
        // RC oscillator reads: variant 1 always, 2 unless bits 4-5 are 10, 3 unless high bits 3-4 are 10.
        HeaderCase{"KVX-16", 0, 1, 0x7A, 0x7F, {0xA1, 0, 0, 0xFF, 0x03, 0, 0x31, 0x02, 0xD0, 0xA5}},
        HeaderCase{"KVX-16", 0, 1, 0x7B, 0x7F, {0xA1, 0, 0, 0xFF, 0x03, 0, 0x31, 0x02, 0x50, 0xA5}},
        HeaderCase{"KVX-16", 0, 0, 0x7A, 0x7F, {0xA1, 0, 0, 0xFF, 0x03, 0, 0x31, 0x02, 0x50, 0xA6}},
        HeaderCase{"KVX-12", 1, 1, 0x0A, 0x7F, {0xA1, 0, 0, 2, 0, 1, 0x31, 0x30, 0xC0, 0xA5}},
        HeaderCase{"KVX-12", 1, 1, 0x2A, 0x7F, {0xA1, 0, 0, 2, 0, 1, 0x31, 0x30, 0x40, 0xA5}},
        HeaderCase{"KVX-14", 2, 1, 0x7A, 0x7F, {0xA1, 0, 0, 15, 0, 2, 0x31, 0x02, 0xC0, 0xA5}},
        HeaderCase{"KVX-14", 2, 1, 0x7A, 0x10, {0xA1, 0, 0, 15, 0, 2, 0x31, 0x02, 0x40, 0xA5}},
        HeaderCase{"KVX-03", 0, 1, 0x7A, 0x7F, {0xA1, 0, 0, 0xFF, 0x01, 0, 0x02, 0x02, 0x20, 0xA5}}));

TEST_F(WriterLinkTest, HeaderReloadsTheDeviceNamedInTheList) {
  Select("KVX-01");
  ws.device.SelectedDevice = "KVX-19";
  ws.device.AlgorithmCode = 0;  // stale fields from another device
  link.GetHeader(AreaProgram, ActionRead);
  EXPECT_EQ(ws.device.DeviceIndex, FindDevice("KVX-19"));
  EXPECT_EQ(ws.link.HeaderBytes[6], 0x35);
  EXPECT_EQ(ws.link.HeaderBytes[4], 0x0F);
}

TEST_F(WriterLinkTest, RcPartsTakeNoOscillatorBitsInTheReadMode) {
  Select("KVX-16");
  ws.device.SelectedDevice = "KVX-RC16";  // not in the catalogue: the loaded fields stay
  ws.device.DeviceName = "KVX-RC16";
  ws.image.OptionLow = 0x7A;
  link.GetHeader(AreaProgram, ActionRead);
  EXPECT_EQ(ws.device.DeviceIndex, -1);
  EXPECT_EQ(ws.link.HeaderBytes[8], 0xC0);  // 0x50 | 0x80, bits 4-5 cleared
}

TEST_F(WriterLinkTest, EngineeringWidthsSetTheParameterByte) {
  struct Case {
    std::optional<int> pulse, erase;
    std::uint8_t pulseByte, eraseByte;
  };
  const Case cases[] = {
      {5, 120, 10, 120},                     // 0.2 ms and 0.1 ms steps
      {200, 900, 254, 255},                  // kept within the byte instead of wrapping round
      {std::nullopt, std::nullopt, 0x18, 0x50},  // no number in the entry: the fixed widths
  };
  Select("KVX-01");
  ws.settings.EngineeringWidths = true;
  for (const Case& c : cases) {
    ws.settings.PulseWidth = c.pulse;
    ws.settings.EraseWidth = c.erase;
    link.GetHeader(AreaProgram, ActionProgramPulse);
    EXPECT_EQ(ws.link.HeaderBytes[7], c.pulseByte) << c.pulse.value_or(-1);
    link.GetHeader(AreaProgram, ActionErase);
    EXPECT_EQ(ws.link.HeaderBytes[7], c.eraseByte) << c.erase.value_or(-1);
  }
}

// ---- SendHeader ---------------------------------------------------------------------------------

TEST_F(WriterLinkTest, SendHeaderMapsTheWritersAnswer) {
  const std::pair<std::uint8_t, LinkResult> cases[] = {
      {0xB5, LinkResult::Ready}, {0xB8, LinkResult::Done},     {0xFD, LinkResult::AdapterError},
      {0xFE, LinkResult::NoDevice}, {0xB0, LinkResult::BadReply}, {0x12, LinkResult::BadReply},
  };
  long sentBefore = 0;
  for (const auto& [answer, code] : cases) {
    port.AnswerAt(sentBefore + 9, {answer});
    link.GetHeader(AreaProgram, ActionErase);
    EXPECT_EQ(link.SendHeader(10), code) << int(answer);
    EXPECT_EQ(static_cast<long>(port.sent.size()), sentBefore + 10);
    sentBefore = static_cast<long>(port.sent.size());
  }
}

// ---- Reads --------------------------------------------------------------------------------------

TEST_F(WriterLinkTest, Read7BitEndsAtTheEndMarker) {
  struct Case {
    const char* what;
    Bytes stream;
    int length;
    bool more;
    LinkResult result;
  };
  const Case cases[] = {
      {"31 bytes then end", Join(Repeat(0x11, 31), {0xB8}), 32, true, LinkResult::Done},
      {"30 bytes then end", Join(Repeat(0x11, 30), {0xB8}), 32, true, LinkResult::BadReply},
      {"extra bytes dropped", Join(Repeat(0x11, 40), {0xB8}), 32, true, LinkResult::Done},
      {"adapter error", {0x11, 0xFD}, 32, true, LinkResult::AdapterError},
      {"nothing in socket", {0xFE}, 32, true, LinkResult::NoDevice},
      {"unexpected control byte", {0x11, 0xB5}, 32, true, LinkResult::BadReply},
      {"no end marker needed", Repeat(0x11, 4), 4, false, LinkResult::Done},
      {"stream stops short", Repeat(0x11, 3), 32, true, LinkResult::Timeout},
  };
  for (const Case& c : cases) {
    FakeClock t;
    ScriptedPort p(t);
    WriterLink l(ws, p, t);
    ws.link.LinkBuffer.fill(0x55);
    p.AnswerAt(9, c.stream);
    l.GetHeader(AreaId, ActionRead);
    EXPECT_EQ(l.Read7BitData(c.length, c.more), c.result) << c.what;
    EXPECT_EQ(p.sent.size(), 10u) << c.what;
  }
}

TEST_F(WriterLinkTest, Read8BitTakesEveryByteValue) {
  const Bytes eeprom = {0xB8, 0xFE, 0xFD, 0x00, 0xFF};
  port.AnswerAt(9, eeprom);
  link.GetHeader(AreaEeprom, ActionRead);
  EXPECT_EQ(link.Read8BitData(5), LinkResult::Done);
  EXPECT_EQ(Bytes(ws.link.LinkBuffer.begin(), ws.link.LinkBuffer.begin() + 5), eeprom);
}

// Bytes that arrived together are taken from the port at once; those the read did not need are
// as stale as bytes left in the port and never answer the next exchange.
TEST_F(WriterLinkTest, BytesBeyondAReadNeverAnswerTheNextExchange) {
  Select("KVX-03");
  port.AnswerAt(9, {0x11, 0x22, 0xB2, 0xB8});
  port.AnswerAt(10, {0xB4});
  link.GetHeader(AreaEeprom, ActionRead);
  EXPECT_EQ(link.Read8BitData(2), LinkResult::Done);
  EXPECT_EQ(link.CheckWriter(false), LinkResult::WriterAny);
}

// ---- WriteData ----------------------------------------------------------------------------------

TEST_F(WriterLinkTest, WriteDataFollowsTheWritersAnswers) {
  struct Case {
    const char* what;
    std::vector<Bytes> answers;  // answer to byte 0, 1, ...
    bool more;
    LinkResult result;
    std::size_t bytesSent;
    int failIndex;
  };
  const Case cases[] = {
      {"finished after the padding byte", {{0xB5}, {0xB5}, {0xB0}}, true, LinkResult::WriteOk, 3, -1},
      {"finished at the last byte", {{0xB5}, {0xB0}}, true, LinkResult::WriteOk, 2, -1},
      {"finished too early", {{0xB0}}, true, LinkResult::BadReply, 1, -1},
      {"second byte refused", {{0xB5}, {0xB1}}, true, LinkResult::WriteFail, 2, 1},
      {"adapter error", {{0xB5}, {0xFD}}, true, LinkResult::AdapterError, 2, -1},
      {"nothing in socket", {{0xFE}}, true, LinkResult::NoDevice, 1, -1},
      {"unexpected answer", {{0xB5}, {0xB9}}, true, LinkResult::BadReply, 2, -1},
      {"all acknowledged, never finished", std::vector<Bytes>(7, {0xB5}), true, LinkResult::WriteOk, 7, -1},
      {"single pass without more", std::vector<Bytes>(7, {0xB5}), false, LinkResult::WriteOk, 3, -1},
  };
  for (const Case& c : cases) {
    FakeClock t;
    ScriptedPort p(t);
    WriterLink l(ws, p, t);
    ws.results.FailIndex = -1;
    ws.link.LinkBuffer[0] = 0x12;
    ws.link.LinkBuffer[1] = 0x34;
    for (std::size_t i = 0; i < c.answers.size(); ++i) p.AnswerAt(static_cast<long>(i), c.answers[i]);
    EXPECT_EQ(l.WriteData(2, c.more), c.result) << c.what;
    EXPECT_EQ(p.sent.size(), c.bytesSent) << c.what;
    EXPECT_EQ(ws.results.FailIndex, c.failIndex) << c.what;
    EXPECT_EQ(p.sent[0], 0x12) << c.what;
  }
}

TEST_F(WriterLinkTest, WriteDataStopsAtTheFirstUnansweredByte) {
  port.AnswerAt(0, {0xB5});
  EXPECT_EQ(link.WriteData(100, true), LinkResult::Timeout);
  EXPECT_EQ(port.sent.size(), 2u);
  EXPECT_LE(Elapsed(), Millis(3000));
}

// Every acknowledged byte costs the host one write, one wait and one read of the port: the wait
// comes first, so no read finds the port empty. A read-back takes its bytes in few reads.
TEST_F(WriterLinkTest, EachAnsweredByteIsOneWaitAndOneReadAndAReadBackGathers) {
  constexpr int kBytes = 200;
  for (long i = 0; i < kBytes; ++i) port.AnswerAt(i, {0xB5});
  port.AnswerAt(kBytes, {0xB0});
  ASSERT_EQ(link.WriteData(kBytes, true), LinkResult::WriteOk);
  EXPECT_EQ(port.sent.size(), static_cast<std::size_t>(kBytes + 1));
  EXPECT_EQ(port.reads, kBytes + 1);
  EXPECT_EQ(port.waits, kBytes + 1);

  FakeClock t;
  ScriptedPort p(t);
  WriterLink l(ws, p, t);
  Bytes stream = Repeat(0x21, 100);
  stream.push_back(kEndOfData);
  p.AnswerAt(9, stream);  // after the header's last byte, the whole area at once
  ASSERT_EQ(l.Read7BitData(100, true), LinkResult::Done);
  EXPECT_LE(p.reads, 2);
}

// ---- CheckWriter and the identification -----------------------------------------------------------

TEST_F(WriterLinkTest, CheckWriterComparesTheTypeWithTheDevice) {
  struct Case {
    const char* device;  // WriterType 1: KVX-03, 2: KVX-19
    Bytes answer;
    LinkResult result;
  };
  const Case cases[] = {
      {"KVX-03", {0xB2}, LinkResult::WriterType1}, {"KVX-19", {0xB2}, LinkResult::WrongWriter},
      {"KVX-19", {0xB3}, LinkResult::WriterType2}, {"KVX-03", {0xB3}, LinkResult::WrongWriter},
      {"KVX-03", {0xFE}, LinkResult::BadReply},    {"KVX-19", {}, LinkResult::Timeout},
  };
  for (const Case& c : cases) {
    FakeClock t;
    ScriptedPort p(t);
    WriterLink l(ws, p, t);
    Select(c.device);
    p.AnswerAt(0, c.answer);
    EXPECT_EQ(l.CheckWriter(true), c.result) << c.device << " " << c.answer.size();
    EXPECT_EQ(p.sent, Bytes{0xA0});  // no identification asked of a typed Writer
  }
}

TEST_F(WriterLinkTest, UniversalWriterTellsItsIdentification) {
  const std::string id = " ZQR640B V3.10";
  port.AnswerAt(0, {0xB4, 'x', 'y'});  // stray bytes after the type are not part of the identification
  port.AnswerAt(1, Join(Bytes(id.begin(), id.end()), {0xB8}));
  ws.results.WriterId = "old";
  EXPECT_EQ(link.CheckWriter(true), LinkResult::WriterAny);
  EXPECT_EQ(port.sent, (Bytes{0xA0, 0xAD}));
  EXPECT_EQ(ws.results.WriterId, id);
  EXPECT_EQ(ws.results.WriterVersion, "V3.10");
}

TEST_F(WriterLinkTest, ReadWriterIdTakesAtMostLimitCharacters) {
  port.AnswerAt(0, {'A', 'B', 'C', 'D', 'E'});
  ws.link.HeaderBytes[0] = kIdRequest;
  ws.results.WriterId = "x";
  EXPECT_EQ(link.ReadWriterID(3), LinkResult::Done);
  EXPECT_EQ(ws.results.WriterId, "xABC");
}

// ---- Time limits and stopping ---------------------------------------------------------------------

TEST_F(WriterLinkTest, CtsHeldInactiveTimesOutEveryPrimitive) {
  port.cts = false;
  const std::pair<const char*, std::function<LinkResult()>> primitives[] = {
      {"SendHeader", [&] { return link.SendHeader(10); }},
      {"Read8BitData", [&] { return link.Read8BitData(4); }},
      {"Read7BitData", [&] { return link.Read7BitData(4, true); }},
      {"WriteData", [&] { return link.WriteData(4, true); }},
      {"CheckWriter", [&] { return link.CheckWriter(true); }},
      {"ReadWriterID", [&] { return link.ReadWriterID(15); }},
  };
  for (const auto& [name, run] : primitives) {
    const TimePoint before = clock.Now();
    EXPECT_EQ(run(), LinkResult::Timeout) << name;
    const auto took = clock.Now() - before;
    EXPECT_GT(took, Millis(2000)) << name;
    EXPECT_LE(took, Millis(3000)) << name;
  }
  EXPECT_TRUE(port.sent.empty());
}

TEST_F(WriterLinkTest, WaitsInShortSlicesAndNotAtAllWhenTheAnswerIsThere) {
  port.AnswerAt(0, {0xB2});
  Select("KVX-03");
  EXPECT_EQ(link.CheckWriter(false), LinkResult::WriterType1);
  EXPECT_EQ(Elapsed(), Millis(0));  // the look for the answer found it there

  EXPECT_EQ(link.CheckWriter(false), LinkResult::Timeout);
  EXPECT_GT(port.waits, 2);
  EXPECT_LE(port.longestWait, Millis(100));  // one terminal read timer: a stop is seen promptly
}

TEST_F(WriterLinkTest, AnAnswerThatCameInTheLastMomentIsTaken) {
  // The answer arrives just as the time limit runs out.
  port.onWait = [&] {
    if (Elapsed() >= Millis(2900) && port.InQueCount() == 0) {
      clock.Advance(Millis(100));
      port.Preload({0xB3});
    }
  };
  Select("KVX-19");
  EXPECT_EQ(link.CheckWriter(false), LinkResult::WriterType2);
  EXPECT_EQ(Elapsed(), Millis(3000));
}

TEST_F(WriterLinkTest, StopInTheMiddleOfAStreamEndsAtOnce) {
  std::stop_source stop;
  WriterLink stoppable(ws, port, clock, stop.get_token());
  port.AnswerAt(9, Repeat(0x11, 8));  // the rest of the stream is late
  port.onWait = [&] { stop.request_stop(); };
  stoppable.GetHeader(AreaProgram, ActionRead);
  EXPECT_EQ(stoppable.Read7BitData(64, true), LinkResult::Stopped);
  EXPECT_EQ(port.sent.size(), 10u);
  EXPECT_LT(Elapsed(), Millis(100));
}

TEST_F(WriterLinkTest, StopWhileWaitingForCtsSendsNothingMore) {
  std::stop_source stop;
  WriterLink stoppable(ws, port, clock, stop.get_token());
  port.AnswerAt(0, {0xB5});
  port.AnswerAt(1, {0xB5});
  port.ctsDropsAfter = 2;  // the Writer holds CTS off after the second byte
  port.onWait = [&] {
    // Both answers taken: the host waits for CTS now.
    if (port.sent.size() >= 2 && port.InQueCount() == 0) stop.request_stop();
  };
  EXPECT_EQ(stoppable.WriteData(6, true), LinkResult::Stopped);
  EXPECT_EQ(port.sent.size(), 2u);
  EXPECT_LT(Elapsed(), Millis(100));
}

}  // namespace
}  // namespace kvx
