#include "core/Logger.h"
#include "core/Settings.h"
#include "engine/AvManager.h"
#include "engine/AvWorker.h"
#include "media/AudioFrame.h"
#include "media/AvParser.h"
#include "media/CacheManager.h"
#include "playback/AudioOutput.h"
#include "playback/AudioOutputManager.h"
#include "playback/PlaybackManager.h"
#include "project/ProjectGlobals.h"
#include "project/Source.h"
#include "project/Timeline.h"
#include "tests/TestSupport.h"

#include <QAudio>
#include <QMediaDevices>
#include <QAudioDevice>
#include <QProcess>
#include <QStandardPaths>
#include <QTest>

#include <algorithm>
#include <cmath>
#include <vector>

using TestSupport::MediaPath;
using TestSupport::ParsedTimeline;
using TestSupport::WaitFor;

namespace {

constexpr int kRate = AudioFormat::kSampleRate;
// The null sink records exact zeros when nothing plays; anything above this is sound.
constexpr float kQuiet = 1e-4f;

// Records what the default sound sink plays, through its monitor source.
class SinkRecorder
{
public:
    bool Start()
    {
        const QString monitor = DefaultSink() + QStringLiteral(".monitor");
        m_process.start(QStringLiteral("parec"), {QStringLiteral("-d"), monitor, QStringLiteral("--format=float32le"),
                                                  QStringLiteral("--rate=48000"), QStringLiteral("--channels=2"),
                                                  QStringLiteral("--raw"), QStringLiteral("--latency-msec=10")});
        if (!m_process.waitForStarted(5000))
            return false;
        // The recording runs once the first bytes (the sink's silence) arrive.
        return WaitFor([this] {
            m_data += m_process.readAllStandardOutput();
            return !m_data.isEmpty();
        }, 10000);
    }

    // Interleaved samples recorded so far, from the first byte.
    std::vector<float> Stop()
    {
        m_data += m_process.readAllStandardOutput();
        m_process.terminate();
        m_process.waitForFinished(5000);
        m_data += m_process.readAllStandardOutput();
        const qsizetype frames = m_data.size() / AudioFormat::kBytesPerFrame;
        const auto* samples = reinterpret_cast<const float*>(m_data.constData());
        return std::vector<float>(samples, samples + frames * 2);
    }

    void Poll() { m_data += m_process.readAllStandardOutput(); }
    // Frames recorded so far.
    size_t Frames() const { return static_cast<size_t>(m_data.size() / AudioFormat::kBytesPerFrame); }
    // Whether frames [from, to) hold sound above `threshold`.
    bool HasSound(size_t from, size_t to, float threshold = kQuiet) const
    {
        const auto* samples = reinterpret_cast<const float*>(m_data.constData());
        for (size_t i = from; i < std::min(to, Frames()); ++i)
            if (std::abs(samples[2 * i]) > threshold)
                return true;
        return false;
    }
    // Records until the sink has been silent for `ms` after the frame recorded last when
    // called (the device played out what it held); false after `timeoutMs`.
    bool WaitForSilence(int ms = 200, int timeoutMs = 10000)
    {
        Poll();
        const size_t from = Frames();
        const auto quiet = static_cast<size_t>(kRate / 1000 * ms);
        return WaitFor([&] {
            Poll();
            const size_t now = Frames();
            return now >= from + quiet && !HasSound(now - quiet, now);
        }, timeoutMs);
    }
    // Records until frames after `from` hold sound; false after `timeoutMs`.
    bool WaitForSound(size_t from, int timeoutMs = 10000)
    {
        return WaitFor([&] {
            Poll();
            return HasSound(from, Frames());
        }, timeoutMs);
    }
    // Interleaved samples recorded so far, without stopping.
    std::vector<float> Peek() const
    {
        const qsizetype frames = m_data.size() / AudioFormat::kBytesPerFrame;
        const auto* samples = reinterpret_cast<const float*>(m_data.constData());
        return std::vector<float>(samples, samples + frames * 2);
    }

    static QString DefaultSink()
    {
        QProcess pactl;
        pactl.start(QStringLiteral("pactl"), {QStringLiteral("get-default-sink")});
        pactl.waitForFinished(5000);
        return QString::fromUtf8(pactl.readAllStandardOutput()).trimmed();
    }

private:
    QProcess m_process;
    QByteArray m_data;
};

struct Sound
{
    size_t first = 0; // frames
    size_t last = 0;
    bool found = false;
};

Sound FindSound(const std::vector<float>& samples, float threshold)
{
    Sound sound;
    for (size_t i = 0; i < samples.size(); i += 2) {
        if (std::abs(samples[i]) > threshold) {
            if (!sound.found)
                sound.first = i / 2;
            sound.last = i / 2;
            sound.found = true;
        }
    }
    return sound;
}

// The longest stretch of uninterrupted sound (no silence over 2 ms) within `sound`: where the
// pitch is measured, so that a moment the device went without data does not count as a
// wrong frequency.
Sound LongestRun(const std::vector<float>& samples, const Sound& sound, float threshold)
{
    Sound best, current;
    size_t quiet = 0;
    for (size_t i = sound.first; i <= sound.last; ++i) {
        if (std::abs(samples[2 * i]) > threshold) {
            if (!current.found || quiet > kRate / 500) {
                current = Sound{i, i, true};
            }
            current.last = i;
            quiet = 0;
            if (current.last - current.first > best.last - best.first || !best.found)
                best = current;
        } else {
            ++quiet;
        }
    }
    return best;
}

double MiddleFrequency(const std::vector<float>& samples, const Sound& sound, float threshold)
{
    const Sound run = LongestRun(samples, sound, threshold);
    const size_t margin = (run.last - run.first) / 10;
    return TestSupport::ZeroCrossingFrequency(samples.data() + 2 * (run.first + margin), run.last - run.first - 2 * margin,
                                              2, kRate);
}

// Bytes of one 10 ms tick, and the stretched sound the output may keep beyond the device's
// free space and a tick: the time-stretcher's latency (2048 frames) for a tick that brings no
// step of its output, and one such step beyond what was asked of it (at most as much again).
constexpr int64_t kTickBytes = kRate / 100 * AudioFormat::kBytesPerFrame;
constexpr int64_t kStretcherStepBytes = 2 * 2048 * AudioFormat::kBytesPerFrame;

struct Played
{
    std::vector<float> recorded;          // interleaved, what the sink played
    AudioOutputManager::SyncStats stats;  // measured by the engine while it played
    int64_t deviceBufferSize = 0;
};

// Plays `timeline` through the engine at `speed` from `from` (µs of media) for `wall` µs of
// clock time (the clock stops at from + wall × speed), recording the default sink.
void PlayThroughSink(Timeline* timeline, float speed, int64_t from, int64_t wall, Played& played)
{
    SinkRecorder recorder;
    QVERIFY(recorder.Start());
    TestSupport::LogCapture log;
    AvManager manager;
    manager.SetPlaybackSpeed(speed);
    manager.DecodeTimeline(timeline, 0, true, false);
    const auto to = from + static_cast<int64_t>(static_cast<double>(wall) * static_cast<double>(speed));
    manager.SetPlaybackTime(from);
    QVERIFY(WaitFor([&] { return timeline->AudioReadyAt(from); }));
    QVERIFY(WaitFor([&] { return manager.AudioOutputWorker() && manager.AudioOutputWorker()->AudioOutput(); }));
    AudioOutputManager* output = manager.AudioOutputWorker()->AudioOutput();
    QObject guard;
    QObject::connect(manager.Clock(), &PlaybackManager::PlaybackTimeChanged, &guard, [&](int64_t time, bool) {
        if (time >= to && manager.Clock()->IsPlaying())
            manager.Pause();
    });
    output->TakeSyncStats();
    manager.Play(true);
    QVERIFY(WaitFor([&] {
        recorder.Poll();
        return !manager.Clock()->IsPlaying();
    }, static_cast<int>(wall / 1000) + 30000));
    played.stats = output->TakeSyncStats();
    played.deviceBufferSize = output->Output()->DeviceBufferSize();
    QVERIFY(recorder.WaitForSilence()); // what the device still held is played
    played.recorded = recorder.Stop();
    QVERIFY2(log.errors.isEmpty(), qPrintable(log.errors.join(u'\n')));
    QVERIFY2(!log.infos.contains(QStringLiteral("Audio output devices changed")), qPrintable(log.infos.join(u'\n')));
}

struct ToneCheck
{
    double seconds = 0;    // from the first to the last sound
    double longestRun = 0; // seconds of sound without a silence over 2 ms
    double longestGap = 0; // seconds: the longest silence within the sound
    double frequency = 0;  // Hz, in the steady middle of the longest run
    double irregular = 1;  // share of its periods more than 10 % off the tone's
    double level = 0;      // root mean square there
};

// The tone played at `amplitude`, measured in what the sink recorded.
ToneCheck CheckTone(const std::vector<float>& recorded, double amplitude)
{
    ToneCheck check;
    const auto threshold = static_cast<float>(amplitude / 3);
    const Sound sound = FindSound(recorded, threshold);
    if (!sound.found)
        return check;
    check.seconds = static_cast<double>(sound.last - sound.first) / kRate;
    const Sound run = LongestRun(recorded, sound, threshold);
    check.longestRun = static_cast<double>(run.last - run.first) / kRate;
    size_t quiet = 0;
    for (size_t i = sound.first; i <= sound.last; ++i) {
        quiet = std::abs(recorded[2 * i]) > threshold ? 0 : quiet + 1;
        check.longestGap = std::max(check.longestGap, static_cast<double>(quiet) / kRate);
    }
    const size_t margin = (run.last - run.first) / 10;
    const float* middle = recorded.data() + 2 * (run.first + margin);
    const size_t frames = run.last - run.first - 2 * margin;
    check.frequency = TestSupport::MedianPeriodFrequency(middle, frames, 2, kRate);
    // A device that ran short, or a jump in the sound, shows as periods far from the tone's.
    const std::vector<double> periods = TestSupport::ZeroCrossingPeriods(middle, frames, 2);
    const auto irregular = std::count_if(periods.begin(), periods.end(), [&](double period) {
        return std::abs(period * check.frequency / kRate - 1.0) > 0.1;
    });
    check.irregular = periods.empty() ? 1.0 : static_cast<double>(irregular) / static_cast<double>(periods.size());
    check.level = TestSupport::RootMeanSquare(middle, frames, 2);
    qInfo("%.3f s of sound, longest run %.3f s, longest gap %.1f ms, %.2f Hz, %zu periods, %td irregular, level %.4f",
          check.seconds, check.longestRun, check.longestGap * 1000, check.frequency, periods.size(), irregular, check.level);
    return check;
}

} // namespace

class TestAudioOutput : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        Logger::SetStandardErrorEcho(false);
        if (qEnvironmentVariableIsSet("PLOVEX_TEST_CHILD"))
            return;
        // scripts/test.sh provides both, and says so: there a missing one is a failure.
        const bool required = qEnvironmentVariableIsSet("PLOVEX_SOUND_REQUIRED");
        if (QStandardPaths::findExecutable(QStringLiteral("parec")).isEmpty()) {
            if (required)
                QFAIL("parec is not installed");
            QSKIP("parec is not installed");
        }
        if (QMediaDevices::defaultAudioOutput().isNull()) {
            if (required)
                QFAIL("no sound output, although scripts/test.sh provides one");
            QSKIP("no sound server; scripts/test.sh starts one with a null sink");
        }
    }

    void init()
    {
        Settings::ResetToDefaults();
        ProjectGlobals::ResetFromSettings();
        // About 100 ms of device buffer: these tests check what is played, not how soon, and
        // must not hear gaps when the machine is busy with other tests.
        Settings::Get().audioOutputBufferSize = 40'000;
    }

    // The 440 Hz tone played through the engine to the real sink: the sound lasts as long as
    // the clock ran, keeps its pitch at every speed and has the level the volume asks for.
    void playsToTheSink_data()
    {
        QTest::addColumn<float>("speed");
        QTest::addColumn<int>("volume");
        QTest::newRow("1x") << 1.0f << 100;
        QTest::newRow("2x") << 2.0f << 100;
        QTest::newRow("0.5x") << 0.5f << 100;
        QTest::newRow("volume 50") << 1.0f << 50;
        QTest::newRow("volume 150") << 1.0f << 150;
    }
    void playsToTheSink()
    {
        if (qEnvironmentVariableIsSet("PLOVEX_TEST_CHILD"))
            QSKIP("child run");
        QFETCH(float, speed);
        QFETCH(int, volume);
        Settings::Get().volume = volume;
        QObject owner;
        Timeline* timeline = ParsedTimeline(MediaPath("tone_440_6s.wav"), &owner);
        QVERIFY(timeline->EndTime() > 5'900'000);
        // 2 s of wall time: from 0.25 s of media to 0.25 s + 2 s × speed.
        Played played;
        PlayThroughSink(timeline, speed, 250'000, 2'000'000, played);
        if (QTest::currentTestFailed())
            return;

        const double sinkVolume = std::clamp<double>(
            QAudio::convertVolume(volume / 100.0, QAudio::LogarithmicVolumeScale, QAudio::LinearVolumeScale), 0.0, 1.0);
        const double amplitude = 0.2 * sinkVolume * (volume > 100 ? volume / 100.0 * 1.5 : 1.0);
        const ToneCheck tone = CheckTone(played.recorded, amplitude);
        QVERIFY2(std::abs(tone.seconds - 2.0) < 0.2, qPrintable(QStringLiteral("%1 s of sound").arg(tone.seconds)));
        QVERIFY2(tone.longestRun > 0.5, qPrintable(QString::number(tone.longestRun)));
        QVERIFY2(tone.irregular <= 0.02, qPrintable(QStringLiteral("%1 of the periods irregular").arg(tone.irregular)));
        QVERIFY2(std::abs(tone.frequency - 440.0) < 4.4, qPrintable(QStringLiteral("%1 Hz").arg(tone.frequency)));
        const double expectedLevel = amplitude / std::sqrt(2.0);
        QVERIFY2(std::abs(tone.level - expectedLevel) < 0.1 * expectedLevel,
                 qPrintable(QStringLiteral("level %1, expected %2").arg(tone.level).arg(expectedLevel)));
    }

    // Stretched sound for longer than the audio cache holds ahead of the playhead (4 s of
    // media with the smallest cache): the read position keeps pace with the clock, so the
    // sound never runs past what is cached, never stops, and what waits for the device stays
    // within a tick and the stretcher's step of the device's buffer.
    void stretchedPastTheCache_data()
    {
        QTest::addColumn<float>("speed");
        QTest::newRow("0.25x") << 0.25f;
        QTest::newRow("0.5x") << 0.5f;
        QTest::newRow("1.5x") << 1.5f;
        QTest::newRow("3x") << 3.0f;
    }
    void stretchedPastTheCache()
    {
        if (qEnvironmentVariableIsSet("PLOVEX_TEST_CHILD"))
            QSKIP("child run");
        QFETCH(float, speed);
        Settings::Get().cacheSize = 256;
        QObject owner;
        Timeline* timeline = ParsedTimeline(MediaPath("tone_440_20s.wav"), &owner);
        QCOMPARE(timeline->Cache()->AudioMaximumSize(), 3'072'000); // 8 s of sound
        // 4.5 s of media, and at least 2 s of wall time.
        const auto wall = static_cast<int64_t>(std::max(2.0, 4.5 / static_cast<double>(speed)) * 1'000'000);
        Played played;
        PlayThroughSink(timeline, speed, 250'000, wall, played);
        if (QTest::currentTestFailed())
            return;
        const int64_t bound = played.deviceBufferSize + 2 * kTickBytes + kStretcherStepBytes;
        qInfo("pending peak %lld bytes (bound %lld), %d starved ticks, %d corrections",
              static_cast<long long>(played.stats.pendingPeak), static_cast<long long>(bound), played.stats.starvedTicks,
              played.stats.corrections);
        QVERIFY2(played.stats.pendingPeak <= bound, qPrintable(QString::number(played.stats.pendingPeak)));
        QCOMPARE(played.stats.starvedTicks, 0);
        const ToneCheck tone = CheckTone(played.recorded, 0.2);
        const double seconds = static_cast<double>(wall) / 1e6;
        // As long as the clock ran. A device slow to start on a busy machine begins late, which
        // the clock's correction then makes up; sound never outlasts the clock.
        QVERIFY2(tone.seconds > seconds - 0.6 && tone.seconds < seconds + 0.2,
                 qPrintable(QStringLiteral("%1 s of sound for %2 s of clock").arg(tone.seconds).arg(seconds)));
        // No drop-out: a read position run past the cache went silent for seconds. A moved read
        // position (the clock's correction) costs milliseconds, and a machine too busy to run
        // the output for a moment (a sanitized build among others) a little more; half a
        // second is neither.
        QVERIFY2(tone.longestGap < 0.5, qPrintable(QStringLiteral("a gap of %1 s").arg(tone.longestGap)));
        QVERIFY2(tone.irregular <= 0.02, qPrintable(QStringLiteral("%1 of the periods irregular").arg(tone.irregular)));
        QVERIFY2(std::abs(tone.frequency - 440.0) < 4.4, qPrintable(QStringLiteral("%1 Hz").arg(tone.frequency)));
    }

    // Backwards: silence unless sound is wanted backwards, then the tone (a sine reversed is
    // still a sine of the same pitch).
    void backwards_data()
    {
        QTest::addColumn<bool>("audible");
        QTest::newRow("silent") << false;
        QTest::newRow("reversed") << true;
    }
    void backwards()
    {
        if (qEnvironmentVariableIsSet("PLOVEX_TEST_CHILD"))
            QSKIP("child run");
        QFETCH(bool, audible);
        Settings::Get().audioOnBackwardsPlayback = audible;
        QObject owner;
        Timeline* timeline = ParsedTimeline(MediaPath("tone_440.wav"), &owner);
        SinkRecorder recorder;
        QVERIFY(recorder.Start());
        AvManager manager;
        manager.DecodeTimeline(timeline, 0, true, false);
        const int64_t from = 3'500'000;
        manager.SetPlaybackTime(from);
        QVERIFY(WaitFor([&] { return timeline->AudioReadyAt(from); }));
        manager.Play(false);
        QVERIFY(WaitFor([&] {
            recorder.Poll();
            return manager.Clock()->CurrentTime() < from - 1'500'000;
        }));
        manager.Pause();
        QVERIFY(recorder.WaitForSilence());
        const std::vector<float> recorded = recorder.Stop();
        const Sound sound = FindSound(recorded, 0.05f);
        QCOMPARE(sound.found, audible);
        if (!audible)
            return;
        const double seconds = static_cast<double>(sound.last - sound.first) / kRate;
        QVERIFY2(std::abs(seconds - 1.5) < 0.15, qPrintable(QStringLiteral("%1 s of sound").arg(seconds)));
        const double frequency = MiddleFrequency(recorded, sound, 0.05f);
        QVERIFY2(std::abs(frequency - 440.0) < 4.4, qPrintable(QStringLiteral("%1 Hz").arg(frequency)));
    }

    // A scrub with the clock stopped plays one frame's worth of sound, once.
    void scrubPlaysOneFrame()
    {
        if (qEnvironmentVariableIsSet("PLOVEX_TEST_CHILD"))
            QSKIP("child run");
        QObject owner;
        Timeline* timeline = ParsedTimeline(MediaPath("tone_440.wav"), &owner);
        SinkRecorder recorder;
        QVERIFY(recorder.Start());
        AvManager manager;
        manager.SetAudioScrubEnabled(true);
        manager.DecodeTimeline(timeline, 0, true, false);
        QVERIFY(WaitFor([&] { return timeline->AudioReadyAt(2'000'000); }));
        // The first scrub wakes the device; only the second is measured, once the first has
        // been heard and has ended.
        recorder.Poll();
        manager.SetPlaybackTime(1'000'000, true);
        QVERIFY(recorder.WaitForSound(recorder.Frames()));
        QVERIFY(recorder.WaitForSilence());
        const size_t before = recorder.Frames();
        manager.SetPlaybackTime(2'000'000, true);
        QVERIFY(WaitFor([&] {
            recorder.Poll();
            return recorder.Peek().size() / 2 > before + kRate;
        }));
        std::vector<float> recorded = recorder.Stop();
        recorded.erase(recorded.begin(), recorded.begin() + static_cast<std::ptrdiff_t>(2 * before));
        const Sound sound = FindSound(recorded, 0.05f);
        QVERIFY(sound.found);
        // One frame at 24 fps: 41.7 ms (2,000 samples); the threshold cuts a little off the ends.
        const auto samples = static_cast<double>(sound.last - sound.first + 1);
        QVERIFY2(std::abs(samples - 2000.0) < 60, qPrintable(QStringLiteral("%1 samples of sound").arg(samples)));
        QVERIFY(!manager.Clock()->IsPlaying());
    }

    // A sound device added while playing: logged, the device reopened, and the sound goes on.
    void deviceListChanges()
    {
        if (qEnvironmentVariableIsSet("PLOVEX_TEST_CHILD"))
            QSKIP("child run");
        QObject owner;
        Timeline* timeline = ParsedTimeline(MediaPath("tone_440.wav"), &owner);
        SinkRecorder recorder;
        QVERIFY(recorder.Start());
        TestSupport::LogCapture log;
        AvManager manager;
        manager.DecodeTimeline(timeline, 0, true, false);
        QVERIFY(WaitFor([&] { return timeline->AudioReady(); }));
        recorder.Poll();
        manager.Play(true);
        QVERIFY(recorder.WaitForSound(recorder.Frames())); // playing before the device list changes
        QProcess pactl;
        pactl.start(QStringLiteral("pactl"), {QStringLiteral("load-module"), QStringLiteral("module-null-sink"),
                                              QStringLiteral("sink_name=plovex_added")});
        QVERIFY(pactl.waitForFinished(5000));
        const QString module = QString::fromUtf8(pactl.readAllStandardOutput()).trimmed();
        QVERIFY2(pactl.exitCode() == 0 && !module.isEmpty(), pactl.readAllStandardError().constData());
        const bool logged = WaitFor([&] {
            recorder.Poll();
            return log.infos.contains(QStringLiteral("Audio output devices changed"));
        }, 10000);
        // A second of the clock later the device was reopened: its last half second is sound.
        const int64_t changedAt = manager.Clock()->CurrentTime();
        const bool ranOn = WaitFor([&] {
            recorder.Poll();
            return manager.Clock()->CurrentTime() > changedAt + 1'000'000;
        }, 20000);
        recorder.Poll();
        const size_t end = recorder.Frames();
        manager.Pause();
        QProcess::execute(QStringLiteral("pactl"), {QStringLiteral("unload-module"), module});
        QVERIFY(logged);
        QVERIFY(ranOn);
        QVERIFY(recorder.HasSound(end - std::min<size_t>(end, kRate / 2), end, 0.05f));
    }

    // A reset stops some backends' streams (PulseAudio's) and deletes the device written to:
    // nothing is written to it or asked of it until it is started again, and it starts again.
    void resetDeviceIsLeftAlone()
    {
        AudioOutput output{AudioOutputSettings::FromSettings()};
        const QByteArray tenMs(kRate / 100 * AudioFormat::kBytesPerFrame, '\0');
        for (int round = 0; round < 3; ++round) {
            QVERIFY(output.StartAudioDevice());
            QVERIFY(output.IsOpen());
            QVERIFY(output.WriteAudio(tenMs) > 0);
            output.Reset();
            for (int i = 0; i < 5; ++i) {
                QCoreApplication::processEvents();
                if (!output.IsOpen()) {
                    QCOMPARE(output.WriteAudio(tenMs), 0);
                    QCOMPARE(output.BytesFree(), 0);
                } else {
                    output.WriteAudio(tenMs);
                }
                output.OnStateChanged(QAudio::IdleState);
            }
        }
        output.ReleaseAudioDevice();
        QVERIFY(!output.IsOpen());
        QCOMPARE(output.WriteAudio(tenMs), 0);
    }

    // Picture and sound together for 20 s at 1x, looping the 3 s clip: the sound played
    // stays within 10 ms of the clock on average.
    void driftStaysSmall()
    {
        if (qEnvironmentVariableIsSet("PLOVEX_TEST_CHILD"))
            QSKIP("child run");
        Settings::Get().loopState = LoopOn;
        QObject owner;
        Timeline* timeline = ParsedTimeline(MediaPath("clip_1080p25.mp4"), &owner);
        SinkRecorder recorder;
        QVERIFY(recorder.Start());
        AvManager manager;
        manager.DecodeTimeline(timeline, 0, true, true);
        QVERIFY(WaitFor([&] { return manager.AudioOutputWorker() && manager.AudioOutputWorker()->AudioOutput(); }));
        AudioOutputManager* output = manager.AudioOutputWorker()->AudioOutput();
        QVERIFY(WaitFor([&] { return timeline->VideoReady() && timeline->AudioReady(); }));
        manager.Play(true);
        QVERIFY(recorder.WaitForSound(0)); // the device consumes
        output->TakeSyncStats();
        // 20 s of the clock, over the loop's wraps.
        int64_t clockRan = 0, lastTime = -1;
        connect(manager.Clock(), &PlaybackManager::PlaybackTimeChanged, &owner, [&](int64_t time, bool) {
            if (lastTime >= 0)
                clockRan += time >= lastTime ? time - lastTime : time;
            lastTime = time;
        });
        QVERIFY(WaitFor([&] {
            recorder.Poll();
            return clockRan >= 20'000'000;
        }, 120000));
        manager.Pause();
        const AudioOutputManager::SyncStats stats = output->TakeSyncStats();
        recorder.Stop();
        std::vector<int64_t> drift = stats.drift;
        QVERIFY2(drift.size() > 200, qPrintable(QString::number(drift.size()))); // about 25 clock changes a second
        std::sort(drift.begin(), drift.end());
        double sum = 0;
        for (const int64_t d : drift)
            sum += static_cast<double>(d);
        const double mean = sum / static_cast<double>(drift.size());
        const auto at = [&](double p) { return static_cast<double>(drift[static_cast<size_t>(p * static_cast<double>(drift.size() - 1))]) / 1000.0; };
        qInfo("|drift| over %zu clock changes: mean %.2f ms, median %.2f, 90th %.2f, 99th %.2f, max %.2f; read position moved %d times",
              drift.size(), mean / 1000.0, at(0.5), at(0.9), at(0.99), at(1.0), stats.corrections);
        QVERIFY2(mean < 10'000, qPrintable(QStringLiteral("mean |drift| %1 µs").arg(mean)));
    }

    // Without a sound server: the warning, and the picture plays on. Runs this program again
    // with a server address that leads nowhere, since the sound system is set up once per
    // process.
    void noSoundServer()
    {
        if (qEnvironmentVariableIsSet("PLOVEX_TEST_CHILD"))
            QSKIP("child run");
        QProcess child;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("PLOVEX_TEST_CHILD"), QStringLiteral("1"));
        environment.insert(QStringLiteral("PULSE_SERVER"), QStringLiteral("unix:/nonexistent/plovex/native"));
        child.setProcessEnvironment(environment);
        child.setProcessChannelMode(QProcess::MergedChannels);
        child.start(QCoreApplication::applicationFilePath(), {QStringLiteral("playsWithoutSound")});
        QVERIFY(child.waitForFinished(120000));
        const QString output = QString::fromUtf8(child.readAll());
        QVERIFY2(child.exitStatus() == QProcess::NormalExit && child.exitCode() == 0, qPrintable(output));
        QVERIFY2(output.contains(QStringLiteral("PASS   : TestAudioOutput::playsWithoutSound()")), qPrintable(output));
    }

    void playsWithoutSound()
    {
        if (!qEnvironmentVariableIsSet("PLOVEX_TEST_CHILD"))
            QSKIP("runs in a child process of noSoundServer");
        QObject owner;
        Timeline* timeline = ParsedTimeline(MediaPath("clip_1080p25.mp4"), &owner);
        TestSupport::LogCapture log;
        AvManager manager;
        int shown = 0;
        connect(&manager, &AvManager::VideoFrameChanged, &owner,
                [&](int, std::shared_ptr<VideoFrame> frame, std::shared_ptr<VideoFrame>, std::shared_ptr<VideoFrame>) {
                    if (frame)
                        ++shown;
                });
        manager.DecodeTimeline(timeline, 0, true, true);
        manager.Play(true);
        QVERIFY(WaitFor([&] { return manager.Clock()->CurrentTime() > 1'000'000; }));
        manager.Pause();
        QVERIFY(shown > 10);
        QVERIFY(WaitFor([&] { return log.HasWarning(QStringLiteral("Audio output device not found")); }, 5000));
    }
};

QTEST_MAIN(TestAudioOutput)
#include "tst_audiooutput.moc"
