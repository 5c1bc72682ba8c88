#pragma once

#include <QByteArray>
#include <QLatin1StringView>
#include <QString>

#include <vector>

// Writes indented JSON straight into a byte array, for documents too large to build as a
// QJsonObject first. The caller writes each object's keys in the order it wants them kept
// (sorted, to match what QJsonDocument writes); nothing is checked beyond nesting.
class JsonStream
{
public:
    explicit JsonStream(QByteArray& out) : m_out(out) {}

    void BeginObject();
    void EndObject();
    void BeginArray();
    void EndArray();
    // The key of the next value in the object being written.
    void Key(QLatin1StringView key);

    void String(const QString& value);
    void Latin1(QLatin1StringView value); // a string known to need no escaping
    void Int(qint64 value);
    void Double(double value);
    void Bool(bool value);

private:
    void BeforeValue();
    void NewLine();

    QByteArray& m_out;
    std::vector<int> m_counts; // values written in each open object or array
    bool m_afterKey = false;
};
