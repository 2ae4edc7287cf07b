// Command launch: one command line started as a new process in a hidden
// console of its own. The caller never waits for it.
#pragma once

namespace wex::process {

// Shows the "RunCommand" trace box, then starts the process. 1 when the
// process was created; 0 after the "StartProcess" box when it was not.
// workingDirectory may be null: the new process then starts in ours. Both
// texts are in the call's encoding.
int RunCommand(const char* commandLine, const char* workingDirectory);

}  // namespace wex::process
