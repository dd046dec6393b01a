// The client's command line: what it answers by itself, what it leaves to Qt, and that the
// built program answers without a display.
#include <QProcess>
#include <gtest/gtest.h>

#include "core/UOrvoCCommon.h"
#include "platform/CommandLine.h"

namespace {

struct ProcessRun {
    int Status = -1;
    std::string Out, Err;
};

// Runs the built client with no display at all: an attempt to open a window would fail.
ProcessRun RunClient(const QStringList& args) {
    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) {
        env.remove(name);
    }
    process.setProcessEnvironment(env);
    process.start(DRAVEL_PATH, args);
    ProcessRun run;
    if (!process.waitForFinished(10000)) {
        process.kill();
        process.waitForFinished();
        return run;
    }
    run.Status = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    run.Out = process.readAllStandardOutput().toStdString();
    run.Err = process.readAllStandardError().toStdString();
    return run;
}

} // namespace

TEST(CommandLine, AnswersHelpAndVersionAndRefusesUnknownArguments) {
    CommandLineAnswer version = ReadCommandLine({"--version"});
    EXPECT_FALSE(version.OpenWindow);
    EXPECT_EQ(version.ExitStatus, 0);
    EXPECT_EQ(version.Output, "dravel " DRAVEL_VERSION "\n");

    CommandLineAnswer help = ReadCommandLine({"-style", "fusion", "--help"});
    EXPECT_FALSE(help.OpenWindow);
    EXPECT_EQ(help.ExitStatus, 0);
    EXPECT_EQ(help.Output.rfind("Uso: dravel", 0), 0u);

    for (auto args : std::vector<std::vector<std::string>>{
             {"--verbose"}, {"x"}, {"-"}, {"--"}, {"-platform"}, {"-style=fusion", "-styles"}}) {
        CommandLineAnswer bad = ReadCommandLine(args);
        EXPECT_FALSE(bad.OpenWindow) << args.back();
        EXPECT_EQ(bad.ExitStatus, 2) << args.back();
        EXPECT_TRUE(bad.Output.empty());
        EXPECT_NE(bad.Error.find(args.back()), std::string::npos) << bad.Error;
        EXPECT_EQ(bad.Error.find('\n'), std::string::npos) << bad.Error;
    }
}

TEST(CommandLine, LeavesQtOptionsAndTheirValuesToQt) {
    EXPECT_TRUE(ReadCommandLine({}).OpenWindow);
    EXPECT_TRUE(
        ReadCommandLine({"-platform", "offscreen", "--style=fusion", "-reverse"}).OpenWindow);
    // A value is not read as an option, even when it looks like one.
    EXPECT_TRUE(ReadCommandLine({"-qwindowtitle", "--help"}).OpenWindow);
}

TEST(CommandLine, VersionAgreesWithTheAboutBox) {
    VersionFields v = SplitVersion(ProgramVersion);
    EXPECT_EQ(VersionLine(), "dravel " + std::to_string(v.Major) + "." + std::to_string(v.Minor) +
                                 "." + std::to_string(v.Release));
}

TEST(CommandLine, TheProgramAnswersWithoutADisplay) {
    ProcessRun version = RunClient({"--version"});
    EXPECT_EQ(version.Status, 0) << version.Err;
    EXPECT_EQ(version.Out, "dravel " DRAVEL_VERSION "\n");
    EXPECT_EQ(version.Err, "");

    ProcessRun help = RunClient({"--help"});
    EXPECT_EQ(help.Status, 0) << help.Err;
    EXPECT_NE(help.Out.find("--version"), std::string::npos);

    ProcessRun bad = RunClient({"--db", "x"});
    EXPECT_EQ(bad.Status, 2);
    EXPECT_EQ(bad.Out, "");
    EXPECT_EQ(bad.Err, "dravel: argomento sconosciuto: --db (vedi --help)\n");
}
