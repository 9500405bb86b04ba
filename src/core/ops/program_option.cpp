// Program OPTION: write only the OPTION word and read it back. A word in which the status panel
// found a blank or invalid field is refused before the Writer is asked anything.
#include "core/ops/program_steps.h"
#include "core/ops/workers.h"

namespace kvx {

OpOutcome ProgramOptionWorker(OperationContext& ctx) {
  OpFrame f(ctx, {"Button1"});
  const std::string_view refused =
      OptionStatusText(f.ws().results.OptionStatus, {"Some Options are Blank !!", "Some Options are Error !!",
                                             "Some Options are Blank or Error!!"});
  if (!refused.empty()) return f.Fail("Label1", refused, OpOutcome::Refused);
  if (!f.WriterOk("Label1")) return f.outcome();
  if (!ProgramOptionWord(f, "Label1")) return f.outcome();
  f.EnableEnd();
  return f.Result();
}

}  // namespace kvx
