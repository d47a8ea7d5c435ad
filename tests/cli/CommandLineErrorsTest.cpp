// What the program returns and says when something is wrong: with the
// command line, with the package, with access. Each case runs twice, as text
// and with --json, on a computer of its own.
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

}  // namespace
}  // namespace clitest
