// How well sound follows the picture. Plays a clip with sound through the media engine to the
// default sound device, as the player does, and reports the |drift| between the device's
// played position and the clock at every clock change, and how often the read position had
// to be moved, how many ticks found nothing to play and the most sound waiting for the device.
// Then measures the pitch of a 440 Hz tone through the time-stretcher at 0.5x
// and 2x against the same measurement of the unstretched tone (the method's own error).
// Usage: bench_audiosync CLIP [SECONDS]
#include "bench/BenchSupport.h"
#include "core/Logger.h"
#include "core/Settings.h"
#include "engine/AvManager.h"
#include "engine/AvWorker.h"
#include "media/AudioFrame.h"
#include "media/AvParser.h"
#include "playback/AudioOutputManager.h"
#include "playback/AudioStretcher.h"
#include "playback/PlaybackManager.h"
#include "project/ProjectGlobals.h"
#include "project/Source.h"
#include "project/Timeline.h"

#include <QCoreApplication>
#include <QFileInfo>

#include <cmath>

namespace {

constexpr int kRate = AudioFormat::kSampleRate;

void Wait(int milliseconds)
{
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < milliseconds)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
}

// Plays on at `speed` (playback already running): after `settleMs` for the change of speed
// to settle, collects what the output measured during `seconds`.
AudioOutputManager::SyncStats Measure(AvManager& engine, float speed, int seconds, int settleMs)
{
    AudioOutputManager* output = engine.AudioOutputWorker()->AudioOutput();
    engine.SetPlaybackSpeed(speed);
    Wait(settleMs);
    output->TakeSyncStats();
    Wait(seconds * 1000);
    return output->TakeSyncStats();
}

double Percentile(std::vector<int64_t> values, double p)
{
    if (values.empty())
        return 0.0;
    std::sort(values.begin(), values.end());
    const auto index = static_cast<size_t>(std::min<double>(static_cast<double>(values.size()) - 1, p * static_cast<double>(values.size())));
    return static_cast<double>(values[index]);
}

// Frequency from rising zero crossings with linear interpolation between samples.
double Frequency(const std::vector<float>& left)
{
    double first = -1, last = -1;
    int crossings = 0;
    for (size_t i = 1; i < left.size(); ++i) {
        if (left[i - 1] < 0.0f && left[i] >= 0.0f) {
            const double at = static_cast<double>(i - 1) + left[i - 1] / static_cast<double>(left[i - 1] - left[i]);
            if (first < 0)
                first = at;
            last = at;
            ++crossings;
        }
    }
    return crossings > 1 ? (crossings - 1) * kRate / (last - first) : 0.0;
}

// The left channel of 4 s of a 440 Hz tone through the stretcher (speed 1: not stretched).
std::vector<float> Stretched(float speed)
{
    QByteArray input(4 * kRate * AudioFormat::kBytesPerFrame, '\0');
    auto* samples = reinterpret_cast<float*>(input.data());
    for (int i = 0; i < 4 * kRate; ++i)
        samples[2 * i] = samples[2 * i + 1] = static_cast<float>(0.2 * std::sin(2 * M_PI * 440.0 * i / kRate));
    QByteArray output;
    if (speed == 1.0f) {
        output = input;
    } else {
        AudioStretcher stretcher;
        stretcher.SetStretchSpeed(speed);
        stretcher.ResetStretcher();
        const qsizetype tick = 480 * AudioFormat::kBytesPerFrame;
        for (qsizetype at = 0; at < input.size(); at += tick) {
            stretcher.PushStretchInput(input.mid(at, tick));
            stretcher.ProcessStretch();
            stretcher.TakeStretchOutput(output);
        }
    }
    const auto* out = reinterpret_cast<const float*>(output.constData());
    const qsizetype frames = output.size() / AudioFormat::kBytesPerFrame;
    std::vector<float> left;
    for (qsizetype i = kRate / 10; i < frames; ++i) // past the onset
        left.push_back(out[2 * i]);
    return left;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication application(argc, argv);
    if (argc < 2) {
        Bench::Print(QStringLiteral("usage: bench_audiosync CLIP [SECONDS]\n"));
        return 2;
    }
    const int seconds = argc > 2 ? std::max(1, atoi(argv[2])) : 20;
    ProjectGlobals::ResetFromSettings();
    Settings::Get().loopState = LoopOn;
    // The smallest cache: its audio budget holds 8 s of sound, 4 s ahead of the playhead, which
    // every speed plays past within its run.
    Settings::Get().cacheSize = 256;
    Timeline timeline(QString::fromLocal8Bit(argv[1]), QString(), QUuid());
    AvParser parser;
    timeline.GetSource()->ApplyParseResult(parser.Parse(timeline.GetSource()->ParserFileEntry(0)));
    AvManager engine;
    engine.DecodeTimeline(&timeline, 0, true, true);
    Wait(500); // the audio output task is up
    if (!engine.AudioOutputWorker() || !engine.AudioOutputWorker()->AudioOutput()) {
        Bench::Print(QStringLiteral("no audio output task\n"));
        return 1;
    }

    Bench::Print(QStringLiteral("\n### Sound against the clock (%1, |drift| at each clock change)\n\n")
                     .arg(QFileInfo(timeline.GetSource()->Path()).fileName()));
    Bench::Print(QStringLiteral("| speed | seconds | samples | mean | median | 95th | max | over 10 ms | read position moved "
                                "| starved ticks | pending peak |\n"
                                "|---|---|---|---|---|---|---|---|---|---|---|\n"));
    // The sound device takes a moment to start consuming (a null sink up to a second or
    // more); the first seconds of play are not measured.
    engine.SetPlaybackTime(0);
    QElapsedTimer settle;
    settle.start();
    while ((!timeline.VideoReady() || !timeline.AudioReady()) && settle.elapsed() < 10000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    engine.Play(true);
    // 1x is the baseline: sound read straight from the cache, not stretched. Each altered
    // speed plays longer than the sound the cache keeps ahead of the playhead.
    for (const float speed : {1.0f, 0.5f, 1.5f, 2.0f, 0.25f, 3.0f}) {
        const int run = speed == 1.0f ? seconds : std::max(1, seconds / 2);
        const AudioOutputManager::SyncStats result = Measure(engine, speed, run, speed == 1.0f ? 3000 : 1000);
        double sum = 0;
        size_t over = 0;
        for (const int64_t d : result.drift) {
            sum += static_cast<double>(d);
            over += d > 10'000 ? 1 : 0;
        }
        const double n = std::max<double>(1.0, static_cast<double>(result.drift.size()));
        Bench::Print(QStringLiteral("| %1x | %2 | %3 | %4 ms | %5 ms | %6 ms | %7 ms | %8 % | %9 | %10 | %11 KB (%12 ms) |\n")
                         .arg(speed)
                         .arg(run)
                         .arg(result.drift.size())
                         .arg(sum / n / 1000.0, 0, 'f', 2)
                         .arg(Percentile(result.drift, 0.5) / 1000.0, 0, 'f', 2)
                         .arg(Percentile(result.drift, 0.95) / 1000.0, 0, 'f', 2)
                         .arg(Percentile(result.drift, 1.0) / 1000.0, 0, 'f', 2)
                         .arg(100.0 * static_cast<double>(over) / n, 0, 'f', 1)
                         .arg(result.corrections)
                         .arg(result.starvedTicks)
                         .arg(static_cast<double>(result.pendingPeak) / 1000.0, 0, 'f', 1)
                         .arg(static_cast<double>(AudioFormat::DurationOfBytes(result.pendingPeak)) / 1000.0, 0, 'f', 1));
    }
    engine.Pause();
    engine.Shutdown(true, 10000);

    Bench::Print(QStringLiteral("\n### Pitch of a 440 Hz tone through the time-stretcher\n\n"
                                "| speed | measured | error |\n|---|---|---|\n"));
    for (const float speed : {1.0f, 0.5f, 2.0f}) {
        const double frequency = Frequency(Stretched(speed));
        Bench::Print(QStringLiteral("| %1 | %2 Hz | %3 % |\n")
                         .arg(speed == 1.0f ? QStringLiteral("1x (not stretched, baseline)") : QStringLiteral("%1x").arg(speed))
                         .arg(frequency, 0, 'f', 3)
                         .arg(100.0 * (frequency - 440.0) / 440.0, 0, 'f', 3));
    }
    return 0;
}
