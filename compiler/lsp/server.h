// Internal: `tolvanec lsp`, the language server: JSON-RPC over the descriptors `in` and
// `out` (standard input and output), framed and answered as the Language Server
// Protocol has it. Returns the process's exit status: 0 after shutdown and exit, 1 when
// the input ends or exit comes without a shutdown first.
#pragma once

namespace tvc::lsp {

int Serve(int in, int out);

}  // namespace tvc::lsp
