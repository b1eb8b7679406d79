#!/usr/bin/env python3
"""Runs a program as a job, as a sysop's shell with job control does: in a
process group of its own that owns the terminal. When the job stops
(SIGTSTP, Ctrl+Z) the terminal goes back to this shell, which notes the
tty modes in STATE/stopped.stty, prints "--- stopped", makes STATE/stopped
and waits for STATE/cont; then, as fg does, it gives the terminal to the
job again and continues it. Ends with the job's exit code (128 + the
signal for a killed job, as sh says it).

    jobshell.py STATE PROGRAM [ARGUMENT...]
"""
import os
import signal
import subprocess
import sys
import time


def main(state, command):
    # A shell takes the terminal back while its job runs in the background.
    signal.signal(signal.SIGTTOU, signal.SIG_IGN)
    pid = os.fork()
    if pid == 0:
        os.setpgid(0, 0)
        os.tcsetpgrp(0, os.getpid())
        signal.signal(signal.SIGTTOU, signal.SIG_DFL)
        with open(os.path.join(state, 'pid.new'), 'w') as f:
            f.write('%d\n' % os.getpid())
        os.rename(os.path.join(state, 'pid.new'), os.path.join(state, 'pid'))
        try:
            os.execvp(command[0], command)
        finally:
            os._exit(127)
    try:
        os.setpgid(pid, pid)
    except OSError:
        pass  # the job did it itself and has already started the program
    os.tcsetpgrp(0, pid)
    while True:
        _, status = os.waitpid(pid, os.WUNTRACED)
        if os.WIFSTOPPED(status):
            os.tcsetpgrp(0, os.getpgrp())
            modes = subprocess.run(['stty', '-g'], capture_output=True, text=True).stdout
            with open(os.path.join(state, 'stopped.stty'), 'w') as f:
                f.write(modes)
            os.write(1, b'\r\n--- stopped\n')
            open(os.path.join(state, 'stopped'), 'w').close()
            cont = os.path.join(state, 'cont')
            while not os.path.exists(cont):
                time.sleep(0.05)
            os.unlink(cont)
            os.tcsetpgrp(0, pid)
            os.unlink(os.path.join(state, 'stopped'))
            os.killpg(pid, signal.SIGCONT)
            continue
        os.tcsetpgrp(0, os.getpgrp())
        if os.WIFSIGNALED(status):
            return 128 + os.WTERMSIG(status)
        return os.WEXITSTATUS(status)


if __name__ == '__main__':
    sys.exit(main(sys.argv[1], sys.argv[2:]))
