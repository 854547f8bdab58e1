// Main header of unit LmrBase, the engine access core: errors and message
// catalogue, column and variable descriptions, statement blob streams, the
// session and the statement. Including it gives a driver the whole contract.
#pragma once

#include "LmrBase/LmrBlobs.h"
#include "LmrBase/LmrErrors.h"
#include "LmrBase/LmrFieldDefs.h"
#include "LmrBase/LmrSQL.h"
#include "LmrBase/LmrSession.h"
