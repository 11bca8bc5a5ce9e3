/* The one translation unit that compiles the stb_vorbis decoder itself. */
#include <stb_vorbis.h>
