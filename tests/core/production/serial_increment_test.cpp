// The increment of the serial-number setup on either side of its limits, for the dialog's OK and
// for the QTP file preparation alike.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "core/device/catalogue.h"
#include "core/production/serial_setup.h"

namespace kvx {
namespace {

TEST(SerialIncrementTest, OneTo255AreTakenZeroAnd256Refused) {
  struct Case {
    const char* increment;
    bool taken;
  } cases[] = {{"0", false}, {"1", true}, {"255", true}, {"256", false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.increment);
    for (bool qtp : {false, true}) {
      SCOPED_TRACE(qtp ? "QTP file" : "OK");
      auto ws = std::make_unique<Workspace>();
      GetICInfo(*ws, "KVX-04");
      ws->image.ProgramBuffer[2 * 0x100] = 0x00;  // one RTIW word for a one-byte number
      ws->image.ProgramBuffer[2 * 0x100 + 1] = 0x62;
      SerialSetupFields f;
      f.StartAddress = "100";
      f.NoOfByte = "1";
      f.StartValue = "12";
      f.NoOfPart = "2";
      f.Increment = c.increment;
      ws->production.SerialIncrement = 7;
      long parts = 0;
      const SetupOutcome r = qtp ? PrepareQtpFile(*ws, f, parts) : SerialSetupOk(*ws, f);
      EXPECT_EQ(r.message, c.taken ? "" : kMsgIncrementInvalid);
      EXPECT_EQ(ws->production.SerialIncrement, c.taken ? std::stoi(c.increment) : 7);
    }
  }
}

}  // namespace
}  // namespace kvx
