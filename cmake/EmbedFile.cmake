# Writes OUTPUT: a C++ file holding INPUT's bytes as qv_res_IDENT (with a trailing zero byte,
# so text resources can be read as C strings) and their count as qv_res_IDENT_size.
file(READ "${INPUT}" hex HEX)
string(LENGTH "${hex}" hexlen)
math(EXPR size "${hexlen} / 2")
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
string(REGEX REPLACE "((0x..,){32})" "\\1\n" bytes "${bytes}")
file(WRITE "${OUTPUT}" "// Generated from ${INPUT}; do not edit.
#include <cstddef>
extern const unsigned char qv_res_${IDENT}[${size} + 1] = {
${bytes}0x00};
extern const std::size_t qv_res_${IDENT}_size = ${size};
")
