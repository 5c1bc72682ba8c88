#include "app/ApplicationLook.h"

#include <QApplication>
#include <QFile>
#include <QImage>
#include <QStyle>
#include <QTest>

// The look every window gets: the dark Fusion palette, the style sheet and icons from the
// program's resources.
class TestApplicationLook : public QObject
{
    Q_OBJECT

private slots:
    void darkFusionWithTheStyleSheet()
    {
        auto* application = qobject_cast<QApplication*>(QCoreApplication::instance());
        QVERIFY(application);
        ApplicationLook::Apply(*application);
        const QPalette palette = QApplication::palette();
        for (const QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
            QCOMPARE(palette.color(group, QPalette::Window), QColor(45, 45, 48));
            QCOMPARE(palette.color(group, QPalette::Text), QColor(208, 208, 208));
            QCOMPARE(palette.color(group, QPalette::Base), QColor(25, 25, 25));
            QCOMPARE(palette.color(group, QPalette::Highlight), QColor(42, 130, 218));
            QCOMPARE(palette.color(group, QPalette::HighlightedText), QColor(Qt::black));
        }
        const QString sheet = application->styleSheet();
        QVERIFY(sheet.contains(QStringLiteral("#2A8CDA")));
        QVERIFY(sheet.contains(QStringLiteral(":/icons/branch_collapsed.png")));
        // Every icon the sheet names is in the resources and is a picture.
        for (const char* icon : {":/icons/branch_collapsed.png", ":/icons/branch_expanded.png", ":/icons/dock_close.png"}) {
            QVERIFY2(sheet.contains(QString::fromLatin1(icon)), icon);
            const QImage image(QString::fromLatin1(icon));
            QCOMPARE(image.size(), QSize(16, 16));
        }
    }
};

QTEST_MAIN(TestApplicationLook)
#include "tst_applicationlook.moc"
