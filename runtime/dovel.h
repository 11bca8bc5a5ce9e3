// The whole runtime core: collected objects, strings, arrays and errors.
#pragma once

#include "runtime/error.h"
#include "runtime/gc.h"
#include "runtime/vo_array.h"
#include "runtime/vo_string.h"
