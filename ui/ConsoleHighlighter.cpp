#include "ui/ConsoleHighlighter.h"

ConsoleHighlighter::ConsoleHighlighter(QTextDocument* document)
    : QSyntaxHighlighter(document)
{
    m_errorFormat.setForeground(Qt::red);
    m_warningFormat.setForeground(Qt::yellow);
}

void ConsoleHighlighter::highlightBlock(const QString& text)
{
    const QRegularExpressionMatch error = m_errorTag.match(text);
    if (error.hasMatch())
        setFormat(static_cast<int>(error.capturedStart()), static_cast<int>(error.capturedLength()), m_errorFormat);
    const QRegularExpressionMatch warning = m_warningTag.match(text);
    if (warning.hasMatch())
        setFormat(static_cast<int>(warning.capturedStart()), static_cast<int>(warning.capturedLength()), m_warningFormat);
}
