#include "core/Logger.h"
#include "project/ProjectGlobals.h"
#include "project/Timeline.h"
#include "tests/TestSupport.h"
#include "ui/TimeControlFormat.h"

#include <QTest>

#include <memory>

using namespace TimeControlFormat;

namespace {

// A source timeline of `frames` frames at `rate` that looks probed.
std::unique_ptr<Timeline> FakeTimeline(int frames, double rate)
{
    auto timeline = std::make_unique<Timeline>(QStringLiteral("/media/shot.mov"), QString(), QUuid());
    TestSupport::FakeParsedVideo(*timeline->GetSource(), frames, rate);
    return timeline;
}

QString Label(const Timeline& timeline, int format, int frame, int rangeStart)
{
    return FrameLabel(format, LabelInputFor(timeline, frame, frame, true, rangeStart));
}

} // namespace

class TestTimeControlFormat : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { Logger::SetStandardErrorEcho(false); }
    void init() { ProjectGlobals::SetTimeControlFrameOffset(1); }

    // Frame 47 with offset 1 and a range from frame 10, read from a timeline as the bars read
    // it. At 23.976 the frame starts at ceil(47 x 1001000 / 24000) = 1,960,292 µs; at 25 at
    // 1,880,000 µs. A time code counts 24 (23.976 rounded) or 25 frames to the second.
    void fiveFormats_data()
    {
        QTest::addColumn<double>("rate");
        QTest::addColumn<QStringList>("expected"); // formats 0 to 4
        QTest::addRow("23.976") << 24000.0 / 1001.0
                                << QStringList{"48", "38", "1.96", "00:01:23", "48"};
        QTest::addRow("25") << 25.0 << QStringList{"48", "38", "1.88", "00:01:22", "48"};
    }
    void fiveFormats()
    {
        QFETCH(double, rate);
        QFETCH(QStringList, expected);
        const auto timeline = FakeTimeline(100, rate);
        QCOMPARE(timeline->FrameCount(), 100);
        for (int format = 0; format < kDisplayFormatCount; ++format)
            QCOMPARE(Label(*timeline, format, 47, 10), expected.at(format));
        // Without the offset the frame numbers drop by one; seconds and time codes never had it.
        const LabelInput bare = LabelInputFor(*timeline, 47, 47, false, 10);
        QCOMPARE(FrameLabel(FrameNumbersGlobal, bare), QStringLiteral("47"));
        QCOMPARE(FrameLabel(FrameNumbersRange, bare), QStringLiteral("37"));
        QCOMPARE(FrameLabel(TimeCode, bare), expected.at(TimeCode));
    }

    // Seconds are rounded, not cut: frame 11 at 23.976 starts at 458,792 µs.
    void secondsRounded()
    {
        const auto timeline = FakeTimeline(100, 24000.0 / 1001.0);
        QCOMPARE(Label(*timeline, Seconds, 11, 0), QStringLiteral("0.46"));
        // Never past the timeline's end time.
        LabelInput input;
        input.frameStartTime = 5'000'000;
        input.endTime = 4'166'666;
        QCOMPARE(FrameLabel(Seconds, input), QStringLiteral("4.17"));
    }

    // Format 1 counts from the range start: with range start 10 and offset 1, frame 10 is 1.
    void rangeFrameNumbers()
    {
        LabelInput input;
        input.frame = 10;
        input.offset = 1;
        input.rangeStart = 10;
        QCOMPARE(FrameLabel(FrameNumbersRange, input), QStringLiteral("1"));
    }

    void timeCode()
    {
        QCOMPARE(TimeCodeRate(24000.0 / 1001.0), 24);
        QCOMPARE(TimeCodeRate(29.97), 30);
        QCOMPARE(TimeCodeRate(25.0), 25);
        QCOMPARE(TimeCodeRate(0.0), 1);
        QCOMPARE(TimeCodeRate(-1.0), 1);
        LabelInput input;
        input.frameRate = 24000.0 / 1001.0;
        input.frame = 24;
        QCOMPARE(FrameLabel(TimeCode, input), QStringLiteral("00:01:00"));
        input.frame = 0;
        QCOMPARE(FrameLabel(TimeCode, input), QStringLiteral("00:00:00"));
        QCOMPARE(TimeCodeText(0, 24), QStringLiteral("00:00:00"));
        QCOMPARE(TimeCodeText(3 * 24, 24), QStringLiteral("00:03:00"));
        // One hour, two minutes, three seconds and four frames.
        QCOMPARE(TimeCodeText(((3600 + 2 * 60 + 3) * 24) + 4, 24), QStringLiteral("01:02:03:04"));
        QCOMPARE(TimeCodeText(((12 * 3600 + 34 * 60 + 56) * 25) + 17, 25), QStringLiteral("12:34:56:17"));
        QCOMPARE(TimeCodeText((59 * 60 + 59) * 30 + 29, 30), QStringLiteral("59:59:29"));
    }

    // An image sequence numbered from 1001 with offset 0: format 0 counts timeline frames,
    // format 4 shows the number in the file name; without one, format 4 reads as format 0.
    void imageNumbers()
    {
        LabelInput input;
        input.frame = 5;
        input.offset = 0;
        input.imageNumber = 1006;
        QCOMPARE(FrameLabel(FrameNumbersGlobal, input), QStringLiteral("5"));
        QCOMPARE(FrameLabel(FrameNumbersImage, input), QStringLiteral("1006"));
        input.imageNumber = 0;
        QCOMPARE(FrameLabel(FrameNumbersImage, input), QStringLiteral("0"));
        input.imageNumber = -1;
        input.offset = 1;
        QCOMPARE(FrameLabel(FrameNumbersImage, input), QStringLiteral("6"));
    }

    void rangeLength()
    {
        QCOMPARE(RangeLengthLabel(FrameNumbersGlobal, 24, 1'000'000, 24.0), QStringLiteral("24 frames"));
        QCOMPARE(RangeLengthLabel(FrameNumbersRange, 24, 1'000'000, 24.0), QStringLiteral("24 frames"));
        QCOMPARE(RangeLengthLabel(FrameNumbersImage, 24, 1'000'000, 24.0), QStringLiteral("24 frames"));
        QCOMPARE(RangeLengthLabel(Seconds, 24, 1'001'000, 23.976), QStringLiteral("1.00 sec"));
        QCOMPARE(RangeLengthLabel(TimeCode, 50, 2'085'417, 23.976), QStringLiteral("00:02:02"));
    }

    void formatNames()
    {
        QCOMPARE(DisplayFormatName(0), QStringLiteral("Frame Numbers (Global)"));
        QCOMPARE(DisplayFormatName(1), QStringLiteral("Frame Numbers (Range)"));
        QCOMPARE(DisplayFormatName(2), QStringLiteral("Seconds"));
        QCOMPARE(DisplayFormatName(3), QStringLiteral("Time Code"));
        QCOMPARE(DisplayFormatName(4), QStringLiteral("Frame Numbers (Image)"));
        QCOMPARE(ValidDisplayFormat(4), 4);
        QCOMPARE(ValidDisplayFormat(5), 0);
        QCOMPARE(ValidDisplayFormat(-1), 0);
    }

    // Exact cases: 10 frames over 25 pixels from x = 8 are 2.5 pixels each; frame 3 begins at
    // 8 + 7 (7.5 cut), frame 10 (just past the last) at 8 + 25.
    void mappingExact()
    {
        const FrameMapping mapping{0, 9, 8, 25};
        QCOMPARE(mapping.PixelsPerFrame(), 2.5f);
        QCOMPARE(mapping.XOf(0), std::optional<int>(8));
        QCOMPARE(mapping.XOf(3), std::optional<int>(15));
        QCOMPARE(mapping.XOf(10), std::optional<int>(33));
        QCOMPARE(mapping.FrameAt(15), std::optional<int>(3)); // the column frame 3 is drawn from
        QCOMPARE(mapping.FrameAt(14), std::optional<int>(2));
        QCOMPARE(mapping.FrameAt(-50), std::optional<int>(0));
        QCOMPARE(mapping.FrameAt(500), std::optional<int>(9));
        // A span starting elsewhere: frames 10..19.
        const FrameMapping range{10, 19, 0, 100};
        QCOMPARE(range.FrameAt(0), std::optional<int>(10));
        QCOMPARE(range.FrameAt(55), std::optional<int>(15));
        QCOMPARE(range.XOf(15), std::optional<int>(50));
    }

    void mappingNothing()
    {
        QVERIFY(!FrameMapping({0, -1, 0, 100}).FrameAt(10));
        QVERIFY(!FrameMapping({5, 4, 0, 100}).XOf(5));
        QVERIFY(!FrameMapping({0, 9, 0, 0}).FrameAt(0));
        QVERIFY(!FrameMapping({0, 9, 0, -3}).IsMapped());
    }

    // Every frame's first and last pixel columns map back to it, and the rightmost column
    // of the track gives the last frame, also where many frames share a column.
    void mappingRoundTrip_data()
    {
        QTest::addColumn<int>("first");
        QTest::addColumn<int>("count");
        QTest::addColumn<int>("width");
        QTest::addRow("48 over 624") << 0 << 48 << 624;
        QTest::addRow("37 over 100") << 0 << 37 << 100;
        QTest::addRow("100 over 137") << 0 << 100 << 137;
        QTest::addRow("100 over 100") << 0 << 100 << 100;
        QTest::addRow("range 10.. 30 over 333") << 10 << 21 << 333;
        QTest::addRow("3 over 1000") << 0 << 3 << 1000;
        QTest::addRow("1 over 50") << 7 << 1 << 50;
        QTest::addRow("7919 over 8000") << 0 << 7919 << 8000;
    }
    void mappingRoundTrip()
    {
        QFETCH(int, first);
        QFETCH(int, count);
        QFETCH(int, width);
        const FrameMapping mapping{first, first + count - 1, 8, width};
        for (int frame = first; frame < first + count; ++frame) {
            const int left = *mapping.XOf(frame);
            const int right = *mapping.XOf(frame + 1) - 1;
            QVERIFY2(right >= left, qPrintable(QString::number(frame)));
            QCOMPARE(mapping.FrameAt(left), std::optional<int>(frame));
            QCOMPARE(mapping.FrameAt(right), std::optional<int>(frame));
        }
        QCOMPARE(mapping.FrameAt(8 + width - 1), std::optional<int>(first + count - 1));
        QCOMPARE(mapping.FrameAt(8), std::optional<int>(first));
    }

    void mappingDense()
    {
        // 100,000 frames over 1,000 pixels: 100 to a column.
        const FrameMapping mapping{0, 99'999, 0, 1000};
        QCOMPARE(mapping.FrameAt(0), std::optional<int>(0));
        QCOMPARE(mapping.FrameAt(500), std::optional<int>(50'000));
        QCOMPARE(mapping.FrameAt(999), std::optional<int>(99'999));
        QCOMPARE(mapping.XOf(50'000), std::optional<int>(500));
        int previous = -1;
        for (int x = 0; x < 1000; ++x) {
            const int frame = *mapping.FrameAt(x);
            QVERIFY(frame > previous);
            previous = frame;
        }
    }
};

QTEST_GUILESS_MAIN(TestTimeControlFormat)
#include "tst_timecontrolformat.moc"
