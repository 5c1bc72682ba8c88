#include "media/AudioFrame.h"
#include "playback/AudioStretcher.h"
#include "tests/TestSupport.h"

#include <QTest>

#include <cmath>
#include <vector>

namespace {

constexpr int kRate = AudioFormat::kSampleRate;
constexpr int kTick = 480; // frames the output pushes every 10 ms

// Interleaved stereo: `silence` frames of nothing, then a sine of `frequency` Hz.
QByteArray Tone(int frames, double frequency, int silence = 0)
{
    QByteArray bytes(frames * AudioFormat::kBytesPerFrame, '\0');
    auto* samples = reinterpret_cast<float*>(bytes.data());
    for (int i = silence; i < frames; ++i) {
        const auto value = static_cast<float>(0.2 * std::sin(2 * M_PI * frequency * (i - silence) / kRate));
        samples[2 * i] = value;
        samples[2 * i + 1] = value;
    }
    return bytes;
}

// Feeds `input` the way the output does, one tick at a time, and returns all output.
std::vector<float> Stretch(AudioStretcher& stretcher, const QByteArray& input)
{
    QByteArray output;
    const qsizetype tick = kTick * AudioFormat::kBytesPerFrame;
    for (qsizetype at = 0; at < input.size(); at += tick) {
        stretcher.PushStretchInput(input.mid(at, tick));
        stretcher.ProcessStretch();
        stretcher.TakeStretchOutput(output);
    }
    const auto* samples = reinterpret_cast<const float*>(output.constData());
    return std::vector<float>(samples, samples + output.size() / static_cast<qsizetype>(sizeof(float)));
}

size_t FirstSound(const std::vector<float>& interleaved)
{
    for (size_t i = 0; i < interleaved.size(); i += 2)
        if (std::abs(interleaved[i]) > 0.02f)
            return i / 2;
    return interleaved.size() / 2;
}

} // namespace

class TestAudioStretcher : public QObject
{
    Q_OBJECT

private slots:
    // Half and double the length, the pitch untouched.
    void lengthAndPitch_data()
    {
        QTest::addColumn<float>("speed");
        QTest::newRow("2x") << 2.0f;
        QTest::newRow("0.5x") << 0.5f;
        QTest::newRow("1.5x") << 1.5f;
    }
    void lengthAndPitch()
    {
        QFETCH(float, speed);
        AudioStretcher stretcher;
        stretcher.SetStretchSpeed(speed);
        QCOMPARE(stretcher.Speed(), speed);
        stretcher.ResetStretcher();
        // In real time the stretcher holds a constant amount back, so the length is measured
        // over the last 2 s of a 4 s stream.
        const QByteArray input = Tone(4 * kRate, 440.0);
        const qsizetype half = input.size() / 2;
        std::vector<float> out = Stretch(stretcher, input.left(half));
        const size_t firstHalf = out.size() / 2;
        const std::vector<float> rest = Stretch(stretcher, input.mid(half));
        out.insert(out.end(), rest.begin(), rest.end());
        const auto produced = static_cast<double>(rest.size() / 2);
        const double expected = 2.0 * kRate / static_cast<double>(speed);
        QVERIFY2(std::abs(produced - expected) < 300,
                 qPrintable(QStringLiteral("%1 frames out, %2 expected").arg(produced).arg(expected)));
        QVERIFY(firstHalf > 0);
        // Skip the first 100 ms (onset) and measure the rest.
        const size_t skip = kRate / 10;
        const double frequency =
            TestSupport::ZeroCrossingFrequency(out.data() + 2 * skip, out.size() / 2 - skip, 2, kRate);
        QVERIFY2(std::abs(frequency - 440.0) < 4.4, qPrintable(QString::number(frequency)));
        const double level = TestSupport::RootMeanSquare(out.data() + 2 * skip, out.size() / 2 - skip, 2);
        QVERIFY2(std::abs(level - 0.2 / std::sqrt(2.0)) < 0.03, qPrintable(QString::number(level)));
    }

    // The stretcher's latency is dropped after every reset: sound that begins 250 ms into the
    // input begins 250 ms / speed into the output, not a latency later.
    void latencyNeverReachesTheOutput_data()
    {
        QTest::addColumn<float>("speed");
        QTest::newRow("2x") << 2.0f;
        QTest::newRow("0.5x") << 0.5f;
    }
    void latencyNeverReachesTheOutput()
    {
        QFETCH(float, speed);
        AudioStretcher stretcher;
        stretcher.SetStretchSpeed(speed);
        for (int run = 0; run < 2; ++run) { // a second stream after a reset behaves the same
            stretcher.ResetStretcher();
            const size_t latency = stretcher.Latency();
            QVERIFY(latency > 480);
            const int silence = kRate / 4;
            const std::vector<float> out = Stretch(stretcher, Tone(kRate, 440.0, silence));
            const double expected = silence / static_cast<double>(speed);
            const auto onset = static_cast<double>(FirstSound(out));
            // Within 10 ms; a latency kept would put it several times that late.
            QVERIFY2(std::abs(onset - expected) < kRate / 100,
                     qPrintable(QStringLiteral("onset %1, expected %2, latency %3").arg(onset).arg(expected).arg(latency)));
        }
    }

    // Whole frames in, whole frames out; no input means no output.
    void emptyInput()
    {
        AudioStretcher stretcher;
        stretcher.SetStretchSpeed(2.0f);
        stretcher.ResetStretcher();
        QByteArray out;
        stretcher.ProcessStretch();
        stretcher.TakeStretchOutput(out);
        stretcher.PushStretchInput(QByteArray());
        stretcher.ProcessStretch();
        stretcher.TakeStretchOutput(out);
        QCOMPARE(out.size() % AudioFormat::kBytesPerFrame, 0);
    }
};

QTEST_GUILESS_MAIN(TestAudioStretcher)
#include "tst_audiostretcher.moc"
