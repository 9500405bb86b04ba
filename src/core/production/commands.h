// The main window's whole command table: the device operations and the two Auto Program
// commands. Defined beside the Auto Program pass, which builds on both the operations and the
// production parts.
#pragma once

#include <span>

#include "core/ops/command.h"

namespace kvx {

// Every command of the table, in CommandId order.
std::span<const Command* const> MainCommands();
const Command& MainCommand(CommandId id);

}  // namespace kvx
