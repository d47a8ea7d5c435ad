#include "outfitter/Appcast.h"

#include <QXmlStreamReader>
#include <QXmlStreamWriter>

#include <cctype>
#include <charconv>

#include "outfitter/UpdateError.h"

namespace outfitter {

namespace {

[[noreturn]] void refuse(const QString& why) {
    throw UpdateError(UpdateError::Kind::feedUnreadable, why.toStdString());
}

std::string textOf(QXmlStreamReader& reader) {
    return reader.readElementText(QXmlStreamReader::IncludeChildElements).trimmed().toStdString();
}

std::optional<std::int64_t> lengthOf(QStringView text) {
    const std::string digits = text.trimmed().toString().toStdString();
    std::int64_t value = 0;
    const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
    if (digits.empty() || error != std::errc() || end != digits.data() + digits.size() || value < 0)
        return std::nullopt;
    return value;
}

bool isSparkle(const QXmlStreamReader& reader) {
    return reader.namespaceUri() == QLatin1String(Appcast::sparkleNamespace);
}

bool isForLinux(const std::string& os) {
    return os.empty() || os == "linux";
}

void readEnclosure(QXmlStreamReader& reader, AppcastItem& item) {
    const QXmlStreamAttributes attributes = reader.attributes();
    const QString sparkle = QLatin1String(Appcast::sparkleNamespace);
    const std::string os = attributes.value(sparkle, QLatin1String("os")).toString().toStdString();
    // An item meant for several systems may carry one enclosure each.
    if (!item.enclosureURL.empty() && isForLinux(item.os)) {
        reader.skipCurrentElement();
        return;
    }
    item.os = os;
    item.enclosureURL = attributes.value(QLatin1String("url")).toString().trimmed().toStdString();
    item.enclosureLength = lengthOf(attributes.value(QLatin1String("length")));
    item.enclosureType = attributes.value(QLatin1String("type")).toString().toStdString();
    item.edSignature =
        attributes.value(sparkle, QLatin1String("edSignature")).toString().trimmed().toStdString();
    if (item.version.empty())
        item.version =
            attributes.value(sparkle, QLatin1String("version")).toString().trimmed().toStdString();
    if (item.shortVersion.empty())
        item.shortVersion = attributes.value(sparkle, QLatin1String("shortVersionString"))
                                .toString()
                                .trimmed()
                                .toStdString();
    reader.skipCurrentElement();
}

AppcastItem readItem(QXmlStreamReader& reader) {
    AppcastItem item;
    while (reader.readNextStartElement()) {
        const QStringView name = reader.name();
        if (isSparkle(reader)) {
            if (name == QLatin1String("version"))
                item.version = textOf(reader);
            else if (name == QLatin1String("shortVersionString"))
                item.shortVersion = textOf(reader);
            else if (name == QLatin1String("releaseNotesLink"))
                item.releaseNotesLink = textOf(reader);
            else
                reader.skipCurrentElement();
        } else if (!reader.namespaceUri().isEmpty()) {
            reader.skipCurrentElement();
        } else if (name == QLatin1String("title")) {
            item.title = textOf(reader);
        } else if (name == QLatin1String("link")) {
            item.link = textOf(reader);
        } else if (name == QLatin1String("description")) {
            item.releaseNotes = textOf(reader);
        } else if (name == QLatin1String("pubDate")) {
            item.pubDate = textOf(reader);
        } else if (name == QLatin1String("enclosure")) {
            readEnclosure(reader, item);
        } else {
            reader.skipCurrentElement();
        }
    }
    return item;
}

void readChannel(QXmlStreamReader& reader, Appcast& appcast) {
    while (reader.readNextStartElement()) {
        const QStringView name = reader.name();
        if (!reader.namespaceUri().isEmpty())
            reader.skipCurrentElement();
        else if (name == QLatin1String("title"))
            appcast.title = textOf(reader);
        else if (name == QLatin1String("link"))
            appcast.link = textOf(reader);
        else if (name == QLatin1String("description"))
            appcast.description = textOf(reader);
        else if (name == QLatin1String("item"))
            appcast.items.push_back(readItem(reader));
        else
            reader.skipCurrentElement();
    }
}

void appendDecodedEntity(std::string_view entity, std::string& out) {
    if (entity == "amp")
        out += '&';
    else if (entity == "lt")
        out += '<';
    else if (entity == "gt")
        out += '>';
    else if (entity == "quot")
        out += '"';
    else if (entity == "apos" || entity == "#39")
        out += '\'';
    else if (entity == "nbsp")
        out += ' ';
    else
        out += "&" + std::string(entity) + ";";
}

bool breaksLine(std::string_view tag) {
    for (std::string_view name : {"br", "p", "div", "ul", "ol", "h1", "h2", "h3", "h4", "h5", "h6",
                                  "tr", "pre", "blockquote"})
        if (tag == name) return true;
    return false;
}

std::string trimmed(const std::string& text) {
    const std::size_t first = text.find_first_not_of(" \t\r\n");
    if (first == std::string::npos) return {};
    const std::size_t last = text.find_last_not_of(" \t\r\n");
    return text.substr(first, last - first + 1);
}

}  // namespace

std::string AppcastItem::plainReleaseNotes() const {
    if (releaseNotes.find('<') == std::string::npos) return trimmed(releaseNotes);
    std::string out;
    std::size_t i = 0;
    const std::string& html = releaseNotes;
    while (i < html.size()) {
        const char c = html[i];
        if (c == '<') {
            const std::size_t end = html.find('>', i);
            if (end == std::string::npos) break;
            std::string tag = html.substr(i + 1, end - i - 1);
            const bool closing = !tag.empty() && tag[0] == '/';
            if (closing) tag.erase(0, 1);
            const std::size_t nameEnd = tag.find_first_of(" \t\r\n/");
            std::string name = tag.substr(0, nameEnd);
            for (char& letter : name)
                letter = static_cast<char>(std::tolower(static_cast<unsigned char>(letter)));
            if (name == "li") {
                if (!closing) out += "\n- ";
            } else if (breaksLine(name)) {
                out += '\n';
            }
            i = end + 1;
        } else if (c == '&') {
            const std::size_t end = html.find(';', i);
            if (end == std::string::npos || end - i > 8) {
                out += c;
                ++i;
                continue;
            }
            appendDecodedEntity(std::string_view(html).substr(i + 1, end - i - 1), out);
            i = end + 1;
        } else if (c == ' ' || c == '\t' || c == '\r' || c == '\n') {
            // HTML spacing: any run of white space is one space.
            if (!out.empty() && out.back() != ' ' && out.back() != '\n') out += ' ';
            ++i;
        } else {
            out += c;
            ++i;
        }
    }
    // At most one empty line in a row, and no space at a line's start or end.
    std::string tidy;
    int newlines = 0;
    for (char c : out) {
        if (c == '\n') {
            while (!tidy.empty() && tidy.back() == ' ')
                tidy.pop_back();
            if (++newlines <= 2) tidy += c;
        } else if (c == ' ' && (tidy.empty() || tidy.back() == '\n')) {
            continue;
        } else {
            newlines = 0;
            tidy += c;
        }
    }
    return trimmed(tidy);
}

Appcast Appcast::parse(const QByteArray& document) {
    QXmlStreamReader reader(document);
    while (reader.readNext() != QXmlStreamReader::StartElement) {
        if (reader.tokenType() == QXmlStreamReader::DTD)
            refuse(QStringLiteral("a document type declaration is not allowed"));
        if (reader.hasError()) refuse(reader.errorString());
        if (reader.atEnd()) refuse(QStringLiteral("no root element"));
    }
    if (reader.name() != QLatin1String("rss") || !reader.namespaceUri().isEmpty())
        refuse(QStringLiteral("the root element is <%1>, not <rss>").arg(reader.qualifiedName()));
    Appcast appcast;
    bool sawChannel = false;
    while (reader.readNextStartElement()) {
        if (reader.name() == QLatin1String("channel") && reader.namespaceUri().isEmpty()) {
            sawChannel = true;
            readChannel(reader, appcast);
        } else {
            reader.skipCurrentElement();
        }
    }
    while (!reader.atEnd() && !reader.hasError())
        reader.readNext();
    if (reader.hasError())
        refuse(QStringLiteral("line %1: %2").arg(reader.lineNumber()).arg(reader.errorString()));
    if (!sawChannel) refuse(QStringLiteral("no <channel>"));
    return appcast;
}

QByteArray Appcast::write() const {
    QByteArray document;
    QXmlStreamWriter writer(&document);
    writer.setAutoFormatting(true);
    writer.setAutoFormattingIndent(2);
    const QString sparkle = QLatin1String(sparkleNamespace);
    auto text = [&writer](const char* name, const std::string& value) {
        if (!value.empty())
            writer.writeTextElement(QLatin1String(name), QString::fromStdString(value));
    };
    auto sparkleText = [&writer, &sparkle](const char* name, const std::string& value) {
        if (!value.empty())
            writer.writeTextElement(sparkle, QLatin1String(name), QString::fromStdString(value));
    };

    writer.writeStartDocument();
    writer.writeNamespace(sparkle, QStringLiteral("sparkle"));
    writer.writeStartElement(QStringLiteral("rss"));
    writer.writeAttribute(QStringLiteral("version"), QStringLiteral("2.0"));
    writer.writeStartElement(QStringLiteral("channel"));
    text("title", title);
    text("link", link);
    text("description", description);
    for (const AppcastItem& item : items) {
        writer.writeStartElement(QStringLiteral("item"));
        text("title", item.title);
        text("link", item.link);
        sparkleText("version", item.version);
        sparkleText("shortVersionString", item.shortVersion);
        text("description", item.releaseNotes);
        sparkleText("releaseNotesLink", item.releaseNotesLink);
        text("pubDate", item.pubDate);
        if (!item.enclosureURL.empty()) {
            writer.writeEmptyElement(QStringLiteral("enclosure"));
            writer.writeAttribute(QStringLiteral("url"), QString::fromStdString(item.enclosureURL));
            if (item.enclosureLength)
                writer.writeAttribute(QStringLiteral("length"),
                                      QString::number(*item.enclosureLength));
            if (!item.enclosureType.empty())
                writer.writeAttribute(QStringLiteral("type"),
                                      QString::fromStdString(item.enclosureType));
            if (!item.os.empty())
                writer.writeAttribute(sparkle, QStringLiteral("os"),
                                      QString::fromStdString(item.os));
            if (!item.edSignature.empty())
                writer.writeAttribute(sparkle, QStringLiteral("edSignature"),
                                      QString::fromStdString(item.edSignature));
        }
        writer.writeEndElement();
    }
    writer.writeEndElement();
    writer.writeEndElement();
    writer.writeEndDocument();
    return document;
}

const AppcastItem* Appcast::newestItemAfter(const UpdateVersion& running) const {
    const AppcastItem* newest = nullptr;
    std::optional<UpdateVersion> newestVersion;
    for (const AppcastItem& item : items) {
        const auto version = item.parsedVersion();
        if (!version || !(*version > running) || !isForLinux(item.os) || item.enclosureURL.empty())
            continue;
        if (!newestVersion || *version > *newestVersion) {
            newest = &item;
            newestVersion = version;
        }
    }
    return newest;
}

}  // namespace outfitter
