# Turns a binary file into a C++ source that holds its bytes:
#   cmake -DIN=file -DOUT=file.cpp -DSYMBOL=name -P embed.cmake
file(READ "${IN}" bytes HEX)
string(LENGTH "${bytes}" hexlen)
math(EXPR size "${hexlen} / 2")
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," body "${bytes}")
string(REGEX REPLACE "(0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,)" "\\1\n" body "${body}")
file(WRITE "${OUT}" "/* Generated from ${IN}; do not edit. */\n#include <stddef.h>\nextern \"C\" const unsigned char ${SYMBOL}[] = {\n${body}\n};\nextern \"C\" const size_t ${SYMBOL}_size = ${size};\n")
