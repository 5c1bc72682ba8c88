#pragma once

#include <QFrame>

class QLineEdit;

// The text entry of the text tool: a small frameless box over the viewer. Return hands the
// text on (TextAccepted), Escape or leaving it drops it (TextCancelled). Main thread only.
class TextToolPopup : public QFrame
{
    Q_OBJECT

public:
    explicit TextToolPopup(QWidget* parent);

    // Shown `widthScale` x `heightScale` of the parent, centred horizontally, its bottom
    // 20 pixels above the parent's bottom, empty and focused.
    void Open(double widthScale, double heightScale);
    QLineEdit* Editor() const { return m_editor; }
    // Closes the pop-up keeping what was typed (nothing typed: as cancelled).
    void Commit() { Finish(true); }

signals:
    void TextAccepted(const QString& text);
    void TextCancelled();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void Finish(bool accepted);

    QLineEdit* m_editor;
};
