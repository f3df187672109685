#pragma once
// Where Help > "&Contents" finds the user manual.
//
// Stand-in: the settings are to offer the installed manual's path; until
// they do, this looks in the places an installed or a built program keeps
// it. Replace its body by that lookup when it is there.

#include <QString>

namespace vireon {

// The manual's full path, or empty when it is nowhere to be found.
QString UserManualPath();

}  // namespace vireon
