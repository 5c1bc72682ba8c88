#pragma once

#include <QList>
#include <QMainWindow>
#include <QPointer>
#include <QStringList>

class QListWidget;
class QPlainTextEdit;
class QThread;
class Source;

// The program's window until the full interface exists: it takes the start-up files and the
// files forwarded by later starts, turns each into a Source, has it probed on a worker
// thread, and shows the sources and the log. Main thread only.
class PlayerWindow : public QMainWindow
{
    Q_OBJECT

public:
    explicit PlayerWindow(const QStringList& startupFiles, QWidget* parent = nullptr);
    ~PlayerWindow() override;

    const QList<Source*>& Sources() const { return m_sources; }

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

private:
    // Steps shared by forwarded arguments and start-up files.
    void OpenPaths(const QStringList& paths);
    // Creates one source per path (a path ending in "@" is a checked source name).
    void ImportFiles(const QStringList& paths, bool detectSequences);
    void ParseSource(Source* source);
    void OnSourceParsed(Source* source);
    bool HasSourceNamed(const QString& sequencePath) const;

    QStringList m_startupFiles;
    bool m_shownOnce = false;
    QList<Source*> m_sources;
    QList<QPointer<QThread>> m_parseThreads;
    QListWidget* m_sourceList = nullptr;
    QPlainTextEdit* m_log = nullptr;
};
