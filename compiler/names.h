// Internal: the C++ names of a program's BASIC names.
//
// A BASIC name keeps its spelling in the translation (the game's C++ and tests reach
// its globals and SUBs by name), a trailing '$' written _Str. A name that would meet
// anything else the translation sees takes a prefix instead (__tv_, or __tvs_ for a
// '$' name), which no BASIC name can have (they start with a letter): C++ keywords and the names of the standard
// library the translation uses, every macro the runtime's public header brings along,
// and plain names ending in _Str (which would meet the name of a '$' variable). A
// TYPE's C++ type always takes the prefix __tvt_.
#pragma once

#include <string>

namespace tvc {

// Variables, SUBs, CONSTs and fields.
std::string CppName(const std::string& basic);
// The C++ type of a TYPE.
std::string CppTypeName(const std::string& basic);

}  // namespace tvc
