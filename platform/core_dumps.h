#pragma once

// The program holds passwords in memory: a core dump would write them to disk, where anyone who
// reads the dump (or a crash reporter that collects it) finds them. Turns core dumps off for the
// rest of the process's life, and with them ptrace by other processes of the same user. True
// when both the resource limit and the dumpable flag took.
bool DisableCoreDumps();
