#include <gtest/gtest.h>

#include <QTemporaryDir>

#include <archive.h>
#include <archive_entry.h>
#include <sys/stat.h>
#include <unistd.h>

#include <nlohmann/json.hpp>

#include "OutfitterTestSupport.h"
#include "outfitter/FeedbackAttachments.h"
#include "outfitter/FeedbackUploader.h"
#include "outfitter/ReleaseConfiguration.h"
#include "support/http/LoopbackHttpServer.h"

using namespace outfitter;
using outfittertest::CountingNetworkAccessManager;
using outfittertest::waitUntil;
using outfittertest::writeFile;
using testsupport::LoopbackHttpServer;
using testsupport::ScriptedAnswer;
using Kind = FeedbackUploaderError::Kind;
namespace fs = std::filesystem;

namespace {

// The names and sizes of the files in a ZIP archive.
std::map<std::string, std::size_t> filesInArchive(const std::string& zip) {
    std::map<std::string, std::size_t> files;
    archive* reader = archive_read_new();
    archive_read_support_format_zip(reader);
    EXPECT_EQ(archive_read_open_memory(reader, zip.data(), zip.size()), ARCHIVE_OK);
    archive_entry* entry = nullptr;
    while (archive_read_next_header(reader, &entry) == ARCHIVE_OK) {
        if (archive_entry_filetype(entry) == AE_IFREG)
            files[archive_entry_pathname(entry)] =
                static_cast<std::size_t>(archive_entry_size(entry));
    }
    archive_read_free(reader);
    return files;
}

std::string fromBase64(const nlohmann::json& text) {
    return QByteArray::fromBase64(QByteArray::fromStdString(text.get<std::string>())).toStdString();
}

class OutfitterFeedbackUploaderTest : public ::testing::Test {
protected:
    ReleaseConfiguration configuration(const QUrl& address, const std::string& key = "KEY") {
        ReleaseConfiguration made;
        made.feedbackServer = address.toString().toStdString();
        made.feedbackKey = key;
        return made;
    }
    std::unique_ptr<FeedbackUploader> uploader() {
        BundleInfo bundle;
        bundle.name = "Quillfen";
        bundle.shortVersion = "1.2.0";
        bundle.version = "214";
        return FeedbackUploader::make(configuration(server.url("/api/1.0/notewell.php")), network,
                                      bundle);
    }
    std::optional<FeedbackUploaderError> upload(const FeedbackContent& content) {
        auto sender = uploader();
        bool done = false;
        std::optional<FeedbackUploaderError> result;
        sender->upload(content, [&](const std::optional<FeedbackUploaderError>& error) {
            result = error;
            done = true;
        });
        EXPECT_FALSE(done);
        EXPECT_TRUE(waitUntil([&] { return done; }));
        return result;
    }
    nlohmann::json lastBody() const {
        return nlohmann::json::parse(server.requests().back().body.toStdString());
    }

    CountingNetworkAccessManager network;
    LoopbackHttpServer server;
    QTemporaryDir folder;
};

TEST_F(OutfitterFeedbackUploaderTest, OnlyANegativeCodeInA2xxAnswerIsSuccess) {
    struct Case {
        const char* name;
        ScriptedAnswer answer;
        std::optional<Kind> expected;
    };
    ScriptedAnswer hangUp;
    hangUp.closeWithoutAnswer = true;
    ScriptedAnswer huge =
        ScriptedAnswer::json("{\"code\":-1,\"message\":\"" + QByteArray(10 << 20, 'x') + "\"}");
    const Case cases[] = {
        {"accepted", ScriptedAnswer::json(R"({"code":-1,"message":"Thanks"})"), std::nullopt},
        {"code 0", ScriptedAnswer::json(R"({"code":0,"message":"No"})"),
         Kind::serverHandlingFailed},
        {"code 3", ScriptedAnswer::json(R"({"code":3,"message":"No"})"),
         Kind::serverHandlingFailed},
        {"no code", ScriptedAnswer::json(R"({"message":"Hm"})"), Kind::responseDecodingFailed},
        {"code as text", ScriptedAnswer::json(R"({"code":"-1","message":"Hm"})"),
         Kind::responseDecodingFailed},
        {"no message", ScriptedAnswer::json(R"({"code":-1})"), Kind::responseDecodingFailed},
        {"not JSON", ScriptedAnswer::json("<html>"), Kind::responseDecodingFailed},
        {"empty", ScriptedAnswer::json(""), Kind::responseIsEmpty},
        {"503", ScriptedAnswer::json(R"({"code":-1,"message":"Thanks"})", 503),
         Kind::serverHandlingFailed},
        {"10 MiB", huge, Kind::responseDecodingFailed},
        {"hung up", hangUp, Kind::dataSendingFailed},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        server.setDefaultAnswer(c.answer);
        const auto error = upload(FeedbackContent{});
        ASSERT_EQ(error.has_value(), c.expected.has_value());
        if (error) {
            EXPECT_EQ(error->kind(), *c.expected);
            EXPECT_FALSE(error->errorDescription().empty());
        }
    }
    // The status and the size are named to the user.
    server.setDefaultAnswer(ScriptedAnswer::json("{}", 503));
    EXPECT_NE(upload(FeedbackContent{})->errorDescription().find("503"), std::string::npos);
}

TEST_F(OutfitterFeedbackUploaderTest, TheRequestCarriesEveryFieldInOrder) {
    server.enqueue(ScriptedAnswer::json(R"({"code":-1,"message":"Thanks"})"));
    FeedbackContent content;
    content.type = FeedbackType::bugReport;
    content.userName = "Zoë & Ana María";
    content.userEmail = "zoe+qf@example.org";
    content.message = "It \"crashed\"\nwhen I pressed ⌘Q & quit.";
    content.system = SystemProfile::Features{
        {"System Version", "Debian 12"}, {"Total Memory", "8 mb"}, {"Langage", "fr-CA"}};
    content.console = "2024-01-02 03:04:05 quillfen: hé\n";
    content.preferences = "{\n  \"A\": true\n}\n";
    ASSERT_FALSE(upload(content));

    const auto& request = server.requests().back();
    EXPECT_EQ(request.method, "POST");
    EXPECT_EQ(request.target, "/api/1.0/notewell.php?apiKey=KEY");
    EXPECT_EQ(request.header("content-type"), "application/json");
    const std::string text = request.body.toStdString();
    std::vector<std::string> keys;
    const auto ordered = nlohmann::ordered_json::parse(text);
    for (const auto& [key, value] : ordered.items())
        keys.push_back(key);
    EXPECT_EQ(keys, (std::vector<std::string>{"bundle_name", "long_version", "short_version",
                                              "bundle_version", "best_version", "type", "user_name",
                                              "user_email", "message", "system", "console",
                                              "preferences"}));
    const nlohmann::json body = lastBody();
    EXPECT_EQ(body["bundle_name"], "Quillfen");
    EXPECT_EQ(body["long_version"], "");
    EXPECT_EQ(body["short_version"], "1.2.0");
    EXPECT_EQ(body["bundle_version"], "214");
    EXPECT_EQ(body["best_version"], "1.2.0");
    EXPECT_EQ(body["type"], "2");
    EXPECT_EQ(body["user_name"], "Zoë & Ana María");
    EXPECT_EQ(body["user_email"], "zoe+qf@example.org");
    EXPECT_EQ(body["message"], content.message);
    EXPECT_LT(text.find("\"System Version\""), text.find("\"Total Memory\""));
    EXPECT_LT(text.find("\"Total Memory\""), text.find("\"Langage\""));
    EXPECT_EQ(body["system"]["Langage"], "fr-CA");
    EXPECT_EQ(fromBase64(body["console"]), *content.console);
    EXPECT_EQ(fromBase64(body["preferences"]), *content.preferences);
    EXPECT_EQ(body["console"].get<std::string>().find('\n'), std::string::npos);
}

TEST_F(OutfitterFeedbackUploaderTest, AReportWithoutInformationHasAnEmptySystemAndNoLogOrSettings) {
    server.enqueue(ScriptedAnswer::json(R"({"code":-1,"message":"Thanks"})"));
    ASSERT_FALSE(upload(FeedbackContent{}));
    const nlohmann::json body = lastBody();
    EXPECT_TRUE(body["system"].is_object() && body["system"].empty());
    EXPECT_FALSE(body.contains("console"));
    EXPECT_FALSE(body.contains("preferences"));
    EXPECT_FALSE(body.contains("attachments"));
}

TEST_F(OutfitterFeedbackUploaderTest, OnlyHttpsOrLoopbackAddressesWithAKeyMakeAnUploader) {
    EXPECT_FALSE(FeedbackUploader::make(configuration(QUrl("http://example.org/api")), network));
    EXPECT_FALSE(FeedbackUploader::make(ReleaseConfiguration{}, network));
    ReleaseConfiguration serverOnly;
    serverOnly.feedbackServer = "https://feedback.example.org/api/1.0/notewell.php";
    EXPECT_FALSE(FeedbackUploader::make(serverOnly, network));

    auto secure = FeedbackUploader::make(
        configuration(QUrl("https://feedback.example.org/api"), "a b#c%"), network);
    ASSERT_TRUE(secure);
    EXPECT_EQ(secure->serverURL().toEncoded(),
              "https://feedback.example.org/api?apiKey=a%20b%23c%25");
    EXPECT_TRUE(FeedbackUploader::make(configuration(server.url("/api")), network));
    EXPECT_EQ(network.requestCount(), 0);
}

TEST_F(OutfitterFeedbackUploaderTest, TextThatIsNotUtf8FailsTheEncodingWithoutARequest) {
    FeedbackContent content;
    content.message = "broken \xff text";
    const auto error = upload(content);
    ASSERT_TRUE(error);
    EXPECT_EQ(error->kind(), Kind::dataEncodingFailed);
    EXPECT_EQ(network.requestCount(), 0);
}

class OutfitterFeedbackAttachmentsTest : public OutfitterFeedbackUploaderTest {
protected:
    fs::path file(const std::string& name, std::size_t bytes) {
        const fs::path path = fs::path(folder.path().toStdString()) / name;
        writeFile(path, std::string(bytes, 'a'));
        return path;
    }
};

TEST_F(OutfitterFeedbackAttachmentsTest, FilesAreTakenInOrderWhileTheTotalStaysWithin19Units) {
    using Reason = FeedbackAttachments::SkipReason;
    const fs::path first = file("first.log", 15 * 1024);
    const fs::path second = file("second.log", 10 * 1024);      // total would be 25 units
    const fs::path small = file("small.txt", 4 * 1024 + 1023);  // 4 units: fits beside the first
    const fs::path huge = file("huge.bin", 20 * 1024);
    const fs::path folderPath = fs::path(folder.path().toStdString()) / "a folder";
    fs::create_directory(folderPath);
    const fs::path link = fs::path(folder.path().toStdString()) / "link.txt";
    fs::create_symlink(small, link);
    const fs::path pipe = fs::path(folder.path().toStdString()) / "pipe";
    ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
    const fs::path missing = fs::path(folder.path().toStdString()) / "missing.txt";

    const auto selection =
        FeedbackAttachments::select({first, second, small, huge, folderPath, link, pipe, missing});
    EXPECT_EQ(selection.kept, (std::vector<fs::path>{first, small}));
    std::vector<std::pair<fs::path, Reason>> skipped;
    for (const auto& s : selection.skipped)
        skipped.emplace_back(s.path, s.reason);
    EXPECT_EQ(skipped,
              (std::vector<std::pair<fs::path, Reason>>{{second, Reason::overTotal},
                                                        {huge, Reason::tooLarge},
                                                        {folderPath, Reason::notRegularFile},
                                                        {link, Reason::notRegularFile},
                                                        {pipe, Reason::notRegularFile},
                                                        {missing, Reason::unreadable}}));
}

TEST_F(OutfitterFeedbackAttachmentsTest, TheKeptFilesTravelAsAZipOfOneFolder) {
    server.enqueue(ScriptedAnswer::json(R"({"code":-1,"message":"Thanks"})"));
    const fs::path sub = fs::path(folder.path().toStdString()) / "sub";
    FeedbackContent content;
    content.attachments = std::vector<fs::path>{file("notes.txt", 100), file("empty.txt", 0)};
    writeFile(sub / "notes.txt", "other");
    content.attachments->push_back(sub / "notes.txt");
    ASSERT_FALSE(upload(content));

    const auto files = filesInArchive(fromBase64(lastBody()["attachments"]));
    ASSERT_EQ(files.size(), 3u);
    const std::string folderName = files.begin()->first.substr(0, 36);
    EXPECT_EQ(files.at(folderName + "/notes.txt"), 100u);
    EXPECT_EQ(files.at(folderName + "/empty.txt"), 0u);
    EXPECT_EQ(files.at(folderName + "/notes 2.txt"), 5u);
}

TEST_F(OutfitterFeedbackAttachmentsTest,
       AFileThatChangedIntoAFolderFailsTheSendInsteadOfVanishing) {
    const fs::path path = file("report.txt", 10);
    FeedbackContent content;
    content.attachments = std::vector<fs::path>{path};
    fs::remove(path);
    fs::create_directory(path);
    const auto error = upload(content);
    ASSERT_TRUE(error);
    EXPECT_EQ(error->kind(), Kind::dataEncodingFailed);
    EXPECT_NE(error->errorDescription().find("report.txt"), std::string::npos);
    EXPECT_TRUE(server.requests().empty());
}

}  // namespace
