#include "desktop/DraftState.h"

#include "protocol/UuidText.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

using namespace Qt::Literals::StringLiterals;

namespace tessel {

namespace {

QString timeText(const QDateTime &time)
{
    return time.toUTC().toString(Qt::ISODateWithMs);
}

QJsonObject encodeComposer(const ComposerDraft &draft)
{
    QJsonObject object{{u"machineID"_s, uuidText(draft.machineID)},
                       {u"projectID"_s, uuidText(draft.projectID)},
                       {u"text"_s, draft.text},
                       {u"updatedAt"_s, timeText(draft.updatedAt)}};
    if (draft.sessionID)
        object.insert(u"sessionID"_s, *draft.sessionID);
    return object;
}

QJsonObject encodeFile(const FileDraft &draft)
{
    const ProjectFileDocumentSnapshot &document = draft.document;
    QJsonObject object{{u"machineID"_s, uuidText(draft.machineID)},
                       {u"projectID"_s, uuidText(draft.projectID)},
                       {u"path"_s, document.path},
                       {u"revision"_s, document.revision},
                       {u"size"_s, document.size},
                       {u"modifiedAt"_s, document.modifiedAt},
                       {u"isMarkdown"_s, document.isMarkdown},
                       {u"draft"_s, draft.draft},
                       {u"updatedAt"_s, timeText(draft.updatedAt)}};
    if (document.languageHint)
        object.insert(u"languageHint"_s, *document.languageHint);
    return object;
}

// Reads the fields of one entry; any missing or mistyped field makes the entry invalid.
class EntryReader
{
public:
    explicit EntryReader(const QJsonValue &value)
        : m_object(value.toObject())
        , m_valid(value.isObject())
    { }

    bool valid() const { return m_valid; }

    QString text(const QString &key)
    {
        const QJsonValue value = m_object.value(key);
        m_valid = m_valid && value.isString();
        return value.toString();
    }

    std::optional<QString> optionalText(const QString &key)
    {
        const QJsonValue value = m_object.value(key);
        if (value.isUndefined() || value.isNull())
            return std::nullopt;
        return text(key);
    }

    QUuid uuid(const QString &key)
    {
        const auto parsed = parseUuidText(text(key));
        m_valid = m_valid && parsed;
        return parsed.value_or(QUuid());
    }

    QDateTime time(const QString &key)
    {
        const QDateTime parsed = QDateTime::fromString(text(key), Qt::ISODateWithMs);
        m_valid = m_valid && parsed.isValid();
        return parsed;
    }

    qint64 integer(const QString &key)
    {
        const QJsonValue value = m_object.value(key);
        const double number = value.toDouble(-1);
        m_valid = m_valid && value.isDouble() && number >= 0 && number <= 9007199254740992.0 &&
            number == double(qint64(number));
        return qint64(number);
    }

    bool boolean(const QString &key)
    {
        const QJsonValue value = m_object.value(key);
        m_valid = m_valid && value.isBool();
        return value.toBool();
    }

private:
    QJsonObject m_object;
    bool m_valid;
};

std::optional<ComposerDraft> decodeComposer(const QJsonValue &value)
{
    EntryReader reader(value);
    ComposerDraft draft{reader.uuid(u"machineID"_s), reader.uuid(u"projectID"_s), reader.optionalText(u"sessionID"_s),
                        reader.text(u"text"_s), reader.time(u"updatedAt"_s)};
    return reader.valid() ? std::optional(draft) : std::nullopt;
}

std::optional<FileDraft> decodeFile(const QJsonValue &value)
{
    EntryReader reader(value);
    FileDraft draft;
    draft.machineID = reader.uuid(u"machineID"_s);
    draft.projectID = reader.uuid(u"projectID"_s);
    draft.document.path = reader.text(u"path"_s);
    draft.document.revision = reader.text(u"revision"_s);
    draft.document.size = reader.integer(u"size"_s);
    draft.document.modifiedAt = reader.text(u"modifiedAt"_s);
    draft.document.languageHint = reader.optionalText(u"languageHint"_s);
    draft.document.isMarkdown = reader.boolean(u"isMarkdown"_s);
    draft.draft = reader.text(u"draft"_s);
    draft.updatedAt = reader.time(u"updatedAt"_s);
    return reader.valid() && !draft.document.path.isEmpty() ? std::optional(draft) : std::nullopt;
}

template<typename Draft>
void decodeEntries(const QJsonValue &array, std::optional<Draft> (*decodeEntry)(const QJsonValue &), qsizetype maxCount,
                   QList<Draft> &into, qsizetype &skipped)
{
    if (!array.isArray()) {
        skipped += array.isUndefined() ? 0 : 1;
        return;
    }
    for (const QJsonValue &value : array.toArray()) {
        const auto draft = decodeEntry(value);
        if (draft && into.size() < maxCount)
            into.append(*draft);
        else
            ++skipped;
    }
}

// Appends the entries newest first while they fit in `budget` bytes, each after a comma.
template<typename Draft>
QByteArray encodeEntries(QList<Draft> drafts, QJsonObject (*encodeEntry)(const Draft &), qsizetype maxCount,
                         qint64 &budget)
{
    std::stable_sort(drafts.begin(), drafts.end(),
                     [](const Draft &left, const Draft &right) { return left.updatedAt > right.updatedAt; });
    QByteArray entries;
    for (const Draft &draft : std::as_const(drafts).first(qMin(maxCount, drafts.size()))) {
        const QByteArray entry = QJsonDocument(encodeEntry(draft)).toJson(QJsonDocument::Compact);
        if (entry.size() + 1 > budget)
            continue;
        budget -= entry.size() + 1;
        entries += (entries.isEmpty() ? QByteArray() : QByteArray(",")) + entry;
    }
    return entries;
}

} // namespace

DraftState::Decoded DraftState::decode(const QByteArray &json)
{
    Decoded decoded;
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(json, &error);
    if (error.error != QJsonParseError::NoError || !document.isObject()) {
        decoded.error = u"not a JSON object"_s;
        return decoded;
    }
    const QJsonObject object = document.object();
    if (object.value(u"version"_s).toInt() != version) {
        decoded.error = u"unknown version"_s;
        return decoded;
    }
    decodeEntries(object.value(u"composerDrafts"_s), &decodeComposer, maxComposerDrafts, decoded.state.composerDrafts,
                  decoded.skippedEntries);
    decodeEntries(object.value(u"fileDrafts"_s), &decodeFile, maxFileDrafts, decoded.state.fileDrafts,
                  decoded.skippedEntries);
    return decoded;
}

QByteArray DraftState::encode(qint64 maxBytes) const
{
    const QByteArray head = "{\"version\":" + QByteArray::number(version) + ",\"composerDrafts\":[";
    const QByteArray middle = "],\"fileDrafts\":[";
    const QByteArray tail = "]}\n";
    qint64 budget = maxBytes - head.size() - middle.size() - tail.size();
    // Files first: an unsaved file is the greater loss.
    const QByteArray files = encodeEntries(fileDrafts, &encodeFile, maxFileDrafts, budget);
    const QByteArray composers = encodeEntries(composerDrafts, &encodeComposer, maxComposerDrafts, budget);
    return head + composers + middle + files + tail;
}

} // namespace tessel
