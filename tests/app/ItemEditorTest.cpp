// The item-editing rules every front end shares, through the open package.
#include "app/ItemEditor.h"

#include <gtest/gtest.h>

#include "app/ViewerTestHelpers.h"

using namespace quillfen;
using namespace quillfen::testing;

namespace {

class ItemEditorTest : public ViewerFixture {
protected:
    // The record of `key` as the package holds it now: its switch and comment.
    std::optional<std::pair<bool, std::optional<std::string>>> recorded(ItemKind kind,
                                                                        const std::string& key) {
        return withItemRecord(
            kind, [&]<class Item>() -> std::optional<std::pair<bool, std::optional<std::string>>> {
                const auto item = file->item<Item>(key);
                if (!item) return std::nullopt;
                return std::pair(item->isEnabled, item->comment);
            });
    }
};

}  // namespace

TEST_F(ItemEditorTest, EveryKindIsRecordedSwitchedAndRemovedKeepingItsComment) {
    writeLocal("notes/todo.txt");
    struct Case {
        ItemKind kind;
        std::string known;  // as given
        std::string key;    // as recorded
        std::string unknown;
        std::string refusal;
    } cases[] = {
        {ItemKind::app, "Alpha", "Alpha", "Nowhere",
         "Nowhere: no application of that name in the catalog or installed"},
        {ItemKind::exec, "Vim", "Vim", "Vi",
         "Vi: no executable of that name in the catalog; did you mean Vim?"},
        {ItemKind::file, "notes/todo.txt/", "notes/todo.txt", "notes/missing",
         "notes/missing: no such file or folder"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.key);
        withItemRecord(c.kind, [&]<class Item>() {
            file->setItems(std::vector<Item>{Item{c.key, false, "mine"}});
        });
        ItemEditor editor(file);

        auto outcome = editor.add(c.kind, {c.unknown, c.known});
        EXPECT_EQ(outcome.applied, 1u);
        EXPECT_EQ(outcome.refused, std::vector<std::string>{c.refusal});
        EXPECT_EQ(recorded(c.kind, c.key), std::pair(true, std::optional<std::string>("mine")));

        outcome = editor.setEnabled(c.kind, {c.known}, false);
        EXPECT_EQ(outcome.applied, 1u);
        EXPECT_TRUE(outcome.refused.empty());
        EXPECT_EQ(recorded(c.kind, c.key), std::pair(false, std::optional<std::string>("mine")));

        outcome = editor.remove(c.kind, {c.known, c.unknown});
        EXPECT_EQ(outcome.applied, 1u);
        EXPECT_EQ(outcome.refused, std::vector<std::string>{c.unknown + ": not in the package"});
        EXPECT_FALSE(recorded(c.kind, c.key));
    }
}

TEST_F(ItemEditorTest, SwitchingRecordsAKnownItemAndRefusesWhatThePackageCannotHold) {
    ItemEditor editor(file);
    auto outcome = editor.setEnabled(ItemKind::app, {"Mango", "Caf\xE9", "Nowhere"}, true);
    EXPECT_EQ(outcome.applied, 1u);
    EXPECT_EQ(
        outcome.refused,
        (std::vector<std::string>{
            "Caf\xE9: not UTF-8; the package cannot hold this name",
            "Nowhere: no application of that name in the package, the catalog or installed"}));
    EXPECT_EQ(recorded(ItemKind::app, "Mango"), std::pair(true, std::optional<std::string>()));
    EXPECT_EQ(file->appItems().size(), 1u);

    outcome = editor.setEnabled(ItemKind::exec, {"curl", "nocurl"}, false);
    EXPECT_EQ(outcome.refused,
              std::vector<std::string>{
                  "nocurl: no executable of that name in the package or the catalog; did you "
                  "mean curl?"});
    EXPECT_EQ(recorded(ItemKind::exec, "curl"), std::pair(false, std::optional<std::string>()));
}

// Names are taken whatever their case, as known names spell them, and a name
// of the other kind is refused as such, for add, switch and remove alike.
TEST_F(ItemEditorTest, NamesMatchRegardlessOfCaseAndTheOtherKindIsNamed) {
    ItemEditor editor(file);
    auto outcome = editor.add(ItemKind::exec, {"git", "NANO"});
    EXPECT_EQ(outcome.applied, 2u);
    EXPECT_EQ(outcome.notices,
              (std::vector<std::string>{"git: taken as Git", "NANO: taken as Nano"}));
    EXPECT_TRUE(recorded(ItemKind::exec, "Git"));
    EXPECT_FALSE(recorded(ItemKind::exec, "git"));

    // A record is found by any case; the package keeps one record.
    outcome = editor.setEnabled(ItemKind::exec, {"GIT"}, false);
    EXPECT_EQ(outcome.applied, 1u);
    EXPECT_EQ(recorded(ItemKind::exec, "Git"), std::pair(false, std::optional<std::string>()));
    EXPECT_EQ(file->execItems().size(), 2u);

    outcome = editor.add(ItemKind::app, {"alpha", "Git"});
    EXPECT_EQ(outcome.applied, 1u);
    EXPECT_TRUE(recorded(ItemKind::app, "Alpha"));
    EXPECT_EQ(outcome.refused, std::vector<std::string>{"Git: an executable, not an application"});
    ASSERT_EQ(outcome.otherKind.size(), 1u);
    EXPECT_EQ(outcome.otherKind[0].second, (CatalogName{"Git", ItemKind::exec}));

    outcome = editor.add(ItemKind::exec, {"alpha"});
    EXPECT_EQ(outcome.refused,
              std::vector<std::string>{"alpha: Alpha is an application, not an executable"});

    outcome = editor.remove(ItemKind::app, {"git"});
    EXPECT_EQ(outcome.applied, 0u);
    EXPECT_EQ(outcome.refused,
              std::vector<std::string>{
                  "git: not in the package as an application; it records Git as an executable"});
    ASSERT_EQ(outcome.otherKind.size(), 1u);
    EXPECT_EQ(outcome.otherKind[0].second, (CatalogName{"Git", ItemKind::exec}));
    EXPECT_EQ(editor.remove(ItemKind::exec, {"gIt"}).applied, 1u);
    EXPECT_FALSE(recorded(ItemKind::exec, "Git"));
}

TEST_F(ItemEditorTest, ACustomFileIsNeitherTheHomeNorThePackageNorAroundThem) {
    writeLocal(".zshrc");
    const fs::path package = file->url();
    fs::create_directories(package / "Data");
    ItemEditor editor(file);
    const auto outcome = editor.add(
        ItemKind::file,
        {home().string(), ".", (package / "Data").string(), (home() / ".zshrc").string()});
    EXPECT_EQ(outcome.applied, 1u);
    ASSERT_EQ(outcome.refused.size(), 3u);
    EXPECT_NE(outcome.refused[0].find("the home folder"), std::string::npos);
    EXPECT_NE(outcome.refused[2].find("cannot back up itself"), std::string::npos);
    // An absolute location in the home folder is recorded by its settings path.
    EXPECT_EQ(recorded(ItemKind::file, ".zshrc"), std::pair(true, std::optional<std::string>()));
    EXPECT_EQ(ItemEditor::customFileLocation("notes/"), home() / "notes");
}
