"""What the e2e scripts share."""
import subprocess
import sys


def run_checked(args, env=None, code=0):
    """Runs args; the finished process. Ends the test, with both outputs,
    when the exit code is not code."""
    r = subprocess.run(args, capture_output=True, env=env)
    if r.returncode != code:
        sys.exit(f'{" ".join(args)} exited {r.returncode}, expected {code}:\n{r.stdout.decode(errors="replace")}'
                 f'{r.stderr.decode(errors="replace")}')
    return r


def call(args, env=None, code=0):
    """Runs args; its standard output as bytes (see run_checked)."""
    return run_checked(args, env, code).stdout


def call_text(args, env=None, code=0):
    """Runs args; both outputs as text (see run_checked)."""
    r = run_checked(args, env, code)
    return (r.stdout + r.stderr).decode('utf-8', errors='replace')
