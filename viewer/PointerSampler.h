#pragma once

#include <QObject>
#include <QPoint>

// Where the pointer is while a stroke is drawn, sampled faster than mouse-move events come.
// A sampler only samples: it reports global positions with the modifiers held, on the main
// thread, between Start() and Stop(). Mapping a sample into the picture and building the stroke
// are the caller's, on the main thread. A sample taken before Stop() but not yet delivered when
// Stop() returns is dropped, so a finished stroke is never extended. Main thread only; an
// implementation may sample on a thread of its own.
class PointerSampler : public QObject
{
    Q_OBJECT

public:
    using QObject::QObject;
    ~PointerSampler() override = default;

    virtual void Start() = 0;
    virtual void Stop() = 0;
    virtual bool IsActive() const = 0;

signals:
    void Sampled(const QPoint& globalPosition, Qt::KeyboardModifiers modifiers);
};
