#pragma once

#include <QString>
#include <QStringList>
#include <QtGlobal>

#include <optional>

// Names one dial-up connection that Dial brought up. Empty until the first dial; status queries
// and hang-ups on an empty handle fail.
struct DialHandle {
    QString id;
};

// What dialling an entry needs. The caller sets entryName; GetEntryDialParams fills the rest from
// the entry's stored values.
struct DialParams {
    QString entryName;
    QString entryId;
};

enum class DialState {
    Pending,  // on its way up or down
    Connected,
    Disconnected,
};

// The system's dial-up (remote access) service: stored entries that can be brought up and taken
// down. The waits on it are the caller's: it polls GetStatus, reading TickCount and pausing
// briefly between queries.
class DialUpService {
public:
    // Dial results that mean the connection is on its way up. Any other result is a failure.
    static constexpr int DialStarted = 0;
    static constexpr int PortAlreadyOpen = 602;

    virtual ~DialUpService() = default;

    // Looks up the stored entry params.entryName and fills the rest of params; false when there
    // is no such entry or the service cannot be asked.
    virtual bool GetEntryDialParams(DialParams& params) = 0;
    // Starts bringing the entry up without waiting for it and stores the connection in handle.
    // Returns DialStarted, PortAlreadyOpen (the entry was already up) or a failure code.
    virtual int Dial(const DialParams& params, DialHandle& handle) = 0;
    // The connection's state; nothing when the query fails.
    virtual std::optional<DialState> GetStatus(const DialHandle& handle) = 0;
    // Starts taking the connection down; the outcome shows in later status queries.
    virtual void HangUp(const DialHandle& handle) = 0;
    // The names of every stored entry; nothing when they cannot be listed.
    virtual std::optional<QStringList> EnumerateEntries() = 0;

    // A monotonic millisecond count and a short sleep for the polling waits.
    virtual qint64 TickCount() = 0;
    virtual void PauseBriefly() = 0;

    // The service in force: the NetworkManager one unless a test installed another.
    static DialUpService& Current();
    // Installs a service (not owned); nullptr restores the NetworkManager one.
    static void Install(DialUpService* service);
};

// Drives NetworkManager through its command-line client: an entry is a connection profile,
// dialling activates it, hanging up deactivates it. Where nmcli is missing or NetworkManager is
// not running, every query fails.
class NmcliDialUpService : public DialUpService {
public:
    explicit NmcliDialUpService(QString program = QStringLiteral("nmcli"));

    bool GetEntryDialParams(DialParams& params) override;
    int Dial(const DialParams& params, DialHandle& handle) override;
    std::optional<DialState> GetStatus(const DialHandle& handle) override;
    void HangUp(const DialHandle& handle) override;
    std::optional<QStringList> EnumerateEntries() override;
    qint64 TickCount() override;
    void PauseBriefly() override;

    // Splits one line of nmcli's terse output into its fields, undoing the escapes of ':' and '\'.
    static QStringList SplitTerseLine(const QString& line);

private:
    QString program;
};
