// Text handling for closing and starting programs around sleep.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace dormivel {

// Whole-string, case-sensitive search of a window class name in the
// terminate list.
bool isListedClass(const std::vector<std::wstring>& terminateList, std::wstring_view className);

// A class name as the runtime's wide-to-multibyte conversion gives it under
// the classic locale: characters up to U+00FF keep their code; a name holding
// any other character gives an empty text.
std::string narrowClassName(std::wstring_view className);

// A program path narrowed character by character as under the classic
// locale: up to U+00FF keeps its code, anything else becomes the byte 0xFF.
std::string narrowProgramPath(std::wstring_view path);

// The command line a program of the execute list is started with: its path
// alone, quoted the way the runtime splits command lines, so that the program
// receives no arguments, also when the path holds blanks. (Given no command
// line, the platform would pass the path unquoted, and the part after a
// blank would arrive as an argument.)
std::wstring programCommandLine(std::wstring_view path);

}  // namespace dormivel
