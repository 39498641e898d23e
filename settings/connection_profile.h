#pragma once

#include <QString>

// One numbered profile slot (1 to 10) of the profile key: a name and five login texts. Slots are
// fixed places: a profile never moves, a deleted one leaves its slot free (empty name), and a
// save fills the lowest free slot. Names need not be unique; a lookup by name takes the lowest
// slot whose name equals the text exactly, so looking up "" finds the lowest free slot.
struct ConnectionProfile {
    static constexpr int SlotCount = 10;

    enum class SaveResult {
        Saved,
        NoFreeSlot,
        NotWritten,  // the profile key could not be opened
    };

    QString server;
    QString userName;
    QString password;
    QString localInitDir;
    QString remoteInitDir;

    // The name in the slot; "" when free, absent or unreadable.
    static QString ReadProfileName(int slot);
    // The lowest slot holding the name, or 0 when none does or the key cannot be opened.
    static int FindProfileSlot(const QString& name);
    // Fills the five texts from the slot holding the name; false (texts unchanged) when there
    // is none or the key cannot be opened.
    bool LoadProfile(const QString& name);
    // Stores the five texts under the name in the lowest free slot.
    SaveResult SaveProfile(const QString& name) const;
    // Empties the six values of the slot holding the name; false when there is none.
    static bool DeleteProfile(const QString& name);
};
