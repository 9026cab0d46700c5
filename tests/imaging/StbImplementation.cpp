// The second decoder that the Windows-bitmap and Targa tests compare against, and the reader of
// the reference pictures (PPM) of the JPEG tests; used by tests only.
#define STB_IMAGE_IMPLEMENTATION
#define STBI_ONLY_BMP
#define STBI_ONLY_TGA
#define STBI_ONLY_PNM
#include <stb/stb_image.h>
