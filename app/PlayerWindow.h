#pragma once

#include <QList>
#include <QMainWindow>
#include <QStringList>

#include <memory>

class AvManager;
class QLabel;
class QListWidget;
class QPlainTextEdit;
class Source;
class Timeline;
class ViewerBase;
struct VideoFrame;

// The program's window until the full interface exists: it takes the start-up files and the
// files forwarded by later starts, makes a source timeline of each, has the media engine
// parse it, plays the latest one in viewer 0, and shows the sources, the frame at the
// playhead and the log. Main thread only.
class PlayerWindow : public QMainWindow
{
    Q_OBJECT

public:
    explicit PlayerWindow(const QStringList& startupFiles, QWidget* parent = nullptr);
    ~PlayerWindow() override;

    QList<Source*> Sources() const;
    AvManager* Engine() const { return m_engine.get(); }
    ViewerBase* Viewer() const { return m_viewer; }

public slots:
    // Arguments forwarded by another start of the program.
    void ProcessMessageFromOtherInstance(const QStringList& arguments);
    // Opens the start-up files once the window has been shown.
    void PostShow();
    void OpenNewInstance();

signals:
    // A source finished probing (whatever the outcome).
    void SourceParsed(Source* source);

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    // Steps shared by forwarded arguments and start-up files.
    void OpenPaths(const QStringList& paths);
    // Creates one source per path (a path ending in "@" is a checked source name).
    void ImportFiles(const QStringList& paths, bool detectSequences);
    void OnSourceParsed(Timeline* timeline);
    void OnVideoFrameChanged(int outputId, const std::shared_ptr<VideoFrame>& frame);
    bool HasSourceNamed(const QString& sequencePath) const;
    void StepFrames(int delta);

    QStringList m_startupFiles;
    bool m_shownOnce = false;
    std::unique_ptr<AvManager> m_engine;
    QList<Timeline*> m_timelines; // source timelines, children of the window
    ViewerBase* m_viewer = nullptr; // the renderer widget, a child of the window
    QListWidget* m_sourceList = nullptr;
    QLabel* m_frameLabel = nullptr;
    QPlainTextEdit* m_log = nullptr;
};
