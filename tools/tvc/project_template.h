#pragma once
// `tvc new DIR`: a small game to start from, written from the template
// files built into tvc (games/template) plus a picture and a sound made on
// the spot.

#include <string>

namespace tavelo::tools::tvc {

// Makes the project; an empty text on success, else what went wrong.
std::string make_project(const std::string& directory);

}  // namespace tavelo::tools::tvc
