// The whole runtime core: collected objects, strings, arrays and errors.
#pragma once

#include "runtime/vo_string.h"
#include "runtime/gc.h"
#include "runtime/vo_array.h"
#include "runtime/error.h"
