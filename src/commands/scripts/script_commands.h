// Scripts: the catalogue's own scripts, filled in per selected item (placeholders.h), and
// "Execute Script", which runs the selected script files themselves.
#pragma once

#include "commands/scripts/placeholders.h"
