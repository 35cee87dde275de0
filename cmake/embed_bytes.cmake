# Writes a C++ source holding a file's bytes, so that a program needs no file
# at run time:
#
#   cmake -DINPUT=Reader.cab -DOUTPUT=example_package.cpp -DHEADER=simulator/example_package.h
#         -DFUNCTION=simtool::ExamplePackage -P embed_bytes.cmake
#
# The source defines FUNCTION, declared in HEADER as returning sim::Content:
# the file's bytes, made once.
cmake_minimum_required(VERSION 3.25)

file(READ "${INPUT}" bytes HEX)
string(LENGTH "${bytes}" digits)
math(EXPR size "${digits} / 2")
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${bytes}")
# Sixteen bytes a line.
string(REGEX REPLACE "((0x..,){16})" "\\1\n    " bytes "${bytes}")
get_filename_component(name "${INPUT}" NAME)
string(REGEX REPLACE "::[^:]*$" "" namespace "${FUNCTION}")
string(REGEX REPLACE "^.*::" "" function "${FUNCTION}")

set(text "// Made by cmake/embed_bytes.cmake from ${name} at build time.
#include \"${HEADER}\"

namespace ${namespace} {

namespace {

const unsigned char Bytes[${size}] = {
    ${bytes}};

} // namespace

sim::Content ${function}() {
    static const sim::Content bytes =
        std::make_shared<const std::vector<std::uint8_t>>(Bytes, Bytes + sizeof Bytes);
    return bytes;
}

} // namespace ${namespace}
")
# Rewritten only when it changes, so that nothing rebuilds for nothing.
file(CONFIGURE OUTPUT "${OUTPUT}" CONTENT "${text}" @ONLY)
