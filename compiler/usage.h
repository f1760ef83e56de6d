// Internal: tolvanec's command line as it explains itself. One usage text serves a wrong
// command line and `tolvanec help`; the manual page (package/tolvanec.1) follows it,
// which a test keeps so.
#pragma once

#include <string>

namespace tvc {

// The commands tolvanec knows, as the first word of its command line.
inline constexpr const char* kCommands[] = {"check", "cpp", "build", "run", "new", "lsp", "dap", "help"};

// The usage text, every line ending in '\n'.
extern const char* const kUsageText;

// Prints the usage on standard error; the exit status of a wrong command line (2).
int Usage();

// "unknown command 'chek' (did you mean 'check'?)": the hint names the nearest command
// when one is a slip of one or two letters away.
std::string UnknownCommand(const std::string& word);

}  // namespace tvc
