/* The one definition of stb_image_write in the asset generator; the sources
   that write PNG files include <stb_image_write.h> for the declarations. */
#define STB_IMAGE_WRITE_IMPLEMENTATION
#include <stb_image_write.h>
