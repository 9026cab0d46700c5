// The second decoder that the Windows-bitmap tests compare against; used by tests only.
#define STB_IMAGE_IMPLEMENTATION
#define STBI_ONLY_BMP
#include <stb/stb_image.h>
