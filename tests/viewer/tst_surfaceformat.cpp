#include "core/Settings.h"
#include "viewer/SurfaceFormat.h"

#include <QTest>

class TestSurfaceFormat : public QObject
{
    Q_OBJECT

private slots:
    void init() { Settings::ResetToDefaults(); }

    // The buffer count override, and the defaults switch that overrides it.
    void swapBehaviour_data()
    {
        QTest::addColumn<bool>("useDefaults");
        QTest::addColumn<int>("count");
        QTest::addColumn<int>("behaviour");
        QTest::addColumn<int>("countAfter");
        QTest::addRow("defaults, single asked") << true << 1 << int(QSurfaceFormat::DoubleBuffer) << 1;
        QTest::addRow("single") << false << 1 << int(QSurfaceFormat::SingleBuffer) << 1;
        QTest::addRow("double") << false << 2 << int(QSurfaceFormat::DoubleBuffer) << 2;
        QTest::addRow("triple") << false << 3 << int(QSurfaceFormat::TripleBuffer) << 3;
        QTest::addRow("zero") << false << 0 << int(QSurfaceFormat::DoubleBuffer) << 2;
        QTest::addRow("seven") << false << 7 << int(QSurfaceFormat::DoubleBuffer) << 2;
        QTest::addRow("seven with defaults") << true << 7 << int(QSurfaceFormat::DoubleBuffer) << 2;
    }
    void swapBehaviour()
    {
        QFETCH(bool, useDefaults);
        QFETCH(int, count);
        QFETCH(int, behaviour);
        QFETCH(int, countAfter);
        Settings::Get().useSurfaceDefaults = useDefaults;
        Settings::Get().surfaceBufferCountOverride = count;
        const QSurfaceFormat format = ViewerSurfaceFormat();
        QCOMPARE(int(format.swapBehavior()), behaviour);
        QCOMPARE(Settings::Get().surfaceBufferCountOverride, countAfter);
    }

    void fixedParts()
    {
        Settings::Get().vSyncEnabled = false;
        QSurfaceFormat format = ViewerSurfaceFormat();
        QCOMPARE(format.majorVersion(), 3);
        QCOMPARE(format.minorVersion(), 3);
        QCOMPARE(format.profile(), QSurfaceFormat::CoreProfile);
        QCOMPARE(format.stencilBufferSize(), 8);
        QCOMPARE(format.depthBufferSize(), 0);
        QCOMPARE(format.samples(), 10);
        QCOMPARE(format.swapInterval(), 0);
        Settings::Get().vSyncEnabled = true;
        QCOMPARE(ViewerSurfaceFormat().swapInterval(), 1);
    }
};

QTEST_APPLESS_MAIN(TestSurfaceFormat)
#include "tst_surfaceformat.moc"
