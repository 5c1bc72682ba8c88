#include "viewer/TextToolPopup.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLineEdit>

#include <algorithm>

namespace {
constexpr int kBottomMargin = 20;
}

TextToolPopup::TextToolPopup(QWidget* parent)
    : QFrame(parent)
    , m_editor(new QLineEdit(this))
{
    setFrameShape(QFrame::Box);
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(2, 2, 2, 2);
    layout->addWidget(m_editor);
    m_editor->installEventFilter(this);
    connect(m_editor, &QLineEdit::returnPressed, this, [this] { Finish(true); });
    hide();
}

void TextToolPopup::Open(double widthScale, double heightScale)
{
    QWidget* owner = parentWidget();
    const int width = std::max(qRound(owner->width() * std::clamp(widthScale, 0.1, 1.0)), 40);
    const int height = std::max(qRound(owner->height() * std::clamp(heightScale, 0.1, 1.0)), m_editor->sizeHint().height() + 4);
    setGeometry((owner->width() - width) / 2, owner->height() - kBottomMargin - height, width, height);
    m_editor->clear();
    show();
    raise();
    m_editor->setFocus();
}

bool TextToolPopup::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_editor && isVisible()) {
        if (event->type() == QEvent::KeyPress && static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape) {
            Finish(false);
            return true;
        }
        if (event->type() == QEvent::FocusOut)
            Finish(!m_editor->text().isEmpty());
    }
    return QFrame::eventFilter(watched, event);
}

void TextToolPopup::Finish(bool accepted)
{
    if (!isVisible())
        return;
    const QString text = m_editor->text();
    hide();
    if (accepted && !text.isEmpty())
        emit TextAccepted(text);
    else
        emit TextCancelled();
}
