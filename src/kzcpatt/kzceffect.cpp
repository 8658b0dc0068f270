// Effect translation: source effect type and parameter into an IT command and value.
#include "kzm.h"

uint16_t kzmtoiteffect(uint8_t type, uint8_t param)
{
    (void)type;
    (void)param;
    return 0;
}
