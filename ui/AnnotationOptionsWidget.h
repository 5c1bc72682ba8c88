#pragma once

#include <QColor>
#include <QWidget>

class QComboBox;
class QLabel;
class QToolButton;

// The annotation options in the player's top row: the drawing colour (the presets, or any
// other), the active tool's size with steps down and up, and when drawings are shown (on, off
// during playback, off). It only asks; the player panel does, and shows back what is in
// force. Main thread only.
class AnnotationOptionsWidget : public QWidget
{
    Q_OBJECT

public:
    explicit AnnotationOptionsWidget(QWidget* parent = nullptr);

    QToolButton* ColorButton() const { return m_color; }
    QComboBox* VisibilityBox() const { return m_visibility; }
    QString SizeText() const;

public slots:
    void SetColor(const QColor& color);
    void SetToolSize(float size);
    void SetVisibility(int visibility);

signals:
    void ColorRequested(const QColor& color);
    void SizeDecreaseRequested();
    void SizeIncreaseRequested();
    void VisibilityRequested(int visibility);

private:
    void FillColorMenu();

    QToolButton* m_color = nullptr;
    QLabel* m_size = nullptr;
    QComboBox* m_visibility = nullptr;
    QColor m_current;
};
