#pragma once

#include "platform/dialup_service.h"

#include <QString>
#include <QStringList>

#include <deque>
#include <functional>
#include <optional>

// A dial-up service answered from a script, with a fake clock that only moves when the caller
// pauses, so that time limits are reached after a known number of status queries. Installs
// itself for its lifetime and records every call.
class ScriptedDialUp : public DialUpService {
public:
    ScriptedDialUp() { DialUpService::Install(this); }
    ~ScriptedDialUp() override { DialUpService::Install(nullptr); }

    // Stored entries: enumeration lists them and their dial parameters are found.
    QStringList entries;
    // Enumeration fails as it does without a running NetworkManager.
    bool enumerationFails = false;
    // What Dial returns; the handle is set unless it is a failure code.
    int dialResult = DialStarted;
    // One answer per status query on a non-empty handle; the last answer repeats. Nothing means
    // the query fails. Queries on an empty handle always fail.
    std::deque<std::optional<DialState>> states{DialState::Connected};
    // How far the clock moves at each pause.
    qint64 pauseMs = 1000;
    // Runs at every status query, while the caller waits: the moment to look at the screen.
    std::function<void()> onStatusQuery;

    qint64 clockMs = 0;
    int statusQueries = 0;
    int pauses = 0;
    // "params NAME", "dial NAME", "status ID", "hangup ID", "enumerate", in call order.
    QStringList calls;

    static QString HandleIdFor(const QString& entryName) { return QStringLiteral("nm-") + entryName; }

    bool GetEntryDialParams(DialParams& params) override
    {
        calls << QStringLiteral("params ") + params.entryName;
        if (!entries.contains(params.entryName))
            return false;
        params.entryId = HandleIdFor(params.entryName);
        return true;
    }

    int Dial(const DialParams& params, DialHandle& handle) override
    {
        calls << QStringLiteral("dial ") + params.entryName;
        if (dialResult == DialStarted || dialResult == PortAlreadyOpen)
            handle.id = params.entryId;
        return dialResult;
    }

    std::optional<DialState> GetStatus(const DialHandle& handle) override
    {
        calls << QStringLiteral("status ") + handle.id;
        ++statusQueries;
        if (onStatusQuery)
            onStatusQuery();
        if (handle.id.isEmpty() || states.empty())
            return std::nullopt;
        std::optional<DialState> state = states.front();
        if (states.size() > 1)
            states.pop_front();
        return state;
    }

    void HangUp(const DialHandle& handle) override { calls << QStringLiteral("hangup ") + handle.id; }

    std::optional<QStringList> EnumerateEntries() override
    {
        calls << QStringLiteral("enumerate");
        if (enumerationFails)
            return std::nullopt;
        return entries;
    }

    qint64 TickCount() override { return clockMs; }
    void PauseBriefly() override
    {
        ++pauses;
        clockMs += pauseMs;
    }
};
