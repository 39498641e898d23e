#include "platform/dialup_service.h"

#include <QProcess>
#include <QProcessEnvironment>

#include <chrono>
#include <thread>
#include <utility>

namespace {
DialUpService* installed = nullptr;

// Long enough for NetworkManager to answer over D-Bus, short enough that a hung nmcli cannot
// freeze the window for good.
constexpr int NmcliTimeoutMs = 30000;
constexpr auto PauseLength = std::chrono::milliseconds(100);
// Returned by Dial when nmcli could not be run at all; otherwise its own exit code is returned.
constexpr int DialNotRun = -1;

struct NmcliRun {
    bool finished = false;  // ran to its end (whatever its exit code)
    int exitCode = -1;
    QStringList lines;
};

NmcliRun RunNmcli(const QString& program, const QStringList& arguments)
{
    QProcess process;
    // The state words parsed below are only stable in the C locale.
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("LC_ALL"), QStringLiteral("C"));
    process.setProcessEnvironment(environment);
    process.setProcessChannelMode(QProcess::SeparateChannels);
    process.setStandardInputFile(QProcess::nullDevice());
    process.start(program, arguments);

    NmcliRun run;
    if (!process.waitForStarted(NmcliTimeoutMs))
        return run;
    if (!process.waitForFinished(NmcliTimeoutMs)) {
        process.kill();
        process.waitForFinished();
        return run;
    }
    if (process.exitStatus() != QProcess::NormalExit)
        return run;
    run.finished = true;
    run.exitCode = process.exitCode();
    const QString out = QString::fromUtf8(process.readAllStandardOutput());
    run.lines = out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    return run;
}

bool Succeeded(const NmcliRun& run)
{
    return run.finished && run.exitCode == 0;
}
}  // namespace

DialUpService& DialUpService::Current()
{
    static NmcliDialUpService networkManager;
    return installed ? *installed : networkManager;
}

void DialUpService::Install(DialUpService* service)
{
    installed = service;
}

NmcliDialUpService::NmcliDialUpService(QString program) : program(std::move(program)) {}

QStringList NmcliDialUpService::SplitTerseLine(const QString& line)
{
    QStringList fields;
    QString field;
    for (qsizetype i = 0; i < line.size(); ++i) {
        const QChar c = line.at(i);
        if (c == QLatin1Char('\\') && i + 1 < line.size()) {
            field += line.at(++i);
        } else if (c == QLatin1Char(':')) {
            fields << field;
            field.clear();
        } else {
            field += c;
        }
    }
    fields << field;
    return fields;
}

bool NmcliDialUpService::GetEntryDialParams(DialParams& params)
{
    if (params.entryName.isEmpty())
        return false;
    const NmcliRun run = RunNmcli(program, {QStringLiteral("--get-values"), QStringLiteral("connection.uuid"),
                                            QStringLiteral("connection"), QStringLiteral("show"),
                                            QStringLiteral("id"), params.entryName});
    // Several profiles may share a name; like the activation below, take the first.
    if (!Succeeded(run) || run.lines.isEmpty() || run.lines.first().isEmpty())
        return false;
    params.entryId = run.lines.first();
    return true;
}

int NmcliDialUpService::Dial(const DialParams& params, DialHandle& handle)
{
    const DialHandle entry{params.entryId};
    if (GetStatus(entry) == DialState::Connected) {
        handle = entry;
        return PortAlreadyOpen;
    }
    // --wait 0: return once activation has started; the caller polls the state.
    const NmcliRun run = RunNmcli(program, {QStringLiteral("--wait"), QStringLiteral("0"),
                                            QStringLiteral("connection"), QStringLiteral("up"),
                                            QStringLiteral("uuid"), params.entryId});
    if (!run.finished)
        return DialNotRun;
    if (run.exitCode != 0)
        return run.exitCode;
    handle = entry;
    return DialStarted;
}

std::optional<DialState> NmcliDialUpService::GetStatus(const DialHandle& handle)
{
    if (handle.id.isEmpty())
        return std::nullopt;
    const NmcliRun run = RunNmcli(program, {QStringLiteral("--terse"), QStringLiteral("--fields"),
                                            QStringLiteral("UUID,STATE"), QStringLiteral("connection"),
                                            QStringLiteral("show"), QStringLiteral("--active")});
    if (!Succeeded(run))
        return std::nullopt;
    for (const QString& line : run.lines) {
        const QStringList fields = SplitTerseLine(line);
        if (fields.size() < 2 || fields.at(0) != handle.id)
            continue;
        if (fields.at(1) == QLatin1String("activated"))
            return DialState::Connected;
        if (fields.at(1) == QLatin1String("deactivated"))
            return DialState::Disconnected;
        return DialState::Pending;
    }
    // Inactive profiles are not listed at all.
    return DialState::Disconnected;
}

void NmcliDialUpService::HangUp(const DialHandle& handle)
{
    if (handle.id.isEmpty())
        return;
    RunNmcli(program, {QStringLiteral("--wait"), QStringLiteral("0"), QStringLiteral("connection"),
                       QStringLiteral("down"), QStringLiteral("uuid"), handle.id});
}

std::optional<QStringList> NmcliDialUpService::EnumerateEntries()
{
    const NmcliRun run = RunNmcli(program, {QStringLiteral("--terse"), QStringLiteral("--fields"),
                                            QStringLiteral("UUID,NAME"), QStringLiteral("connection"),
                                            QStringLiteral("show")});
    if (!Succeeded(run))
        return std::nullopt;
    QStringList names;
    for (const QString& line : run.lines) {
        const QStringList fields = SplitTerseLine(line);
        if (fields.size() >= 2)
            names << fields.at(1);
    }
    return names;
}

qint64 NmcliDialUpService::TickCount()
{
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

void NmcliDialUpService::PauseBriefly()
{
    std::this_thread::sleep_for(PauseLength);
}
