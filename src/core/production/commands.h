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

// Which commands record their chips in the production journal, and whether such a chip takes a
// serial number from the journal's series. One rule for every front end: Auto Program (with or
// without the blank check) journals numbered chips, Force Write journals its chips without a
// number (it leaves serial-number mode), every other command journals nothing.
struct JournalPolicy {
  bool journaled = false;
  bool numbered = false;
};
JournalPolicy JournalPolicyOf(CommandId id);

}  // namespace kvx
