#pragma once
// `tvc new DIR`: a small game to start from. The text files come from the
// template built into tvc (games/template, carried by a generated source);
// the picture (data/bg.png) and the sound (stream/chime.wav) are made on the
// spot, so the template holds no binary files.

#include <span>
#include <string>
#include <string_view>

namespace tavelo::tools::tvc {

struct TemplateFile {
  std::string_view path;  // relative, with '/'
  std::string_view text;  // UTF-8; tavelo.env is written in the game code page
};

// The template's text files (generated from games/template).
std::span<const TemplateFile> template_files();

// Makes the project; an empty text on success, else what went wrong. The
// directory must not exist yet or be empty.
std::string make_project(const std::string& directory);

}  // namespace tavelo::tools::tvc
