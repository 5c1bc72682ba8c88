#include "playback/RecentSamples.h"

#include <QTest>

#include <numeric>

// A measurement kept for as long as sound plays holds at most its capacity, the latest
// values, in order.
class TestRecentSamples : public QObject
{
    Q_OBJECT

private slots:
    void keepsTheLatestInOrder()
    {
        RecentSamples<int> samples(8);
        for (int i = 0; i < 8; ++i)
            samples.Add(i);
        QCOMPARE(samples.Values(), std::vector<int>({0, 1, 2, 3, 4, 5, 6, 7}));
        samples.Add(8); // full: the older half goes
        QCOMPARE(samples.Values(), std::vector<int>({4, 5, 6, 7, 8}));
        for (int i = 9; i < 10'000; ++i) {
            samples.Add(i);
            QVERIFY(samples.Values().size() <= 8);
        }
        const std::vector<int> taken = samples.Take();
        QVERIFY(taken.size() >= 4);
        QCOMPARE(taken.back(), 9'999);
        QVERIFY(std::is_sorted(taken.begin(), taken.end()));
        QCOMPARE(std::adjacent_find(taken.begin(), taken.end(), [](int a, int b) { return b != a + 1; }), taken.end());
        QVERIFY(samples.Values().empty());
    }

    void capacityOfAtLeastTwo()
    {
        RecentSamples<int> samples(0);
        QCOMPARE(samples.Capacity(), size_t{2});
        for (int i = 0; i < 5; ++i)
            samples.Add(i);
        QCOMPARE(samples.Values().back(), 4);
        QVERIFY(samples.Values().size() <= 2);
    }
};

QTEST_GUILESS_MAIN(TestRecentSamples)
#include "tst_recentsamples.moc"
