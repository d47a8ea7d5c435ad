// MarkdownHighlighter: colours the raw Markdown text of the notes editor as
// it is typed: headings, emphasis, code spans and fenced code blocks, list
// markers, quotes and links. It only formats what is shown; the document's
// text is never touched, so what the user typed is what the package stores.
//
// Two colour themes come with it, a light one and a dark one, chosen by name;
// `setTheme` re-colours the whole document.
//
// Threads: main thread only (it lives with its document).
#pragma once

#include <QColor>
#include <QString>
#include <QSyntaxHighlighter>
#include <QTextCharFormat>

namespace desktop {

class MarkdownHighlighter : public QSyntaxHighlighter {
    Q_OBJECT

public:
    struct Theme {
        QString name;
        QColor background;
        QColor text;
        QColor heading;
        QColor emphasis;
        QColor code;
        QColor codeBackground;
        QColor marker;
        QColor quote;
        QColor link;

        static const Theme& light();  // "color-brewer"
        static const Theme& dark();   // "tomorrow-night-eighties"
    };

    explicit MarkdownHighlighter(QTextDocument* document);

    const Theme& theme() const { return theme_; }
    void setTheme(const Theme& theme);

protected:
    void highlightBlock(const QString& text) override;

private:
    enum BlockState { normal = -1, insideFence = 1 };

    QTextCharFormat format(const QColor& color, bool bold = false, bool italic = false) const;
    void highlightInline(const QString& text, int from);

    Theme theme_;
};

}  // namespace desktop
