// What the program returns and says when something is wrong: with the
// command line, with the package, with access. Each case runs twice, as text
// and with --json, on a computer of its own.
#include <unistd.h>

#include <functional>

#include "cli/CommandLineFixture.h"

namespace clitest {
namespace {

struct Context {
    fs::path root;
    fs::path package;
};

struct ErrorCase {
    const char* name;
    // Prepares the computer's surroundings and returns the arguments.
    std::function<std::vector<std::string>(const Context&)> arguments;
    bool authorized;
    int exitCode;
    // Texts standard error must hold; the first one must also be in the
    // "error" of the JSON document.
    std::function<std::vector<std::string>(const Context&)> texts;
};

void PrintTo(const ErrorCase& c, std::ostream* out) {
    *out << c.name;
}

std::vector<std::string> withPackage(const Context& context, std::vector<std::string> args) {
    args.insert(args.begin(), {"--package", context.package.string()});
    return args;
}

const ErrorCase kCases[] = {
    {"PackageWithoutExtension",
     [](const Context& c) {
         fs::create_directories(c.root / "Cloud" / "Settings");
         return std::vector<std::string>{"--package", (c.root / "Cloud" / "Settings").string(),
                                         "status"};
     },
     true, 3,
     [](const Context& c) {
         return std::vector<std::string>{"The backup file is not readable.",
                                         (c.root / "Cloud" / "Settings").string(),
                                         "The backup file extension is invalid."};
     }},
    {"PackageThatIsARegularFile",
     [](const Context& c) {
         testsupport::writeFile(c.root / "Cloud" / "File.qfbackup", "{}");
         return std::vector<std::string>{"--package", (c.root / "Cloud" / "File.qfbackup").string(),
                                         "install"};
     },
     true, 3,
     [](const Context& c) {
         return std::vector<std::string>{"The backup file is not readable.",
                                         (c.root / "Cloud" / "File.qfbackup").string(),
                                         "The backup file should be a directory."};
     }},
    {"AccessNotGranted", [](const Context& c) { return withPackage(c, {"backup"}); }, false, 3,
     [](const Context&) {
         return std::vector<std::string>{"An autorization is required to get access to the disk.",
                                         "quillfen authorize"};
     }},
    {"MalformedListFile",
     [](const Context& c) {
         testsupport::writeFile(c.package / "Apps.json", "[{");
         return withPackage(c, {"status"});
     },
     true, 3,
     [](const Context& c) {
         return std::vector<std::string>{"The backup file is not readable.",
                                         (c.package / "Apps.json").string()};
     }},
    {"RecordOfTheWrongType",
     [](const Context& c) {
         testsupport::writeFile(c.package / "Execs.json",
                                R"([{"name": "curl", "isEnabled": "yes"}])");
         return withPackage(c, {"add", "exec", "curl"});
     },
     true, 3,
     [](const Context& c) {
         return std::vector<std::string>{"The backup file is not readable.",
                                         (c.package / "Execs.json").string(), "isEnabled"};
     }},
    {"UnknownCommand", [](const Context&) { return std::vector<std::string>{"frobnicate"}; }, true,
     2, [](const Context&) { return std::vector<std::string>{"frobnicate"}; }},
    {"NoCommand", [](const Context&) { return std::vector<std::string>{}; }, true, 2,
     [](const Context&) { return std::vector<std::string>{"subcommand"}; }},
    {"UnknownKind",
     [](const Context& c) {
         return withPackage(c, {"add", "tool", "curl"});
     },
     true, 2, [](const Context&) { return std::vector<std::string>{"tool"}; }},
    {"MissingNames",
     [](const Context& c) {
         return withPackage(c, {"remove", "exec"});
     },
     true, 2, [](const Context&) { return std::vector<std::string>{"names"}; }},
    {"UnknownExecutable",
     [](const Context& c) {
         return withPackage(c, {"add", "exec", "NoSuchTool"});
     },
     true, 3, [](const Context&) { return std::vector<std::string>{"NoSuchTool"}; }},
    {"UnknownApplication",
     [](const Context& c) {
         return withPackage(c, {"enable", "app", "NoSuchApp"});
     },
     true, 3, [](const Context&) { return std::vector<std::string>{"NoSuchApp"}; }},
    {"NoteFromAMissingFile",
     [](const Context& c) {
         return withPackage(c, {"note", "--set", (c.root / "missing.md").string()});
     },
     true, 3,
     [](const Context& c) { return std::vector<std::string>{(c.root / "missing.md").string()}; }},
    {"MoveWithoutPath",
     [](const Context& c) {
         return withPackage(c, {"package", "move"});
     },
     true, 2, [](const Context&) { return std::vector<std::string>{"PATH"}; }},
    {"ExportWithoutExtension",
     [](const Context& c) {
         return withPackage(c, {"package", "export", (c.root / "Export").string()});
     },
     true, 3,
     [](const Context&) {
         return std::vector<std::string>{"The backup file extension is invalid."};
     }},
    {"UnknownCatalogName",
     [](const Context&) {
         return std::vector<std::string>{"catalog", "Nope"};
     },
     true, 3, [](const Context&) { return std::vector<std::string>{"Nope"}; }},
    // Every name a command cannot act on fails the command.
    {"RemoveOfANameNotInThePackage",
     [](const Context& c) {
         return withPackage(c, {"remove", "exec", "curl"});
     },
     true, 3, [](const Context&) { return std::vector<std::string>{"curl: not in the package"}; }},
    {"DisableOfAnUnknownExecutable",
     [](const Context& c) {
         return withPackage(c, {"disable", "exec", "NoSuchTool"});
     },
     true, 3, [](const Context&) { return std::vector<std::string>{"NoSuchTool"}; }},
    {"ExcludeRemoveOfAPathNotListed",
     [](const Context&) {
         return std::vector<std::string>{"exclude", "remove", "never-listed"};
     },
     true, 3,
     [](const Context&) {
         return std::vector<std::string>{"never-listed: not in the exclusion list"};
     }},
    {"AuthorizeFromAPipe", [](const Context&) { return std::vector<std::string>{"authorize"}; },
     false, 3, [](const Context&) { return std::vector<std::string>{"use --yes"}; }},
    {"ImportFromAPipe",
     [](const Context& c) {
         fs::create_directories(c.root / "Other.qfbackup");
         return withPackage(c, {"package", "import", (c.root / "Other.qfbackup").string()});
     },
     true, 3, [](const Context&) { return std::vector<std::string>{"use --yes"}; }},
    {"ReplaceFromAPipe",
     [](const Context& c) {
         fs::create_directories(c.root / "Other.qfbackup");
         return withPackage(c, {"package", "replace", (c.root / "Other.qfbackup").string()});
     },
     true, 3, [](const Context&) { return std::vector<std::string>{"use --yes"}; }},
    {"ExcludeAddWithoutPath",
     [](const Context&) {
         return std::vector<std::string>{"exclude", "add"};
     },
     true, 2, [](const Context&) { return std::vector<std::string>{"PATH"}; }},
};

class CommandLineErrorTest : public CommandLineTest,
                             public ::testing::WithParamInterface<ErrorCase> {
protected:
    // Sets the case up and returns its arguments.
    std::vector<std::string> prepare(bool json) {
        const ErrorCase& c = GetParam();
        if (c.authorized) authorize(first);
        // An existing package, so that any write into it would show; like
        // any package used before, it has its lock file.
        fs::create_directories(package / "Data");
        testsupport::writeFile(package / ".quillfen-run.lock", "");
        auto args = c.arguments(context());
        if (json) args.insert(args.begin(), "--json");
        return args;
    }
    Context context() const { return {root, package}; }
};

TEST_P(CommandLineErrorTest, ExitCodeAndMessageOnStandardError) {
    const auto args = prepare(false);
    const auto packageBefore = snapshot(package);
    const auto result = first.run(args);
    EXPECT_EQ(result.exitCode, GetParam().exitCode) << result.err;
    for (const auto& text : GetParam().texts(context()))
        EXPECT_NE(result.err.find(text), std::string::npos) << "\"" << text << "\" in\n"
                                                            << result.err;
    EXPECT_EQ(result.out, "");
    // A refused command leaves the package as it was.
    EXPECT_EQ(snapshot(package), packageBefore);
}

TEST_P(CommandLineErrorTest, OneJSONDocumentWithTheError) {
    const auto result = first.run(prepare(true));
    EXPECT_EQ(result.exitCode, GetParam().exitCode) << result.err;
    const auto document = result.json();
    ASSERT_TRUE(document.is_object()) << result.out;
    EXPECT_EQ(document["ok"], false) << document;
    // The document is the whole of the error.
    EXPECT_EQ(result.err, "");
    ASSERT_TRUE(document["error"].is_string()) << document;
    const auto texts = GetParam().texts(context());
    ASSERT_FALSE(texts.empty());
    EXPECT_NE(document["error"].get<std::string>().find(texts.front()), std::string::npos)
        << document;
}

INSTANTIATE_TEST_SUITE_P(Cases, CommandLineErrorTest, ::testing::ValuesIn(kCases),
                         [](const auto& testCase) { return std::string(testCase.param.name); });

// What a run says about a settings path it could not copy: the fixed text or
// which way it failed, then the system's reason and the path on the next line.
class CommandLineErrorsTest : public CommandLineTest {};

TEST_F(CommandLineErrorsTest, AFailedPathNamesItsCauseAndWhetherReadingOrWritingFailed) {
    if (::geteuid() == 0) GTEST_SKIP() << "root may read and write anything";
    authorize(first);
    writeSetting(first, ".config/fish/config.fish", "set -x A 1\n");
    writeSetting(first, ".config/fish/functions/f.fish", "function f; end\n");
    ASSERT_EQ(on(first, {"add", "app", "Fish"}).exitCode, 0);
    const auto functions = first.home() / ".config/fish/functions";

    // A file in a settings folder that cannot be read.
    fs::permissions(functions / "f.fish", fs::perms::none);
    auto backUp = on(first, {"backup"});
    fs::permissions(functions / "f.fish", fs::perms::owner_read | fs::perms::owner_write);
    EXPECT_EQ(backUp.exitCode, 1) << backUp.err;
    EXPECT_NE(backUp.out.find("  .config/fish/functions: Could not be read.\n"
                              "    Permission denied: " +
                              (functions / "f.fish").string() + " (reading)\n"),
              std::string::npos)
        << backUp.out;
    // A settings folder that cannot be read at all keeps its fixed text.
    fs::permissions(functions, fs::perms::none);
    backUp = on(first, {"backup"});
    fs::permissions(functions, fs::perms::owner_all);
    EXPECT_NE(backUp.out.find("The local data cannot be written by the application."),
              std::string::npos)
        << backUp.out;
    EXPECT_NE(backUp.out.find("    Permission denied: " + functions.string() + " (reading)\n"),
              std::string::npos)
        << backUp.out;
    ASSERT_EQ(on(first, {"backup"}).exitCode, 0);

    // An install into a folder that cannot be written names the folder, not
    // the temporary file written there; the document holds the same.
    writeSetting(first, ".config/fish/config.fish", "older\n", 1'500'000'000);
    const auto fish = first.home() / ".config/fish";
    fs::permissions(fish, fs::perms::owner_read | fs::perms::owner_exec);
    const auto install = on(first, {"install"});
    const auto document = jsonOn(first, {"install"}, 1);
    fs::permissions(fish, fs::perms::owner_all);
    EXPECT_NE(install.out.find("  .config/fish/config.fish: Could not be written.\n"
                               "    Permission denied: " +
                               fish.string() + " (writing)\n"),
              std::string::npos)
        << install.out;
    ASSERT_EQ(document["failures"].size(), 1u) << document;
    EXPECT_EQ(document["failures"][0]["causes"][".config/fish/config.fish"],
              nlohmann::json::array({"Permission denied: " + fish.string() + " (writing)"}))
        << document;
}

// A settings file that does not parse is moved aside, never over one moved
// aside before, and the one command that moved it says so.
TEST_F(CommandLineErrorsTest, TheSetAsideSettingsFileIsToldOnceWithWhatWasLost) {
    authorize(first);
    ASSERT_EQ(on(first, {"exclude", "add", ".cache"}).exitCode, 0);
    const auto settings = first.config() / "Quillfen" / "settings.json";
    const auto whole = contentOf(settings);
    ASSERT_NE(whole.find("LocalExcludeFileURLs"), std::string::npos) << whole;
    testsupport::writeFile(settings, whole.substr(0, whole.size() - 3));

    const auto told = first.run({"exclude", "list"});
    EXPECT_EQ(told.exitCode, 0) << told.err;
    ASSERT_EQ(told.warnings().size(), 1u) << told.err;
    const auto warning = told.warnings()[0];
    EXPECT_NE(warning.find("settings.json could not be read; it is kept as "), std::string::npos)
        << warning;
    EXPECT_NE(warning.find("Quillfen/settings.json.unreadable."), std::string::npos) << warning;
    EXPECT_NE(
        warning.find("Lost with it until set again: the exclusions and the access to the disk"),
        std::string::npos)
        << warning;
    EXPECT_EQ(contentOf(first.config() / "Quillfen" / "settings.json.unreadable"),
              whole.substr(0, whole.size() - 3));
    EXPECT_TRUE(first.run({"exclude", "list"}).warnings().empty());

    // A second broken file keeps the first.
    testsupport::writeFile(settings, "{");
    EXPECT_EQ(first.run({"exclude", "list"}).warnings().size(), 1u);
    EXPECT_EQ(contentOf(first.config() / "Quillfen" / "settings.json.unreadable-2"), "{");
    EXPECT_EQ(contentOf(first.config() / "Quillfen" / "settings.json.unreadable"),
              whole.substr(0, whole.size() - 3));
}

// Names come from the user and from packages: printed raw, a control
// character could rewrite the terminal.
TEST_F(CommandLineErrorsTest, ControlCharactersInNamesArePrintedEscaped) {
    authorize(first);
    const auto result = on(first, {"add", "exec", "ba\x1b[2Jsh"});
    EXPECT_EQ(result.exitCode, 3);
    EXPECT_NE(result.err.find("ba\\x1b[2Jsh"), std::string::npos) << result.err;
    EXPECT_EQ(result.err.find('\x1b'), std::string::npos) << result.err;

    writeSetting(first, "odd\tname\x7f.txt", "x\n");
    ASSERT_EQ(on(first, {"add", "file", "odd\tname\x7f.txt"}).exitCode, 0);
    const auto status = on(first, {"status"});
    EXPECT_NE(status.out.find("odd\\tname\\x7f.txt  settings here"), std::string::npos)
        << status.out;
    EXPECT_EQ(jsonOn(first, {"status"})["files"][0]["path"], "odd\tname\x7f.txt");
}

}  // namespace
}  // namespace clitest
