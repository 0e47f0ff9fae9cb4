#include "gui/StartUp.h"

#include <unistd.h>

#include <QApplication>
#include <QIcon>
#include <cstdio>
#include <exception>
#include <iostream>
#include <memory>

#include "app/Runtime.h"
#include "app/StartupChecks.h"
#include "gui/Dialogs.h"
#include "gui/GuiUtil.h"
#include "gui/Screenshots.h"
#include "gui/TfrmMain.h"
#include "support/Files.h"
#include "support/Locks.h"
#include "support/Text.h"

namespace corvanteer {

StartOptions ParseStartOptions(const std::vector<std::string>& arguments) {
    StartOptions options;
    if (!arguments.empty() && LowerCase(arguments[0]) == "test") {
        options.testMode = true;
    }
    for (size_t i = 0; i < arguments.size(); ++i) {
        if (arguments[i] == "--home" && i + 1 < arguments.size()) {
            options.home = arguments[++i];
        } else if (StartsWith(arguments[i], "--home=")) {
            options.home = arguments[i].substr(7);
        } else if (arguments[i] == "--screenshots" && i + 1 < arguments.size()) {
            options.screenshotDir = arguments[++i];
        }
    }
    return options;
}

std::string FindHelpFile(const std::string& programDir) {
    for (const std::string& candidate :
         {programDir + "/help/index.html", programDir + "/" + CORVANTEER_INSTALLED_HELP}) {
        if (FileExists(candidate)) {
            return candidate;
        }
    }
    return CORVANTEER_SOURCE_HELP;
}

int RunCorvanteer(int argc, char** argv) {
    std::vector<std::string> arguments(argv + 1, argv + argc);
    const StartOptions options = ParseStartOptions(arguments);

    std::optional<AppPaths> paths;
    std::unique_ptr<FileLock> instance;
    try {
        paths = AppPaths::Create(options.home, options.testMode);
        instance = std::make_unique<FileLock>(paths->InstanceLockFile());
        if (!instance->TryLock()) {
            return 0;  // another copy runs: end silently
        }
        CheckApplicationDirectory(*paths, SystemClock(), std::cerr);
    } catch (const std::exception& error) {
        std::fprintf(stderr, "corvanteer: %s\n", error.what());
        return 1;
    }

    QApplication app(argc, argv);
    QApplication::setApplicationName(QString::fromLatin1(kProductTitle));
    QApplication::setQuitOnLastWindowClosed(false);
    // The desktop entry and the icon theme know the program as "corvanteer".
    QGuiApplication::setDesktopFileName(QStringLiteral("corvanteer"));
    QApplication::setWindowIcon(QIcon::fromTheme(QStringLiteral("corvanteer")));

    std::unique_ptr<SettingsStore> store;
    try {
        store = OpenInstallation(*paths);
    } catch (const std::exception& error) {
        std::fprintf(stderr, "corvanteer: %s\n", error.what());
        return 1;
    }
    QtDialogs dialogs;
    WindowSetup setup;
    setup.paths = *paths;
    setup.store = store.get();
    setup.dialogs = &dialogs;
    setup.helpFile = FindHelpFile(S(QCoreApplication::applicationDirPath()));
    setup.executable = S(QCoreApplication::applicationFilePath());
    setup.useTray = !options.screenshotDir.has_value();

    if (options.screenshotDir) {
        return RenderScreenshots(setup, *options.screenshotDir);
    }

    auto window = std::make_unique<TfrmMain>(setup);
    window->ShowAtStart();
    const int status = QApplication::exec();
    if (window->WorkerBusy()) {
        // Ended during a scan or posting (the shutdown request without "Auto-scan ON at
        // startup"): the position is stored; the job is not waited for.
        std::fflush(nullptr);
        _exit(status);
    }
    window.reset();
    return status;
}

}  // namespace corvanteer
