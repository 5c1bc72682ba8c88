#include "media/MediaTime.h"

#include <QTest>

using namespace MediaTime;

class TestMediaTime : public QObject
{
    Q_OBJECT

private slots:
    void integerDuration()
    {
        const double fd = 40000.0; // 25 fps
        QCOMPARE(FrameStartTime(0, fd), 0);
        QCOMPARE(FrameStartTime(1, fd), 40000);
        QCOMPARE(FrameEndTime(0, fd), 39999);
        QCOMPARE(TimeToFrame(39999, fd), 0);
        QCOMPARE(TimeToFrame(40000, fd), 1);
        QCOMPARE(FrameCount(399999, fd), 10);
        QCOMPARE(FrameCount(-1, fd), 0);
    }

    void roundTrips_data()
    {
        QTest::addColumn<double>("rate");
        for (double rate : {23.976, 24000.0 / 1001.0, 24.0, 25.0, 29.97, 30000.0 / 1001.0, 30.0, 48.0, 50.0,
                            59.94, 60000.0 / 1001.0, 60.0, 120.0, 1.0, 7.5})
            QTest::addRow("%g fps", rate) << rate;
    }

    // Every frame's start and end map back to the frame, frames tile the time line without
    // gaps or overlaps, and the frame count of the last end time is the number of frames.
    void roundTrips()
    {
        QFETCH(double, rate);
        const double fd = FrameDuration(rate);
        for (int32_t i = 0; i < 200000; ++i) {
            const int64_t start = FrameStartTime(i, fd);
            const int64_t end = FrameEndTime(i, fd);
            if (TimeToFrame(start, fd) != i || TimeToFrame(end, fd) != i || FrameStartTime(i + 1, fd) != end + 1
                || FrameCount(end, fd) != i + 1)
                QFAIL(qPrintable(QStringLiteral("frame %1: start %2 end %3 -> %4 %5, count %6")
                                     .arg(i)
                                     .arg(start)
                                     .arg(end)
                                     .arg(TimeToFrame(start, fd))
                                     .arg(TimeToFrame(end, fd))
                                     .arg(FrameCount(end, fd))));
        }
    }

    void fractionalDurationLengths()
    {
        // 23.976 fps frames are 41,708 or 41,709 µs long, never anything else.
        const double fd = FrameDuration(24000.0 / 1001.0);
        for (int32_t i = 0; i < 10000; ++i) {
            const int64_t length = FrameEndTime(i, fd) - FrameStartTime(i, fd) + 1;
            QVERIFY2(length == 41708 || length == 41709, qPrintable(QString::number(length)));
        }
    }

    void frameCountIgnoresSliver()
    {
        const double fd = 40000.0;
        // An end time 1 % into frame 10 does not make an eleventh frame; 2 % does.
        QCOMPARE(FrameCount(400000 + 400, fd), 10);
        QCOMPARE(FrameCount(400000 + 800, fd), 11);
    }

    void nonPositiveDuration()
    {
        QCOMPARE(TimeToFrame(123456, 0.0), 0);
        QCOMPARE(TimeToFrame(123456, -1.0), 0);
        QCOMPARE(FrameCount(123456, 0.0), 0);
        QCOMPARE(FrameDuration(0.0), 0.0);
    }

    void hugeTimesSaturate()
    {
        QCOMPARE(TimeToFrame(INT64_MAX, 40000.0), INT32_MAX);
        QCOMPARE(FrameCount(INT64_MAX, 40000.0), INT32_MAX);
    }
};

QTEST_APPLESS_MAIN(TestMediaTime)
#include "tst_mediatime.moc"
