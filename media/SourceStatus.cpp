#include "media/SourceStatus.h"

#include <QCoreApplication>

QString SourceStatusText(SourceStatus status)
{
    switch (status) {
    case SourceStatus::Ok:
        return {};
    case SourceStatus::FileNotFound:
        return QCoreApplication::translate("Source", "File not found");
    case SourceStatus::MediaParsingFailed:
        return QCoreApplication::translate("Source", "Media parsing failed");
    case SourceStatus::FailedToOpenInput:
        return QCoreApplication::translate("Source", "Failed to open input");
    case SourceStatus::FailedToFindStreamInfo:
        return QCoreApplication::translate("Source", "Failed to find stream info");
    }
    return {};
}
