// The program's main block.
#include <QApplication>

#include "core/UOrvoCCommon.h"
#include "platform/CommandLine.h"
#include "platform/FileRegistry.h"
#include "platform/Style.h"
#include "platform/Text.h"
#include "platform/Translations.h"
#include "ui/UMainForm.h"

int main(int argc, char* argv[]) {
    if (int status = AnswerCommandLine(argc, argv); status >= 0) {
        return status;
    }
    QApplication application(argc, argv);
    QApplication::setStyle(KeyboardFriendlyStyle());
    InstallItalianTranslations();
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
