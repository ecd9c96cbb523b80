#include <QApplication>
#include <QCommandLineParser>
#include <QIcon>

#include "desktop/DesktopApplication.h"
#include "desktop/QtText.h"
#include "desktop/SingleInstance.h"
#include "lib/MainQueue.h"
#include "lib/NotificationCenter.h"
#include "model/Keychain.h"
#include "model/UserFolders.h"
#include "model/UserSettings.h"

using namespace miravel;
using namespace miravel::desktop;

int main(int argc, char** argv) {
    // The main queue belongs to the thread that starts the program.
    MainQueue::shared().adoptCurrentThreadAsMain();
    // The web engine shares its GL contexts with the widgets; this must precede QApplication.
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication app(argc, argv);
    QApplication::setApplicationName("Miravel");
    QApplication::setApplicationVersion(MIRAVEL_VERSION);
    QApplication::setDesktopFileName("app.miravel.Miravel");
    QApplication::setWindowIcon(QIcon::fromTheme("app.miravel.Miravel"));
    // Quitting is decided by the main window, after its save.
    QApplication::setQuitOnLastWindowClosed(false);

    QCommandLineParser options;
    options.setApplicationDescription("Miravel, the recipe manager");
    options.addHelpOption();
    options.addVersionOption();
    QCommandLineOption library("library", "The library folder to open.", "folder",
                               qpath(defaultLibraryFolder()));
    options.addOption(library);
    options.addPositionalArgument("files", "Recipe files to open.", "[files...]");
    options.process(app);

    SingleInstance instance(SingleInstance::defaultName() + "-" +
                            QString::number(qHash(options.value(library))));
    if (instance.handToRunningInstance(options.positionalArguments())) {
        return 0;
    }
    instance.listen();

    UserSettings settings(configFolder() / kSettingsFileName, &NotificationCenter::defaultCenter());
    auto keychain = Keychain::systemKeychain(configFolder());
    DesktopApplication desktop(fspath(options.value(library)), settings, *keychain,
                               NotificationCenter::defaultCenter(), MainQueue::shared());
    QObject::connect(&instance, &SingleInstance::filesReceived, &desktop,
                     &DesktopApplication::openFiles);
    // A file named at start-up waits until the start-up has finished, then shows last.
    desktop.openFiles(options.positionalArguments());
    if (!desktop.launch()) {
        return 1;
    }
    return QApplication::exec();
}
