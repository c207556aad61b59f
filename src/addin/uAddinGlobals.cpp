// Module-wide state of the add-in part.
#include "addin/uAddinGlobals.h"

namespace qs {

bool ForwardAllKeys = false;

} // namespace qs
