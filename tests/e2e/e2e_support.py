"""What the e2e scripts share."""
import subprocess
import sys


def call(args, env=None, code=0):
    """Runs args; its standard output as bytes. Ends the test, with both
    outputs, when the exit code is not code."""
    r = subprocess.run(args, capture_output=True, env=env)
    if r.returncode != code:
        sys.exit(f'{" ".join(args)} exited {r.returncode}, expected {code}:\n{r.stdout.decode(errors="replace")}'
                 f'{r.stderr.decode(errors="replace")}')
    return r.stdout
