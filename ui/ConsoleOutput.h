#pragma once

#include <QPlainTextEdit>

// The console's read-only message pane. Its context menu clears it or saves its text to a
// log file.
class ConsoleOutput : public QPlainTextEdit
{
    Q_OBJECT

public:
    explicit ConsoleOutput(QWidget* parent = nullptr);

    // Writes the pane's text to `path` (UTF-8); false, with an error logged, when it cannot.
    bool SaveToFile(const QString& path) const;

signals:
    void ClearRequested();

protected:
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    void SaveAs();
};
