# Writes the bytes of INPUT as the definition of kShaderArchiveImage into
# OUTPUT (a C++ source), so the archive image is part of the program's data.
file(READ ${INPUT} hex HEX)
string(LENGTH "${hex}" digits)
math(EXPR size "${digits} / 2")
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
string(REGEX REPLACE "((0x..,){16})" "\\1\n    " bytes "${bytes}")
file(WRITE ${OUTPUT}.tmp
"// Made at build time from the shader archive image; do not edit.\n"
"#include <cstdint>\n\n"
"extern const uint8_t kShaderArchiveImage[];\n"
"extern const uint32_t kShaderArchiveImageSize;\n"
"const uint8_t kShaderArchiveImage[] = {\n    ${bytes}\n};\n"
"const uint32_t kShaderArchiveImageSize = ${size};\n")
file(RENAME ${OUTPUT}.tmp ${OUTPUT})
