// `parvolex new DIR`: a first project to start from.
#pragma once
#include <string>

namespace pvx::tool {

// The starter project for a product called `name`: [product] with the
// name, an id made of it and version 1.0, the files of app/ installed into
// the product's folder, the uninstaller, and the optional keys a publisher
// fills in next written as comments.
std::string StarterProject(const std::string& name);

// Writes DIR/project.toml and DIR/app/README.txt (DIR is made if missing).
// Refuses, changing nothing, when DIR already holds a project.toml or an
// app/ folder, or when the name cannot be a product's name. Returns the
// process exit code and reports on stdout/stderr.
int RunNew(const std::string& dir, const std::string& name);

}  // namespace pvx::tool
