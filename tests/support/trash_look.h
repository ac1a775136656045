// Where the desktop's trash keeps what came from one place: the file manager's way of finding it, by the
// Path line of each record in the user's trash ($XDG_DATA_HOME/Trash).
#pragma once

#include <string>

// The native path in the trash's files/ of the newest thing trashed from `nativeOriginal`; "" when none.
std::string TrashedFrom(const std::string& nativeOriginal);
