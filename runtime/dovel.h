// The whole runtime core: collected objects, strings, arrays and errors.
#pragma once

#include "runtime/array.h"
#include "runtime/error.h"
#include "runtime/gc.h"
#include "runtime/string.h"
