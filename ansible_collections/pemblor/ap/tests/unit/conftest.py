# -*- coding: utf-8 -*-
# Copyright 2026 The Pemblor developers. See COPYING.
"""Runs the modules in-process against a scripted pemblorctl.

A test gives the module its arguments and a fake pemblorctl (a function from
the argument list to (rc, stdout, stderr)); it gets back the module's JSON
result exactly as Ansible would receive it (after no_log masking) and every
command line the module ran, with the data it wrote to standard input.
"""

from __future__ import absolute_import, division, print_function
__metaclass__ = type

import json
import os
import sys

import pytest

# The directory that holds ansible_collections/ makes the collection importable.
ROOT = os.path.abspath(os.path.join(os.path.dirname(__file__), '..', '..', '..', '..', '..'))
if ROOT not in sys.path:
    sys.path.insert(0, ROOT)
# As ansible-test's pytest plugin does: Ansible's own collection finder, set up
# before anything imports ansible.plugins (which would set it up from the
# configured collection paths, and then fail to import this collection).
from ansible.utils.collection_loader._collection_finder import _AnsibleCollectionFinder  # noqa: E402
_AnsibleCollectionFinder(paths=[ROOT])._install()

from ansible.module_utils import basic  # noqa: E402
from ansible.module_utils.common.text.converters import to_bytes  # noqa: E402

CTL = '/usr/bin/pemblorctl'


def pytest_configure(config):
    config.addinivalue_line('filterwarnings', 'ignore:AnsibleCollectionFinder has already been configured')


class Calls:
    def __init__(self):
        self.commands = []

    def args(self, index):
        return self.commands[index]['args']

    def verbs(self):
        return [c['args'][0] for c in self.commands]


@pytest.fixture
def run_module(monkeypatch, capsys, tmp_path):
    def run(main, params, ctl, check_mode=False, diff=False):
        calls = Calls()

        def run_command(self, args, check_rc=False, data=None, binary_data=False, environ_update=None, **kwargs):
            assert args[0] == CTL
            calls.commands.append(dict(args=list(args[1:]), data=data, binary_data=binary_data,
                                       env=dict(environ_update or {})))
            return ctl(list(args[1:]))

        monkeypatch.setattr(basic.AnsibleModule, 'run_command', run_command)
        monkeypatch.setattr(basic.AnsibleModule, 'get_bin_path', lambda self, name, required=False, opt_dirs=None: CTL)
        module_args = dict(params, _ansible_check_mode=check_mode, _ansible_diff=diff,
                           _ansible_tmpdir=str(tmp_path), _ansible_keep_remote_files=True)
        monkeypatch.setattr(basic, '_ANSIBLE_ARGS', to_bytes(json.dumps({'ANSIBLE_MODULE_ARGS': module_args})))
        capsys.readouterr()
        with pytest.raises(SystemExit):
            main()
        out = capsys.readouterr().out
        return json.loads(out), calls, out
    return run
