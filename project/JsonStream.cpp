#include "project/JsonStream.h"

#include <charconv>
#include <cmath>

void JsonStream::NewLine()
{
    m_out.append('\n');
    m_out.append(static_cast<qsizetype>(m_counts.size()) * 4, ' ');
}

void JsonStream::BeforeValue()
{
    if (m_afterKey) {
        m_afterKey = false;
        return;
    }
    if (m_counts.empty())
        return;
    if (m_counts.back()++ > 0)
        m_out.append(',');
    NewLine();
}

void JsonStream::BeginObject()
{
    BeforeValue();
    m_out.append('{');
    m_counts.push_back(0);
}

void JsonStream::EndObject()
{
    const bool empty = m_counts.back() == 0;
    m_counts.pop_back();
    if (!empty)
        NewLine();
    m_out.append('}');
}

void JsonStream::BeginArray()
{
    BeforeValue();
    m_out.append('[');
    m_counts.push_back(0);
}

void JsonStream::EndArray()
{
    const bool empty = m_counts.back() == 0;
    m_counts.pop_back();
    if (!empty)
        NewLine();
    m_out.append(']');
}

void JsonStream::Key(QLatin1StringView key)
{
    BeforeValue();
    m_out.append('"');
    m_out.append(key.data(), key.size());
    m_out.append("\": ");
    m_afterKey = true;
}

void JsonStream::String(const QString& value)
{
    BeforeValue();
    const QByteArray utf8 = value.toUtf8();
    m_out.append('"');
    for (const char c : utf8) {
        switch (c) {
        case '"':
            m_out.append("\\\"");
            break;
        case '\\':
            m_out.append("\\\\");
            break;
        case '\b':
            m_out.append("\\b");
            break;
        case '\f':
            m_out.append("\\f");
            break;
        case '\n':
            m_out.append("\\n");
            break;
        case '\r':
            m_out.append("\\r");
            break;
        case '\t':
            m_out.append("\\t");
            break;
        default:
            if (static_cast<unsigned char>(c) < 0x20) {
                static const char hex[] = "0123456789abcdef";
                m_out.append("\\u00");
                m_out.append(hex[(c >> 4) & 0xf]);
                m_out.append(hex[c & 0xf]);
            } else {
                m_out.append(c);
            }
        }
    }
    m_out.append('"');
}

void JsonStream::Latin1(QLatin1StringView value)
{
    BeforeValue();
    m_out.append('"');
    m_out.append(value.data(), value.size());
    m_out.append('"');
}

void JsonStream::Int(qint64 value)
{
    BeforeValue();
    char buffer[32];
    const std::to_chars_result written = std::to_chars(buffer, buffer + sizeof(buffer), value);
    m_out.append(buffer, written.ptr - buffer);
}

void JsonStream::Double(double value)
{
    BeforeValue();
    if (!std::isfinite(value)) { // JSON has no such numbers
        m_out.append("null");
        return;
    }
    char buffer[64];
    const std::to_chars_result written = std::to_chars(buffer, buffer + sizeof(buffer), value);
    m_out.append(buffer, written.ptr - buffer);
}

void JsonStream::Bool(bool value)
{
    BeforeValue();
    m_out.append(value ? "true" : "false");
}
