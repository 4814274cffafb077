// The session window (frmGUI): the modal progress window in which one GetPatient
// request is carried out on the caller's thread.
#pragma once

namespace trellybridge::session {

// Shows the thread's session window modally; returns when it has unloaded.
void runSessionWindow();
// Unloads the thread's session window if it is still loaded.
void unloadSessionWindow();

}  // namespace trellybridge::session
