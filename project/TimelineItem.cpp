#include "project/TimelineItem.h"

#include "project/Source.h"
#include "project/Timeline.h"

#include <QFileInfo>

namespace {

QString ItemName(const QString& name, const Timeline* timeline)
{
    if (!name.isEmpty())
        return name;
    if (timeline && timeline->IsSourceTimeline() && timeline->GetSource())
        return QFileInfo(timeline->GetSource()->Path()).fileName();
    return QStringLiteral("New Timeline");
}

} // namespace

TimelineItem::TimelineItem(const QString& name, Timeline* timeline, const QUuid& id, QObject* parent)
    : ProjectItem(ItemName(name, timeline), id, parent)
    , m_timeline(timeline ? timeline : new Timeline(nullptr, true))
{
    m_timeline->setParent(this);
    connect(m_timeline, &Timeline::TimelineUpdated, this, &TimelineItem::OnTimelineUpdated);
    connect(m_timeline, &Timeline::SourceParsed, this, &TimelineItem::OnSourceParsed);
}

ProjectItem::Kind TimelineItem::ItemKind() const
{
    return m_timeline->IsSourceTimeline() ? SourceKind : TimelineKind;
}

QString TimelineItem::DisplayPath() const
{
    const Source* source = IsSource() ? m_timeline->GetSource() : nullptr;
    return source ? source->Path() : Name();
}

QString TimelineItem::StatusText() const
{
    const Source* source = IsSource() ? m_timeline->GetSource() : nullptr;
    return source ? source->StatusText() : QString();
}
