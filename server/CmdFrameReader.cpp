#include "server/CmdFrameReader.h"

bool CmdFrameReader::Next(QString& body)
{
    m_error = Error::None;
    for (;;) {
        if (m_bodyLength < 0) {
            if (m_buffer.size() < kHeaderBytes)
                return false;
            bool ok = false;
            const qlonglong length = m_buffer.left(kHeaderBytes).toLongLong(&ok);
            if (!ok || length > kMaxBodyBytes) {
                m_error = ok ? Error::TooLarge : Error::InvalidHeader;
                Reset();
                return false;
            }
            m_buffer.remove(0, kHeaderBytes);
            if (length < 1)
                continue; // dropped without a reply
            m_bodyLength = length;
        }
        if (m_buffer.size() < m_bodyLength)
            return false;
        body = QString::fromUtf8(m_buffer.constData(), static_cast<qsizetype>(m_bodyLength));
        m_buffer.remove(0, static_cast<qsizetype>(m_bodyLength));
        m_bodyLength = -1;
        return true;
    }
}

void CmdFrameReader::Reset()
{
    m_buffer.clear();
    m_bodyLength = -1;
}
