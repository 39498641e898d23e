#pragma once

// Local times (a listing's dates, the panes' times) go through the C library, which, while TZ is
// not set, looks at /etc/localtime again for every conversion: a listing of 100 000 entries spent
// three quarters of its parse there. Naming the library's own default in TZ makes it read the
// file once. A change of the system's zone is then seen at the program's next start. A TZ that is
// set already is left as it is. Called at start, before any thread runs: the environment is not
// safe to change once others may read it.
void PinLocalTimeZone();
