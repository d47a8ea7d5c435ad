#include "cli/Completer.h"

#include <algorithm>
#include <unordered_set>

#include "catalog/SyncConfiguration.h"

namespace quillfen::cli {

namespace {

bool visible(const CLI::Option* option) {
    return !option->get_group().empty();
}

bool startsWith(const std::string& text, const std::string& prefix) {
    return text.compare(0, prefix.size(), prefix) == 0;
}

// The set a value is checked against, as the parser describes it in the
// type name ("TEXT:{show,move}"); empty when there is none.
std::vector<std::string> choices(const CLI::Option& option) {
    const std::string type = option.get_type_name();
    const auto open = type.find('{');
    const auto close = type.find('}', open);
    std::vector<std::string> values;
    if (open == std::string::npos || close == std::string::npos) return values;
    std::string current;
    for (char c : type.substr(open + 1, close - open - 1)) {
        if (c == ',') {
            values.push_back(current);
            current.clear();
        } else {
            current += c;
        }
    }
    values.push_back(current);
    return values;
}

std::vector<std::string> catalogNames(const std::string& kind) {
    const auto& execs = SyncConfiguration::execNames();
    const std::unordered_set<std::string> execSet(execs.begin(), execs.end());
    if (kind == "exec") return execs;
    std::vector<std::string> names;
    std::unordered_set<std::string> seen;
    for (const auto& entry : SyncConfiguration::catalog()) {
        if (kind == "app" && execSet.count(entry.name)) continue;
        if (seen.insert(entry.name).second) names.push_back(entry.name);
    }
    return names;
}

class Walk {
public:
    Walk(const CLI::App& program, const std::string& typed) : program_(program), typed_(typed) {}

    // The option of `command` (or a global one) that `word` names, if any.
    const CLI::Option* option(const CLI::App& command, const std::string& word) const {
        for (const CLI::App* app : {&command, &program_}) {
            for (const CLI::Option* candidate : app->get_options()) {
                if (!candidate->get_positional() && candidate->check_name(word)) return candidate;
            }
        }
        return nullptr;
    }

    std::vector<const CLI::App*> commands(const CLI::App& command) const {
        return command.get_subcommands([](const CLI::App* sub) {
            return !sub->get_name().empty() && !sub->get_group().empty();
        });
    }

    static std::vector<const CLI::Option*> positionals(const CLI::App& command) {
        return command.get_options([](const CLI::Option* o) { return o->get_positional(); });
    }

    void offer(Completion& completion, const std::string& word,
               const std::string& description) const {
        if (startsWith(word, typed_)) completion.words.emplace_back(word, description);
    }

    // The values of `option`; `kindBefore` is the value of a "kind"
    // argument before it, if any.
    Completion values(const CLI::Option& option, const std::string& kindBefore) const {
        Completion completion;
        const auto set = choices(option);
        if (!set.empty()) {
            for (const auto& value : set)
                offer(completion, value, {});
            return completion;
        }
        std::string text = option.get_option_text();
        if (text.empty()) text = option.get_type_name();
        const std::string name = option.get_positional() ? option.get_name() : std::string();
        if (text == "DIR") {
            completion.kind = Completion::Kind::directories;
        } else if (text == "PATH" || text == "FILE" || name == "path" || name == "paths" ||
                   name == "file" || name == "files") {
            completion.kind = Completion::Kind::files;
        } else if (name == "item") {
            // A name or a path: a path as soon as the word looks like one.
            if (startsWith(typed_, ".") || startsWith(typed_, "/") || startsWith(typed_, "~") ||
                typed_.find('/') != std::string::npos) {
                completion.kind = Completion::Kind::files;
            } else {
                for (const auto& entry : catalogNames(""))
                    offer(completion, entry, {});
            }
        } else if (name == "name" || name == "names") {
            if (kindBefore == "file") {
                completion.kind = Completion::Kind::files;
            } else {
                for (const auto& entry : catalogNames(kindBefore))
                    offer(completion, entry, {});
            }
        }
        return completion;
    }

    Completion options(const CLI::App& command) const {
        Completion completion;
        std::vector<const CLI::App*> apps{&command};
        if (&command != &program_) apps.push_back(&program_);
        for (const CLI::App* app : apps) {
            for (const CLI::Option* option : app->get_options()) {
                if (option->get_positional() || !visible(option)) continue;
                // Global options of the program are offered after a command
                // too, but not its help and version, which belong before it.
                if (app != &command &&
                    (option->check_name("--help") || option->check_name("--version")))
                    continue;
                const auto& longNames = option->get_lnames();
                const auto& shortNames = option->get_snames();
                if (!longNames.empty())
                    offer(completion, "--" + longNames.front(), option->get_description());
                else if (!shortNames.empty())
                    offer(completion, "-" + shortNames.front(), option->get_description());
            }
        }
        return completion;
    }

private:
    const CLI::App& program_;
    const std::string& typed_;
};

}  // namespace

Completion Completer::complete(const std::vector<std::string>& words) const {
    const std::string typed = words.empty() ? std::string() : words.back();
    const Walk walk(program_, typed);
    const CLI::App* command = &program_;
    const CLI::Option* awaitingValue = nullptr;
    bool onlyArguments = false;
    std::vector<std::string> arguments;  // the current command's positional values

    for (std::size_t i = 0; i + 1 < words.size(); ++i) {
        const std::string& word = words[i];
        if (awaitingValue) {
            awaitingValue = nullptr;
            continue;
        }
        if (!onlyArguments && word == "--") {
            onlyArguments = true;
            continue;
        }
        if (!onlyArguments && word.size() > 1 && word[0] == '-') {
            const auto equals = word.find('=');
            const CLI::Option* option = walk.option(*command, word.substr(0, equals));
            if (option && option->get_type_size_max() > 0 && equals == std::string::npos)
                awaitingValue = option;
            continue;
        }
        if (arguments.empty() && !onlyArguments) {
            const auto subcommands = walk.commands(*command);
            const auto named =
                std::find_if(subcommands.begin(), subcommands.end(),
                             [&](const CLI::App* sub) { return sub->check_name(word); });
            if (named != subcommands.end()) {
                command = *named;
                continue;
            }
        }
        arguments.push_back(word);
    }

    if (awaitingValue) return walk.values(*awaitingValue, {});
    if (!onlyArguments && startsWith(typed, "-")) {
        if (typed.find('=') != std::string::npos) return {};
        return walk.options(*command);
    }

    Completion completion;
    if (arguments.empty() && !onlyArguments) {
        for (const CLI::App* sub : walk.commands(*command))
            walk.offer(completion, sub->get_name(), sub->get_description());
    }
    // The positional argument this word fills: the next one, or the last one
    // again when it takes many values.
    const auto positionals = Walk::positionals(*command);
    std::size_t index = arguments.size();
    if (!positionals.empty() && index >= positionals.size() &&
        positionals.back()->get_items_expected_max() > 1)
        index = positionals.size() - 1;
    if (index < positionals.size()) {
        std::string kindBefore;
        for (std::size_t p = 0; p < index && p < arguments.size(); ++p) {
            if (positionals[p]->get_name() == "kind") kindBefore = arguments[p];
        }
        Completion values = walk.values(*positionals[index], kindBefore);
        if (completion.words.empty()) return values;
        completion.words.insert(completion.words.end(), values.words.begin(), values.words.end());
    }
    return completion;
}

}  // namespace quillfen::cli
