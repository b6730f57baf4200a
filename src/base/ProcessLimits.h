#pragma once

// Raises the soft limit on open files to the hard limit: every directory
// holds a socket, and the cache must still be writable when many are open.
// False when the limit could not be read or raised (nothing changes then).
bool RaiseOpenFileLimit();
