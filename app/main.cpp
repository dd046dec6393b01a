// The program's main block.
#include <QApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

#include "core/UOrvoCCommon.h"
#include "platform/FileRegistry.h"
#include "platform/Style.h"
#include "platform/Text.h"
#include "ui/UMainForm.h"

int main(int argc, char* argv[]) {
    QApplication application(argc, argv);
    QApplication::setStyle(KeyboardFriendlyStyle());
    // Standard buttons (Yes, No, OK, Cancel) in the desktop's language, as the rest of the
    // desktop speaks it.
    QTranslator translator;
    if (translator.load(QLocale::system(), "qtbase", "_",
                        QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        QApplication::installTranslator(&translator);
    }
    QApplication::setApplicationName(Q(ApplicationTitle));
    // The program ends when the main window is destroyed, not when some window happens to be
    // the last one closed (the main window hides itself while others are in charge).
    QApplication::setQuitOnLastWindowClosed(false);
    FileRegistry registry;
    SetSettingsRegistry(&registry);
    MainForm = new TMainForm;
    QObject::connect(MainForm, &QObject::destroyed, &application, &QCoreApplication::quit);
    MainForm->show();
    return application.exec();
}
