#pragma once

#include <QString>
#include <QStringList>

// What the command line asks for: tallowin [--config-dir DIR] [ftp://user@host:port/path].
struct CommandLine {
    enum class Action {
        Run,
        ShowHelp,
        ShowVersion,
        Fail,  // an unknown option, a missing value or more than one link: text says which
    };
    Action action = Action::Run;
    QString configDir;  // absolute; empty when not given
    QString url;        // the link to open, as given; empty when none
    QString text;       // the help text, the version line or the error, for the terminal
};

// Reads the arguments, the program's name first. Reads only: the settings folder is set by
// ApplyConfigDir, so that a test can parse without changing its own environment.
CommandLine ParseCommandLine(const QStringList& arguments);

// Prints the help text or the version line to standard output, an error to standard error;
// returns the exit status for it (0, or 2 for an error).
int PrintCommandLineAnswer(const CommandLine& commandLine);

// The arguments as the program got them, before Qt takes its own options out.
QStringList RawArguments(int argc, char** argv);

// Overwrites the password of every ftp:// or ftps:// link among the arguments with '*', in the
// process's own argument memory: other users of the machine read that through ps for as long
// as the program runs. Call it once the link has been copied.
void HideLinkPasswords(int argc, char** argv);

// Makes DIR the settings folder for this run, where the store reads it (TALLOWIN_CONFIG_DIR).
void ApplyConfigDir(const CommandLine& commandLine);
