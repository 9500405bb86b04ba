// The pass count: a decimal text on the panel, advanced by one per counted chip.
#pragma once

#include "core/device/workspace.h"

namespace kvx {

void CountPass(Workspace& ws);  // an empty or non-numeric count counts as 0

}  // namespace kvx
