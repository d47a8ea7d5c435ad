// quillfen: the command line of Quillfen.
#include "cli/CommandLine.h"

int main(int argc, char** argv) {
    return quillfen::cli::CommandLine().run(argc, argv);
}
