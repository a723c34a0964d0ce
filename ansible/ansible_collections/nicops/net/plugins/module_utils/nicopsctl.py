# -*- coding: utf-8 -*-
# Runs nicopsctl on the managed host with --json and reads its one JSON document.

from __future__ import absolute_import, division, print_function

__metaclass__ = type

import json
import os

# nicopsctl reads its arguments and writes its log lines in the locale's encoding: UTF-8 here,
# as its JSON documents are.
_ENVIRONMENT = {'LC_ALL': 'C.UTF-8'}


def nicopsctl_command(module, program, store=None):
    """The command line's start: the program (a path, or a name looked up on PATH) and --store."""
    if os.sep in program:
        if not os.access(program, os.X_OK):
            module.fail_json(msg='nicopsctl is not an executable file: %s' % program)
        command = [program]
    else:
        command = [module.get_bin_path(program, required=True)]
    if store:
        command += ['--store', store]
    return command


def run_json(module, command):
    """The document nicopsctl printed and its log lines (stderr, as printed). A usage error, a
    command that could not run and an answer that is no document fail the module with
    nicopsctl's own message."""
    rc, out, err = module.run_command(command, environ_update=_ENVIRONMENT)
    log = [line for line in err.splitlines() if line]
    document = None
    try:
        document = json.loads(out) if out.strip() else None
    except ValueError:
        document = None
    if rc != 0 or not isinstance(document, dict) or 'error' in document:
        if isinstance(document, dict) and document.get('error'):
            message = document['error']
        else:
            said = [line for line in log if line.startswith('nicopsctl: ')]
            message = said[-1] if said else 'nicopsctl exited with status %d' % rc
        module.fail_json(msg=message, rc=rc, cmd=command, log=log)
    return document, log
