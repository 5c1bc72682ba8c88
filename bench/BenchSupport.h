#pragma once

#include <QElapsedTimer>
#include <QProcess>
#include <QString>
#include <QStringList>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

// Small helpers shared by the benchmark programs: medians of repeated timings and tables.
namespace Bench {

inline double Median(std::vector<double> values)
{
    if (values.empty())
        return 0.0;
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2.0;
}

// Runs `work` `repeats` times; returns the median of the seconds each run took.
inline double MedianSeconds(int repeats, const std::function<void()>& work)
{
    std::vector<double> seconds;
    for (int i = 0; i < repeats; ++i) {
        QElapsedTimer timer;
        timer.start();
        work();
        seconds.push_back(static_cast<double>(timer.nsecsElapsed()) / 1e9);
    }
    return Median(seconds);
}

// Seconds a command takes, median of `repeats` runs; negative when it failed.
inline double CommandSeconds(int repeats, const QString& program, const QStringList& arguments)
{
    bool failed = false;
    const double seconds = MedianSeconds(repeats, [&] {
        QProcess process;
        process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        process.start(program, arguments);
        if (!process.waitForFinished(600000) || process.exitCode() != 0)
            failed = true;
    });
    return failed ? -1.0 : seconds;
}

inline void Print(const QString& text)
{
    std::fputs(text.toUtf8().constData(), stdout);
    std::fflush(stdout);
}

} // namespace Bench
