#include "media/ImageSequenceDecoderWorker.h"

#include "core/Logger.h"
#include "media/AvParser.h"
#include "media/VideoDecoder.h"

#include <QFileInfo>

extern "C" {
#include <libavutil/frame.h>
}

#include <array>
#include <cstdint>
#include <mutex>

namespace {

// Parsing writes the file's entry, and the decoders (and their frames) read it from then on.
// Workers of several decoders may reach the same file at once (two viewers of one sequence,
// or an export next to playback), so checking, parsing and opening a file happen under a
// lock of that file. Files share a small fixed set of locks, so that workers decoding
// different files rarely wait for each other.
std::mutex& FileLock(const SourceFileEntry* entry)
{
    static std::array<std::mutex, 256> locks;
    // Fibonacci hashing: the top bits of the product depend on every bit of the address.
    const uint64_t key = static_cast<uint64_t>(reinterpret_cast<uintptr_t>(entry)) * 0x9E3779B97F4A7C15ull;
    return locks[(key >> 56) % locks.size()];
}

// An image is one packet; a damaged file must not keep the worker reading forever.
constexpr int kMaxPacketsPerImage = 64;

} // namespace

ImageSequenceDecoderWorker::ImageSequenceDecoderWorker(int id, QObject* parent)
    : QObject(parent)
    , m_id(id)
    , m_picture(MakeAvFrame())
{
}

ImageSequenceDecoderWorker::~ImageSequenceDecoderWorker() = default;

void ImageSequenceDecoderWorker::DecodeImage(int workerId, SourceFileEntry* entry, int fileIndex, int streamInfoIndex,
                                             bool isExport)
{
    if (workerId != m_id)
        return;
    m_busy = true;
    m_fileIndex = fileIndex;
    m_frame.reset();
    Decode(entry, streamInfoIndex, isExport);
    m_busy = false;
    emit TaskCompleted(m_id);
}

void ImageSequenceDecoderWorker::OnVideoFrameDecoded(std::shared_ptr<VideoFrame> videoFrame)
{
    if (!videoFrame || m_frame)
        return; // the end-of-stream marker, or a second picture in one file
    m_frame = std::move(videoFrame);
    emit VideoFrameDecoded(m_frame);
}

void ImageSequenceDecoderWorker::Decode(SourceFileEntry* entry, int streamInfoIndex, bool isExport)
{
    if (!entry) {
        Logger::error(QStringLiteral("Failed to open image sequence file: Invalid source"));
        return;
    }
    if (!m_decoder || m_decoderExport != isExport) {
        m_decoder = std::make_unique<VideoDecoder>(isExport);
        m_decoderExport = isExport;
        m_decoder->CreateDefaultWorker();
        connect(m_decoder.get(), &VideoDecoder::VideoFrameDecoded, this, &ImageSequenceDecoderWorker::OnVideoFrameDecoded,
                Qt::DirectConnection);
    }
    const QString fileName = QFileInfo(entry->filePath).fileName();
    // A file that is not there is reported once, here, rather than by every step that would
    // fail on it.
    if (!QFileInfo::exists(entry->filePath)) {
        Logger::error(QStringLiteral("Failed to open image sequence file: %1").arg(fileName));
        return;
    }
    std::unique_lock lock(FileLock(entry));
    if (!entry->parsed) {
        // The parse decodes the picture to learn its parameters; that decode is the one shown.
        AvParser parser;
        parser.ParseSequenceFile(entry, m_decoder->ImageFramePool(), m_picture.get());
        lock.unlock();
        if (m_picture->format >= 0)
            OnVideoFrameDecoded(m_decoder->ConvertPicture(entry, streamInfoIndex, m_picture.get()));
        av_frame_unref(m_picture.get());
        if (!m_frame)
            Logger::error(QStringLiteral("Failed to open image sequence file: %1").arg(fileName));
        return;
    }
    const bool opened = m_decoder->Open(entry, streamInfoIndex);
    lock.unlock();
    if (opened) {
        m_decoder->SetForward(true);
        m_decoder->Seek(0);
        for (int i = 0; i < kMaxPacketsPerImage && !m_frame; ++i) {
            if (m_decoder->DecodeNext() == DecodeStatus::EndOfFile)
                break; // that call drained the codec: whatever the file holds has arrived
        }
    }
    m_decoder->Close();
    // Opened but undecodable: to the user it is as unreadable as a file that cannot be opened.
    if (!m_frame)
        Logger::error(QStringLiteral("Failed to open image sequence file: %1").arg(fileName));
}
