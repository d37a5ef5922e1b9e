#pragma once
// The updater updating itself. The running program's file can be neither
// overwritten nor deleted, but it can be renamed within its folder: it is
// set aside under a name of its own, the new copy takes its place, and the
// set-aside copy is removed at the next start-up.
#include <string>
#include <vector>

// Moves the finished copy temporary (in destination's folder) over
// destination. When destination is the running program's file, that file
// is set aside first and put back should the move fail. listed holds the
// paths of every listed file, none of which a set-aside copy may take.
bool MoveIntoPlace(const std::string& temporary, const std::string& destination,
                   const std::vector<std::string>& listed);
