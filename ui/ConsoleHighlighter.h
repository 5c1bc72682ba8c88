#pragma once

#include <QRegularExpression>
#include <QSyntaxHighlighter>
#include <QTextCharFormat>

// Colours the first "[ERROR]" of every line red and its first "[WARNING]" yellow; only the
// tag itself, wherever in the line it stands.
class ConsoleHighlighter : public QSyntaxHighlighter
{
    Q_OBJECT

public:
    explicit ConsoleHighlighter(QTextDocument* document);

protected:
    void highlightBlock(const QString& text) override;

private:
    QTextCharFormat m_errorFormat;
    QTextCharFormat m_warningFormat;
    QRegularExpression m_errorTag{QStringLiteral("\\[ERROR\\]")};
    QRegularExpression m_warningTag{QStringLiteral("\\[WARNING\\]")};
};
