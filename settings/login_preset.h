#pragma once

#include "settings/connection_profile.h"

// What the login dialog shows when it opens for a link the program was started with: the texts
// to fill in and the profile slot (1 to 10) to select, 0 for none. A password in it came from
// the link and lives only here and in the dialog, unless the person saves it as a profile.
struct LoginPreset {
    ConnectionProfile fields;
    int profileSlot = 0;
};
