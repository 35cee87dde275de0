# Writes a C++ source holding the device profiles, so that autorun-sim needs
# no files at run time:
#
#   cmake -DSOURCE_DIR=devices -DNAMES="a;b" -DOUTPUT=profiles_data.cpp -P embed_profiles.cmake
#
# Each profile SOURCE_DIR/NAME.json becomes a NUL-terminated array of its
# bytes (written as numbers, so that no text in a profile can end a string
# literal), listed in the order NAMES gives.
cmake_minimum_required(VERSION 3.25)

set(arrays "")
set(table "")
set(index 0)
foreach(name IN LISTS NAMES)
    file(READ "${SOURCE_DIR}/${name}.json" bytes HEX)
    string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${bytes}")
    # Sixteen bytes a line.
    string(REGEX REPLACE "((0x..,){16})" "\\1\n    " bytes "${bytes}")
    string(APPEND arrays "const char Profile${index}[] = {\n    ${bytes}0};\n")
    string(APPEND table "    {\"${name}\", Profile${index}},\n")
    math(EXPR index "${index} + 1")
endforeach()

set(text "// Made by cmake/embed_profiles.cmake from devices/*.json at build time.
#include \"simulator/profiles.h\"

namespace simtool {

namespace {

${arrays}
} // namespace

const std::vector<ProfileText>& Profiles() {
    static const std::vector<ProfileText> profiles = {
${table}    };
    return profiles;
}

} // namespace simtool
")
# Rewritten only when it changes, so that nothing rebuilds for nothing.
file(CONFIGURE OUTPUT "${OUTPUT}" CONTENT "${text}" @ONLY)
