// What a program's main sets up before it writes any result: the handlers that remove the
// temporaries of unfinished results when a terminating signal (SIGINT, SIGTERM, SIGHUP)
// arrives, then let the process die by that signal; removal at exit of whatever is still
// registered; and SIGXFSZ ignored, so that a write past a file-size limit (ulimit -f) fails
// and is reported like a full disk instead of killing the process. The library never
// installs a handler itself.
#pragma once

// Once per process; a signal the process was started with ignored (nohup ignores SIGHUP)
// stays ignored.
void installTemporaryCleanup();
