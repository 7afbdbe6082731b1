# embed.cmake -- turns a text resource into a C++ source holding its bytes:
#   cmake -DINPUT=file -DOUTPUT=file.cpp -DSYMBOL=name -DNAMESPACE=ns -P embed.cmake
# The array ends in a zero byte that the size does not count.
file(READ ${INPUT} hex HEX)
string(LENGTH "${hex}" hexLength)
math(EXPR size "${hexLength} / 2")
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
string(REGEX REPLACE "(0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,)" "\\1\n" bytes "${bytes}")
file(WRITE ${OUTPUT}.tmp "// Generated from ${INPUT}; do not edit.\nnamespace ${NAMESPACE} {\nextern const char ${SYMBOL}[];\nextern const unsigned ${SYMBOL}Size;\nconst char ${SYMBOL}[] = {\n${bytes}0x00};\nconst unsigned ${SYMBOL}Size = ${size};\n}\n")
file(COPY_FILE ${OUTPUT}.tmp ${OUTPUT} ONLY_IF_DIFFERENT)
file(REMOVE ${OUTPUT}.tmp)
