#include "ui/ConsoleOutput.h"

#include "core/Logger.h"
#include "core/Settings.h"

#include <QContextMenuEvent>
#include <QFile>
#include <QFileDialog>
#include <QMenu>
#include <QSaveFile>

ConsoleOutput::ConsoleOutput(QWidget* parent)
    : QPlainTextEdit(parent)
{
    setReadOnly(true);
}

void ConsoleOutput::contextMenuEvent(QContextMenuEvent* event)
{
    QMenu menu(this);
    menu.addAction(QStringLiteral("Clear Output"), this, &ConsoleOutput::ClearRequested);
    menu.addAction(QStringLiteral("Save Output As..."), this, &ConsoleOutput::SaveAs);
    menu.exec(event->globalPos());
}

void ConsoleOutput::SaveAs()
{
    const QString path = QFileDialog::getSaveFileName(this, QStringLiteral("Save Output As"),
                                                      Settings::Get().DefaultExportDirPath(),
                                                      QStringLiteral("Log Files (*.log);;All Files (*.*)"));
    if (!path.isEmpty())
        SaveToFile(path);
}

bool ConsoleOutput::SaveToFile(const QString& path) const
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(toPlainText().toUtf8()) < 0 || !file.commit()) {
        Logger::error(QStringLiteral("Failed to save console output: %1").arg(path));
        return false;
    }
    return true;
}
