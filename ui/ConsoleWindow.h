#pragma once

#include <QWidget>

class ConsoleHighlighter;
class ConsoleOutput;
class QComboBox;
class QLineEdit;
class QPlainTextEdit;

// The log's window: every message of the Logger is appended to a read-only pane, errors and
// warnings tagged and coloured, and the window pops up for the kinds of message chosen under
// "Show on" (setting consoleShowOnType). A command line emits what is typed for the window's
// owner to execute; a script pane emits the script, its line or its selection on
// Ctrl(+Shift/+Alt)+Return.
//
// Messages reach the window queued, whichever thread logged them, so they appear in the order
// they were logged. While the window exists, only errors and warnings are also written to
// standard error (see Logger). Main thread only.
class ConsoleWindow : public QWidget
{
    Q_OBJECT

public:
    // Levels of message, and the "Show on" values: a message pops the window up when its
    // level is at most the chosen value.
    enum Level { Disabled = 0, ErrorLevel = 1, WarningLevel = 2, InfoLevel = 3, OutputLevel = 4 };

    explicit ConsoleWindow(QWidget* parent = nullptr);
    ~ConsoleWindow() override;

    ConsoleOutput* OutputPane() const { return m_output; }
    QPlainTextEdit* ScriptPane() const { return m_script; }
    QLineEdit* CommandField() const { return m_command; }
    QComboBox* ShowOnBox() const { return m_showOn; }
    // The "Show on" value in force.
    int ShowOnType() const;

public slots:
    void Output(const QString& text);
    void Info(const QString& text);
    void Warning(const QString& text);
    void Error(const QString& text);
    void ClearOutput();
    void OnShowOnTypeChanged(int index);
    // Emits the command field's text and clears the field.
    void ExecuteCommand();
    // Emits `script` with paragraph separators turned into line feeds.
    void ScriptExecute(const QString& script);

signals:
    void CommandExecuted(const QString& command);
    void ScriptExecuted(const QString& script);

protected:
    void showEvent(QShowEvent* event) override;
    void moveEvent(QMoveEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void Append(const QString& text, bool newline, int level);
    void PopUp();
    void StoreGeometry();
    // Ctrl+Return in the script pane: true when the key was one of the script keys.
    bool HandleScriptKey(const QKeyEvent* event);

    ConsoleOutput* m_output = nullptr;
    QPlainTextEdit* m_script = nullptr;
    QLineEdit* m_command = nullptr;
    QComboBox* m_showOn = nullptr;
    ConsoleHighlighter* m_highlighter = nullptr;
};
