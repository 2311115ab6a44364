#pragma once

#include "protocol/ProjectFileServiceError.h"

#include <functional>
#include <utility>
#include <variant>

namespace tessel {

// The outcome of one project file operation: its value or the error the user sees.
template<typename T>
class ProjectFileResult
{
public:
    ProjectFileResult(T value)
        : m_outcome(std::move(value))
    { }
    ProjectFileResult(ProjectFileServiceError error)
        : m_outcome(std::move(error))
    { }

    bool hasValue() const { return std::holds_alternative<T>(m_outcome); }
    const T &value() const { return std::get<T>(m_outcome); }
    const ProjectFileServiceError &error() const { return std::get<ProjectFileServiceError>(m_outcome); }

private:
    std::variant<T, ProjectFileServiceError> m_outcome;
};

// Receives the outcome of an asynchronous file operation on the GUI thread.
template<typename T>
using ProjectFileCallback = std::function<void(const ProjectFileResult<T> &)>;

} // namespace tessel
