#include "TestSupport.h"

#include "Logger.h"

#include <QDir>

#include <algorithm>

namespace TestSupport {

QString MediaPath(const QString& name)
{
    return QDir(QStringLiteral(PLOVEX_TEST_MEDIA_DIR)).filePath(name);
}

namespace {

template <typename Sample>
int ReadBits(int width, int height, Sample sample)
{
    int number = 0;
    const int y = height / 8;
    for (int bit = 0; bit < 16; ++bit) {
        const int x = static_cast<int>((bit + 0.5) * width / 16.0);
        if (sample(x, y) > 128)
            number |= 1 << bit;
    }
    return number;
}

} // namespace

int FrameNumberFromLuma(const uint8_t* luma, int lineSize, int width, int height)
{
    return ReadBits(width, height, [&](int x, int y) { return luma[y * lineSize + x]; });
}

int FrameNumberFromImage(const QImage& image, int width, int height)
{
    return ReadBits(width, height, [&](int x, int y) { return qGray(image.pixel(x, y)); });
}

LogCapture::LogCapture()
{
    Logger* logger = Logger::Instance();
    m_connections << QObject::connect(logger, &Logger::ErrorLogged, logger, [this](const QString& t) { QMutexLocker lock(&m_mutex); errors << t; }, Qt::DirectConnection);
    m_connections << QObject::connect(logger, &Logger::WarningLogged, logger, [this](const QString& t) { QMutexLocker lock(&m_mutex); warnings << t; }, Qt::DirectConnection);
    m_connections << QObject::connect(logger, &Logger::InfoLogged, logger, [this](const QString& t) { QMutexLocker lock(&m_mutex); infos << t; }, Qt::DirectConnection);
}

LogCapture::~LogCapture()
{
    for (const QMetaObject::Connection& connection : std::as_const(m_connections))
        QObject::disconnect(connection);
}

int LogCapture::CountErrorsStartingWith(const QString& prefix) const
{
    return static_cast<int>(std::count_if(errors.begin(), errors.end(), [&](const QString& e) { return e.startsWith(prefix); }));
}

int LogCapture::CountWarningsStartingWith(const QString& prefix) const
{
    return static_cast<int>(std::count_if(warnings.begin(), warnings.end(), [&](const QString& w) { return w.startsWith(prefix); }));
}

} // namespace TestSupport
