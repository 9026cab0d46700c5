// The second decoder that the Windows-bitmap and Targa tests compare against; used by tests only.
#define STB_IMAGE_IMPLEMENTATION
#define STBI_ONLY_BMP
#define STBI_ONLY_TGA
#include <stb/stb_image.h>
