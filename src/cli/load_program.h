// Loading a program file into a workspace for one device, the way File > Open does after the
// operator picked that device: the commands that work on a program image (info, dump, save-bin,
// disasm, qtp, ...) all start here.
#pragma once

#include <memory>
#include <ostream>
#include <string>
#include <string_view>

#include "core/device/workspace.h"
#include "core/files/program_file.h"

namespace kvx::cli {

// Choosing `device` in the device list: its parameters, then a fresh workspace for it
// (ResetData). The name must be one of the catalogue's.
void SelectDevice(Workspace& ws, const std::string& device);

// Selects `device` as the device list would, then opens `path` as File > Open does with the
// OPTION word blanked. Returns false, after a one-line usage error on `err` ("kvxw COMMAND:
// unknown device NAME"), when the catalogue has no such device; otherwise fills `report` with
// what the load decided and the messages it would show.
bool LoadProgramForDevice(std::string_view command, const std::string& path,
                          const std::string& device, Workspace& ws, LoadReport& report,
                          std::ostream& err);
// The same into a workspace of its own; nullptr after the usage error.
std::unique_ptr<Workspace> LoadProgramForDevice(std::string_view command, const std::string& path,
                                                const std::string& device, LoadReport& report,
                                                std::ostream& err);

// Each message of the load as a line "message: TEXT".
void PrintLoadMessages(const LoadReport& report, std::ostream& out);

}  // namespace kvx::cli
