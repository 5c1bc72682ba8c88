#include "app/ApplicationLook.h"

#include <QApplication>
#include <QFile>
#include <QFontDatabase>
#include <QPalette>
#include <QStyleFactory>

// The resources are compiled into the viewer library; their registration is a function of the
// global namespace.
static void InitResources()
{
    Q_INIT_RESOURCE(resources);
}

namespace ApplicationLook {

void Apply(QApplication& application)
{
    InitResources();
    application.setStyle(QStyleFactory::create(QStringLiteral("Fusion")));

    const QColor window(45, 45, 48);
    const QColor text(208, 208, 208);
    const QColor highlight(42, 130, 218);
    QPalette palette;
    for (const QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
        palette.setColor(group, QPalette::Window, window);
        palette.setColor(group, QPalette::Button, window);
        palette.setColor(group, QPalette::AlternateBase, window);
        for (const QPalette::ColorRole role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText,
                                               QPalette::ToolTipBase, QPalette::ToolTipText})
            palette.setColor(group, role, text);
        palette.setColor(group, QPalette::Base, QColor(25, 25, 25));
        palette.setColor(group, QPalette::Highlight, highlight);
        palette.setColor(group, QPalette::Link, highlight);
        palette.setColor(group, QPalette::BrightText, Qt::red);
        palette.setColor(group, QPalette::HighlightedText, Qt::black);
    }
    application.setPalette(palette);

    QFile sheet(QStringLiteral(":/stylesheets/fusiondark.qss"));
    if (sheet.open(QIODevice::ReadOnly | QIODevice::Text))
        application.setStyleSheet(QString::fromUtf8(sheet.readAll()));

    const QStringList families = QFontDatabase::families();
    if (families.contains(QStringLiteral("Segoe UI")))
        application.setFont(QFont(QStringLiteral("Segoe UI")));
    if (families.contains(QStringLiteral("Consolas")))
        application.setFont(QFont(QStringLiteral("Consolas")), "QPlainTextEdit");
}

} // namespace ApplicationLook
