#include "ui/ConsoleWindow.h"

#include "core/Logger.h"
#include "core/Settings.h"
#include "ui/ConsoleHighlighter.h"
#include "ui/ConsoleOutput.h"

#include <QComboBox>
#include <QFontDatabase>
#include <QHBoxLayout>
#include <QIcon>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QScrollBar>
#include <QShowEvent>
#include <QSplitter>
#include <QTextCursor>
#include <QVBoxLayout>

ConsoleWindow::ConsoleWindow(QWidget* parent)
    : QWidget(parent, Qt::Window)
{
    setWindowTitle(QStringLiteral("Console"));
    setWindowIcon(QIcon(QStringLiteral(":/icons/application_plvx2.png")));
    setMinimumWidth(300);
    resize(720, 480); // until a stored geometry says otherwise

    const QFont fixed = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    m_output = new ConsoleOutput(this);
    m_output->setFont(fixed);
    m_highlighter = new ConsoleHighlighter(m_output->document());
    m_script = new QPlainTextEdit(this);
    m_script->setFont(fixed);
    m_script->installEventFilter(this);
    m_command = new QLineEdit(this);
    m_command->setFont(fixed);

    m_showOn = new QComboBox(this);
    m_showOn->addItem(QStringLiteral("Disabled"), Disabled);
    m_showOn->addItem(QStringLiteral("Errors Only"), ErrorLevel);
    m_showOn->addItem(QStringLiteral("Errors and Warnings"), WarningLevel);
    m_showOn->addItem(QStringLiteral("Errors, Warnings and Info"), InfoLevel);
    m_showOn->addItem(QStringLiteral("Any Output"), OutputLevel);
    const int stored = Settings::Get().consoleShowOnType;
    m_showOn->setCurrentIndex(stored >= Disabled && stored <= OutputLevel ? m_showOn->findData(stored)
                                                                          : m_showOn->findData(ErrorLevel));

    auto* top = new QHBoxLayout;
    top->setContentsMargins(0, 0, 0, 0);
    top->setSpacing(4);
    top->addStretch();
    top->addWidget(new QLabel(QStringLiteral("Show on"), this));
    top->addWidget(m_showOn);
    auto* splitter = new QSplitter(Qt::Vertical, this);
    splitter->addWidget(m_output);
    splitter->addWidget(m_script);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(4, 4, 4, 4);
    layout->setSpacing(4);
    layout->addLayout(top);
    layout->addWidget(splitter);
    layout->addWidget(m_command);

    connect(m_showOn, &QComboBox::currentIndexChanged, this, &ConsoleWindow::OnShowOnTypeChanged);
    connect(m_command, &QLineEdit::returnPressed, this, &ConsoleWindow::ExecuteCommand);
    connect(m_output, &ConsoleOutput::ClearRequested, this, &ConsoleWindow::ClearOutput);

    // Queued even from the main thread: a worker's message logged earlier is already waiting
    // in the queue, and must not be overtaken.
    Logger* logger = Logger::Instance();
    connect(logger, &Logger::OutputLogged, this, &ConsoleWindow::Output, Qt::QueuedConnection);
    connect(logger, &Logger::InfoLogged, this, &ConsoleWindow::Info, Qt::QueuedConnection);
    connect(logger, &Logger::WarningLogged, this, &ConsoleWindow::Warning, Qt::QueuedConnection);
    connect(logger, &Logger::ErrorLogged, this, &ConsoleWindow::Error, Qt::QueuedConnection);
    Logger::SetConsoleAttached(true);
}

ConsoleWindow::~ConsoleWindow()
{
    Logger::SetConsoleAttached(false);
}

int ConsoleWindow::ShowOnType() const
{
    return m_showOn->currentData().toInt();
}

void ConsoleWindow::Output(const QString& text)
{
    Append(text, false, OutputLevel);
}

void ConsoleWindow::Info(const QString& text)
{
    Append(text, true, InfoLevel);
}

void ConsoleWindow::Warning(const QString& text)
{
    Append(QStringLiteral("[WARNING] ") + text, true, WarningLevel);
}

void ConsoleWindow::Error(const QString& text)
{
    Append(QStringLiteral("[ERROR] ") + text, true, ErrorLevel);
}

void ConsoleWindow::ClearOutput()
{
    m_output->clear();
}

void ConsoleWindow::OnShowOnTypeChanged(int index)
{
    Settings::Get().consoleShowOnType = m_showOn->itemData(index).toInt();
}

void ConsoleWindow::ExecuteCommand()
{
    const QString command = m_command->text();
    m_command->clear();
    emit CommandExecuted(command);
}

void ConsoleWindow::ScriptExecute(const QString& script)
{
    QString text = script;
    text.replace(QChar::ParagraphSeparator, QLatin1Char('\n'));
    emit ScriptExecuted(text);
}

void ConsoleWindow::Append(const QString& text, bool newline, int level)
{
    QTextCursor cursor = m_output->textCursor();
    cursor.movePosition(QTextCursor::End);
    cursor.insertText(newline ? text + QLatin1Char('\n') : text);
    cursor.movePosition(QTextCursor::End);
    m_output->setTextCursor(cursor);
    m_output->horizontalScrollBar()->setValue(0);
    if (ShowOnType() >= level)
        PopUp();
}

void ConsoleWindow::PopUp()
{
    if (isHidden()) {
        show();
        return;
    }
    activateWindow();
    raise();
}

void ConsoleWindow::showEvent(QShowEvent* event)
{
    // Shown by the program, not un-minimised by the user.
    const QByteArray& geometry = Settings::Get().consoleWindowGeometry;
    if (!event->spontaneous() && !geometry.isEmpty())
        restoreGeometry(geometry);
    m_output->setFocus();
    QWidget::showEvent(event);
}

void ConsoleWindow::moveEvent(QMoveEvent* event)
{
    QWidget::moveEvent(event);
    StoreGeometry();
}

void ConsoleWindow::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    StoreGeometry();
}

void ConsoleWindow::StoreGeometry()
{
    if (isVisible())
        Settings::Get().consoleWindowGeometry = saveGeometry();
}

bool ConsoleWindow::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_script && event->type() == QEvent::KeyPress && HandleScriptKey(static_cast<QKeyEvent*>(event))) {
        event->accept();
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

bool ConsoleWindow::HandleScriptKey(const QKeyEvent* event)
{
    const Qt::KeyboardModifiers modifiers = event->modifiers();
    if (!(modifiers & Qt::ControlModifier) || (event->key() != Qt::Key_Return && event->key() != Qt::Key_Enter))
        return false;
    const QTextCursor cursor = m_script->textCursor();
    if (modifiers & Qt::ShiftModifier) {
        ScriptExecute(m_script->toPlainText());
    } else if (modifiers & Qt::AltModifier) {
        // The line as typed, up to its line feed, however the pane wraps it.
        QTextCursor line = cursor;
        line.movePosition(QTextCursor::StartOfBlock);
        line.movePosition(QTextCursor::EndOfBlock, QTextCursor::KeepAnchor);
        ScriptExecute(line.selectedText().trimmed());
    } else {
        ScriptExecute(cursor.hasSelection() ? cursor.selectedText() : m_script->toPlainText());
    }
    return true;
}
