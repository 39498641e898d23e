#include "app/command_line.h"

#include "app/app_text.h"
#include "resources/version_info.h"

#include <QCommandLineParser>
#include <QDir>
#include <QFile>

#include <cstdio>
#include <cstring>

CommandLine ParseCommandLine(const QStringList& arguments)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(AppText::CommandLineDescription);
    const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")}, AppText::HelpOption);
    const QCommandLineOption version({QStringLiteral("v"), QStringLiteral("version")}, AppText::VersionOption);
    const QCommandLineOption configDir(QStringLiteral("config-dir"), AppText::ConfigDirOption,
                                       QStringLiteral("DIR"));
    parser.addOption(help);
    parser.addOption(version);
    parser.addOption(configDir);
    parser.addPositionalArgument(QStringLiteral("URL"), AppText::UrlArgument,
                                 QStringLiteral("[ftp://user@host:port/path]"));

    CommandLine result;
    const QString program = arguments.isEmpty() ? QStringLiteral("tallowin") : arguments.first();
    if (!parser.parse(arguments)) {
        result.action = CommandLine::Action::Fail;
        result.text = parser.errorText();
        return result;
    }
    if (parser.isSet(help)) {
        result.action = CommandLine::Action::ShowHelp;
        // helpText() names the program through QCoreApplication, which --help must not need.
        result.text = AppText::Usage.arg(program) + u'\n' + parser.helpText().section(u'\n', 1);
        return result;
    }
    if (parser.isSet(version)) {
        result.action = CommandLine::Action::ShowVersion;
        result.text = QStringLiteral("tallowin ") + VersionInfo::Version + u'\n';
        return result;
    }
    if (parser.isSet(configDir)) {
        const QString dir = parser.value(configDir);
        if (dir.isEmpty()) {
            result.action = CommandLine::Action::Fail;
            result.text = AppText::EmptyConfigDir;
            return result;
        }
        result.configDir = QDir(dir).absolutePath();
    }
    const QStringList links = parser.positionalArguments();
    if (links.size() > 1) {
        result.action = CommandLine::Action::Fail;
        result.text = AppText::TooManyUrls;
        return result;
    }
    if (!links.isEmpty())
        result.url = links.first();
    return result;
}

void ApplyConfigDir(const CommandLine& commandLine)
{
    if (!commandLine.configDir.isEmpty())
        qputenv("TALLOWIN_CONFIG_DIR", QFile::encodeName(commandLine.configDir));
}

int PrintCommandLineAnswer(const CommandLine& commandLine)
{
    const bool failed = commandLine.action == CommandLine::Action::Fail;
    QByteArray text = commandLine.text.toLocal8Bit();
    if (failed)
        text = "tallowin: " + text + '\n';
    std::fputs(text.constData(), failed ? stderr : stdout);
    return failed ? 2 : 0;
}

QStringList RawArguments(int argc, char** argv)
{
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    return arguments;
}

void HideLinkPasswords(int argc, char** argv)
{
    for (int i = 1; i < argc; ++i) {
        char* const scheme = std::strstr(argv[i], "://");
        if (!scheme)
            continue;
        char* const authority = scheme + 3;
        const size_t authorityLength = std::strcspn(authority, "/?#");
        // The last '@' of the authority ends the user information; its first ':' starts the
        // password.
        char* at = nullptr;
        for (char* c = authority; c < authority + authorityLength; ++c)
            if (*c == '@')
                at = c;
        if (!at)
            continue;
        char* const colon = static_cast<char*>(std::memchr(authority, ':', at - authority));
        if (colon)
            std::memset(colon + 1, '*', at - colon - 1);
    }
}
