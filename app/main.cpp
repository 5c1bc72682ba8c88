#include "app/ApplicationLook.h"
#include "app/CommandLine.h"
#include "app/InfoCommand.h"
#include "app/PlovexX.h"
#include "app/SingleApplication.h"
#include "core/Logger.h"
#include "core/Platform.h"
#include "core/Settings.h"
#include "core/TimeControlFont.h"
#include "project/ProjectGlobals.h"
#include "viewer/SurfaceFormat.h"

#include <QGuiApplication>

#include <QCoreApplication>
#include <QFontDatabase>
#include <QProcessEnvironment>
#include <QSurfaceFormat>
#include <QThread>

#include <cstdio>
#include <memory>

namespace {

QStringList RawArguments(int argc, char** argv)
{
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments.append(QString::fromLocal8Bit(argv[i]));
    return arguments;
}

void Print(FILE* stream, const QString& text)
{
    const QByteArray bytes = text.toLocal8Bit();
    std::fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), stream);
}

void LoadSettings()
{
    const QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    Settings& settings = Settings::Get();
    settings.Load(Settings::SettingsFilePath(), environment.value(QStringLiteral("PLVX2_CONFIG_OVERRIDE_PATH")),
                  environment.value(QStringLiteral("PLVX2_FFMPEG_OVERRIDE_PATH")));
    settings.TrimRecentLists();
}

} // namespace

int main(int argc, char** argv)
{
    const CommandLine early = CommandLine::Parse(RawArguments(argc, argv));
    if (early.help) {
        Print(stdout, CommandLine::Usage());
        return 0;
    }
    if (early.version) {
        Print(stdout, CommandLine::VersionText());
        return 0;
    }

    LoadSettings();

    if (early.info) {
        QCoreApplication application(argc, argv);
        return RunInfoCommand(early.paths);
    }

    Settings& settings = Settings::Get();
    if (settings.ignoreScalingEnvVars) {
        qunsetenv("QT_SCREEN_SCALE_FACTORS");
        qunsetenv("QT_HARFBUZZ");
        qunsetenv("QT_ENABLE_HIGHDPI_SCALING");
    }
    if (settings.waitOnStart) {
        settings.waitOnStart = false;
        QThread::msleep(500);
    }

    Platform::PreventBusAutolaunch();
    auto application = std::make_unique<SingleApplication>(argc, argv, QStringLiteral("pXUniqueIdentifier"));
    QCoreApplication::setApplicationName(QStringLiteral("Plovex"));
    QCoreApplication::setApplicationVersion(QStringLiteral(PLOVEX_VERSION));
    QGuiApplication::setDesktopFileName(QStringLiteral("plovex"));
    ApplicationLook::Apply(*application);
    QThread::currentThread()->setPriority(QThread::HighestPriority);
    TimeControlFont() = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    TimeControlFont().setFamily(QStringLiteral("Segoe UI Mono"));
    QSurfaceFormat::setDefaultFormat(ViewerSurfaceFormat());
    ProjectGlobals::ResetFromSettings();

    const CommandLine commandLine = CommandLine::Parse(QCoreApplication::arguments());
    // Options that print and exit were handled above; whatever else is left are paths.
    const bool newInstance = commandLine.newInstance;
    auto startupFiles = std::make_unique<QStringList>(commandLine.paths);

    int exitCode = 0;
    {
        Platform::TimerResolution timerResolution;
        auto window = std::make_unique<PlovexX>(*startupFiles);

        const bool independent = newInstance || settings.openMediaInNewPlayers;
        bool runHere = true;
        if (!independent && application->IsRunning()) {
            // Hand the arguments over. Only a list too long for the area, or an area the
            // running instance has stopped emptying, cannot be handed over (SendMessage says
            // why); those files open here, so that no file the user named is dropped.
            runHere = !application->SendMessage(QCoreApplication::arguments(), false);
        } else if (!application->IsRunning()) {
            QObject::connect(application.get(), &SingleApplication::MessageAvailable, window.get(),
                             &PlovexBase::ProcessMessageFromOtherInstance);
            application->StartMessagePolling();
        }
        if (runHere)
            exitCode = QApplication::exec();
        window.reset();
    }
    startupFiles.reset();
    application.reset();
    return exitCode;
}
