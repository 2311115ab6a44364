#include "files/ProjectFileService.h"

#include "files/ProjectFileRequest.h"
#include "files/UITestProjectFilesStore.h"
#include "storage/MachineProfile.h"

#include <QCoreApplication>
#include <QTimer>

using namespace Qt::Literals::StringLiterals;

namespace tessel::ProjectFileService {

namespace {

// Hands a result that is known at once to the callback from the event loop, like a reply.
template<typename T>
void deliverLater(QObject *context, ProjectFileCallback<T> callback, ProjectFileResult<T> result)
{
    QTimer::singleShot(0, context, [callback = std::move(callback), result = std::move(result)] { callback(result); });
}

// Requests the reply of `type` and maps it with `map` before calling back.
template<typename T, typename Map>
void performMapped(const MachineProfile &machine, const GatewayClientEnvelope &request, QObject *context,
                   ProjectFileCallback<T> callback, Map map)
{
    performRequest(machine, request, {request.type}, context,
                   [callback = std::move(callback), map = std::move(map)](const auto &reply) {
                       callback(reply.hasValue() ? map(reply.value()) : ProjectFileResult<T>(reply.error()));
                   });
}

} // namespace

bool isUITestMockFilesEnabled()
{
    return isUITestMockFilesEnabled(QCoreApplication::arguments());
}

bool isUITestMockFilesEnabled(const QStringList &arguments)
{
    return arguments.contains("UITestsMockFiles"_L1) || arguments.contains("UITestsMockChat"_L1);
}

void performRequest(const MachineProfile &machine, const GatewayClientEnvelope &request,
                    const QStringList &responseTypes, QObject *context,
                    ProjectFileCallback<GatewayServerEnvelope> callback, std::chrono::milliseconds timeout)
{
    ProjectFileRequest::start(machine, request, responseTypes, timeout, context, std::move(callback));
}

void listDirectory(const MachineProfile &machine, const ProjectProfile &project, const QString &path,
                   bool includeHidden, QObject *context, ProjectFileCallback<ProjectDirectoryResult> callback)
{
    if (isUITestMockFilesEnabled())
        return deliverLater(context, std::move(callback), UITestProjectFilesStore::shared().list(path, includeHidden));
    performMapped(machine, GatewayClientEnvelope::listProjectFiles(trimmedCwd(project.directory), path, includeHidden),
                  context, std::move(callback), [path, includeHidden](const GatewayServerEnvelope &reply) {
                      return directoryResult(reply, path, includeHidden);
                  });
}

void readDocument(const MachineProfile &machine, const ProjectProfile &project, const QString &path, QObject *context,
                  ProjectFileCallback<ProjectFileDocumentSnapshot> callback)
{
    if (isUITestMockFilesEnabled())
        return deliverLater(context, std::move(callback), UITestProjectFilesStore::shared().read(path));
    performMapped(machine, GatewayClientEnvelope::readProjectFile(trimmedCwd(project.directory), path), context,
                  std::move(callback),
                  [path](const GatewayServerEnvelope &reply) { return documentSnapshot(reply, path); });
}

void writeDocument(const MachineProfile &machine, const ProjectProfile &project, const QString &path,
                   const QString &content, const std::optional<QString> &expectedRevision, QObject *context,
                   ProjectFileCallback<ProjectFileSaveResult> callback)
{
    if (isUITestMockFilesEnabled()) {
        auto &store = UITestProjectFilesStore::shared();
        return deliverLater(context, std::move(callback),
                            store.write(path, content, expectedRevision.value_or(QString())));
    }
    performMapped(
        machine,
        GatewayClientEnvelope::writeProjectFile(trimmedCwd(project.directory), path, content, expectedRevision),
        context, std::move(callback), [path](const GatewayServerEnvelope &reply) { return saveResult(reply, path); });
}

ProjectFileResult<ProjectDirectoryResult> directoryResult(const GatewayServerEnvelope &reply,
                                                          const QString &requestedPath, bool requestedIncludeHidden)
{
    if (!reply.entries)
        return ProjectFileServiceError::malformedResponse();
    return ProjectDirectoryResult{reply.path.value_or(requestedPath), *reply.entries,
                                  reply.includeHidden.value_or(requestedIncludeHidden)};
}

ProjectFileResult<ProjectFileDocumentSnapshot> documentSnapshot(const GatewayServerEnvelope &reply,
                                                                const QString &requestedPath)
{
    if (!reply.content || !reply.revision || !reply.size || !reply.modifiedAt)
        return ProjectFileServiceError::malformedResponse();
    return ProjectFileDocumentSnapshot{reply.path.value_or(requestedPath),
                                       *reply.content,
                                       *reply.revision,
                                       *reply.size,
                                       *reply.modifiedAt,
                                       reply.languageHint,
                                       reply.isMarkdown.value_or(false)};
}

ProjectFileResult<ProjectFileSaveResult> saveResult(const GatewayServerEnvelope &reply, const QString &documentPath)
{
    if (!reply.revision || !reply.size || !reply.modifiedAt)
        return ProjectFileServiceError::malformedResponse();
    return ProjectFileSaveResult{reply.path.value_or(documentPath), *reply.revision, *reply.size, *reply.modifiedAt};
}

} // namespace tessel::ProjectFileService
