#pragma once

#include "project/ProjectItem.h"

class Timeline;

// A regular timeline or a source (its source timeline) in the project tree. It owns the
// timeline and forwards its updates and its source's parse with its own id.
class TimelineItem : public ProjectItem
{
    Q_OBJECT

public:
    // Takes `timeline`, or makes an empty regular timeline when it is null. An empty name
    // becomes the source's file name for a source, "New Timeline" otherwise.
    TimelineItem(const QString& name, Timeline* timeline = nullptr, const QUuid& id = QUuid(), QObject* parent = nullptr);

    Kind ItemKind() const override;
    Timeline* GetTimeline() const { return m_timeline; }
    bool IsSource() const { return ItemKind() == SourceKind; }
    // The source's absolute path for a source, the name otherwise.
    QString DisplayPath() const;
    // The source's status text for a source; empty otherwise.
    QString StatusText() const;

signals:
    void TimelineUpdated(const QUuid& id);
    void SourceParsed(const QUuid& id);

public slots:
    void OnTimelineUpdated() { emit TimelineUpdated(Id()); }
    void OnSourceParsed() { emit SourceParsed(Id()); }

private:
    Timeline* m_timeline;
};
