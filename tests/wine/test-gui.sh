#!/bin/sh
# The Windows program's suite for scripts/test-all.sh: the GUI tests under
# Wine and the window-against-command-line image comparison, on the default
# build directories build-win32 and build.
exec "$(dirname "$0")/run-gui-tests.sh" "$@"
