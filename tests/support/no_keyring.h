#pragma once

#include "settings/password_vault.h"

#include <QByteArray>
#include <QtGlobal>

// Makes this process a machine without a keyring, as CI is: the session bus address points at
// nothing, so no keyring can answer whatever desktop the tests run on, and the vault forgets
// what earlier tests of the process taught it. Create it before anything asks the keyring.
class NoKeyring {
public:
    NoKeyring()
        : hadPrevious(qEnvironmentVariableIsSet(VariableName)), previous(qgetenv(VariableName))
    {
        qputenv(VariableName, "unix:path=/nonexistent/tallowin-tests-have-no-session-bus");
        PasswordVault::ResetForTests();
    }
    ~NoKeyring()
    {
        if (hadPrevious)
            qputenv(VariableName, previous);
        else
            qunsetenv(VariableName);
        PasswordVault::ResetForTests();
    }
    NoKeyring(const NoKeyring&) = delete;
    NoKeyring& operator=(const NoKeyring&) = delete;

private:
    static constexpr char VariableName[] = "DBUS_SESSION_BUS_ADDRESS";
    bool hadPrevious;
    QByteArray previous;
};
