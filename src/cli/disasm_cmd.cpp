// kvxw disasm: the disassembly window's listing of a program file.
#include <string>

#include "cli/command.h"
#include "cli/load_program.h"
#include "core/device/workspace.h"
#include "core/disasm/disasm_save.h"
#include "core/disasm/disassembler.h"
#include "core/files/file_io.h"

namespace kvx::cli {
namespace {

int RunDisasm(const Args& args, std::ostream& out, std::ostream& err) {
  LoadReport report;
  const auto ws =
      LoadProgramForDevice("disasm", args.Positional().front(), args.Get("--device"), report, err);
  if (!ws) return kExitUsage;
  // The listing owns stdout; what the load had to say goes with the errors.
  PrintLoadMessages(report, err);
  if (report.stopped) return kExitFailed;

  const std::string listing = DisassembleListing(*ws);
  if (!args.Has("-o")) {
    out << listing;
    return kExitOk;
  }
  const std::string path = args.Get("-o");
  if (!WriteFileReplacing(path, listing)) {
    err << "kvxw disasm: " << kMsgDisasmCantSave << " (" << path << ")\n";
    return kExitFailed;
  }
  return kExitOk;
}

const bool registered = RegisterCommand({
    .name = "disasm",
    .summary = "Disassemble a program file as the disassembly window lists it.",
    .positional = "FILE",
    .positionalCount = 1,
    .options = {{"--device", "NAME", "the device, as `kvxw devices` lists it", false, true},
                {"-o", "OUT", "write the listing to OUT instead of stdout"}},
    .run = RunDisasm,
    .details = "FILE is loaded as `kvxw info` loads it. The listing's lines end in CR LF;\n"
               "undefined words are left out and an ORG line follows every gap.",
});

}  // namespace
}  // namespace kvx::cli
