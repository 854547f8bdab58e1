// Compiled by the generation check against a driver: includes the driver's
// public headers and nothing more.
#include "drivers/sqlite/SqliteSession.h"

int main() {
    return 0;
}
