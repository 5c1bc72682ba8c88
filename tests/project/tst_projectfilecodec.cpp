#include "project/ProjectFileCodec.h"

#include <QDataStream>
#include <QIODevice>
#include <QJsonObject>
#include <QTest>

#include <clocale>
#include <limits>

using namespace ProjectFileCodec;

namespace {

AnnotationStroke Stroke(int type)
{
    AnnotationStroke stroke;
    stroke.type = type;
    stroke.width = 2.5f;
    stroke.color = QColor(10, 200, 30, 128);
    stroke.points = {QPointF(-0.1, 0.25), QPointF(0.3333333333333333, -1e-7)};
    stroke.path.moveTo(-0.1, 0.25);
    stroke.path.lineTo(0.3333333333333333, -1e-7);
    stroke.path.cubicTo(0.1, 0.2, 0.3, 0.4, 0.5, 0.6);
    if (type == AnnotationStroke::Text)
        stroke.text = QStringLiteral("fix the hand");
    return stroke;
}

// A path payload: `count` as its element count, then `types` (0 move, 1 line, 2 curve,
// 3 curve data) at (x + i, 0.25), then the last subpath's start and the fill rule.
QByteArray Payload(qint32 count, QList<qint32> types, double x = 0.5, qint32 lastStart = 0, qint32 fillRule = 0)
{
    QByteArray bytes;
    QDataStream stream(&bytes, QIODevice::WriteOnly);
    stream.setVersion(kDataStreamVersion);
    stream << count;
    for (qsizetype i = 0; i < types.size(); ++i)
        stream << types.at(i) << x + static_cast<double>(i) << 0.25;
    stream << lastStart << fillRule;
    return bytes.toBase64();
}

QByteArray Payload(qint32 count, int elements, double x = 0.5)
{
    QList<qint32> types;
    for (int i = 0; i < elements; ++i)
        types << (i == 0 ? 0 : 1);
    return Payload(count, types, x);
}

} // namespace

class TestProjectFileCodec : public QObject
{
    Q_OBJECT

private slots:
    void rangeBookmarks_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QList<RangeBookmark>>("expected");
        QTest::newRow("two") << "10,20,35,40" << QList<RangeBookmark>{{10, 20}, {35, 40}};
        QTest::newRow("odd part ignored") << "1,2,3" << QList<RangeBookmark>{{1, 2}};
        QTest::newRow("bad pair skipped in place") << "a,2,3,4" << QList<RangeBookmark>{{3, 4}};
        QTest::newRow("empty parts dropped") << ",5,,6," << QList<RangeBookmark>{{5, 6}};
        QTest::newRow("none") << "" << QList<RangeBookmark>{};
    }
    void rangeBookmarks()
    {
        QFETCH(QString, text);
        QFETCH(QList<RangeBookmark>, expected);
        QCOMPARE(RangeBookmarksFromString(text), expected);
        QCOMPARE(RangeBookmarksFromString(RangeBookmarksToString(expected)), expected);
    }

    // Every stroke type written and read back is the same stroke, under any locale.
    void strokesRoundTrip()
    {
        for (const char* locale : {"C", "de_DE.UTF-8"}) {
            std::setlocale(LC_ALL, locale);
            QLocale::setDefault(QLocale(QString::fromLatin1(locale).left(5)));
            for (int type = 0; type <= 8; ++type) {
                const AnnotationStroke stroke = Stroke(type);
                const QJsonObject json = StrokeToJson(stroke);
                QCOMPARE(json.value(QStringLiteral("color")).toString(), QStringLiteral("#800ac81e"));
                QCOMPARE(json.contains(QStringLiteral("text")), type == AnnotationStroke::Text);
                QVERIFY(!json.value(QStringLiteral("points")).toString().contains(QLatin1Char(' ')));
                const std::optional<AnnotationStroke> back = StrokeFromJson(json);
                QVERIFY2(back, qPrintable(QStringLiteral("type %1 under %2").arg(type).arg(QLatin1String(locale))));
                QCOMPARE(*back, stroke);
            }
        }
        std::setlocale(LC_ALL, "C");
        QLocale::setDefault(QLocale::c());
        QCOMPARE(PointsToString({QPointF(0.1, -2)}), QStringLiteral("0.1,-2;"));
    }

    void badStrokesRefused_data()
    {
        QTest::addColumn<QString>("key");
        QTest::addColumn<QJsonValue>("value");
        QTest::newRow("type 9") << "type" << QJsonValue(9);
        QTest::newRow("type -1") << "type" << QJsonValue(-1);
        QTest::newRow("negative width") << "width" << QJsonValue(-1.0);
        QTest::newRow("not a colour") << "color" << QJsonValue(QStringLiteral("#zz0000"));
        QTest::newRow("no points") << "points" << QJsonValue(QString());
        QTest::newRow("three numbers") << "points" << QJsonValue(QStringLiteral("1,2,3;"));
        QTest::newRow("not a number") << "points" << QJsonValue(QStringLiteral("1,x;"));
        QTest::newRow("infinite point") << "points" << QJsonValue(QStringLiteral("inf,2;"));
        QTest::newRow("text without text") << "type" << QJsonValue(3);
        QTest::newRow("path count beyond its bytes") << "path" << QJsonValue(QString::fromLatin1(Payload(0x7fffffff, 2)));
        QTest::newRow("path count negative") << "path" << QJsonValue(QString::fromLatin1(Payload(-5, 0)));
        QTest::newRow("path bytes left over") << "path" << QJsonValue(QString::fromLatin1(Payload(1, 2)));
        QTest::newRow("path not Base64 of a path") << "path" << QJsonValue(QStringLiteral("AAAA////"));
        QTest::newRow("path element type 7") << "path" << QJsonValue(QString::fromLatin1(Payload(2, {0, 7})));
        QTest::newRow("path not starting with a move") << "path" << QJsonValue(QString::fromLatin1(Payload(2, {1, 1})));
        QTest::newRow("path curve cut short") << "path" << QJsonValue(QString::fromLatin1(Payload(3, {0, 2, 3})));
        QTest::newRow("path curve data alone") << "path" << QJsonValue(QString::fromLatin1(Payload(2, {0, 3})));
        QTest::newRow("path last start beyond") << "path" << QJsonValue(QString::fromLatin1(Payload(2, {0, 1}, 0.5, 5)));
        QTest::newRow("path fill rule 9") << "path" << QJsonValue(QString::fromLatin1(Payload(2, {0, 1}, 0.5, 0, 9)));
    }
    void badStrokesRefused()
    {
        QFETCH(QString, key);
        QFETCH(QJsonValue, value);
        QJsonObject json = StrokeToJson(Stroke(AnnotationStroke::Freehand));
        QVERIFY(StrokeFromJson(json));
        json.insert(key, value);
        QVERIFY(!StrokeFromJson(json));
    }

    void pathPayload()
    {
        QVERIFY(PathFromPayload(Payload(2, 2)));
        const std::optional<QPainterPath> curve = PathFromPayload(Payload(4, {0, 2, 3, 3}, 0.5, 0, 1));
        QVERIFY(curve);
        QCOMPARE(curve->elementCount(), 4);
        QCOMPARE(curve->fillRule(), Qt::WindingFill);
        QVERIFY(!PathFromPayload(Payload(2, 2, std::numeric_limits<double>::quiet_NaN())));
        QVERIFY(!PathFromPayload(Payload(2, 2, std::numeric_limits<double>::infinity())));
        const std::optional<QPainterPath> empty = PathFromPayload(PathToPayload(QPainterPath()));
        QVERIFY(empty && empty->isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestProjectFileCodec)
#include "tst_projectfilecodec.moc"
