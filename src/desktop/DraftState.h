#pragma once

#include "protocol/ProjectFileTypes.h"

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>
#include <QUuid>

#include <optional>

namespace tessel {

// The text in the composer, kept for the machine, project and (when one was open) session
// it was typed for.
struct ComposerDraft
{
    QUuid machineID;
    QUuid projectID;
    std::optional<QString> sessionID;
    QString text;
    QDateTime updatedAt;

    friend bool operator==(const ComposerDraft &, const ComposerDraft &) = default;
};

// The unsaved text of a project file, with the document as it was read (its content aside),
// so that saving it later still names the revision the edit started from.
struct FileDraft
{
    QUuid machineID;
    QUuid projectID;
    // `content` is not kept.
    ProjectFileDocumentSnapshot document;
    QString draft;
    QDateTime updatedAt;

    friend bool operator==(const FileDraft &, const FileDraft &) = default;
};

// Every kept draft, as stored in the drafts state file: one JSON object
//   {"version": 1,
//    "composerDrafts": [{"machineID", "projectID", "sessionID"?, "text", "updatedAt"}],
//    "fileDrafts": [{"machineID", "projectID", "path", "revision", "size", "modifiedAt",
//                    "languageHint"?, "isMarkdown", "draft", "updatedAt"}]}
// with ids as upper-case UUID text and times as ISO 8601 UTC text, the newest entry first.
struct DraftState
{
    static constexpr int version = 1;
    // Bounds of what is kept; older drafts give way to newer ones.
    static constexpr qsizetype maxComposerDrafts = 32;
    static constexpr qsizetype maxFileDrafts = 16;

    QList<ComposerDraft> composerDrafts;
    QList<FileDraft> fileDrafts;

    struct Decoded;
    // Reads a stored state. Entries that are not as described above are skipped and
    // counted; anything but an object of this version gives an empty state and an error.
    static Decoded decode(const QByteArray &json);
    // The newest drafts that fit in `maxBytes` of JSON, within the count bounds.
    QByteArray encode(qint64 maxBytes) const;

    bool isEmpty() const { return composerDrafts.isEmpty() && fileDrafts.isEmpty(); }
    friend bool operator==(const DraftState &, const DraftState &) = default;
};

struct DraftState::Decoded
{
    DraftState state;
    qsizetype skippedEntries = 0;
    QString error;
};

} // namespace tessel
