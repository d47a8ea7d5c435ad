#include "cli/CompletionCommand.h"

#include "cli/CliError.h"
#include "cli/Completer.h"

namespace quillfen::cli {

namespace {

// Each script hands the words typed so far to `quillfen completion complete`
// (the program the user typed, so a build folder's program completes its own
// commands) and turns its answer into the shell's candidates.

constexpr const char* kBash = R"sh(# bash completion for quillfen: the program says what may follow.
_quillfen() {
    local program=${COMP_WORDS[0]/#\~/$HOME} cur=${COMP_WORDS[COMP_CWORD]} word line
    local -a words=() lines=()
    # The words as the program will see them: without quotes and escapes.
    for word in "${COMP_WORDS[@]:1:COMP_CWORD}"; do
        word=${word//\\/}
        word=${word#[\"\']}
        word=${word%[\"\']}
        words+=("$word")
    done
    local IFS=$'\n'
    lines=($("$program" completion complete -- "${words[@]}" 2>/dev/null)) || return 0
    COMPREPLY=()
    case ${lines[0]-} in
    :files)
        compopt -o filenames 2>/dev/null
        COMPREPLY=($(compgen -f -- "${words[-1]}"))
        return 0 ;;
    :directories)
        compopt -o filenames 2>/dev/null
        COMPREPLY=($(compgen -d -- "${words[-1]}"))
        return 0 ;;
    esac
    for line in "${lines[@]}"; do
        word=${line%%$'\t'*}
        if [[ $cur == [\"\']* ]]; then
            COMPREPLY+=("$word")
        else
            COMPREPLY+=("$(printf '%q' "$word")")
        fi
    done
    return 0
}
complete -F _quillfen quillfen
)sh";

constexpr const char* kZsh = R"sh(#compdef quillfen
# zsh completion for quillfen: the program says what may follow.
_quillfen() {
    local -a lines candidates
    local line word
    lines=("${(@f)$(${~words[1]} completion complete -- "${(@Q)words[2,CURRENT]}" 2>/dev/null)}")
    case ${lines[1]-} in
        (:files) _files; return ;;
        (:directories) _files -/; return ;;
    esac
    for line in "${lines[@]}"; do
        [[ -n $line ]] || continue
        word=${line%%$'\t'*}
        if [[ $line == *$'\t'* ]]; then
            candidates+=("${word//:/\\:}:${line#*$'\t'}")
        else
            candidates+=("${word//:/\\:}")
        fi
    done
    _describe -t values quillfen candidates
}
if [[ ${zsh_eval_context[-1]} == loadautofunc ]]; then
    _quillfen "$@"
else
    compdef _quillfen quillfen
fi
)sh";

constexpr const char* kFish = R"sh(# fish completion for quillfen: the program says what may follow.
function __quillfen_complete
    set -l tokens (commandline -opc)
    set -l current (commandline -ct | string unescape)
    set -l lines ($tokens[1] completion complete -- $tokens[2..] "$current" 2>/dev/null)
    switch "$lines[1]"
        case :files
            __fish_complete_path "$current"
        case :directories
            __fish_complete_directories "$current"
        case '*'
            printf '%s\n' $lines
    end
end
complete -c quillfen -f -a '(__quillfen_complete)'
)sh";

}  // namespace

std::string CompletionCommand::script(const std::string& shell) {
    if (shell == "bash") return kBash;
    if (shell == "zsh") return kZsh;
    if (shell == "fish") return kFish;
    throw CliError("no completion for the shell " + shell, exitUsage);
}

CLI::App* CompletionCommand::define(CLI::App& program) {
    program_ = &program;
    auto* command = program.add_subcommand("completion", "Tab completion for bash, zsh and fish");
    command->group("");  // hidden from the help
    command->add_option("what", what_, "bash, zsh, fish, or complete")
        ->required()
        ->check(CLI::IsMember({"bash", "zsh", "fish", "complete"}));
    command->add_option("words", words_, "With complete: the words typed so far");
    return command;
}

int CompletionCommand::run(const GlobalOptions&, const Printer& print) {
    if (what_ != "complete") {
        std::fputs(script(what_).c_str(), print.out);
        return exitSuccess;
    }
    // A line that ends in a space begins a new, empty word.
    if (words_.empty()) words_.emplace_back();
    const Completion completion = Completer(*program_).complete(words_);
    std::string text;
    if (completion.kind == Completion::Kind::files) {
        text = ":files\n";
    } else if (completion.kind == Completion::Kind::directories) {
        text = ":directories\n";
    } else {
        for (const auto& [word, description] : completion.words)
            text += description.empty() ? word + "\n" : word + "\t" + description + "\n";
    }
    std::fputs(text.c_str(), print.out);
    return exitSuccess;
}

}  // namespace quillfen::cli
