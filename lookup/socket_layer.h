// The process-wide start of the socket layer that the MX lookups and the SMTP probe
// rely on. It is made once, by whichever call comes first, and
// stays until the module unloads. A start that fails is tried again by the next call;
// until one succeeds the resolver's own socket calls fail, and the lookups report that.
#pragma once

namespace lookup {

// Starts the layer unless it is started; returns whether it is started now. Callers go
// on either way (their own socket calls then fail and are reported), so only tests look.
bool EnsureSocketLayer();
// For the module's unload: undoes the start if one was made.
void ReleaseSocketLayer();

}  // namespace lookup
