// One whole soak: the server in a fresh work directory, the conductor, the
// background clients and faults for the given time, then the final checks
// and the figures. Returns the process exit code (0 when every check passed).
#pragma once

int runSoak(int seconds);
