#pragma once

#include <QCommandLineParser>
#include <QString>
#include <QStringList>

#include <optional>

namespace lorimet::cli {

// Exit status of a program called the wrong way: an unknown option, an argument missing or too many, a value
// that is not one. Scripts tell it from a failure of the work itself.
constexpr int kUsageExit = 2;

// The project's version, as the programs report it.
QString projectVersion();

// The command line of one of the project's programs, on Qt's conventions: -h/--help prints the help to
// standard output, -v/--version prints "<tool> <version>", both ending the program with 0; wrong usage
// prints the reason and the usage line to standard error and ends it with kUsageExit.
class CommandLine {
  public:
    // `tool` is the program's name as its users type it ("lorimet-replay"), `description` one line on what
    // it does.
    CommandLine(QString tool, const QString& description);

    QCommandLineParser& parser() { return parser_; }
    // Extra text after the options in the help (commands, exit statuses).
    void setEpilogue(const QString& text) { epilogue_ = text; }
    // How the help of what is being run is asked for, when it is more than the tool's name
    // ("lorimet-journal list").
    void setHelpCall(const QString& call) { helpCall_ = call; }

    // Reads the arguments (the program's path first, as QCoreApplication::arguments() gives them); needs no
    // application object. Empty when the program is to go on; else the status it ends with, the help or the
    // message already printed.
    std::optional<int> parse(const QStringList& arguments);
    // A wrong usage found after parsing (a value out of range, an argument too many): the reason, the usage
    // line and where the help is, on standard error; returns kUsageExit.
    int usageError(const QString& reason) const;

    QString helpText() const;
    const QString& tool() const { return tool_; }

  private:
    QString tool_;
    QString epilogue_;
    QString helpCall_;
    QString startedAs_; // the path the program was started with, which Qt's help names
    QCommandLineParser parser_;
    QCommandLineOption help_;
    QCommandLineOption version_;
};

} // namespace lorimet::cli
