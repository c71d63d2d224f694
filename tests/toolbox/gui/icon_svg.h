// The program's icons (resources/Icons.h) written as SVG text, to compare with the SVG files
// installed for the desktop entry.
#pragma once
#include <string>

// An SVG document of icon id at the grid size; empty for an unknown id.
std::string IconSvg(int id);
