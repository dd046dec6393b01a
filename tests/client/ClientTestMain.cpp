// GoogleTest with a QApplication. The settings live in temporary folders before anything can
// touch them, so a run never reads or writes a real user's files.
#include <QApplication>
#include <cstdio>
#include <cstdlib>
#include <gtest/gtest.h>
#include <string>
#include <unistd.h>

namespace {
std::string TempDir(const char* pattern) {
    std::string path = std::string("/tmp/") + pattern;
    if (mkdtemp(path.data()) == nullptr) {
        std::abort();
    }
    return path;
}
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
    setenv("XDG_CONFIG_HOME", TempDir("dravel-home-XXXXXX").c_str(), 1);
    setenv("XDG_CONFIG_DIRS", TempDir("dravel-dirs-XXXXXX").c_str(), 1);
    setenv("XDG_RUNTIME_DIR", TempDir("dravel-run-XXXXXX").c_str(), 0);
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    qInstallMessageHandler(QuietHandler);
    QApplication application(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
