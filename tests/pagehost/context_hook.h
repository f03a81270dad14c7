// Gives the loaded component the host's object context. Wine has no transaction-server
// context for CoGetObjectContext to find, so the host points the component's import of
// that function at its own (HostCoGetObjectContext): the DLL is unchanged and calls
// what it calls on a web server.
#pragma once

namespace pagehost {

// Finds Kestra.dll among the loaded modules and, once per load, overwrites its import
// address table entry for ole32's CoGetObjectContext. Does nothing while the DLL is
// not loaded; true when the entry points at the host.
bool PointModuleAtHostContext();

}  // namespace pagehost
