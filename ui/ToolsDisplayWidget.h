#pragma once

#include <QWidget>

class QLabel;

// The left end of the player's bottom row: where the playhead of the timeline shown is
// ("Frame 12 of 240", with the timeline's frame offset), or "No media". Main thread only.
class ToolsDisplayWidget : public QWidget
{
    Q_OBJECT

public:
    explicit ToolsDisplayWidget(QWidget* parent = nullptr);

    QString Text() const;

public slots:
    // `frameCount` 0: nothing shown.
    void SetFrame(int displayFrame, int frameCount, bool noPicture);

private:
    QLabel* m_label;
};
