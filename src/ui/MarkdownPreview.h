#pragma once

#include <QTextBrowser>

namespace tessel {

// A read-only rendering of Markdown text (GitHub dialect). A previewed file is another
// computer's input: it never loads an image or any other resource, local or remote, and
// a link opens in the desktop's browser only when the user clicks it, and only for web
// and mail addresses.
class MarkdownPreview : public QTextBrowser
{
    Q_OBJECT

public:
    explicit MarkdownPreview(QWidget *parent = nullptr);

    void showMarkdown(const QString &markdown);
    // Opens web and mail addresses in the desktop's browser or mail program; nothing else.
    static void openLink(const QUrl &url);
};

} // namespace tessel
