#pragma once

#include <QString>

#include <cstdint>

// Whether a source can be used, and why not.
enum class SourceStatus : int32_t {
    Ok = 0,
    FileNotFound = 1,
    MediaParsingFailed = 2,
    FailedToOpenInput = 3,
    FailedToFindStreamInfo = 4,
};

// The user-visible text of a status; empty for Ok.
QString SourceStatusText(SourceStatus status);
