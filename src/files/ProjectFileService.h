#pragma once

#include "files/ProjectFileResult.h"
#include "protocol/GatewayClientEnvelope.h"
#include "protocol/GatewayServerEnvelope.h"
#include "protocol/ProjectFileTypes.h"

#include <QStringList>

#include <chrono>
#include <optional>

class QObject;

namespace tessel {

struct MachineProfile;
struct ProjectProfile;

// Every project file request (list, read, write) goes to the machine's gateway on a socket
// of its own, so file browsing never touches the chat connection. All operations run on
// the GUI thread and call back from the event loop, never before they return; the callback
// is dropped when `context` (required, never null) is destroyed first, but the request
// still runs to its end and closes its socket. In mock mode the mock store answers.
namespace ProjectFileService {

// How long a request may take from its start to its reply.
inline constexpr std::chrono::milliseconds requestTimeout{15000};

// True when the launch arguments ask for the mock files store.
bool isUITestMockFilesEnabled();
bool isUITestMockFilesEnabled(const QStringList &arguments);

// Sends `request` and delivers the reply carrying its id whose type is in `responseTypes`.
void performRequest(const MachineProfile &machine, const GatewayClientEnvelope &request,
                    const QStringList &responseTypes, QObject *context,
                    ProjectFileCallback<GatewayServerEnvelope> callback,
                    std::chrono::milliseconds timeout = requestTimeout);

void listDirectory(const MachineProfile &machine, const ProjectProfile &project, const QString &path,
                   bool includeHidden, QObject *context, ProjectFileCallback<ProjectDirectoryResult> callback);
void readDocument(const MachineProfile &machine, const ProjectProfile &project, const QString &path, QObject *context,
                  ProjectFileCallback<ProjectFileDocumentSnapshot> callback);
void writeDocument(const MachineProfile &machine, const ProjectProfile &project, const QString &path,
                   const QString &content, const std::optional<QString> &expectedRevision, QObject *context,
                   ProjectFileCallback<ProjectFileSaveResult> callback);

// Reply mappings: a reply missing a required field is malformedResponse; an absent path
// or flag falls back to what was asked for.
ProjectFileResult<ProjectDirectoryResult> directoryResult(const GatewayServerEnvelope &reply,
                                                          const QString &requestedPath, bool requestedIncludeHidden);
ProjectFileResult<ProjectFileDocumentSnapshot> documentSnapshot(const GatewayServerEnvelope &reply,
                                                                const QString &requestedPath);
ProjectFileResult<ProjectFileSaveResult> saveResult(const GatewayServerEnvelope &reply, const QString &documentPath);

} // namespace ProjectFileService

} // namespace tessel
