// Module-wide state of the add-in part that other units read: the key-forwarding switch that the
// Excel add-in turns on. Plain globals, used on the host's UI thread only.
#pragma once

namespace qs {

// False at load. The Excel add-in sets it when it is created and nothing clears it; the keyboard hook
// then hands every key and character message to the tool's windows.
extern bool ForwardAllKeys;

// The add-in's start in this host: from OnConnection to the last button image the ribbon asked for.
void NoteConnection() noexcept;
void NoteButtonImage() noexcept;
// Milliseconds from the connection to the last button image; negative before both were noted.
double StartupMilliseconds() noexcept;

} // namespace qs
