// The fault switch of the torture program: while counting, every fallible call that the library
// makes (the system calls beneath its socket and file layer, the start of a thread, and every
// operator new) is numbered from 1, and the call with the chosen number fails as the system
// would let it fail. Only the torture program is linked with this (it replaces operator new and,
// through the linker's --wrap, the system calls): the library itself carries no hook.
#pragma once

namespace korvex::torture {

// Starts numbering the calls; the call numbered `failAt` fails (0: none fails, count only).
void StartCounting(long failAt);
// Stops numbering; returns how many calls were numbered.
long StopCounting();
// The name of the call that was made to fail, or nullptr when the chosen number was not reached.
const char* FailedCall();

}  // namespace korvex::torture
