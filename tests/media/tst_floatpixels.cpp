#include "media/FloatPixels.h"

#include <QTest>

#include <cmath>
#include <limits>
#include <vector>

class TestFloatPixels : public QObject
{
    Q_OBJECT

private slots:
    // The block path and the one-value path agree on every kind of value, at every length
    // and offset around the block size.
    void blocksMatchSingleValues()
    {
        const float specials[] = {0.0f, -0.0f, 1.0f, 0.5f, 0.49f / 255.0f, 0.51f / 255.0f, 254.5f / 255.0f,
                                  -1.0f, 2.0f, 1e30f, -1e30f,
                                  std::numeric_limits<float>::quiet_NaN(),
                                  std::numeric_limits<float>::infinity(),
                                  -std::numeric_limits<float>::infinity(),
                                  std::numeric_limits<float>::denorm_min()};
        std::vector<float> values;
        for (int i = 0; i < 300; ++i)
            values.push_back(i % 3 == 0 ? specials[i % std::size(specials)] : static_cast<float>(i) / 299.0f);
        for (int offset : {0, 1, 3}) {
            for (int count : {0, 1, 15, 16, 17, 31, 32, 33, 255, 256, 257, 296}) {
                std::vector<uint8_t> out(static_cast<size_t>(count) + 1, 0xAB);
                FloatPixels::ToBytes(values.data() + offset, out.data(), count);
                for (int i = 0; i < count; ++i)
                    QVERIFY2(out[static_cast<size_t>(i)] == FloatPixels::ToByte(values[static_cast<size_t>(offset + i)]),
                             qPrintable(QStringLiteral("offset %1, count %2, value %3").arg(offset).arg(count).arg(i)));
                QCOMPARE(out.back(), uint8_t(0xAB)); // nothing written past the end
            }
        }
    }

    void singleValues()
    {
        QCOMPARE(FloatPixels::ToByte(0.0f), uint8_t(0));
        QCOMPARE(FloatPixels::ToByte(1.0f), uint8_t(255));
        QCOMPARE(FloatPixels::ToByte(128.0f / 255.0f), uint8_t(128));
        QCOMPARE(FloatPixels::ToByte(0.49f / 255.0f), uint8_t(0));
        QCOMPARE(FloatPixels::ToByte(0.51f / 255.0f), uint8_t(1));
        QCOMPARE(FloatPixels::ToByte(-3.0f), uint8_t(0));
        QCOMPARE(FloatPixels::ToByte(7.0f), uint8_t(255));
        QCOMPARE(FloatPixels::ToByte(std::numeric_limits<float>::quiet_NaN()), uint8_t(0));
        QCOMPARE(FloatPixels::ToByte(std::numeric_limits<float>::infinity()), uint8_t(255));
    }

    // Planes in, pixels out in R, G, B(, A) order, across a row longer than one block.
    void packRows()
    {
        const int width = 600;
        std::vector<float> r(width), g(width), b(width), a(width);
        for (int x = 0; x < width; ++x) {
            r[static_cast<size_t>(x)] = static_cast<float>(x % 256) / 255.0f;
            g[static_cast<size_t>(x)] = static_cast<float>((x + 85) % 256) / 255.0f;
            b[static_cast<size_t>(x)] = static_cast<float>((x + 170) % 256) / 255.0f;
            a[static_cast<size_t>(x)] = static_cast<float>((x * 7) % 256) / 255.0f;
        }
        for (const int channels : {3, 4}) {
            for (const bool withAlpha : {false, true}) {
                std::vector<uint8_t> out(static_cast<size_t>(width * channels));
                FloatPixels::PackRow(r.data(), g.data(), b.data(), withAlpha ? a.data() : nullptr, width, channels, out.data());
                for (int x = 0; x < width; ++x) {
                    const uint8_t* p = out.data() + x * channels;
                    QCOMPARE(int(p[0]), x % 256);
                    QCOMPARE(int(p[1]), (x + 85) % 256);
                    QCOMPARE(int(p[2]), (x + 170) % 256);
                    if (channels == 4)
                        QCOMPARE(int(p[3]), withAlpha ? (x * 7) % 256 : 255);
                }
            }
        }
    }
};

QTEST_APPLESS_MAIN(TestFloatPixels)
#include "tst_floatpixels.moc"
