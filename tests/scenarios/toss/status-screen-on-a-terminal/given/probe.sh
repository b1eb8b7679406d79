#!/bin/sh
# An archiver that photographs the terminal while the status screen shows.
tmux -L "$BRENMOOR_TMUX" capture-pane -p -t scenario > "$NODE/screen.txt"
echo Probe > "$2/file_id.diz"
