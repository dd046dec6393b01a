// The program's main block.
#include <QApplication>

#include "core/UOrvoCCommon.h"
#include "platform/Registry.h"
#include "platform/Text.h"
#include "ui/UMainForm.h"

int main(int argc, char* argv[]) {
    QApplication application(argc, argv);
    QApplication::setApplicationName(Q(ApplicationTitle));
    FileRegistry registry;
    SetSettingsRegistry(&registry);
    MainForm = new TMainForm;
    MainForm->setAttribute(Qt::WA_DeleteOnClose);
    return application.exec();
}
