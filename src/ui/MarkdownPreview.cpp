#include "ui/MarkdownPreview.h"

#include <QDesktopServices>

using namespace Qt::Literals::StringLiterals;

namespace tessel {

MarkdownPreview::MarkdownPreview(QWidget *parent)
    : QTextBrowser(parent)
{
    setOpenLinks(false);
    setOpenExternalLinks(false);
    connect(this, &QTextBrowser::anchorClicked, this, &MarkdownPreview::openLink);
    // Every image, style sheet or other resource is answered empty before the document
    // would read a local file or decode an inline one.
    document()->setResourceProvider([](const QUrl &) { return QVariant(QByteArray()); });
}

void MarkdownPreview::showMarkdown(const QString &markdown)
{
    document()->setMarkdown(markdown, QTextDocument::MarkdownDialectGitHub);
}

void MarkdownPreview::openLink(const QUrl &url)
{
    const QString scheme = url.scheme().toLower();
    if (scheme == "https"_L1 || scheme == "http"_L1 || scheme == "mailto"_L1)
        QDesktopServices::openUrl(url);
}

} // namespace tessel
