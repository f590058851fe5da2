# Writes the C++ source that carries the game template (games/template) into
# tvc, for `tvc new`. Run as: cmake -DSOURCE=dir -DOUTPUT=file -P embed_template.cmake
file(GLOB_RECURSE files RELATIVE ${SOURCE} ${SOURCE}/*)
list(SORT files)
set(body "")
foreach(file IN LISTS files)
  file(READ ${SOURCE}/${file} content)
  string(APPEND body "    {\"${file}\", R\"tvc_template(${content})tvc_template\"},\n")
endforeach()
file(WRITE ${OUTPUT}.new "// Generated from games/template by tools/tvc/embed_template.cmake; do not edit.

#include \"tools/tvc/project_template.h\"

namespace tavelo::tools::tvc {
namespace {

constexpr TemplateFile kTemplateFiles[] = {
${body}};

}  // namespace

std::span<const TemplateFile> template_files() { return kTemplateFiles; }

}  // namespace tavelo::tools::tvc
")
execute_process(COMMAND ${CMAKE_COMMAND} -E copy_if_different ${OUTPUT}.new ${OUTPUT})
file(REMOVE ${OUTPUT}.new)
