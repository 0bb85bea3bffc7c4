// Built-in headers ("Instances", "stdlib", "Kernel") and the host functions behind
// them: the standard classes `string` and `vector` and the instance API for scripts.
#pragma once

namespace zedi {
// Registers "Instances" and "stdlib" with their host functions; run once by the
// engine's initialisation.
void RegisterBuiltins();
}  // namespace zedi

// Registers the "Kernel" header and the instance API under its names, so that
// scripts may compile, load and run other scripts. Hosts that want this call it.
void scRegister_Kernel_Header();
