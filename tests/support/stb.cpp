// stb's single-file libraries, compiled once for the tests and the benchmarks: the image
// reader (from memory only; a malformed file is an error, never an assertion), the
// resizer and the DXT encoder they compare against. Include <stb/...> for the declarations.
#define STB_IMAGE_IMPLEMENTATION
#define STBI_NO_STDIO
#define STBI_ASSERT(x)
#include <stb/stb_image.h>

#define STB_IMAGE_RESIZE_IMPLEMENTATION
#include <stb/stb_image_resize.h>

#define STB_DXT_IMPLEMENTATION
#include <stb/stb_dxt.h>
