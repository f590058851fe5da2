// The project template.

#include "tools/tvc/project_template.h"

namespace tavelo::tools::tvc {

std::string make_project(const std::string& directory) { return "not yet: " + directory; }

}  // namespace tavelo::tools::tvc
