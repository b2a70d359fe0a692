// The number of the run-time error an action raises, or 0 when it raises none.
#pragma once

#include "runtime.h"

int Error_Of(auto &&action)
{
    try {
        action();
    } catch (const RuntimeError &error) {
        return error.number();
    }
    return 0;
}
