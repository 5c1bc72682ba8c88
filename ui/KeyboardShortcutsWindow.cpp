#include "ui/KeyboardShortcutsWindow.h"

#include "core/CommandTable.h"

#include <QAction>
#include <QHeaderView>
#include <QLineEdit>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace {

// The keys a command answers to: its action's, once the table has applied them (a key taken
// by an earlier command is gone), else its current shortcuts.
QString KeysText(const Command& command)
{
    const QList<QKeySequence> keys = command.action ? command.action->shortcuts() : command.currentShortcuts;
    QStringList texts;
    for (const QKeySequence& key : keys)
        if (!key.isEmpty())
            texts.append(key.toString(QKeySequence::NativeText));
    return texts.join(QStringLiteral(", "));
}

} // namespace

KeyboardShortcutsWindow::KeyboardShortcutsWindow(const CommandTable& table, QWidget* parent)
    : QWidget(parent, Qt::Window)
    , m_table(table)
{
    setWindowTitle(QStringLiteral("Keyboard Shortcuts"));
    resize(560, 640);
    m_filter = new QLineEdit(this);
    m_filter->setPlaceholderText(QStringLiteral("Filter"));
    m_filter->setClearButtonEnabled(true);
    m_list = new QTreeWidget(this);
    m_list->setColumnCount(3);
    m_list->setHeaderLabels({QStringLiteral("Command"), QStringLiteral("Name"), QStringLiteral("Shortcut")});
    m_list->setRootIsDecorated(false);
    m_list->setAlternatingRowColors(true);
    m_list->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(4, 4, 4, 4);
    layout->setSpacing(4);
    layout->addWidget(m_filter);
    layout->addWidget(m_list);
    connect(m_filter, &QLineEdit::textChanged, this, &KeyboardShortcutsWindow::ApplyFilter);
    Refresh();
}

void KeyboardShortcutsWindow::showEvent(QShowEvent* event)
{
    Refresh();
    QWidget::showEvent(event);
}

void KeyboardShortcutsWindow::Refresh()
{
    m_list->clear();
    for (const Command& command : m_table.Commands())
        new QTreeWidgetItem(m_list, {command.label, command.name, KeysText(command)});
    ApplyFilter(m_filter->text());
}

void KeyboardShortcutsWindow::ApplyFilter(const QString& text)
{
    const QString needle = text.trimmed();
    for (int row = 0; row < m_list->topLevelItemCount(); ++row) {
        QTreeWidgetItem* item = m_list->topLevelItem(row);
        bool match = needle.isEmpty();
        for (int column = 0; column < 3 && !match; ++column)
            match = item->text(column).contains(needle, Qt::CaseInsensitive);
        item->setHidden(!match);
    }
}

int KeyboardShortcutsWindow::VisibleRowCount() const
{
    int visible = 0;
    for (int row = 0; row < m_list->topLevelItemCount(); ++row)
        visible += m_list->topLevelItem(row)->isHidden() ? 0 : 1;
    return visible;
}
