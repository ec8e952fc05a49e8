// The subcommands of the tessary command, one file each. The query subcommands use only the
// library's exported functions (tessary.h), as any host does; `check` runs the library's own
// readers so that it reports exactly what TSYInit would refuse, and `dump` reads the files with
// them too; `make` and `sample` use the data writer.
#pragma once

#include "cli_support.h"

namespace tessary::cli {

extern const Command kExchangesCommand;
extern const Command kGroupsCommand;
extern const Command kInfoCommand;
extern const Command kListCommand;
extern const Command kSearchCommand;
extern const Command kCheckCommand;
extern const Command kMakeCommand;
extern const Command kDumpCommand;
extern const Command kSampleCommand;

}  // namespace tessary::cli
