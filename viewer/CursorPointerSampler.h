#pragma once

#include "viewer/PointerSampler.h"

#include <QPoint>

class QThread;

// Polls the global cursor position every millisecond on a short-lived thread of its own (one
// per stroke, at time-critical priority) and reports each new position. The thread only reads
// the cursor; its positions cross to the main thread by queued signals, tagged with the stroke
// they belong to, and there get the keyboard modifiers held. Stop() ends the polling and waits
// for the thread at most 250 ms; positions of an earlier stroke still queued are dropped.
// Main thread only.
class CursorPointerSampler : public PointerSampler
{
    Q_OBJECT

public:
    explicit CursorPointerSampler(QObject* parent = nullptr);
    ~CursorPointerSampler() override;

    void Start() override;
    void Stop() override;
    bool IsActive() const override { return m_active; }

private:
    void OnPolled(const QPoint& position, quint64 generation);

    QThread* m_thread = nullptr;
    QObject* m_worker = nullptr;
    quint64 m_generation = 0;
    bool m_active = false;
};
