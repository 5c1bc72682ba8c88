#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

// Cuts the client API's byte stream into messages. A message is a header of exactly 10
// ASCII characters holding the body length in decimal, followed by that many bytes of body.
// Bytes are appended as they arrive; a header is read only once all 10 of its characters are
// there, and every complete message already buffered is taken at once.
//
// - A header that is not a number is an error: the caller answers with the Invalid Header
//   body, and everything buffered is discarded.
// - A length below 1 is dropped without a reply; the next 10 bytes are the next header.
// - A length above kMaxBodyBytes is an error that ends the connection.
// No socket and no thread of its own; the server (and the fuzzer) drive it.
class CmdFrameReader
{
public:
    // Bodies beyond this are refused before anything is buffered for them.
    static constexpr qint64 kMaxBodyBytes = 64LL * 1024 * 1024;
    static constexpr int kHeaderBytes = 10;

    enum class Error { None, InvalidHeader, TooLarge };

    // Appends `bytes` to what is buffered. Nothing is parsed here: call Next.
    void Append(const QByteArray& bytes) { m_buffer.append(bytes); }
    // Takes the next complete message body (decoded as UTF-8) into `body` and returns true;
    // false when no complete message is buffered or an error was found (see LastError). An
    // error clears the buffer and the state.
    bool Next(QString& body);
    Error LastError() const { return m_error; }
    // Some bytes of a message are buffered but the message is not complete.
    bool Partial() const { return !m_buffer.isEmpty() || m_bodyLength >= 0; }
    // Back to waiting for a header with nothing buffered (a new connection).
    void Reset();

private:
    QByteArray m_buffer;
    qint64 m_bodyLength = -1; // -1 = waiting for a header
    Error m_error = Error::None;
};
