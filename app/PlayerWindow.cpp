#include "PlayerWindow.h"

#include "AvParser.h"
#include "FileHelpers.h"
#include "Logger.h"
#include "Settings.h"
#include "Source.h"
#include "SourceReport.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QProcess>
#include <QShowEvent>
#include <QSplitter>
#include <QTextStream>
#include <QThread>
#include <QTimer>

#include <algorithm>

PlayerWindow::PlayerWindow(const QStringList& startupFiles, QWidget* parent)
    : QMainWindow(parent)
    , m_startupFiles(startupFiles)
{
    qRegisterMetaType<Source*>();
    setWindowTitle(QStringLiteral("Plovex"));
    auto* splitter = new QSplitter(Qt::Vertical, this);
    m_sourceList = new QListWidget(splitter);
    m_log = new QPlainTextEdit(splitter);
    m_log->setReadOnly(true);
    m_log->setFont(QFont(QStringLiteral("monospace")));
    splitter->setStretchFactor(0, 1);
    splitter->setStretchFactor(1, 2);
    setCentralWidget(splitter);
    resize(960, 600);

    Logger* logger = Logger::Instance();
    connect(logger, &Logger::ErrorLogged, this, [this](const QString& text) { m_log->appendPlainText(QStringLiteral("[ERROR] ") + text); });
    connect(logger, &Logger::WarningLogged, this, [this](const QString& text) { m_log->appendPlainText(QStringLiteral("[WARNING] ") + text); });
    connect(logger, &Logger::InfoLogged, m_log, &QPlainTextEdit::appendPlainText);
    connect(logger, &Logger::OutputLogged, m_log, &QPlainTextEdit::appendPlainText);

    Logger::output(QStringLiteral("%1 v%2\n").arg(QStringLiteral("Plovex"), QCoreApplication::applicationVersion()));
    QTimer::singleShot(0, this, &QWidget::show);
}

PlayerWindow::~PlayerWindow()
{
    // Sources are children of the window: no parse may still be writing into one.
    for (const QPointer<QThread>& thread : std::as_const(m_parseThreads))
        if (thread)
            thread->wait();
}

void PlayerWindow::showEvent(QShowEvent* event)
{
    QMainWindow::showEvent(event);
    if (m_shownOnce)
        return;
    m_shownOnce = true;
    QMetaObject::invokeMethod(this, &PlayerWindow::PostShow, Qt::QueuedConnection);
}

void PlayerWindow::ProcessMessageFromOtherInstance(const QStringList& arguments)
{
    if (isHidden())
        show();
    else if (isMinimized())
        showNormal();
    raise();
    activateWindow();
    OpenPaths(arguments);
}

void PlayerWindow::closeEvent(QCloseEvent* event)
{
    Settings::Get().Save();
    QMainWindow::closeEvent(event);
}

void PlayerWindow::PostShow()
{
    Settings::CheckConfigDir();
    QDir().mkpath(Settings::Get().TempDirPath());
    OpenPaths(m_startupFiles);
}

void PlayerWindow::OpenNewInstance()
{
    if (!QProcess::startDetached(QCoreApplication::applicationFilePath(), {QStringLiteral("--new")}, QString()))
        Logger::error(QStringLiteral("Failed to launch new instance."));
}

void PlayerWindow::OpenPaths(const QStringList& arguments)
{
    QStringList entries;
    for (const QString& argument : arguments)
        if (!argument.isEmpty())
            entries.append(argument);
    bool detectSequences = true;
    if (entries.size() == 1) {
        const QString& only = entries.first();
        if (FileHelpers::IsProjectFile(only)) {
            Logger::warning(QStringLiteral("Projects cannot be opened in this window yet: %1").arg(only));
            return;
        }
        if (only.endsWith(QLatin1String(".txt"))) {
            entries.clear();
            QFile list(only);
            if (list.open(QIODevice::ReadOnly | QIODevice::Text)) {
                QTextStream stream(&list);
                while (!stream.atEnd()) {
                    const QString line = stream.readLine().trimmed();
                    if (!line.isEmpty())
                        entries.append(line);
                }
            }
            detectSequences = false;
        } else if (only == QLatin1String("noargs")) {
            return;
        }
    }

    QStringList imports;
    for (const QString& entry : std::as_const(entries)) {
        if (!FileHelpers::IsMediaFile(entry))
            continue;
        const QString name = detectSequences ? FileHelpers::ResolveSequencePath(entry) : entry;
        if (entries.size() == 1 && HasSourceNamed(name))
            continue;
        const QString checked = name + QLatin1Char('@');
        if (!imports.contains(checked))
            imports.append(checked);
    }
    ImportFiles(imports, detectSequences);
}

void PlayerWindow::ImportFiles(const QStringList& paths, bool detectSequences)
{
    QStringList checked;
    QStringList unchecked;
    for (const QString& path : paths) {
        if (path.endsWith(QLatin1Char('@')))
            checked.append(path.chopped(1));
        else if (FileHelpers::IsMediaFile(path))
            unchecked.append(path);
    }
    QStringList names = checked + (detectSequences ? FileHelpers::DetectImageSequences(unchecked) : unchecked);
    std::sort(names.begin(), names.end(),
              [](const QString& a, const QString& b) { return a.compare(b, Qt::CaseInsensitive) < 0; });
    for (const QString& name : std::as_const(names)) {
        auto* source = new Source(name, QString(), QUuid(), this);
        m_sources.append(source);
        auto* item = new QListWidgetItem(source->Path(), m_sourceList);
        item->setData(Qt::UserRole, source->Id());
        ParseSource(source);
    }
}

void PlayerWindow::ParseSource(Source* source)
{
    if (source->FileCount() == 0) { // an invalid path: nothing to probe
        OnSourceParsed(source);
        return;
    }
    int file = 0;
    while (file < source->FileCount() - 1 && !source->FileExists(file))
        ++file;
    connect(source, &Source::Parsed, this, [this, source] { OnSourceParsed(source); });
    connect(source, &Source::Updated, this, [this, source] { OnSourceParsed(source); });
    QThread* thread = QThread::create([source, file] {
        AvParser parser;
        parser.Parse(source, file);
    });
    thread->setObjectName(QStringLiteral("Parse"));
    connect(thread, &QThread::finished, thread, &QObject::deleteLater);
    m_parseThreads.removeAll(nullptr);
    m_parseThreads.append(thread);
    thread->start();
}

void PlayerWindow::OnSourceParsed(Source* source)
{
    Logger::info(SourceReport::Summary(*source));
    for (int row = 0; row < m_sourceList->count(); ++row) {
        QListWidgetItem* item = m_sourceList->item(row);
        if (item->data(Qt::UserRole).toUuid() != source->Id())
            continue;
        item->setText(source->HasError() ? QStringLiteral("%1 (%2)").arg(source->Path(), source->StatusText())
                                         : QStringLiteral("%1 (%2, %3 frames at %4 fps)")
                                               .arg(source->Path(), source->DurationText())
                                               .arg(source->FrameCount())
                                               .arg(source->FrameRate()));
    }
    emit SourceParsed(source);
}

bool PlayerWindow::HasSourceNamed(const QString& sequencePath) const
{
    return std::any_of(m_sources.begin(), m_sources.end(),
                       [&](const Source* source) { return source->Path() == sequencePath; });
}
