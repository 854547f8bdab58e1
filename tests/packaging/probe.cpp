// Compiled by the generation check with various LMR_HOST_GENERATION values:
// uses nothing of the library beyond including its headers, so whether it
// builds depends on the generation alone.
#include "LmrBase/LmrSession.h"

int main() {
    return 0;
}
