#pragma once
// The client's command line. The program takes no options of its own beyond --help and
// --version, which it answers before any window (or display) exists; Qt's standard options
// (-platform, -style, ...) are left to the application object.

#include <string>
#include <vector>

struct CommandLineAnswer {
    bool OpenWindow = true; // nothing to answer: start the program
    int ExitStatus = 0;
    std::string Output; // for standard output
    std::string Error;  // one line for standard error
};

// args excludes the program name.
CommandLineAnswer ReadCommandLine(const std::vector<std::string>& args);

// "dravel 2.0.3", the build's own version.
std::string VersionLine();

// Prints the answer, if any. Returns the exit status, or -1 when the program should go on.
int AnswerCommandLine(int argc, char** argv);
