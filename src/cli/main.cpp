// quillfen: the command line of Quillfen.
#include <memory>

#include "cli/CommandLine.h"
#include "cli/CompletionCommand.h"
#include "cli/DiffCommand.h"
#include "cli/ItemCommands.h"
#include "cli/LocalCommands.h"
#include "cli/PackageCommands.h"
#include "cli/RunCommands.h"
#include "cli/StatusCommand.h"

int main(int argc, char** argv) {
    using namespace quillfen;
    using namespace quillfen::cli;
    CommandLine program;
    // In the order --help lists them.
    program.add(std::make_unique<AuthorizeCommand>());
    program.add(std::make_unique<StatusCommand>());
    program.add(std::make_unique<RunCommand>("backup", "Back up this computer into the package",
                                             BackupAction::backUpDevice, SyncAction::backUp));
    program.add(std::make_unique<RunCommand>("install", "Install the package onto this computer",
                                             BackupAction::installDevice, SyncAction::install));
    program.add(std::make_unique<RunCommand>("sync",
                                             "Synchronize: per settings file, the newer side wins",
                                             BackupAction::syncDevice, SyncAction::synchronize));
    program.add(std::make_unique<DiffCommand>());
    program.add(std::make_unique<AddCommand>());
    program.add(std::make_unique<RemoveCommand>());
    program.add(std::make_unique<SwitchCommand>(true));
    program.add(std::make_unique<SwitchCommand>(false));
    program.add(std::make_unique<HistoryCommand>());
    program.add(std::make_unique<NoteCommand>());
    program.add(std::make_unique<PackageCommand>());
    program.add(std::make_unique<ExcludeCommand>());
    program.add(std::make_unique<UndoCommand>());
    program.add(std::make_unique<CatalogCommand>());
    program.add(std::make_unique<CompletionCommand>());
    return program.run(argc, argv);
}
