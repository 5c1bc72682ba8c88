#include "ui/KeyboardPreferencesPage.h"

#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeySequenceEdit>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QSignalBlocker>
#include <QVBoxLayout>

#include <algorithm>

namespace {

QString Portable(const QKeySequence& sequence)
{
    return sequence.toString(QKeySequence::PortableText);
}

bool Holds(const Command& command, const QString& portable)
{
    for (const QKeySequence& sequence : command.currentShortcuts)
        if (!sequence.isEmpty() && Portable(sequence) == portable)
            return true;
    return false;
}

} // namespace

KeyboardPreferencesPage::KeyboardPreferencesPage(QWidget* parent)
    : QWidget(parent)
{
    m_filter = new QLineEdit(this);
    m_filter->setObjectName(QStringLiteral("keyboardFilter"));
    m_filter->setPlaceholderText(QStringLiteral("Filter by command or key"));
    m_filter->setClearButtonEnabled(true);
    m_list = new QListWidget(this);
    m_list->setObjectName(QStringLiteral("keyboardCommands"));
    m_list->setSelectionMode(QAbstractItemView::SingleSelection);

    m_assigned = new QComboBox(this);
    m_assigned->setObjectName(QStringLiteral("keyboardAssigned"));
    m_remove = new QPushButton(QStringLiteral("Remove"), this);
    m_remove->setObjectName(QStringLiteral("keyboardRemove"));
    m_capture = new QKeySequenceEdit(this);
    m_capture->setObjectName(QStringLiteral("keyboardCapture"));
    m_assign = new QPushButton(QStringLiteral("Assign"), this);
    m_assign->setObjectName(QStringLiteral("keyboardAssign"));
    m_usedBy = new QLineEdit(this);
    m_usedBy->setObjectName(QStringLiteral("keyboardUsedBy"));
    m_usedBy->setReadOnly(true);
    m_restoreDefaults = new QPushButton(QStringLiteral("Restore Defaults"), this);
    m_restoreDefaults->setObjectName(QStringLiteral("keyboardRestoreDefaults"));

    auto* grid = new QGridLayout;
    grid->addWidget(new QLabel(QStringLiteral("Assigned Shortcut:"), this), 0, 0);
    grid->addWidget(m_assigned, 0, 1);
    grid->addWidget(m_remove, 0, 2);
    grid->addWidget(new QLabel(QStringLiteral("Press Shortcut Keys:"), this), 1, 0);
    grid->addWidget(m_capture, 1, 1);
    grid->addWidget(m_assign, 1, 2);
    grid->addWidget(new QLabel(QStringLiteral("Shortcut currently used by:"), this), 2, 0);
    grid->addWidget(m_usedBy, 2, 1, 1, 2);
    grid->setColumnStretch(1, 1);
    auto* restoreRow = new QHBoxLayout;
    restoreRow->addStretch(1);
    restoreRow->addWidget(m_restoreDefaults);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_filter);
    layout->addWidget(m_list, 1);
    layout->addLayout(grid);
    layout->addLayout(restoreRow);

    connect(m_filter, &QLineEdit::textChanged, this, &KeyboardPreferencesPage::ApplyFilter);
    connect(m_list, &QListWidget::currentItemChanged, this, &KeyboardPreferencesPage::OnSelectionChanged);
    connect(m_capture, &QKeySequenceEdit::keySequenceChanged, this, &KeyboardPreferencesPage::OnCaptureChanged);
    connect(m_remove, &QPushButton::clicked, this, &KeyboardPreferencesPage::RemoveShown);
    connect(m_assign, &QPushButton::clicked, this, &KeyboardPreferencesPage::AssignCaptured);
    connect(m_restoreDefaults, &QPushButton::clicked, this, &KeyboardPreferencesPage::AskRestoreDefaults);
}

void KeyboardPreferencesPage::SetCommands(const CommandTable& commands)
{
    m_commands = commands;
    m_capture->clear();
    m_usedBy->clear();
    m_assign->setEnabled(true);
    FillList();
}

QList<const Command*> KeyboardPreferencesPage::Bindable() const
{
    QList<const Command*> bindable;
    for (const Command& command : m_commands.Commands())
        if (command.bindable)
            bindable.append(&command);
    return bindable;
}

int KeyboardPreferencesPage::SelectedId() const
{
    const QListWidgetItem* item = m_list->currentItem();
    return item && !item->isHidden() ? item->data(Qt::UserRole).toInt() : 0;
}

void KeyboardPreferencesPage::Select(int id)
{
    for (int row = 0; row < m_list->count(); ++row) {
        QListWidgetItem* item = m_list->item(row);
        if (item->data(Qt::UserRole).toInt() == id && !item->isHidden()) {
            m_list->setCurrentItem(item);
            return;
        }
    }
}

void KeyboardPreferencesPage::FillList()
{
    const int selected = SelectedId();
    {
        const QSignalBlocker blocker(m_list);
        m_list->clear();
        for (const Command* command : Bindable()) {
            if (command->fixed)
                continue;
            auto* item = new QListWidgetItem(command->label, m_list);
            item->setData(Qt::UserRole, command->id);
        }
    }
    ApplyFilter();
    if (selected != 0)
        Select(selected);
    FillAssigned();
}

void KeyboardPreferencesPage::ApplyFilter()
{
    const QString text = m_filter->text().trimmed();
    for (int row = 0; row < m_list->count(); ++row) {
        QListWidgetItem* item = m_list->item(row);
        bool shown = text.isEmpty() || item->text().contains(text, Qt::CaseInsensitive);
        if (!shown)
            if (const Command* command = m_commands.Find(item->data(Qt::UserRole).toInt()))
                for (const QKeySequence& sequence : command->currentShortcuts)
                    if (Portable(sequence).contains(text, Qt::CaseInsensitive)
                        || sequence.toString(QKeySequence::NativeText).contains(text, Qt::CaseInsensitive))
                        shown = true;
        item->setHidden(!shown);
    }
    // A selection that the filter hides is no selection: its keys are not shown for editing.
    if (m_list->currentItem() && m_list->currentItem()->isHidden())
        m_list->setCurrentItem(nullptr);
}

void KeyboardPreferencesPage::FillAssigned(const QString& current)
{
    m_assigned->clear();
    const Command* command = m_commands.Find(SelectedId());
    if (!command)
        return;
    for (const QKeySequence& sequence : command->currentShortcuts)
        if (!sequence.isEmpty())
            m_assigned->addItem(Portable(sequence));
    if (!current.isEmpty())
        m_assigned->setCurrentIndex(std::max(0, m_assigned->findText(current)));
}

void KeyboardPreferencesPage::OnSelectionChanged()
{
    m_capture->clear();
    FillAssigned();
}

void KeyboardPreferencesPage::OnCaptureChanged()
{
    const QKeySequence sequence = m_capture->keySequence();
    m_usedBy->clear();
    m_assign->setEnabled(true);
    if (sequence.isEmpty())
        return;
    const QString portable = Portable(sequence);
    for (const Command* command : Bindable()) {
        if (!Holds(*command, portable))
            continue;
        if (command->fixed) {
            m_usedBy->setText(command->label + QStringLiteral(" (Permanent)"));
            m_assign->setEnabled(false);
        } else {
            m_usedBy->setText(command->label);
        }
        return;
    }
}

void KeyboardPreferencesPage::TakeAway(const QString& portable)
{
    for (const Command* command : Bindable()) {
        if (command->fixed || !Holds(*command, portable))
            continue;
        QList<QKeySequence> kept;
        for (const QKeySequence& sequence : command->currentShortcuts)
            if (sequence.isEmpty() || Portable(sequence) != portable)
                kept.append(sequence);
        m_commands.SetCurrentShortcuts(command->id, kept);
    }
}

void KeyboardPreferencesPage::RemoveShown()
{
    const QString shown = m_assigned->currentText();
    if (shown.isEmpty())
        return;
    TakeAway(shown);
    FillAssigned();
    ApplyFilter();
    // The key in the capture field may be the one just removed: search for its user again.
    OnCaptureChanged();
}

void KeyboardPreferencesPage::AssignCaptured()
{
    const Command* selected = m_commands.Find(SelectedId());
    const QKeySequence sequence = m_capture->keySequence();
    if (!selected || sequence.isEmpty())
        return;
    const QString portable = Portable(sequence);
    // A key a fixed command holds is never taken from it (the button is disabled then too).
    for (const Command* command : Bindable())
        if (command->fixed && Holds(*command, portable))
            return;
    TakeAway(portable);
    QList<QKeySequence> shortcuts = m_commands.Find(selected->id)->currentShortcuts;
    shortcuts.append(sequence);
    // A command stored with "no shortcut" holds one empty sequence; a real key replaces it.
    if (shortcuts.size() >= 2 && shortcuts.first().isEmpty())
        shortcuts.removeFirst();
    m_commands.SetCurrentShortcuts(selected->id, shortcuts);
    FillAssigned(portable);
    m_capture->clear();
    m_usedBy->clear();
    m_assign->setEnabled(true);
    ApplyFilter();
}

void KeyboardPreferencesPage::AskRestoreDefaults()
{
    const QMessageBox::StandardButton answer = QMessageBox::warning(
        this, QStringLiteral("Plovex"), QStringLiteral("Keyboard mappings will reset to their default values. Continue?"),
        QMessageBox::Yes | QMessageBox::No, QMessageBox::Yes);
    if (answer != QMessageBox::Yes)
        return;
    m_commands.RestoreDefaults();
    FillAssigned();
    ApplyFilter();
    // The defaults may give the captured key to another command, or take it away.
    OnCaptureChanged();
}
