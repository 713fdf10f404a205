#!/bin/sh
# The Windows program's suite for scripts/test-all.sh: the GUI tests under
# Wine and the window-against-command-line image comparison, on the cross
# build that env.sh chooses for this machine and the native build.
exec "$(dirname "$0")/run-gui-tests.sh" "$@"
