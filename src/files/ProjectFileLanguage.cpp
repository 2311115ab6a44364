#include "files/ProjectFileLanguage.h"

#include <QHash>

using namespace Qt::Literals::StringLiterals;

namespace tessel::ProjectFileLanguage {

namespace {

const QHash<QString, QString> &hintsByExtension()
{
    static const QHash<QString, QString> hints = [] {
        const std::initializer_list<std::pair<QStringList, QString>> groups = {
            {{u"md"_s, u"markdown"_s}, u"markdown"_s},
            {{u"swift"_s}, u"swift"_s},
            {{u"json"_s}, u"json"_s},
            {{u"js"_s, u"mjs"_s, u"cjs"_s}, u"javascript"_s},
            {{u"ts"_s, u"mts"_s, u"cts"_s}, u"typescript"_s},
            {{u"jsx"_s}, u"jsx"_s},
            {{u"tsx"_s}, u"tsx"_s},
            {{u"py"_s}, u"python"_s},
            {{u"sh"_s, u"bash"_s, u"zsh"_s}, u"bash"_s},
            {{u"yml"_s, u"yaml"_s}, u"yaml"_s},
            {{u"toml"_s}, u"toml"_s},
            {{u"html"_s, u"htm"_s}, u"html"_s},
            {{u"css"_s}, u"css"_s},
            {{u"scss"_s}, u"scss"_s},
            {{u"c"_s, u"h"_s}, u"c"_s},
            {{u"cc"_s, u"cpp"_s, u"cxx"_s, u"hh"_s, u"hpp"_s, u"hxx"_s}, u"cpp"_s},
            {{u"go"_s}, u"go"_s},
            {{u"rs"_s}, u"rust"_s},
            {{u"sql"_s}, u"sql"_s},
        };
        QHash<QString, QString> table;
        for (const auto &[extensions, hint] : groups) {
            for (const QString &extension : extensions)
                table.insert(extension, hint);
        }
        return table;
    }();
    return hints;
}

// The text after the last "." of the last path component. A name that is only a leading
// dot and a word (".gitignore") has no extension, like a name without a dot.
QString pathExtension(const QString &path)
{
    const QString name = path.section(u'/', -1);
    const qsizetype dot = name.lastIndexOf(u'.');
    if (dot <= 0)
        return {};
    return name.mid(dot + 1);
}

} // namespace

std::optional<QString> hint(const QString &path)
{
    const auto found = hintsByExtension().constFind(pathExtension(path).toLower());
    if (found == hintsByExtension().constEnd())
        return std::nullopt;
    return *found;
}

} // namespace tessel::ProjectFileLanguage
