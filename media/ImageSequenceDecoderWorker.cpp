#include "media/ImageSequenceDecoderWorker.h"

#include "core/Logger.h"
#include "media/AvParser.h"
#include "media/VideoDecoder.h"

#include <QFileInfo>

extern "C" {
#include <libavutil/frame.h>
}

std::shared_ptr<SourceFileEntry> ProbedSequenceFiles::Find(const SourceFileEntry* file) const
{
    std::lock_guard lock(m_mutex);
    const auto found = m_entries.find(file);
    return found != m_entries.end() ? found->second : nullptr;
}

std::shared_ptr<SourceFileEntry> ProbedSequenceFiles::Insert(const SourceFileEntry* file,
                                                             std::shared_ptr<SourceFileEntry> entry)
{
    std::lock_guard lock(m_mutex);
    return m_entries.try_emplace(file, std::move(entry)).first->second;
}

void ProbedSequenceFiles::Clear()
{
    std::lock_guard lock(m_mutex);
    m_entries.clear();
}

namespace {

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
    if (m_frameEntry)
        videoFrame->streamInfoOwner = m_frameEntry;
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
    // The sequence's entry is only read: the parse filled it, or left it for the workers to
    // probe into entries of their own.
    std::shared_ptr<SourceFileEntry> probed;
    if (!entry->parsed) {
        probed = m_probedFiles ? m_probedFiles->Find(entry) : nullptr;
        if (!probed) {
            // The probe decodes the picture to learn its parameters; that decode is the one shown.
            // A copy of the unparsed entry: its path, frame number and kind of file.
            auto own = std::make_shared<SourceFileEntry>(*entry);
            AvParser parser;
            parser.ParseSequenceFile(own.get(), m_decoder->ImageFramePool(), m_picture.get());
            if (m_probedFiles && own->parsed) // a file that failed is probed again next time, as it may be mended
                own = m_probedFiles->Insert(entry, std::move(own));
            m_frameEntry = own;
            if (m_picture->format >= 0)
                OnVideoFrameDecoded(m_decoder->ConvertPicture(own.get(), streamInfoIndex, m_picture.get()));
            m_frameEntry.reset();
            av_frame_unref(m_picture.get());
            emit FileProbed(m_fileIndex, entry, std::move(own));
            if (!m_frame)
                Logger::error(QStringLiteral("Failed to open image sequence file: %1").arg(fileName));
            return;
        }
    }
    const bool opened = m_decoder->Open(probed ? probed.get() : entry, streamInfoIndex);
    if (!probed)
        emit FileOpened(m_fileIndex, entry, m_decoder->InputStatus());
    m_frameEntry = probed;
    if (opened) {
        m_decoder->SetForward(true);
        m_decoder->Seek(0);
        for (int i = 0; i < kMaxPacketsPerImage && !m_frame; ++i) {
            if (m_decoder->DecodeNext() == DecodeStatus::EndOfFile)
                break; // that call drained the codec: whatever the file holds has arrived
        }
    }
    m_decoder->Close();
    m_frameEntry.reset();
    // Opened but undecodable: to the user it is as unreadable as a file that cannot be opened.
    if (!m_frame)
        Logger::error(QStringLiteral("Failed to open image sequence file: %1").arg(fileName));
}
