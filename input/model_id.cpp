#include "input/model_id.h"

#include "app/globals.h"

void TakeModelNumber(uint32_t model) {
    if (model < 1 || model > 3) return;
    dwModelID = model;
    bOSDModel = model == 2 ? 0 : 1;
}
