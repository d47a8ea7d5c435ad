#include "desktop/MarkdownHighlighter.h"

#include <QRegularExpression>

namespace desktop {

namespace {

// A fence opens and closes a code block: three or more backticks or tildes,
// indented by at most three spaces.
const QRegularExpression fencePattern(QStringLiteral("^ {0,3}(```+|~~~+)"));
// "#Title" counts as a heading as well as "# Title": notes written on other
// computers use both.
const QRegularExpression headingPattern(QStringLiteral("^ {0,3}#{1,6}"));
const QRegularExpression listPattern(QStringLiteral("^\\s*([-*+]|\\d+[.)])(?=\\s)"));
const QRegularExpression quotePattern(QStringLiteral("^ {0,3}>"));
const QRegularExpression rulePattern(QStringLiteral("^ {0,3}([-*_])(\\s*\\1){2,}\\s*$"));

const QRegularExpression codeSpanPattern(QStringLiteral("(`+)(?!`).*?(?<!`)\\1(?!`)"));
const QRegularExpression strongPattern(QStringLiteral("(\\*\\*|__)(?=\\S)(.+?)(?<=\\S)\\1"));
const QRegularExpression emphasisPattern(
    QStringLiteral("(?<![*_\\w])([*_])(?=[^\\s*_])(.+?)(?<=[^\\s*_])\\1(?![*_\\w])"));
const QRegularExpression linkPattern(
    QStringLiteral("!?\\[[^\\]]*\\]\\([^)]*\\)|<(https?|mailto):[^>\\s]+>|https?://[^\\s)>]+"));

}  // namespace

const MarkdownHighlighter::Theme& MarkdownHighlighter::Theme::light() {
    static const Theme theme{"color-brewer",    QColor("#ffffff"), QColor("#222222"),
                             QColor("#3182bd"), QColor("#756bb1"), QColor("#a63603"),
                             QColor("#f3f3f3"), QColor("#e6550d"), QColor("#636363"),
                             QColor("#31a354")};
    return theme;
}

const MarkdownHighlighter::Theme& MarkdownHighlighter::Theme::dark() {
    static const Theme theme{"tomorrow-night-eighties", QColor("#2d2d2d"), QColor("#cccccc"),
                             QColor("#6699cc"),         QColor("#cc99cc"), QColor("#99cc99"),
                             QColor("#393939"),         QColor("#f99157"), QColor("#999999"),
                             QColor("#66cccc")};
    return theme;
}

MarkdownHighlighter::MarkdownHighlighter(QTextDocument* document)
    : QSyntaxHighlighter(document), theme_(Theme::light()) {}

void MarkdownHighlighter::setTheme(const Theme& theme) {
    if (theme.name == theme_.name) return;
    theme_ = theme;
    rehighlight();
}

QTextCharFormat MarkdownHighlighter::format(const QColor& color, bool bold, bool italic) const {
    QTextCharFormat format;
    format.setForeground(color);
    if (bold) format.setFontWeight(QFont::Bold);
    if (italic) format.setFontItalic(true);
    return format;
}

void MarkdownHighlighter::highlightBlock(const QString& text) {
    const bool inFence = previousBlockState() == insideFence;
    QTextCharFormat codeBlock = format(theme_.code);
    codeBlock.setBackground(theme_.codeBackground);
    if (fencePattern.match(text).hasMatch()) {
        setFormat(0, int(text.size()), codeBlock);
        setCurrentBlockState(inFence ? normal : insideFence);
        return;
    }
    if (inFence) {
        setFormat(0, int(text.size()), codeBlock);
        setCurrentBlockState(insideFence);
        return;
    }
    setCurrentBlockState(normal);

    if (headingPattern.match(text).hasMatch()) {
        setFormat(0, int(text.size()), format(theme_.heading, true));
        return;
    }
    if (rulePattern.match(text).hasMatch()) {
        setFormat(0, int(text.size()), format(theme_.marker));
        return;
    }
    if (const auto quote = quotePattern.match(text); quote.hasMatch()) {
        setFormat(0, int(text.size()), format(theme_.quote, false, true));
        setFormat(0, int(quote.capturedEnd()), format(theme_.marker, true));
        highlightInline(text, int(quote.capturedEnd()));
        return;
    }
    int from = 0;
    if (const auto list = listPattern.match(text); list.hasMatch()) {
        setFormat(list.capturedStart(1), int(list.capturedLength(1)), format(theme_.marker, true));
        from = int(list.capturedEnd());
    }
    highlightInline(text, from);
}

void MarkdownHighlighter::highlightInline(const QString& text, int from) {
    // Code spans first: what lies inside one is not emphasis or a link.
    QList<std::pair<int, int>> code;
    auto insideCode = [&](int start) {
        for (const auto& [begin, end] : code)
            if (start >= begin && start < end) return true;
        return false;
    };
    QTextCharFormat span = format(theme_.code);
    span.setBackground(theme_.codeBackground);
    for (auto it = codeSpanPattern.globalMatch(text, from); it.hasNext();) {
        const auto match = it.next();
        code.append({int(match.capturedStart()), int(match.capturedEnd())});
        setFormat(int(match.capturedStart()), int(match.capturedLength()), span);
    }
    auto apply = [&](const QRegularExpression& pattern, auto formatFor) {
        for (auto it = pattern.globalMatch(text, from); it.hasNext();) {
            const auto match = it.next();
            const int start = int(match.capturedStart());
            if (insideCode(start)) continue;
            for (int i = start; i < match.capturedEnd(); ++i) {
                QTextCharFormat merged = this->format(i);
                merged.merge(formatFor());
                setFormat(i, 1, merged);
            }
        }
    };
    apply(strongPattern, [&] { return format(theme_.emphasis, true); });
    apply(emphasisPattern, [&] { return format(theme_.emphasis, false, true); });
    apply(linkPattern, [&] {
        QTextCharFormat link = format(theme_.link);
        link.setFontUnderline(true);
        return link;
    });
}

}  // namespace desktop
