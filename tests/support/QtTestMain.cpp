// The main of every test program that shows windows: GoogleTest under a QApplication on the
// offscreen platform. The settings folders (and the runtime folder, unless the session has one)
// are temporary folders that go away with the run: a run never reads or writes a user's files
// and leaves nothing behind.
#include <QApplication>
#include <QDir>
#include <QTemporaryDir>
#include <cstdio>
#include <gtest/gtest.h>

namespace {
// The offscreen platform cannot raise windows or pass size hints; saying so each time only
// buries the test output.
void QuietHandler(QtMsgType type, const QMessageLogContext& context, const QString& message) {
    if (message.startsWith("This plugin does not support")) {
        return;
    }
    std::fprintf(stderr, "%s\n", qPrintable(qFormatLogMessage(type, context, message)));
}
} // namespace

int main(int argc, char* argv[]) {
    // Declared before the application, so they outlive it.
    const QString pattern = QDir::tempPath() + "/dravel-test-XXXXXX";
    QTemporaryDir home(pattern), dirs(pattern), runtime(pattern);
    if (!home.isValid() || !dirs.isValid() || !runtime.isValid()) {
        std::fprintf(stderr, "no temporary folder under %s\n", qPrintable(QDir::tempPath()));
        return 1;
    }
    qputenv("XDG_CONFIG_HOME", home.path().toUtf8());
    qputenv("XDG_CONFIG_DIRS", dirs.path().toUtf8());
    if (qEnvironmentVariableIsEmpty("XDG_RUNTIME_DIR")) {
        qputenv("XDG_RUNTIME_DIR", runtime.path().toUtf8());
    }
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    qInstallMessageHandler(QuietHandler);
    QApplication application(argc, argv);
    // As in the program: the main window hides itself while others are in charge.
    QApplication::setQuitOnLastWindowClosed(false);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
